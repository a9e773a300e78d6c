// Pieces the batches share: output folder and path derivation, file tests
// and the closing notifications of a run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "image/JpegImage.h"
#include "platform/BatchTarget.h"
#include "platform/Paths.h"
#include "util/ErrorLog.h"
#include "util/OrderedWork.h"
#include "util/SystemUtils.h"

namespace pictrim::batch {

// The closing status text of a cancelled run.
std::string CancelledStatusText();

bool FileExists(const std::string& Path);

// True when Path names a folder (a link to one included).
bool IsFolder(const std::string& Path);
// The error line of a file whose output path is taken by a folder.
std::string FolderOutputLine(const std::string& Source, const std::string& OutputPath);

// True when the file starts with the JPEG start-of-image marker (FF D8);
// reads two bytes. Raises EInOutError when the file cannot be opened.
bool StartsAsJpeg(const std::string& Path);

// True when OutputFolder is SourceFolder or lies below it (links and "."
// or ".." steps resolved where the folders exist): copies written there
// would become sources of later runs, or replace sources. The start guard
// of every batch and of a job's own output folder.
bool OutputInsideSource(const std::string& OutputFolder, const std::string& SourceFolder);

// The line of a file whose own path or whose copy's path is too long for
// the file system; "" when both fit.
std::string OverlongPathLine(const std::string& Source, const std::string& OutputPath);
// Why Path cannot be used because of its length, in a few words of the
// language in use; "" when its length is fine.
std::string PathLengthProblem(const std::string& Path);

// True when a copy written to OutputPath would land in the source tree: its
// folder, resolved, lies inside the resolved source folder (a link in the
// output tree may lead there). Such a copy is never written.
bool WritesIntoSourceTree(const std::string& OutputPath, const std::string& SourceFolder);
// The line of such a copy.
std::string IntoSourceTreeLine(const std::string& Source, const std::string& OutputPath);

// True when a write that failed with the system's error number Error failed
// for the output folder as a whole (a full, read-only or unwritable disk):
// no later copy could be written either.
bool IsFolderFailure(int Error);
// Why no file can be created in the folder of OutputPath (the system's
// words); empty when one can.
std::string FolderWriteProblem(const std::string& OutputPath);

// The start guard of every batch: true, after telling the user, when the
// output folder lies inside the source folder (OutputInsideSource).
bool RefuseOutputInsideSource(const std::string& SourceFolder, const std::string& OutputFolder);

// Lists the files of the tree as GetFileListEx does; a folder that cannot be
// searched because its path is too long gets a line in ErrorLog.
std::unique_ptr<TFileList> ListSourceTree(const std::string& SourceFolder, const std::string& Masks,
                                          TErrorLog& ErrorLog);

// The source as a JPEG picture read from its file as it is decoded, its
// decodes stopped by a cancel, when the file starts as a JPEG; nothing
// otherwise. Raises EInOutError when the file cannot be opened (or is no
// regular file) and EJpegError as TJpegImage::LoadFromFile does.
std::optional<TJpegImage> OpenJpegSource(const std::string& Path);

// The JPEG source decoded at a reduced scale that leaves room for the
// rescale (jpegcodec::RoomyScaleDenom) and brought to Width x Height with
// the box filter by area or, Sharp, the Lanczos filter, each as a rescale
// of the whole picture. A
// 32-bit bitmap (8-bit grey for a grey JPEG). Raises EJpegError as the
// decode does, and std::bad_alloc when there is no memory for the result.
QImage ReducedToSize(const TJpegImage& Source, uint32_t Width, uint32_t Height, bool Sharp);

// The source folder without its closing delimiter, to which an output
// folder's suffix is appended; the root folder keeps it.
std::string OutputBase(const std::string& SourceFolder);

// The JPEG quality of a copy: the one chosen, else Own (the job's own).
inline int CopyQuality(const TJobChoices& Choices, int Own) {
  return Choices.Quality > 0 ? Choices.Quality : Own;
}

// A listed path relative to the source folder it was listed from.
std::string RelativePath(const std::string& Entry, const std::string& SourceFolder);

// True for the extensions (lower-cased) of JPEG files.
inline bool IsJpegExtension(const std::string& Extension) {
  return Extension == "jpg" || Extension == "jpeg";
}

// The name of the copy of a source that is no JPEG beside a JPEG copy:
// Relative with everything after its last "." replaced by "ex", the
// extension in capitals and ".jpg" (Bild.png gives Bild.exPNG.jpg).
std::string ExNamedCopy(const std::string& Relative, const std::string& Extension);

// Gives the copies of a run names of their own where several sources
// would make copies of one name (Name.HEIC and Name.JPG, or a RAW file and
// the camera's JPEG): a JPEG source keeps the name (the one whose own file
// has that very name, else the first in byte order of their paths) and the
// others take the name Alternative gives them; without a JPEG among them,
// all do. The result does not depend on the order of the list. Entries
// have Source, Extension (lower-cased) and OutputPath.
template <typename TEntry, typename TAlternativeFn>
void NameTwinsApart(std::vector<TEntry>& Entries, TAlternativeFn Alternative) {
  std::unordered_map<std::string, std::vector<size_t>> claims;
  for (size_t i = 0; i < Entries.size(); ++i) claims[Entries[i].OutputPath].push_back(i);
  for (auto& [path, claimants] : claims) {
    if (claimants.size() < 2) continue;
    const TEntry* keeper = nullptr;
    for (const size_t i : claimants) {
      const TEntry& entry = Entries[i];
      if (!IsJpegExtension(entry.Extension)) continue;
      const bool ownName = ExtractFileName(entry.Source) == ExtractFileName(path);
      const bool keeperOwnName =
          keeper != nullptr && ExtractFileName(keeper->Source) == ExtractFileName(path);
      if (keeper == nullptr || (ownName && !keeperOwnName) ||
          (ownName == keeperOwnName && entry.Source < keeper->Source))
        keeper = &entry;
    }
    for (const size_t i : claimants) {
      if (&Entries[i] != keeper) Entries[i].OutputPath = Alternative(Entries[i]);
    }
  }
}

// Counts what becomes of a batch's listed entries, each entry once, and
// remembers which source each copy of this run was made from, so that a
// later source whose copy would take the same name gets none.
class TAccountKeeper {
 public:
  TAccountKeeper(size_t Listed, TErrorLog& ErrorLog)
      : Listed_(static_cast<int64_t>(Listed)), ErrorLog_(ErrorLog) {}
  void SetListed(size_t Listed) { Listed_ = static_cast<int64_t>(Listed); }

  // A copy was written; a damaged source (Damage says why) gets its line.
  void Written(const std::string& Source, const std::string& OutputPath,
               const std::string& Damage = {});
  // The copy of Source at OutputPath exists and is not to be replaced.
  void Existing(const std::string& Source, const std::string& OutputPath);
  void NotPicture() { ++Account_.NotPictures; }
  // No copy; the error log already says why.
  void Failed() { ++Account_.Failed; }
  // True when OutputPath belongs to the copy of an earlier entry of this run
  // (written, or there already): the entry is then logged and counted as
  // failed.
  bool NameTaken(const std::string& Source, const std::string& OutputPath);
  // Adds the account to *Account (when given); entries not counted were
  // not reached.
  void AddTo(TJobAccount* Account) const;

 private:
  TJobAccount Account_;
  int64_t Listed_;
  TErrorLog& ErrorLog_;
  std::unordered_map<std::string, std::string> CopySources_;  // output path -> source
};

// What the reporting side of the picture batches shares: the window, the
// error log, the account and the count of the copies reported.
class TRunReport {
 public:
  TRunReport(TBatchTarget* Window, size_t Total, TErrorLog& ErrorLog)
      : Window_(Window),
        Account_(Total, ErrorLog),
        ErrorLog_(ErrorLog),
        Total_(static_cast<int64_t>(Total)) {}

  void AddAccount(TJobAccount* Account) const { Account_.AddTo(Account); }

 protected:
  void Log(const std::string& Message) { AddErrorLogEntry(Message, ErrorLog_); }
  void Log(const std::vector<std::string>& Lines) {
    for (const std::string& line : Lines) Log(line);
  }
  // Tells the window of the copy at OutputPath and of the progress, when
  // the copy exists.
  void ReportDone(const std::string& OutputPath);

  TBatchTarget* Window_;
  TAccountKeeper Account_;

 private:
  TErrorLog& ErrorLog_;
  int64_t Total_;
  int64_t Done_ = 0;
};

// The file loop of the picture batches. The picture work of the entries
// runs on a few threads, one worker each (made by NewWorker), at most one
// entry per thread plus one ahead; Report gets every entry in list order,
// with the means to take its result (Report(Entry, Take)), as a run doing
// one file after the other would. The loop ends when Report returns false or
// a cancel is requested; returns the index at which it ended.
template <typename TEntry, typename TNewWorker, typename TReport>
int64_t RunInListOrder(const std::vector<TEntry>& Entries, TNewWorker NewWorker, TReport Report) {
  using TWorker = typename decltype(NewWorker())::element_type;
  using TResult = decltype(std::declval<TWorker&>().Make(Entries.front()));
  const unsigned threads = BatchThreadCount();
  std::vector<std::unique_ptr<TWorker>> workers;
  for (unsigned w = 0; w < threads; ++w) workers.push_back(NewWorker());
  TOrderedWork<TResult> work(Entries.size(), threads, threads + 1,
                             [&](size_t i, unsigned w) { return workers[w]->Make(Entries[i]); });
  int64_t index = 0;
  for (size_t i = 0; i < Entries.size(); ++i) {
    if (!Report(Entries[i], [&] { return work.Take(i); }) || CancelRequested) break;
    ++index;
  }
  work.Stop();
  return index;
}

// Sets the closing status text (cancelled, or done for SourceFolder), posts
// it and then the final progress notification.
void FinishBatch(TBatchTarget* Window, const std::string& SourceFolder, int64_t Index);

}  // namespace pictrim::batch
