#include "app/Jobs.h"

#include <ostream>
#include <sstream>

#include "app/CancelSignals.h"
#include "engine/BatchSupport.h"
#include "engine/Resize.h"
#include "metadata/Exif.h"
#include "metadata/Xmp.h"
#include "platform/Paths.h"
#include "rename/FileRename.h"
#include "rename/RenamePlan.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

// The notification identifiers every caller hands the batches.
constexpr uint32_t ProgressMsg = WM_BATCH_PROGRESS;
constexpr uint32_t FileMsg = WM_BATCH_FILE;

// What replaces existing copies, as the account names it.
const std::string JobOverwriteOption = "--overwrite";
const std::string UnattendedOverwriteOption = "/o:yes";

// Prints where the copies went, when the batch made the folder.
void PrintOutputFolder(const std::string& Folder, std::ostream& Out) {
  if (FolderExists(Folder)) Out << Folder << '\n';
}

void PrintRefusal(TTextId Batch, int Code, std::ostream& Err) {
  const TTextId text = Code == JpegBatchBadSize ? TTextId::CliRefusedEdge : TTextId::CliRefused;
  Err << "pictrim: " << Text(text, {Text(Batch), std::to_string(Code)}) << '\n';
}

int RunUnattended(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
                  std::ostream& Err) {
  if (!CheckFolder(Command.SourceFolder, Err)) return 2;
  TErrorLog errorLog;
  TJobAccount account;
  const int bmp = RunBmpBatch(Command, Report, errorLog, account);
  Report.pump();
  const int jpeg = RunJpegBatch(Command, Report, errorLog, account);
  if (CancelRequested) Report.post({WM_BATCH_STATUS, 0, 0, batch::CancelledStatusText()});
  Report.Finish(errorLog);
  return FinishUnattended(Command, bmp, jpeg, errorLog, account, Out, Err);
}

// A job's --out folder: refused (with a line on Err) inside the source tree.
bool CheckOutputFolder(const TCommandLine& Command, std::ostream& Err) {
  if (Command.OutputFolder.empty() ||
      !batch::OutputInsideSource(Command.OutputFolder, Command.Folder))
    return true;
  Err << "pictrim: "
      << Text(TTextId::OutputInsideSourceMessage, {Command.OutputFolder, Command.Folder}) << '\n';
  return false;
}

int RunResize(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
              std::ostream& Err) {
  if (!CheckFolder(Command.Folder, Err) || !CheckOutputFolder(Command, Err)) return 2;
  TErrorLog errorLog;
  TJobAccount account;
  // A Ctrl-C that came before the job began still cancels it.
  CancelRequested = CancelSignal() != 0;
  const int result = ConvertPICsWholeTree(&Report, Command.Folder, Command.OutputFolder,
                                          Command.MaxWidth, Command.MaxHeight, Command.PictureText,
                                          Command.TextPosition, ProgressMsg, FileMsg,
                                          Command.Overwrite, errorLog, &account, Command.Choices);
  Report.Finish(errorLog);
  if (result != 0) PrintRefusal(TTextId::CliResizeJob, result, Err);
  if (result == 0) PrintAccount(account, JobOverwriteOption, Err);
  PrintOutputFolder(Command.OutputFolder.empty()
                        ? ResizeOutputFolder(Command.Folder, Command.MaxWidth, Command.MaxHeight)
                        : Command.OutputFolder,
                    Out);
  return ExitStatus(result != 0, errorLog, account);
}

int RunShrink(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
              std::ostream& Err) {
  if (!CheckFolder(Command.Folder, Err) || !CheckOutputFolder(Command, Err)) return 2;
  TErrorLog errorLog;
  TJobAccount account;
  // A Ctrl-C that came before the job began still cancels it.
  CancelRequested = CancelSignal() != 0;
  const int result =
      ConvertPICsWholeTree2(&Report, Command.Folder, Command.OutputFolder, "", Command.TargetKB,
                            Command.PictureText, Command.TextPosition, ProgressMsg, FileMsg,
                            Command.Overwrite, false, errorLog, &account, Command.Choices);
  Report.Finish(errorLog);
  if (result != 0) PrintRefusal(TTextId::CliFileSizeJob, result, Err);
  if (result == 0) PrintAccount(account, JobOverwriteOption, Err);
  PrintOutputFolder(Command.OutputFolder.empty() ? batch::OutputBase(Command.Folder) + "_SIZE" +
                                                       std::to_string(Command.TargetKB) + " kB/"
                                                 : Command.OutputFolder,
                    Out);
  return ExitStatus(result != 0, errorLog, account);
}

// The renaming job's line for a file renamed: the old path, " -> ", the new
// name (the folder stays the same).
TRenameListener RenameLinePrinter(std::ostream& Out) {
  return [&Out](const TRenameResult& Result) {
    if (Result.Outcome != TRenameOutcome::Renamed) return;
    Out << Result.OldPath << " -> " << ExtractFileName(Result.NewPath) << '\n' << std::flush;
  };
}

// Gives the files of the last run over the folder their old names back:
// "new -> old" on Out for each, the lines and the account on Err; 1 when a
// file kept its name or a line was written, 2 when there is nothing to undo.
int RunRenameUndo(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
                  std::ostream& Err) {
  TErrorLog errorLog;
  const std::optional<TRenameAccount> account =
      UndoRenames(Command.Folder, Command.DryRun, RenameLinePrinter(Out), errorLog);
  if (!account) {
    Err << Text(TTextId::UndoNothing, {Command.Folder}) << '\n';
    return 2;
  }
  Report.Finish(errorLog);
  Err << RenameAccountText(*account, Command.DryRun) << '\n';
  return account->Failed > 0 || !errorLog.empty() ? 1 : 0;
}

// Prints "old -> new" on Out for each file renamed (or, in a dry run, to be
// renamed), the error lines and the account on Err; 1 when a file could not
// be renamed.
int RunRename(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
              std::ostream& Err) {
  if (!CheckFolder(Command.Folder, Err)) return 2;
  if (Command.Undo) return RunRenameUndo(Command, Report, Out, Err);
  TRenameOptions options;
  options.Mode = Command.RenameMode;
  options.ExifDate = Command.ExifDate;
  options.DryRun = Command.DryRun;
  TErrorLog errorLog;
  const TRenameAccount account =
      RenameCameraFiles(Command.Folder, options, RenameLinePrinter(Out), errorLog);
  if (!Command.DryRun) Report.post({WM_BATCH_STATUS, 0, 0, RenameStatusText(account.Renamed)});
  Report.Finish(errorLog);
  Err << RenameAccountText(account, Command.DryRun) << '\n';
  return account.Failed > 0 ? 1 : 0;
}

// Lists every file given; each argument that is no file is named on Err
// (the status is then 2).
int RunInfo(const TCommandLine& Command, std::ostream& Out, std::ostream& Err) {
  int status = 0;
  for (const std::string& file : Command.Files) {
    if (FolderExists(file)) {
      Err << "pictrim: " << Text(TTextId::CliFolderNotFile, {file}) << '\n';
      status = 2;
    } else if (!batch::FileExists(file)) {
      Err << "pictrim: " << Text(TTextId::CliFileNotFound, {file}) << '\n';
      status = 2;
    } else {
      Out << PrintableText(file) << '\n' << MetadataText(file) << '\n';
    }
  }
  return status;
}

// A listing of "\r\n"-separated entries as indented lines.
std::string IndentedLines(const std::string& Listing) {
  std::string text;
  size_t start = 0;
  while (start <= Listing.size()) {
    size_t end = Listing.find("\r\n", start);
    if (end == std::string::npos) end = Listing.size();
    if (end > start) text += "  " + PrintableText(Listing.substr(start, end - start)) + '\n';
    start = end + 2;
  }
  return text;
}

}  // namespace

int RunBmpBatch(const TCommandLine& Command, TBatchTarget& Target, TErrorLog& ErrorLog,
                TJobAccount& Account) {
  return ConvertBMPtoJPEGtree(&Target, Command.SourceFolder, Command.OutputFolder,
                              Command.PixelSize, "", ProgressMsg, FileMsg, Command.Overwrite,
                              ErrorLog, &Account);
}

int RunJpegBatch(const TCommandLine& Command, TBatchTarget& Target, TErrorLog& ErrorLog,
                 TJobAccount& Account) {
  return SaveJPEGtreeDownSized(&Target, Command.SourceFolder, Command.OutputFolder,
                               Command.PixelSize, 0, "", ProgressMsg, FileMsg, Command.Overwrite,
                               ErrorLog, &Account);
}

bool CheckFolder(const std::string& Folder, std::ostream& Err) {
  if (FolderExists(Folder)) return true;
  // The folder as a file would be named: without its closing delimiter.
  const std::string file = Folder.substr(0, Folder.find_last_not_of(PathDelimiter) + 1);
  if (!file.empty() && batch::FileExists(file)) {
    Err << "pictrim: " << Text(TTextId::CliFileNotFolder, {file}) << '\n';
  } else {
    Err << "pictrim: " << Text(TTextId::CliFolderNotFound, {Folder}) << '\n';
  }
  return false;
}

int FinishUnattended(const TCommandLine& Command, int Bmp, int Jpeg, const TErrorLog& ErrorLog,
                     const TJobAccount& Account, std::ostream& Out, std::ostream& Err) {
  if (Bmp != 0) PrintRefusal(TTextId::CliBmpBatch, Bmp, Err);
  if (Jpeg != 0) PrintRefusal(TTextId::CliJpegBatch, Jpeg, Err);
  if (Bmp == 0 || Jpeg == 0) PrintAccount(Account, UnattendedOverwriteOption, Err);
  PrintOutputFolder(Command.OutputFolder.empty()
                        ? SizeOutputFolder(Command.SourceFolder, Command.PixelSize)
                        : Command.OutputFolder,
                    Out);
  return ExitStatus(Bmp != 0 || Jpeg != 0, ErrorLog, Account);
}

void PrintAccount(const TJobAccount& Account, const std::string& OverwriteHint, std::ostream& Err) {
  for (const std::string& line : AccountLines(Account, OverwriteHint)) Err << line << '\n';
  Err << std::flush;
}

std::string MetadataText(const std::string& FileName) {
  TMetadata metadata(255);
  const bool read = metadata.ReadMetadata(FileName);
  std::string text;
  if (!read)
    text += "  " +
            (metadata.ErrorText().empty() ? std::string("Not an EXIF file")
                                          : PrintableText(metadata.ErrorText())) +
            '\n';
  const std::string exif = IndentedLines(metadata.ExifListing());
  if (!exif.empty()) text += "[EXIF]\n" + exif;
  const std::string maker = IndentedLines(metadata.MakerNoteListing());
  if (!maker.empty()) text += "[Maker note]\n" + maker;
  const std::string iptc = IndentedLines(metadata.IptcListing());
  if (!iptc.empty()) text += "[IPTC]\n" + iptc;
  if (metadata.HasColourProfile()) {
    const std::string description = metadata.ColourProfileDescription();
    text += "[Colour profile]\n  Description = " +
            (description.empty() ? std::string("(not readable)") : PrintableText(description)) +
            '\n';
  }
  if (const tSection* xmp = metadata.XmpSection()) {
    text += "[XMP]\n  Packet = " + std::to_string(XmpPacketLength(xmp->Data)) + " bytes\n";
    if (!metadata.ExtendedXmpSections().empty()) {
      text += "  Extension = " +
              std::to_string(ExtendedXmpLength(metadata.ExtendedXmpSections().front().Data)) +
              " bytes\n";
    }
  }
  return text;
}

int RunJob(const TCommandLine& Command, TConsoleReport& Report, std::ostream& Out,
           std::ostream& Err) {
  switch (Command.Kind) {
    case TCommandKind::Unattended:
      return RunUnattended(Command, Report, Out, Err);
    case TCommandKind::Resize:
      return RunResize(Command, Report, Out, Err);
    case TCommandKind::Shrink:
      return RunShrink(Command, Report, Out, Err);
    case TCommandKind::Rename:
      return RunRename(Command, Report, Out, Err);
    case TCommandKind::Info:
      return RunInfo(Command, Out, Err);
    default:
      return 2;
  }
}

}  // namespace pictrim
