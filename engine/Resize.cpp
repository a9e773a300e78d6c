#include "engine/Resize.h"

#include "engine/BatchSupport.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "metadata/Exif.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"

namespace pictrim {

std::string StatusText;

namespace {

using batch::FileExists;

bool IsJpegExtension(const std::string& Extension) {
  return Extension == "jpg" || Extension == "jpeg";
}

// One list entry with what the batch derives from it.
struct TResizeEntry {
  std::string Source;
  std::string Extension;  // lower-cased, after the last "." of the whole path
  std::string OutputPath;
};

TResizeEntry DeriveEntry(const std::string& Source, const std::string& SourceFolder,
                         const std::string& OutputFolder) {
  TResizeEntry entry;
  entry.Source = Source;
  entry.Extension = LowerCase(ExtractExtension(Source));
  entry.OutputPath = OutputFolder + ReplaceExtension(batch::RelativePath(Source, SourceFolder), "jpg");
  return entry;
}

// Where a file's processing goes on after its picture work.
enum class TStep {
  Report,  // report the output when it exists, then the next entry
  Next,    // straight to the next entry
  Stop,    // the run was cancelled
};

class TResizeRun {
 public:
  TResizeRun(TBatchTarget* Window, uint32_t MaxWidth, uint32_t MaxHeight,
             const std::string& PictureText, uint8_t TextPosition, bool Overwrite,
             TErrorLog& ErrorLog)
      : Window_(Window),
        MaxWidth_(MaxWidth),
        MaxHeight_(MaxHeight),
        PictureText_(PictureText),
        TextPosition_(TextPosition),
        Overwrite_(Overwrite),
        ErrorLog_(ErrorLog) {}

  // Runs the file loop; returns the index at which it ended.
  int64_t Run(const TFileList& Files, const std::string& SourceFolder,
              const std::string& OutputFolder);

 private:
  TStep ProcessEntry(const TResizeEntry& Entry);
  TStep MakeCopy(const TResizeEntry& Entry);
  bool LoadPicture(const TResizeEntry& Entry);
  void RescalePicture(const TResizeEntry& Entry);
  void WriteCopy(const TResizeEntry& Entry, const std::vector<uint8_t>& Plain);
  void Log(const std::string& Message) { AddErrorLogEntry(Message, ErrorLog_); }

  TBatchTarget* Window_;
  uint32_t MaxWidth_;
  uint32_t MaxHeight_;
  const std::string& PictureText_;
  uint8_t TextPosition_;
  bool Overwrite_;
  TErrorLog& ErrorLog_;
  TDisplayBitmap Picture_;
  TMetadata Metadata_{255};
  int64_t Done_ = 0;
  int64_t Total_ = 0;
};

int64_t TResizeRun::Run(const TFileList& Files, const std::string& SourceFolder,
                        const std::string& OutputFolder) {
  Total_ = static_cast<int64_t>(Files.Count());
  int64_t index = 0;
  for (const std::string& source : Files) {
    const TStep step = ProcessEntry(DeriveEntry(source, SourceFolder, OutputFolder));
    if (step == TStep::Stop || CancelRequested) break;
    ++index;
  }
  return index;
}

TStep TResizeRun::ProcessEntry(const TResizeEntry& Entry) {
  StatusText = ExtractFileName(Entry.OutputPath);
  PostStatus(Window_, StatusText);
  if (!Overwrite_ && FileExists(Entry.OutputPath)) return TStep::Next;
  TStep step;
  try {
    step = MakeCopy(Entry);
  } catch (const std::exception&) {
    Picture_.Clear();
    Log("File " + Entry.Source + " caused an Exception while resizing");
    step = TStep::Report;
  }
  if (step != TStep::Report) return step;
  if (FileExists(Entry.OutputPath)) {
    PostFileDone(Window_, Entry.OutputPath);
    PostProgress(Window_, Done_, Total_);
    ++Done_;
  }
  return TStep::Report;
}

bool TResizeRun::LoadPicture(const TResizeEntry& Entry) {
  bool loaded = false;
  bool failed = false;
  try {
    loaded = Picture_.Load(Entry.Source, 0);
    failed = !loaded && Picture_.DecodeFailed();
  } catch (const std::exception&) {
    failed = true;
  }
  if (failed) {
    Log("EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"" + Entry.Source + "\"");
  }
  return loaded;
}

TStep TResizeRun::MakeCopy(const TResizeEntry& Entry) {
  Picture_.Clear();
  if (Entry.Extension == "db" || Entry.Extension == "txt" || Entry.Extension == "doc") {
    return TStep::Next;
  }
  if (!LoadPicture(Entry)) return TStep::Next;
  if (!MakeFolderPath(ExtractFilePath(Entry.OutputPath))) {
    Picture_.Clear();
    return TStep::Next;
  }
  const uint32_t width = Picture_.GetWidth();
  const uint32_t height = Picture_.GetHeight();
  if (width == 0 || height == 0) {
    Picture_.Clear();
    Log("File " + Entry.Source + " was empty");
    return TStep::Report;
  }
  if (width == 1 || height == 1) {
    Picture_.Clear();
    Log(Entry.Source + "  cannot be resized");
    return TStep::Report;
  }
  if (CancelRequested) {
    Picture_.Clear();
    return TStep::Stop;
  }
  RescalePicture(Entry);
  const std::optional<TFileTime> sourceTime = GetFileModTime(Entry.Source);
  std::vector<uint8_t> plain;
  const bool saved = Picture_.ConvertForJpeg() && Picture_.SaveToBytes(FIF_JPEG, plain, JPEG_DEFAULT);
  Picture_.Clear();
  if (!saved) return TStep::Report;
  if (CancelRequested) {
    // Stopped right after the save: the copy stays as the library wrote it.
    WriteFileBytes(Entry.OutputPath, plain.data(), plain.size());
    return TStep::Stop;
  }
  WriteCopy(Entry, plain);
  if (sourceTime && FileExists(Entry.OutputPath)) SetFileModTime(Entry.OutputPath, *sourceTime);
  return TStep::Report;
}

void TResizeRun::RescalePicture(const TResizeEntry& Entry) {
  const TPictureSize target =
      CalcNewSize(MaxWidth_, MaxHeight_, Picture_.GetWidth(), Picture_.GetHeight());
  Picture_.Rescale(target.Width, target.Height, FILTER_BOX);
  const uint32_t width = Picture_.GetWidth();
  const uint32_t height = Picture_.GetHeight();
  if (width != target.Width || height != target.Height) {
    Log("File " + Entry.Source + " couldn't be resized properly: " + " new Width is " +
        std::to_string(width) + " Pixel" + " new Height is " + std::to_string(height) + " Pixel");
  }
}

// The copy as the library encoded it (Plain), with the text stamped in and
// the source's metadata carried over where they apply.
void TResizeRun::WriteCopy(const TResizeEntry& Entry, const std::vector<uint8_t>& Plain) {
  const std::string failure = "File " + Entry.Source + " caused an Exception while writing EXIF Data";
  bool written = false;
  bool failed = false;
  try {
    TJpegImage jpeg;
    jpeg.LoadFromBytes(Plain);
    if (!PictureText_.empty()) {
      QImage bitmap = jpeg.ToBitmap();
      StampText(bitmap, PictureText_, TextPosition_);
      jpeg.Assign(bitmap);
    }
    if (IsJpegExtension(Entry.Extension)) {
      Metadata_.SaveJpegKeepingMetadata(jpeg, Entry.OutputPath, true, Entry.Source);
      written = true;
    } else if (!PictureText_.empty()) {
      jpeg.SaveToFile(Entry.OutputPath);
      written = true;
    }
  } catch (const std::exception&) {
    Log(failure);
    failed = true;
  }
  if (written) return;
  try {
    // No stamp or metadata went in (or they failed): the library's copy stands.
    WriteFileBytes(Entry.OutputPath, Plain.data(), Plain.size());
  } catch (const std::exception&) {
    if (!failed) Log(failure);
  }
}

}  // namespace

TPictureSize CalcNewSize(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width, uint32_t Height) {
  TPictureSize size;
  const auto scaled = [](uint32_t Edge, uint32_t Num, uint32_t Den) -> uint32_t {
    if (Den == 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(Edge) * Num / Den);
  };
  if (MaxWidth == MaxHeight) {
    if (Width >= Height) {
      size.Width = MaxWidth;
      size.Height = scaled(MaxWidth, Height, Width);
    } else {
      size.Height = MaxHeight;
      size.Width = scaled(MaxHeight, Width, Height);
    }
  } else if (MaxHeight == 0) {
    size.Width = MaxWidth;
    size.Height = scaled(MaxWidth, Height, Width);
  } else if (MaxWidth == 0) {
    size.Height = MaxHeight;
    size.Width = scaled(MaxHeight, Width, Height);
  }
  return size;
}

std::string ResizeOutputFolder(const std::string& SourceFolder, uint32_t MaxWidth,
                               uint32_t MaxHeight) {
  std::string suffix;
  uint32_t number = 0;
  if (MaxWidth == MaxHeight) {
    suffix = "_MAXSIZE";
    number = MaxWidth;
  } else if (MaxHeight == 0) {
    suffix = "_MAXWIDTH";
    number = MaxWidth;
  } else {
    suffix = "_MAXHEIGHT";
    number = MaxHeight;
  }
  return batch::OutputBase(SourceFolder) + suffix + std::to_string(number) + PathDelimiter;
}

int ConvertPICsWholeTree(TBatchTarget* Window, const std::string& SourceFolder,
                         const std::string& OutputFolder, uint32_t MaxWidth, uint32_t MaxHeight,
                         const std::string& PictureText, uint8_t TextPosition, uint32_t ProgressMsg,
                         uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog) {
  if (ProgressMsg < WM_USER || FileMsg < WM_USER || SourceFolder.empty()) return ResizeRefused;
  if (MaxWidth > 0 && MaxHeight > 0 && MaxWidth != MaxHeight) {
    ShowMessage("Error:  both Size values > 0  AND not equal -  EXIT !!");
    return ResizeRefused;
  }
  const std::string source = IncludeTrailingDelimiter(SourceFolder);
  const std::string output =
      OutputFolder.empty() ? ResizeOutputFolder(source, MaxWidth, MaxHeight) : OutputFolder;
  std::unique_ptr<TFileList> files;
  GetFileListEx(files, source, "", "", true, true);

  TResizeRun run(Window, MaxWidth, MaxHeight, PictureText, TextPosition, Overwrite, ErrorLog);
  const int64_t index = run.Run(*files, source, IncludeTrailingDelimiter(output));

  files.reset();
  batch::FinishBatch(Window, SourceFolder, index);
  return 0;
}

void PostFileDone(TBatchTarget* Window, const std::string& Path) {
  if (Window == nullptr) return;
  Window->post({WM_BATCH_FILE, 0, 0, Path});
  Window->pump();
}

void PostStatus(TBatchTarget* Window, const std::string& Text) {
  if (Window == nullptr) return;
  Window->post({WM_BATCH_STATUS, 0, 0, Text});
  Window->pump();
}

void PostProgress(TBatchTarget* Window, int64_t Done, int64_t Total) {
  if (Window == nullptr) return;
  Window->post({WM_BATCH_PROGRESS, Done + 1, Total, std::string()});
  Window->pump();
}

void PostFinished(TBatchTarget* Window, int64_t Index) {
  if (Window == nullptr) return;
  Window->post({WM_BATCH_PROGRESS, Index + 1, 0, std::string()});
}

}  // namespace pictrim
