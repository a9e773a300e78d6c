// The file-size batch: JPEG copies whose files come close to a target size,
// found by trying smaller pixel sizes of the full-size picture.
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "engine/BatchSupport.h"
#include "engine/Resize.h"
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
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using batch::FileExists;

bool IsSkippedExtension(const std::string& Extension) {
  return Extension == "db" || Extension == "txt" || Extension == "doc" || Extension == "wav" ||
         Extension == "mp3";
}

bool IsJpegExtension(const std::string& Extension) {
  return Extension == "jpg" || Extension == "jpeg";
}

struct TShrinkEntry {
  std::string Source;
  std::string Extension;  // lower-cased, after the last "." of the whole path
  std::string OutputPath;
};

// JPEG sources keep their names; others become Name.exEXT.jpg.
TShrinkEntry DeriveEntry(const std::string& Source, const std::string& SourceFolder,
                         const std::string& OutputFolder) {
  TShrinkEntry entry;
  entry.Source = Source;
  entry.Extension = LowerCase(ExtractExtension(Source));
  const std::string relative = batch::RelativePath(Source, SourceFolder);
  entry.OutputPath = OutputFolder + (IsJpegExtension(entry.Extension)
                                         ? relative
                                         : ReplaceExtension(relative, "ex" + UpperCase(entry.Extension) + ".jpg"));
  return entry;
}

enum class TStep {
  Report,  // report the output when it exists, then the next entry
  Next,    // straight to the next entry
  End,     // end the run
};

class TShrinkRun {
 public:
  TShrinkRun(TBatchTarget* Window, uint32_t TargetKB, const std::string& PictureText,
             uint8_t TextPosition, bool Overwrite, bool Quiet, TErrorLog& ErrorLog)
      : Window_(Window),
        TargetKB_(TargetKB),
        TargetBytes_(static_cast<int64_t>(TargetKB) * 1024),
        PictureText_(PictureText),
        TextPosition_(TextPosition),
        Overwrite_(Overwrite),
        Quiet_(Quiet),
        ErrorLog_(ErrorLog) {}

  int64_t Run(const TFileList& Files, const std::string& SourceFolder,
              const std::string& OutputFolder);

 private:
  TStep ProcessEntry(const TShrinkEntry& Entry);
  TStep MakeCopy(const TShrinkEntry& Entry);
  void LoadMaster(const TShrinkEntry& Entry);
  TStep SaveFullSize(const TShrinkEntry& Entry, int64_t& Size);
  void CopyFittingSource(const TShrinkEntry& Entry);
  TStep SearchWidth(const TShrinkEntry& Entry, int64_t FullSize);
  void FinishTrial(const TShrinkEntry& Entry, const std::vector<uint8_t>& Plain,
                   TSizeSearch& Search);
  bool SourceHasExif(const std::string& Source);
  void Log(const std::string& Message) { AddErrorLogEntry(Message, ErrorLog_); }

  TBatchTarget* Window_;
  uint32_t TargetKB_;
  int64_t TargetBytes_;
  const std::string& PictureText_;
  uint8_t TextPosition_;
  bool Overwrite_;
  bool Quiet_;
  TErrorLog& ErrorLog_;
  TDisplayBitmap Master_;
  TDisplayBitmap Working_;
  TMetadata Metadata_{255};
  std::optional<bool> SourceExif_;  // read once per file, when first needed
  int64_t Done_ = 0;
  int64_t Total_ = 0;
};

int64_t TShrinkRun::Run(const TFileList& Files, const std::string& SourceFolder,
                        const std::string& OutputFolder) {
  Total_ = static_cast<int64_t>(Files.Count());
  int64_t index = 0;
  for (const std::string& source : Files) {
    const TStep step = ProcessEntry(DeriveEntry(source, SourceFolder, OutputFolder));
    if (step == TStep::End || CancelRequested) break;
    ++index;
  }
  return index;
}

TStep TShrinkRun::ProcessEntry(const TShrinkEntry& Entry) {
  StatusText = ExtractFileName(Entry.OutputPath);
  if (!Quiet_) PostStatus(Window_, StatusText);
  if (IsSkippedExtension(Entry.Extension)) return TStep::Next;
  if (batch::IsFolder(Entry.OutputPath)) {
    Log(batch::FolderOutputLine(Entry.Source, Entry.OutputPath));
    return TStep::Next;
  }
  if (!Overwrite_ && FileExists(Entry.OutputPath)) return TStep::Next;
  SourceExif_.reset();
  TStep step;
  try {
    step = MakeCopy(Entry);
  } catch (const std::exception&) {
    Log("File " + Entry.Source + " caused an Exception while resizing");
    step = TStep::Report;
  }
  Master_.Clear();
  Working_.Clear();
  if (step != TStep::Report) return step;
  if (FileExists(Entry.OutputPath)) {
    PostFileDone(Window_, Entry.OutputPath);
    PostProgress(Window_, Done_, Total_);
    ++Done_;
  }
  return TStep::Report;
}

void TShrinkRun::LoadMaster(const TShrinkEntry& Entry) {
  Master_.Clear();
  try {
    if (Entry.Extension == "wmf") {
      const QImage drawn = RenderMetafile(Entry.Source);
      Master_.CopyFromBitmap(&drawn);
      Master_.ConvertTo24Bits();
      return;
    }
    if (!Master_.Load(Entry.Source, 0) && Master_.DecodeFailed()) {
      throw EInOutError("cannot decode " + Entry.Source);
    }
  } catch (const std::exception&) {
    Master_.Clear();
    Log("EXCEPTION in ConvertPICsWholeTree2 - FBitmap.Load() with  File \"" + Entry.Source + "\"");
  }
}

TStep TShrinkRun::MakeCopy(const TShrinkEntry& Entry) {
  LoadMaster(Entry);
  if (!Master_.IsValid()) return TStep::Next;
  // Depths and pixel types that JPEG cannot hold become 24 bits in memory.
  Master_.ConvertForJpeg();
  Working_.Assign(&Master_);
  const std::string folder = ExtractFilePath(Entry.OutputPath);
  if (!MakeFolderPath(folder)) {
    ShowMessage("ForceDirectories failed with\r" + folder);
    return TStep::Report;
  }
  const uint32_t width = Master_.GetWidth();
  const uint32_t height = Master_.GetHeight();
  if (width == 0 || height == 0) {
    Log("File " + Entry.Source + " was empty");
    return TStep::Report;
  }
  if (height == 1) {
    Log(Entry.Source + "  cannot be resized");
    return TStep::Report;
  }
  if (CancelRequested) return TStep::End;
  int64_t fullSize = 0;
  if (SaveFullSize(Entry, fullSize) == TStep::End) return TStep::End;
  if (fullSize <= TargetBytes_) {
    CopyFittingSource(Entry);
    return TStep::Report;
  }
  return SearchWidth(Entry, fullSize);
}

// Writes the picture at full size; a save that leaves no file (or an empty
// one) ends the whole run.
TStep TShrinkRun::SaveFullSize(const TShrinkEntry& Entry, int64_t& Size) {
  std::vector<uint8_t> bytes;
  if (Working_.SaveToBytes(FIF_JPEG, bytes, JPEG_DEFAULT)) {
    try {
      WriteFileBytes(Entry.OutputPath, bytes.data(), bytes.size());
    } catch (const EInOutError&) {
      // measured below: the file is missing
    }
  }
  Size = FileExists(Entry.OutputPath) ? GetFileSizeByName(Entry.OutputPath) : -1;
  if (Size > 0) return TStep::Report;
  ShowMessage("Error with " + Entry.OutputPath + "\r" + Entry.OutputPath);
  return TStep::End;
}

// The full-size save fits: a JPEG source that fits itself is copied byte
// for byte (metadata and time stamp included); otherwise the save stands.
void TShrinkRun::CopyFittingSource(const TShrinkEntry& Entry) {
  try {
    const std::string extension = LowerCase(ExtractExtension(ExtractFileName(Entry.Source)));
    if (!IsJpegExtension(extension) || GetFileSizeByName(Entry.Source) > TargetBytes_) return;
    const std::vector<uint8_t> bytes = ReadFileBytes(Entry.Source);
    WriteFileBytes(Entry.OutputPath, bytes.data(), bytes.size());
    if (const auto time = GetFileModTime(Entry.Source)) SetFileModTime(Entry.OutputPath, *time);
  } catch (const std::exception&) {
    Log("File " + Entry.Source + " caused an Exception while copying");
  }
}

TStep TShrinkRun::SearchWidth(const TShrinkEntry& Entry, int64_t FullSize) {
  TSizeSearch search(TargetKB_, Master_.GetWidth(), Master_.GetHeight(), FullSize);
  const std::string name = ExtractFileName(Entry.OutputPath);
  while (!search.Finished()) {
    const uint32_t a = search.TrialWidth();
    const uint32_t b = search.TrialHeight();
    StatusText = name + "  " + "No " + std::to_string(search.Trial()) + " - test Size:  " +
                 std::to_string(a) + " x " + std::to_string(b);
    PostStatus(Window_, StatusText);

    Working_.Assign(&Master_);
    Working_.Rescale(a, b, FILTER_BOX);
    std::vector<uint8_t> plain;
    const bool saved = Working_.SaveToBytes(FIF_JPEG, plain, JPEG_DEFAULT);
    if (saved) WriteFileBytes(Entry.OutputPath, plain.data(), plain.size());
    const uint32_t actualWidth = Working_.GetWidth();
    const uint32_t actualHeight = Working_.GetHeight();
    Working_.Clear();
    if (CancelRequested) return TStep::End;

    const std::optional<TFileTime> sourceTime = GetFileModTime(Entry.Source);
    if (saved) FinishTrial(Entry, plain, search);
    if (sourceTime) SetFileModTime(Entry.OutputPath, *sourceTime);
    if (!saved || !FileExists(Entry.OutputPath)) break;
    search.Next(GetFileSizeByName(Entry.OutputPath), actualWidth, actualHeight);
  }
  return TStep::Report;
}

// Stamps the text into a trial and carries the source's EXIF into it, so
// that the trial's size is measured as the copy will be.
void TShrinkRun::FinishTrial(const TShrinkEntry& Entry, const std::vector<uint8_t>& Plain,
                             TSizeSearch& Search) {
  try {
    TJpegImage jpeg;
    jpeg.LoadFromBytes(Plain);
    if (!PictureText_.empty()) {
      QImage bitmap = jpeg.ToBitmap();
      StampText(bitmap, PictureText_, TextPosition_);
      jpeg.Assign(bitmap);
      jpeg.SaveToFile(Entry.OutputPath);
    }
    if (Search.ExifFits() && SourceHasExif(Entry.Source)) {
      try {
        const int64_t before = GetFileSizeByName(Entry.OutputPath);
        Metadata_.WriteJpegWithMetadata(jpeg, Entry.OutputPath, true);
        Search.ExifExtra = std::max<int64_t>(0, GetFileSizeByName(Entry.OutputPath) - before);
      } catch (const std::exception&) {
        // the trial goes on without EXIF
      }
    }
  } catch (const std::exception&) {
    Log("File " + Entry.Source + " caused an Exception while writing EXIF Data");
  }
}

// Whether the source carries EXIF; read once per file. A source whose
// metadata cannot be read counts as one without.
bool TShrinkRun::SourceHasExif(const std::string& Source) {
  if (!SourceExif_) {
    try {
      Metadata_.ReadHasMetadata(Source);
      SourceExif_ = Metadata_.HasExif();
    } catch (const std::exception&) {
      SourceExif_ = false;
    }
  }
  return *SourceExif_;
}

}  // namespace

int ConvertPICsWholeTree2(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, const std::string& ExtensionFilter,
                          uint32_t TargetKB, const std::string& PictureText, uint8_t TextPosition,
                          uint32_t ProgressMsg, uint32_t FileMsg, bool Overwrite, bool Quiet,
                          TErrorLog& ErrorLog) {
  if (ProgressMsg < WM_USER || FileMsg < WM_USER || SourceFolder.empty()) return ShrinkRefused;
  const std::string source = IncludeTrailingDelimiter(SourceFolder);
  const std::string output = OutputFolder.empty()
                                 ? batch::OutputBase(source) + "_SIZE" + std::to_string(TargetKB) +
                                       " kB" + PathDelimiter
                                 : IncludeTrailingDelimiter(OutputFolder);
  std::unique_ptr<TFileList> files;
  GetFileListEx(files, source, "", ExtensionFilter, true, true);

  TShrinkRun run(Window, TargetKB, PictureText, TextPosition, Overwrite, Quiet, ErrorLog);
  const int64_t index = run.Run(*files, source, output);
  files.reset();
  batch::FinishBatch(Window, SourceFolder, index);
  return 0;
}

}  // namespace pictrim
