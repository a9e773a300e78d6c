// The file-size batch: JPEG copies whose files come close to a target size,
// found by trying smaller pixel sizes of the picture. The trials are made
// and measured in memory on a few threads; only the copy that remains is
// written.
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/BatchSupport.h"
#include "engine/Resize.h"
#include "engine/ShrinkMaster.h"
#include "engine/SizeSearch.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "image/Metafile.h"
#include "metadata/Exif.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SourceFile.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {

bool ShrinkFromReducedMaster = true;

namespace {

using batch::FileExists;
using batch::IsJpegExtension;

// Whether the copies take metadata from the source: its EXIF block, colour
// profile or XMP packet.
bool CarriesMetadata(const TMetadata& Metadata) {
  return Metadata.HasExif() || Metadata.HasColourProfile() || Metadata.HasXmp();
}

bool IsSkippedExtension(const std::string& Extension) {
  return Extension == "db" || Extension == "txt" || Extension == "doc" || Extension == "wav" ||
         Extension == "mp3";
}

struct TShrinkEntry {
  std::string Source;
  std::string Extension;  // lower-cased, after the last "." of the whole path
  std::string OutputPath;
  std::string PathLine;  // why the paths are too long; "" when they fit
};

// JPEG sources keep their names; others become Name.exEXT.jpg.
TShrinkEntry DeriveEntry(const std::string& Source, const std::string& SourceFolder,
                         const std::string& OutputFolder) {
  TShrinkEntry entry;
  entry.Source = Source;
  entry.Extension = LowerCase(ExtractExtension(Source));
  const std::string relative = batch::RelativePath(Source, SourceFolder);
  entry.OutputPath =
      OutputFolder +
      (IsJpegExtension(entry.Extension) ? relative : batch::ExNamedCopy(relative, entry.Extension));
  return entry;
}

// Sizes tried, each half the one before, when the encoder refuses a picture
// within its side limit.
constexpr int MaxSmallerSaves = 4;

// The largest size of the same shape whose sides JPEG holds; the size
// itself when it fits.
TPictureSize WithinJpegSides(uint32_t Width, uint32_t Height) {
  const uint32_t longer = std::max(Width, Height);
  if (longer <= MaxJpegSide) return {Width, Height};
  const auto scaled = [longer](uint32_t Side) {
    return std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{Side} * MaxJpegSide / longer));
  };
  return {scaled(Width), scaled(Height)};
}

bool CopiesItsSource(const TShrinkEntry& Entry, int64_t TargetBytes) {
  const std::string extension = LowerCase(ExtractExtension(ExtractFileName(Entry.Source)));
  return IsJpegExtension(extension) && GetFileSizeByName(Entry.Source) <= TargetBytes;
}

// The loader's line, with why the file could not be loaded.
std::string LoaderLine(const TShrinkEntry& Entry, const std::string& Reason) {
  return pictrim::LoaderLine("ConvertPICsWholeTree2", Entry.Source, Reason);
}

std::string ExifLine(const TShrinkEntry& Entry) {
  return "File " + Entry.Source + " caused an Exception while writing EXIF Data";
}

// One trial of the width search as the window and the disk will see it.
struct TTrialRecord {
  uint32_t Width = 0;  // as announced
  uint32_t Height = 0;
  bool Saved = false;              // the library encoded it
  std::vector<uint8_t> Plain;      // the library's save
  std::vector<uint8_t> Finished;   // with stamp and metadata, as measured; empty: Plain
  std::vector<std::string> Lines;  // error-log lines of this trial
  // The bytes the copy would have: the finished trial, else the plain one.
  const std::vector<uint8_t>& Copy() const { return Finished.empty() ? Plain : Finished; }
};

// What the picture work made of one entry. Nothing is written or shown
// here; that happens in list order when the entry is reported.
struct TShrinkResult {
  enum TKind {
    NotPicture,  // no picture, by its extension or its bytes: only counted
    Existing,    // its copy exists and is not to be replaced: not loaded
    Unreadable,  // a picture that could not be read: LoadLines say why
    Tiny,        // empty or one pixel high: log lines, no copy
    NotSaved,    // no size of the picture could be saved: Lines say why
    Fits,        // the full-size save fits the target
    Searched,    // the trials of the width search
    Cancelled,   // the cancel ended its decode: not done
  };
  TKind Kind = NotPicture;
  std::vector<std::string> LoadLines;  // a file that could not be loaded
  std::string Damage;                  // the source is damaged: why the copy may be incomplete
  std::vector<std::string> Lines;      // lines of a Tiny picture
  std::vector<uint8_t> FullSave;       // the library's full-size save
  std::vector<uint8_t> SourceCopy;     // Fits: the source, copied as it is
  std::vector<TTrialRecord> Trials;
  int Chosen = -1;           // the trial that is written; -1: the last one
  bool AboveTarget = false;  // strict search: no trial got down to the target
  std::optional<TFileTime> SourceTime;
};

// The picture work of the file-size batch for one entry: load, full-size
// save, width search, everything in memory. One worker per thread; it
// touches no shared state.
class TShrinkWorker {
 public:
  TShrinkWorker(uint32_t TargetKB, const std::string& PictureText, uint8_t TextPosition,
                bool Overwrite, const TJobChoices& Choices)
      : TargetKB_(TargetKB),
        TargetBytes_(static_cast<int64_t>(TargetKB) * 1024),
        PictureText_(PictureText),
        TextPosition_(TextPosition),
        Overwrite_(Overwrite),
        Choices_(Choices),
        Quality_(batch::CopyQuality(Choices, TJpegImage::LibraryQuality)) {
    // A picture far larger than any copy within the target comes shrunk;
    // the master, its working copy and a trial are held at once.
    Master_.SetLoadShrink([TargetKB](uint32_t Width, uint32_t Height) {
      return MasterShrinkFactor(Width, Height, TargetKB);
    });
    Master_.SetLoadCopies(3);
  }

  TShrinkResult Make(const TShrinkEntry& Entry);

 private:
  void MakeCopy(const TShrinkEntry& Entry, TShrinkResult& Result);
  bool MakeFromJpeg(const TShrinkEntry& Entry, TJpegImage& Source, TShrinkResult& Result);
  void MakeFromContainer(const TShrinkEntry& Entry, TShrinkResult& Result);
  void LoadMaster(const TShrinkEntry& Entry, TShrinkResult& Result);
  void TakeCarriedMetadata(const TShrinkEntry& Entry);
  std::vector<uint8_t> SaveAtLargestSize(const TShrinkEntry& Entry, TShrinkResult& Result);
  std::vector<uint8_t> WithCarriedMetadata(std::vector<uint8_t> FullSave);
  void TakeFullSave(const TShrinkEntry& Entry, std::vector<uint8_t> FullSave,
                    TShrinkResult& Result);
  void Search(const TShrinkEntry& Entry, uint32_t Width, uint32_t Height, TTrialMaster& Master,
              TShrinkResult& Result);
  void FinishTrial(const TShrinkEntry& Entry, TTrialRecord& Trial, TSizeSearch& Search);
  void ChooseWithinTarget(TShrinkResult& Result) const;
  bool LastTrialMissedTheTarget(const TShrinkResult& Result) const;
  bool SourceHasExif(const std::string& Source);

  uint32_t TargetKB_;
  int64_t TargetBytes_;
  const std::string& PictureText_;
  uint8_t TextPosition_;
  bool Overwrite_;
  TJobChoices Choices_;
  int Quality_;  // of the library's saves
  TDisplayBitmap Master_;
  TMetadata Metadata_{255};
  std::optional<bool> SourceExif_;  // read once per file, when first needed
};

TShrinkResult TShrinkWorker::Make(const TShrinkEntry& Entry) {
  TShrinkResult result;
  if (IsSkippedExtension(Entry.Extension) || !Entry.PathLine.empty()) return result;
  if (!Overwrite_ && FileExists(Entry.OutputPath)) {
    result.Kind = TShrinkResult::Existing;
    return result;
  }
  SourceExif_.reset();
  try {
    MakeCopy(Entry, result);
  } catch (const EJpegCancelled&) {
    result = TShrinkResult();
    result.Kind = TShrinkResult::Cancelled;
  } catch (const EJpegLimitError& Error) {
    result = TShrinkResult();
    result.Kind = TShrinkResult::Unreadable;
    result.LoadLines.push_back(LoaderLine(Entry, Error.what()));
  } catch (const std::exception& Error) {
    result.Kind = TShrinkResult::Tiny;
    result.Lines.push_back(Text(TTextId::LogNotResized, {Entry.Source, ReasonOf(Error)}));
  }
  Master_.Clear();
  return result;
}

// A JPEG is read from its file as it is decoded; the container's loader
// takes other files, and JPEGs this road does not take. A file that cannot
// be opened as a regular file gets the loader's line at once.
void TShrinkWorker::MakeCopy(const TShrinkEntry& Entry, TShrinkResult& Result) {
  std::optional<TJpegImage> jpeg;
  try {
    jpeg = batch::OpenJpegSource(Entry.Source);
  } catch (const EJpegStopped&) {
    throw;
  } catch (const EJpegError&) {
    jpeg.reset();  // a header libjpeg cannot read: the container's loader judges it
  } catch (const EInOutError& Error) {
    Result.Kind = TShrinkResult::Unreadable;
    Result.LoadLines.push_back(LoaderLine(Entry, Error.Reason()));
    return;
  }
  if (!jpeg || !MakeFromJpeg(Entry, *jpeg, Result)) MakeFromContainer(Entry, Result);
}

// A colour JPEG: the full-size save is made row by row, and the trials
// come from a picture decoded at a reduced scale. False when the source is
// not such a JPEG, so the image container takes it.
bool TShrinkWorker::MakeFromJpeg(const TShrinkEntry& Entry, TJpegImage& Source,
                                 TShrinkResult& Result) {
  const uint32_t width = Source.Width();
  const uint32_t height = Source.Height();
  if (width < 2 || height < 2 || static_cast<uint64_t>(width) * height > INT32_MAX) return false;
  QImage half, whole;
  const bool keepWhole = ShrinkFromReducedMaster && uint64_t{width} * height <= WholePictureLimit;
  std::optional<std::vector<uint8_t>> fullSave =
      FullSizeJpegSave(Source, half, keepWhole ? &whole : nullptr, Quality_);
  if (!fullSave) return false;
  if (Source.DecodeWarnings() > 0) Result.Damage = CorruptJpegDamage();
  Result.SourceTime = GetFileModTime(Entry.Source);
  const int64_t fullSize = static_cast<int64_t>(fullSave->size());
  if (fullSize <= TargetBytes_) {
    TakeFullSave(Entry, std::move(*fullSave), Result);
    return true;
  }
  Result.FullSave = std::move(*fullSave);
  Result.Kind = TShrinkResult::Searched;
  if (!ShrinkFromReducedMaster) {
    if (!Master_.Load(Entry.Source, JPEG_DEFAULT)) return false;
    if (Result.Damage.empty()) Result.Damage = Master_.DecodeDamage();
    TContainerMaster master(Master_, Quality_, Choices_.Sharp);
    Search(Entry, width, height, master, Result);
    return true;
  }
  TReducedJpegMaster master(std::move(Source), Result.FullSave, std::move(half), std::move(whole),
                            Quality_, Choices_.Sharp);
  Search(Entry, width, height, master, Result);
  return true;
}

void TShrinkWorker::MakeFromContainer(const TShrinkEntry& Entry, TShrinkResult& Result) {
  Result = TShrinkResult();
  LoadMaster(Entry, Result);
  if (!Master_.IsValid()) {
    if (Master_.DecodeCancelled()) {
      Result.Kind = TShrinkResult::Cancelled;
      return;
    }
    if (Result.LoadLines.empty() && IsPictureExtension(Entry.Extension))
      Result.LoadLines.push_back(UnreadablePictureLine(Entry.Source));
    if (!Result.LoadLines.empty()) Result.Kind = TShrinkResult::Unreadable;
    return;
  }
  Result.Damage = Master_.DecodeDamage();
  TakeCarriedMetadata(Entry);
  // Depths and pixel types that JPEG cannot hold become 24 bits in memory.
  Master_.ConvertForJpeg();
  const uint32_t width = Master_.GetWidth();
  const uint32_t height = Master_.GetHeight();
  if (width == 0 || height == 0) {
    Result.Kind = TShrinkResult::Tiny;
    Result.Lines.push_back("File " + Entry.Source + " was empty");
    return;
  }
  if (height == 1) {
    Result.Kind = TShrinkResult::Tiny;
    Result.Lines.push_back(Entry.Source + "  cannot be resized");
    return;
  }
  Result.SourceTime = GetFileModTime(Entry.Source);
  std::vector<uint8_t> fullSave = SaveAtLargestSize(Entry, Result);
  if (fullSave.empty()) {
    Result.Kind = TShrinkResult::NotSaved;
    Result.Lines.push_back(NotSavedLine(Entry.Source));
    return;
  }
  if (static_cast<int64_t>(fullSave.size()) <= TargetBytes_) {
    TakeFullSave(Entry, WithCarriedMetadata(std::move(fullSave)), Result);
    return;
  }
  Result.FullSave = std::move(fullSave);
  Result.Kind = TShrinkResult::Searched;
  TContainerMaster master(Master_, Quality_, Choices_.Sharp);
  Search(Entry, Master_.GetWidth(), Master_.GetHeight(), master, Result);
}

// The library's save of the master at its own size; when JPEG cannot hold
// that (a side beyond its limit, or any refusal of the encoder), the master
// is brought within the limit and then halved until a save succeeds, and a
// line says so: the search goes on from the size that could be saved.
// Empty when no size could be saved.
std::vector<uint8_t> TShrinkWorker::SaveAtLargestSize(const TShrinkEntry& Entry,
                                                      TShrinkResult& Result) {
  std::vector<uint8_t> save;
  // The library's save takes its quality as the flags.
  if (Master_.SaveToBytes(FIF_JPEG, save, Quality_)) return save;
  const uint32_t width = Master_.GetWidth(), height = Master_.GetHeight();
  TPictureSize size = WithinJpegSides(width, height);
  for (int attempt = 0; attempt < MaxSmallerSaves && size.Width > 1 && size.Height > 1;
       ++attempt) {
    if (!Master_.Rescale(size.Width, size.Height, FILTER_BOX)) break;
    if (Master_.SaveToBytes(FIF_JPEG, save, Quality_)) {
      Result.Lines.push_back(
          SmallerCopyLine(Entry.Source, width, height, Master_.GetWidth(), Master_.GetHeight()));
      return save;
    }
    size = {size.Width / 2, size.Height / 2};
  }
  return {};
}

void TShrinkWorker::LoadMaster(const TShrinkEntry& Entry, TShrinkResult& Result) {
  Master_.Clear();
  try {
    if (Entry.Extension == "wmf") {
      const QImage drawn = RenderMetafile(Entry.Source);
      Master_.CopyFromBitmap(&drawn);
      Master_.ConvertTo24Bits();
      return;
    }
    const bool loaded = Master_.Load(Entry.Source, 0);
    if (!loaded && Master_.DecodeFailed())
      Result.LoadLines.push_back(LoaderLine(Entry, Master_.DecodeFailure()));
  } catch (const std::exception& Error) {
    Master_.Clear();
    Result.LoadLines.push_back(LoaderLine(Entry, ReasonOf(Error)));
  }
}

// The metadata blocks the decoder carried with the picture (HEIF files)
// become the source's metadata for the copies; the picture comes upright.
void TShrinkWorker::TakeCarriedMetadata(const TShrinkEntry& Entry) {
  const TPictureMetadata& carried = Master_.DecodedMetadata();
  if (carried.Empty()) return;
  SourceExif_ = Metadata_.ReadDecodedBlocks(Entry.Source, carried, true);
}

// A full-size save that fits, with the carried metadata when the copy still
// fits with it.
std::vector<uint8_t> TShrinkWorker::WithCarriedMetadata(std::vector<uint8_t> FullSave) {
  if (!SourceExif_.value_or(false)) return FullSave;
  try {
    TJpegImage jpeg;
    jpeg.LoadFromBytes(FullSave);
    std::vector<uint8_t> carried = Metadata_.JpegWithMetadata(jpeg, true);
    if (static_cast<int64_t>(carried.size()) <= TargetBytes_) return carried;
  } catch (const std::exception&) {
    // the save stands as it is
  }
  return FullSave;
}

// The full-size save fits: a JPEG source that fits itself is copied byte
// for byte (metadata and time stamp included); otherwise the save stands.
void TShrinkWorker::TakeFullSave(const TShrinkEntry& Entry, std::vector<uint8_t> FullSave,
                                 TShrinkResult& Result) {
  Result.Kind = TShrinkResult::Fits;
  Result.FullSave = std::move(FullSave);
  try {
    if (!CopiesItsSource(Entry, TargetBytes_)) return;
    Result.SourceCopy = TSourceFile(Entry.Source).ReadAll(static_cast<uint64_t>(TargetBytes_));
  } catch (const std::exception&) {
    Result.SourceCopy.clear();
    Result.Lines.push_back("File " + Entry.Source + " caused an Exception while copying");
  }
}

void TShrinkWorker::Search(const TShrinkEntry& Entry, uint32_t Width, uint32_t Height,
                           TTrialMaster& Master, TShrinkResult& Result) {
  TSizeSearch search(TargetKB_, Width, Height, static_cast<int64_t>(Result.FullSave.size()),
                     Choices_.StrictSize);
  while (!search.Finished()) {
    TTrialRecord& trial = Result.Trials.emplace_back();
    trial.Width = search.TrialWidth();
    trial.Height = search.TrialHeight();
    TTrialPicture picture = Master.Make(trial.Width, trial.Height);
    trial.Saved = picture.Saved;
    if (!trial.Saved) break;
    trial.Plain = std::move(picture.Bytes);
    FinishTrial(Entry, trial, search);
    search.Next(static_cast<int64_t>(trial.Copy().size()), picture.Width, picture.Height);
  }
  if (Choices_.StrictSize || LastTrialMissedTheTarget(Result)) ChooseWithinTarget(Result);
}

// Whether the search ended (by its trial limit) on a trial above the target
// by more than the tolerance, so that an earlier trial within the target
// makes the better copy.
bool TShrinkWorker::LastTrialMissedTheTarget(const TShrinkResult& Result) const {
  if (Result.Trials.empty() || !Result.Trials.back().Saved) return false;
  const auto size = static_cast<int64_t>(Result.Trials.back().Copy().size());
  return size - TargetBytes_ >= std::max<int64_t>(size / 100, 1024);
}

// Keeps the largest trial at or below the target. When no trial got there,
// the strict search keeps the smallest one, marked as above the target, and
// the other keeps its last.
void TShrinkWorker::ChooseWithinTarget(TShrinkResult& Result) const {
  int within = -1, smallest = -1;
  for (int i = 0; i < static_cast<int>(Result.Trials.size()); ++i) {
    const TTrialRecord& trial = Result.Trials[static_cast<size_t>(i)];
    if (!trial.Saved) continue;
    const size_t size = trial.Copy().size();
    if (static_cast<int64_t>(size) <= TargetBytes_ &&
        (within < 0 || size > Result.Trials[static_cast<size_t>(within)].Copy().size()))
      within = i;
    if (smallest < 0 || size < Result.Trials[static_cast<size_t>(smallest)].Copy().size())
      smallest = i;
  }
  if (within < 0 && !Choices_.StrictSize) return;
  Result.Chosen = within >= 0 ? within : smallest;
  Result.AboveTarget = within < 0;
}

// Stamps the text into a trial and carries the source's EXIF into it, so
// that the trial's size is measured as the copy will be.
void TShrinkWorker::FinishTrial(const TShrinkEntry& Entry, TTrialRecord& Trial,
                                TSizeSearch& Search) {
  try {
    TJpegImage jpeg;
    jpeg.LoadFromBytes(Trial.Plain);
    if (!PictureText_.empty()) {
      QImage bitmap = jpeg.ToBitmap();
      StampText(bitmap, PictureText_, TextPosition_);
      jpeg.SetCompressionQuality(batch::CopyQuality(Choices_, TJpegImage::DefaultQuality));
      jpeg.Assign(bitmap);
      Trial.Finished = jpeg.EncodedData();
    }
    if (Search.ExifFits() && SourceHasExif(Entry.Source)) {
      try {
        const int64_t before = static_cast<int64_t>(jpeg.EncodedData().size());
        Trial.Finished = Metadata_.JpegWithMetadata(jpeg, true);
        Search.ExifExtra = std::max<int64_t>(0, static_cast<int64_t>(Trial.Finished.size()) - before);
      } catch (const std::exception&) {
        // the trial goes on without EXIF
      }
    }
  } catch (const std::exception&) {
    Trial.Lines.push_back(ExifLine(Entry));
  }
}

// Whether the source carries EXIF; read once per file. A source whose
// metadata cannot be read counts as one without.
bool TShrinkWorker::SourceHasExif(const std::string& Source) {
  if (!SourceExif_) {
    try {
      Metadata_.ReadHasMetadata(Source);
      SourceExif_ = CarriesMetadata(Metadata_);
    } catch (const std::exception&) {
      SourceExif_ = false;
    }
  }
  return *SourceExif_;
}

enum class TStep {
  Report,  // report the output when it exists, then the next entry
  Next,    // straight to the next entry
  End,     // end the run
};

// Replays the results in list order: the notifications, the error-log
// lines, the cancel checks and the one write of each copy, as a run that
// did one file after the other would show them.
class TShrinkRun : public batch::TRunReport {
 public:
  TShrinkRun(TBatchTarget* Window, const std::string& SourceFolder, uint32_t TargetKB,
             bool Overwrite, bool Quiet, size_t Total, TErrorLog& ErrorLog)
      : TRunReport(Window, Total, ErrorLog),
        SourceFolder_(SourceFolder),
        TargetKB_(TargetKB),
        Overwrite_(Overwrite),
        Quiet_(Quiet) {}

  TStep ReportEntry(const TShrinkEntry& Entry, const std::function<TShrinkResult()>& Take);

 private:
  TStep ReportCopy(const TShrinkEntry& Entry, const TShrinkResult& Result);
  TStep ReportFit(const TShrinkEntry& Entry, const TShrinkResult& Result);
  TStep ReportSearch(const TShrinkEntry& Entry, const TShrinkResult& Result);
  TStep WriteCopy(const TShrinkEntry& Entry, const TShrinkResult& Result,
                  const std::vector<uint8_t>& Bytes);
  // The output folder takes no file (Why says why): the run ends here.
  TStep FolderFailed(const TShrinkEntry& Entry, const std::string& Why) {
    ShowMessage("Error with " + Entry.OutputPath + "\r" + Entry.OutputPath);
    Log(Text(TTextId::LogRunEnded, {Entry.Source, Entry.OutputPath, Why}));
    Account_.Failed();
    return TStep::End;
  }

  std::string SourceFolder_;
  uint32_t TargetKB_;
  bool Overwrite_;
  bool Quiet_;
};

TStep TShrinkRun::ReportEntry(const TShrinkEntry& Entry, const std::function<TShrinkResult()>& Take) {
  StatusText = ExtractFileName(Entry.OutputPath);
  if (!Quiet_) PostStatus(Window_, StatusText);
  // An earlier entry of this run may have written the same output by now.
  const bool present = FileExists(Entry.OutputPath);
  const TShrinkResult result = Take();
  if (result.Kind == TShrinkResult::Cancelled) return TStep::End;
  if (!Entry.PathLine.empty() && !IsSkippedExtension(Entry.Extension)) {
    Log(Entry.PathLine);
    Account_.Failed();
    return TStep::Next;
  }
  if (IsSkippedExtension(Entry.Extension) || result.Kind == TShrinkResult::NotPicture) {
    Account_.NotPicture();
    return TStep::Next;
  }
  if (Account_.NameTaken(Entry.Source, Entry.OutputPath)) return TStep::Next;
  if (batch::IsFolder(Entry.OutputPath)) {
    Log(batch::FolderOutputLine(Entry.Source, Entry.OutputPath));
    Account_.Failed();
    return TStep::Next;
  }
  if (!Overwrite_ && (present || result.Kind == TShrinkResult::Existing)) {
    Account_.Existing(Entry.Source, Entry.OutputPath);
    return TStep::Next;
  }
  Log(result.LoadLines);
  if (result.Kind == TShrinkResult::Unreadable) {
    Account_.Failed();
    return TStep::Next;
  }
  const TStep step = ReportCopy(Entry, result);
  if (step != TStep::Report) return step;
  ReportDone(Entry.OutputPath);
  return TStep::Report;
}

TStep TShrinkRun::ReportCopy(const TShrinkEntry& Entry, const TShrinkResult& Result) {
  if (batch::WritesIntoSourceTree(Entry.OutputPath, SourceFolder_)) {
    Log(batch::IntoSourceTreeLine(Entry.Source, Entry.OutputPath));
    Account_.Failed();
    return TStep::Next;
  }
  const std::string folder = ExtractFilePath(Entry.OutputPath);
  if (std::string why; !MakeFolderPath(folder, &why)) {
    ShowMessage("ForceDirectories failed with\r" + folder);
    Log(FolderNotMadeLine(Entry.Source, folder, why));
    Account_.Failed();
    return TStep::Report;
  }
  Log(Result.Lines);
  if (Result.Kind == TShrinkResult::Tiny || Result.Kind == TShrinkResult::NotSaved) {
    Account_.Failed();
    return TStep::Report;
  }
  if (CancelRequested) return TStep::End;
  if (IsSameFile(Entry.OutputPath, Entry.Source)) {
    Log(Text(TTextId::LogWouldReplaceSource, {Entry.Source}));
    Account_.Failed();
    return TStep::Report;
  }
  if (Result.Kind == TShrinkResult::Fits) return ReportFit(Entry, Result);
  // The trials are measured in memory; a folder where no file can be
  // written ends the run before they are shown.
  if (const std::string why = batch::FolderWriteProblem(Entry.OutputPath); !why.empty())
    return FolderFailed(Entry, why);
  return ReportSearch(Entry, Result);
}

TStep TShrinkRun::ReportFit(const TShrinkEntry& Entry, const TShrinkResult& Result) {
  if (!Result.SourceCopy.empty()) {
    try {
      WriteFileBytes(Entry.OutputPath, Result.SourceCopy.data(), Result.SourceCopy.size());
      if (Result.SourceTime) SetFileModTime(Entry.OutputPath, *Result.SourceTime);
      Account_.Written(Entry.Source, Entry.OutputPath, Result.Damage);
      return TStep::Report;
    } catch (const EInOutError& Error) {
      if (batch::IsFolderFailure(Error.Error())) return FolderFailed(Entry, Error.Reason());
      Log("File " + Entry.Source + " caused an Exception while copying");
    } catch (const std::exception&) {
      Log("File " + Entry.Source + " caused an Exception while copying");
    }
  }
  return WriteCopy(Entry, Result, Result.FullSave);
}

// Announces every trial; a cancel during them leaves no copy, and the file
// counts as not done. Otherwise the chosen trial is written, finished, once.
TStep TShrinkRun::ReportSearch(const TShrinkEntry& Entry, const TShrinkResult& Result) {
  const std::string name = ExtractFileName(Entry.OutputPath);
  const std::vector<uint8_t>* onDisk = &Result.FullSave;
  int number = 0;
  for (const TTrialRecord& trial : Result.Trials) {
    StatusText = name + "  " + "No " + std::to_string(++number) + " - test Size:  " +
                 std::to_string(trial.Width) + " x " + std::to_string(trial.Height);
    PostStatus(Window_, StatusText);
    if (CancelRequested) return TStep::End;
    Log(trial.Lines);
    if (trial.Saved) onDisk = &trial.Copy();
  }
  if (Result.Chosen >= 0) onDisk = &Result.Trials[static_cast<size_t>(Result.Chosen)].Copy();
  if (Result.AboveTarget) Log(AboveTargetLine(Entry.Source, onDisk->size(), TargetKB_));
  const TStep step = WriteCopy(Entry, Result, *onDisk);
  if (step == TStep::Report && Result.SourceTime && FileExists(Entry.OutputPath))
    SetFileModTime(Entry.OutputPath, *Result.SourceTime);
  return step;
}

// Writes a copy whole and counts it. A copy the output folder takes no
// file for (a full or unwritable disk) ends the run; one that fails
// otherwise gets a line and the run goes on.
TStep TShrinkRun::WriteCopy(const TShrinkEntry& Entry, const TShrinkResult& Result,
                            const std::vector<uint8_t>& Bytes) {
  try {
    WriteFileBytes(Entry.OutputPath, Bytes.data(), Bytes.size());
    Account_.Written(Entry.Source, Entry.OutputPath, Result.Damage);
  } catch (const EInOutError& Error) {
    if (batch::IsFolderFailure(Error.Error())) return FolderFailed(Entry, Error.Reason());
    Log(NotWrittenLine(Entry.Source, Entry.OutputPath, Error.Reason()));
    Account_.Failed();
  } catch (const std::exception& Error) {
    Log(NotWrittenLine(Entry.Source, Entry.OutputPath, ReasonOf(Error)));
    Account_.Failed();
  }
  return TStep::Report;
}

}  // namespace

std::string FileSizeOutputFolder(const std::string& SourceFolder, uint32_t TargetKB) {
  return batch::OutputBase(IncludeTrailingDelimiter(SourceFolder)) + "_SIZE" +
         std::to_string(TargetKB) + " kB" + PathDelimiter;
}

int ConvertPICsWholeTree2(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, const std::string& ExtensionFilter,
                          uint32_t TargetKB, const std::string& PictureText, uint8_t TextPosition,
                          uint32_t ProgressMsg, uint32_t FileMsg, bool Overwrite, bool Quiet,
                          TErrorLog& ErrorLog, TJobAccount* Account, const TJobChoices& Choices) {
  if (ProgressMsg < WM_USER || FileMsg < WM_USER || SourceFolder.empty()) return ShrinkRefused;
  const std::string source = IncludeTrailingDelimiter(SourceFolder);
  const std::string output = OutputFolder.empty() ? FileSizeOutputFolder(source, TargetKB)
                                                  : IncludeTrailingDelimiter(OutputFolder);
  if (batch::RefuseOutputInsideSource(source, output)) return ShrinkRefused;
  std::unique_ptr<TFileList> files = batch::ListSourceTree(source, ExtensionFilter, ErrorLog);
  std::vector<TShrinkEntry> entries;
  for (const std::string& path : *files) entries.push_back(DeriveEntry(path, source, output));
  files.reset();
  batch::NameTwinsApart(entries, [&](const TShrinkEntry& Entry) {
    return output + batch::ExNamedCopy(batch::RelativePath(Entry.Source, source), Entry.Extension);
  });
  for (TShrinkEntry& entry : entries)
    entry.PathLine = batch::OverlongPathLine(entry.Source, entry.OutputPath);

  TShrinkRun run(Window, source, TargetKB, Overwrite, Quiet, entries.size(), ErrorLog);
  const int64_t index = batch::RunInListOrder(
      entries,
      [&] {
        return std::make_unique<TShrinkWorker>(TargetKB, PictureText, TextPosition, Overwrite,
                                               Choices);
      },
      [&](const TShrinkEntry& Entry, const std::function<TShrinkResult()>& Take) {
        return run.ReportEntry(Entry, Take) != TStep::End;
      });
  run.AddAccount(Account);
  batch::FinishBatch(Window, SourceFolder, index);
  return 0;
}

}  // namespace pictrim
