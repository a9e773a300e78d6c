#include "engine/Resize.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "engine/BatchSupport.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "image/PictureShrink.h"
#include "metadata/Exif.h"
#include "metadata/ExifFacts.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {

std::string StatusText;
unsigned BatchThreads = 0;

namespace {

// Edges beyond this are left to the image library (a screen bitmap is limited).
constexpr uint32_t MaxBitmapEdge = 32767;

using batch::FileExists;
using batch::IsJpegExtension;

// One list entry with what the batch derives from it.
struct TResizeEntry {
  std::string Source;
  std::string Extension;  // lower-cased, after the last "." of the whole path
  std::string OutputPath;
  std::string PathLine;  // why the paths are too long; "" when they fit
};

// The loader's line, with why the file could not be loaded.
std::string LoaderLine(const TResizeEntry& Entry, const std::string& Reason) {
  return pictrim::LoaderLine("ConvertPICsWholeTree", Entry.Source, Reason);
}

std::string ExifLine(const TResizeEntry& Entry) {
  return "File " + Entry.Source + " caused an Exception while writing EXIF Data";
}

TResizeEntry DeriveEntry(const std::string& Source, const std::string& SourceFolder,
                         const std::string& OutputFolder) {
  TResizeEntry entry;
  entry.Source = Source;
  entry.Extension = LowerCase(ExtractExtension(Source));
  entry.OutputPath =
      OutputFolder + ReplaceExtension(batch::RelativePath(Source, SourceFolder), "jpg");
  return entry;
}

// What the picture work made of one entry; the notifications, the error-log
// lines and the writing happen afterwards, in list order.
struct TCopyResult {
  enum TKind {
    NotPicture,  // no picture, by its extension or its bytes: only counted
    Existing,    // its copy exists and is not to be replaced: not loaded
    Unreadable,  // a picture that could not be read: LoadLines say why
    Tiny,        // 0 or 1 pixel: a log line, no copy
    Picture,     // a copy to write
    Cancelled,   // the cancel ended its decode: not done
  };
  TKind Kind = NotPicture;
  std::vector<std::string> LoadLines;  // lines of a file that could not be loaded
  std::string Damage;                  // the source is damaged: why the copy may be incomplete
  std::vector<std::string> Lines;      // lines of the picture work
  bool Saved = false;                  // the library encoded the copy
  std::vector<uint8_t> Plain;          // the copy as the library encoded it
  std::vector<uint8_t> Final;          // with stamp and metadata; empty: Plain stands
  bool FinalFailed = false;            // stamping or carrying the metadata failed
  std::optional<TFileTime> SourceTime;
};

// Called from a handler of the exception that ended the JPEG road of Entry:
// a cancel leaves the file not done, a limit or any other failure gives the
// loader's line; nothing when libjpeg gave up on the file's data, which the
// image library then judges.
std::optional<TCopyResult> EndedJpegRoad(const TResizeEntry& Entry) {
  TCopyResult result;
  try {
    throw;
  } catch (const EJpegCancelled&) {
    result.Kind = TCopyResult::Cancelled;
    return result;
  } catch (const EJpegStopped& Error) {
    // a limit: the loader's line, with the limit
    result.LoadLines.push_back(LoaderLine(Entry, Error.what()));
  } catch (const EJpegError&) {
    return std::nullopt;
  } catch (const std::exception& Error) {
    result.LoadLines.push_back(LoaderLine(Entry, ReasonOf(Error)));
  }
  result.Kind = TCopyResult::Unreadable;
  return result;
}

// The picture work of the resize batch for one entry: load (at a reduced
// scale where the target allows it), rescale, encode, stamp, carry the
// metadata. One worker per thread; it touches no shared state.
class TCopyWorker {
 public:
  TCopyWorker(uint32_t MaxWidth, uint32_t MaxHeight, const std::string& PictureText,
              uint8_t TextPosition, bool Overwrite, const TJobChoices& Choices)
      : MaxWidth_(MaxWidth),
        MaxHeight_(MaxHeight),
        PictureText_(PictureText),
        TextPosition_(TextPosition),
        Overwrite_(Overwrite),
        Choices_(Choices) {
    // The picture and its rescaled or converted copy are held at once.
    Picture_.SetLoadCopies(2);
  }

  TCopyResult Make(const TResizeEntry& Entry);

 private:
  int ReadCarriedMetadata(const TResizeEntry& Entry);
  TPictureSize Target(uint32_t Width, uint32_t Height, int Orientation) const {
    return FitNewSize(MaxWidth_, MaxHeight_, Width, Height, Choices_.NoEnlarge, Orientation);
  }
  std::optional<TCopyResult> MakeFromJpeg(const TResizeEntry& Entry, const TJpegImage& Source,
                                          TPictureSize Target);
  bool KeepsSourceBytes(const TResizeEntry& Entry, const TJpegImage& Source,
                        TPictureSize Target) const;
  std::optional<TCopyResult> CopyOfSource(const TResizeEntry& Entry, const TJpegImage& Source);
  bool LoadPicture(const TResizeEntry& Entry, TCopyResult& Result);
  void RescalePicture(const TResizeEntry& Entry, TPictureSize Target, TCopyResult& Result);
  void FinishCopy(const TResizeEntry& Entry, const TPictureMetadata& Carried, TCopyResult& Result);

  uint32_t MaxWidth_;
  uint32_t MaxHeight_;
  const std::string& PictureText_;
  uint8_t TextPosition_;
  bool Overwrite_;
  TJobChoices Choices_;
  TDisplayBitmap Picture_;
  TMetadata Metadata_{255};
};

TCopyResult TCopyWorker::Make(const TResizeEntry& Entry) {
  TCopyResult result;
  if (Entry.Extension == "db" || Entry.Extension == "txt" || Entry.Extension == "doc") return result;
  if (!Entry.PathLine.empty()) return result;
  if (!Overwrite_ && FileExists(Entry.OutputPath)) {
    result.Kind = TCopyResult::Existing;
    return result;
  }
  // A JPEG is read from its file as it is decoded; the image library reads
  // other files itself, after telling their type from their first bytes.
  std::optional<TJpegImage> jpeg;
  try {
    jpeg = batch::OpenJpegSource(Entry.Source);
  } catch (const std::exception&) {
    if (std::optional<TCopyResult> ended = EndedJpegRoad(Entry)) return *ended;
    jpeg.reset();  // a header libjpeg cannot read: the image library judges it
  }
  const int orientation = ReadCarriedMetadata(Entry);
  // A JPEG with a usable target takes the quick road: decoded at a reduced
  // scale, area-averaged to the target, encoded once.
  if (jpeg && jpeg->Width() > 1 && jpeg->Height() > 1) {
    const TPictureSize target = Target(jpeg->Width(), jpeg->Height(), orientation);
    if (KeepsSourceBytes(Entry, *jpeg, target)) {
      if (std::optional<TCopyResult> copy = CopyOfSource(Entry, *jpeg)) return *copy;
    }
    if (target.Width > 0 && target.Height > 0 && target.Width <= MaxBitmapEdge &&
        target.Height <= MaxBitmapEdge) {
      if (std::optional<TCopyResult> made = MakeFromJpeg(Entry, *jpeg, target)) return *made;
    }
  }
  jpeg.reset();
  // The decoder may hand over a picture far larger than its copy already
  // shrunk by a whole factor; the copy's size is judged on the whole one.
  Picture_.SetLoadShrink([this, orientation](uint32_t Width, uint32_t Height) {
    const TPictureSize target = Target(Width, Height, orientation);
    return decoding::ShrinkFactorFor(Width, Height, target.Width, target.Height);
  });
  if (!LoadPicture(Entry, result)) return result;
  const TPictureMetadata carried = Picture_.DecodedMetadata();
  result.Damage = Picture_.DecodeDamage();
  const TPictureSize original{Picture_.LoadedWidth(), Picture_.LoadedHeight()};
  if (original.Width == 0 || original.Height == 0) {
    Picture_.Clear();
    result.Kind = TCopyResult::Tiny;
    result.Lines.push_back("File " + Entry.Source + " was empty");
    return result;
  }
  if (original.Width == 1 || original.Height == 1) {
    Picture_.Clear();
    result.Kind = TCopyResult::Tiny;
    result.Lines.push_back(Entry.Source + "  cannot be resized");
    return result;
  }
  result.Kind = TCopyResult::Picture;
  RescalePicture(Entry, Target(original.Width, original.Height, orientation), result);
  result.SourceTime = GetFileModTime(Entry.Source);
  // The library's save takes its quality as the flags.
  result.Saved = Picture_.ConvertForJpeg() &&
                 Picture_.SaveToBytes(FIF_JPEG, result.Plain,
                                      batch::CopyQuality(Choices_, TJpegImage::LibraryQuality));
  Picture_.Clear();
  if (result.Saved) FinishCopy(Entry, carried, result);
  return result;
}

// Reads the metadata a copy of Entry carries: those of a JPEG source named as
// one. Returns the Orientation the copy is shown in (1 for a copy without a
// tag, which is shown as stored).
int TCopyWorker::ReadCarriedMetadata(const TResizeEntry& Entry) {
  Metadata_.Reset();
  if (!IsJpegExtension(Entry.Extension)) return 1;
  Metadata_.ReadMetadata(Entry.Source);
  const TExifInfo* exif = Metadata_.ExifInfo();
  return exif != nullptr ? ExifOrientation(*exif) : 1;
}

// A JPEG that keeps its size, with no text to stamp and no quality chosen,
// needs no new encoding: its copy is the source's bytes.
bool TCopyWorker::KeepsSourceBytes(const TResizeEntry& Entry, const TJpegImage& Source,
                                   TPictureSize Target) const {
  return IsJpegExtension(Entry.Extension) && PictureText_.empty() && Choices_.Quality == 0 &&
         Target == TPictureSize{Source.Width(), Source.Height()};
}

// The source's bytes as its copy, with its modification time. The picture
// is decoded at the smallest scale first: nothing when libjpeg finds it
// damaged (the copy is then made anew, which says so) or gives up on it.
std::optional<TCopyResult> TCopyWorker::CopyOfSource(const TResizeEntry& Entry,
                                                     const TJpegImage& Source) {
  TCopyResult result;
  try {
    Source.ToScaledBitmap(8);
    if (Source.DecodeWarnings() > 0) return std::nullopt;
    result.Plain = Source.EncodedData();
  } catch (const std::exception&) {
    return EndedJpegRoad(Entry);
  }
  result.Kind = TCopyResult::Picture;
  result.Saved = true;
  result.SourceTime = GetFileModTime(Entry.Source);
  return result;
}

// The source's metadata are those ReadCarriedMetadata read. Nothing when
// libjpeg gave up on the picture's data (a damaged scan): the image library
// then makes what it can of the file, as the file-size job does, and names
// the copy as damaged.
std::optional<TCopyResult> TCopyWorker::MakeFromJpeg(const TResizeEntry& Entry,
                                                     const TJpegImage& Source,
                                                     TPictureSize Target) {
  TCopyResult result;
  const bool carryMetadata = IsJpegExtension(Entry.Extension);
  const bool hasMetadata = carryMetadata && Metadata_.HasMetadata();
  QImage picture;
  const bool grey = Source.IsGreyscale();
  try {
    picture = batch::ReducedToSize(Source, Target.Width, Target.Height, Choices_.Sharp);
    if (Source.DecodeWarnings() > 0) result.Damage = CorruptJpegDamage();
  } catch (const std::exception&) {
    return EndedJpegRoad(Entry);
  }
  result.Kind = TCopyResult::Picture;
  result.SourceTime = GetFileModTime(Entry.Source);
  try {
    TJpegImage copy;
    // Unstamped copies are encoded as the library saves them, stamped ones
    // as the JPEG picture object does.
    if (PictureText_.empty()) {
      copy.SetCompressionQuality(batch::CopyQuality(Choices_, TJpegImage::LibraryQuality));
    } else {
      copy.SetCompressionQuality(batch::CopyQuality(Choices_, TJpegImage::DefaultQuality));
      StampText(picture, PictureText_, TextPosition_);
    }
    // A grey source gives a grey copy (the stamp draws greys only).
    if (grey) picture = picture.convertToFormat(QImage::Format_Grayscale8);
    copy.Assign(picture);
    result.Plain = copy.EncodedData();
    result.Saved = true;
    if (carryMetadata && hasMetadata) result.Final = Metadata_.JpegWithMetadata(copy, true);
  } catch (const std::exception&) {
    result.Final.clear();
    result.FinalFailed = result.Saved;
    if (result.Saved) result.Lines.push_back(ExifLine(Entry));
  }
  return result;
}

// Loads the picture through the image library. False when it produced
// nothing: a file it recognised but could not decode gets the loader line,
// one it did not recognise is a picture that cannot be read when its
// extension says it is one, else no picture.
bool TCopyWorker::LoadPicture(const TResizeEntry& Entry, TCopyResult& Result) {
  bool loaded = false;
  try {
    loaded = Picture_.Load(Entry.Source, JPEG_DEFAULT);
    if (!loaded && Picture_.DecodeFailed())
      Result.LoadLines.push_back(LoaderLine(Entry, Picture_.DecodeFailure()));
  } catch (const std::exception& Error) {
    Picture_.Clear();
    Result.LoadLines.push_back(LoaderLine(Entry, ReasonOf(Error)));
  }
  if (!loaded && Picture_.DecodeCancelled()) {
    Result.Kind = TCopyResult::Cancelled;
    return false;
  }
  if (!loaded && Result.LoadLines.empty() && IsPictureExtension(Entry.Extension))
    Result.LoadLines.push_back(UnreadablePictureLine(Entry.Source));
  if (!loaded && !Result.LoadLines.empty()) Result.Kind = TCopyResult::Unreadable;
  return loaded;
}

void TCopyWorker::RescalePicture(const TResizeEntry& Entry, TPictureSize Target,
                                 TCopyResult& Result) {
  Picture_.RescaleFor(Target.Width, Target.Height, Choices_.Sharp);
  const uint32_t width = Picture_.GetWidth();
  const uint32_t height = Picture_.GetHeight();
  if (width != Target.Width || height != Target.Height) {
    Result.Lines.push_back("File " + Entry.Source + " couldn't be resized properly: " +
                           " new Width is " + std::to_string(width) + " Pixel" +
                           " new Height is " + std::to_string(height) + " Pixel");
  }
}

// The copy as it will be written: the text stamped in (encoded anew at
// quality 90) and the source's metadata in front of the encoded picture
// (which is not decoded again for that): a JPEG's segments, as
// ReadCarriedMetadata read them, or the blocks the decoder carried (the
// picture comes upright from it).
void TCopyWorker::FinishCopy(const TResizeEntry& Entry, const TPictureMetadata& Carried,
                             TCopyResult& Result) {
  try {
    TJpegImage jpeg;
    jpeg.LoadFromBytes(Result.Plain);
    if (!PictureText_.empty()) {
      QImage bitmap = jpeg.ToBitmap();
      StampText(bitmap, PictureText_, TextPosition_);
      jpeg.SetCompressionQuality(batch::CopyQuality(Choices_, TJpegImage::DefaultQuality));
      jpeg.Assign(bitmap);
    }
    if (!Carried.Empty() && Metadata_.ReadDecodedBlocks(Entry.Source, Carried, true)) {
      Result.Final = Metadata_.JpegWithMetadata(jpeg, true);
    } else if (IsJpegExtension(Entry.Extension)) {
      Result.Final = Metadata_.HasMetadata()
                         ? Metadata_.JpegWithMetadata(jpeg, true)
                         : jpeg.EncodedData();
    } else if (!PictureText_.empty()) {
      Result.Final = jpeg.EncodedData();
    }
  } catch (const std::exception&) {
    Result.Final.clear();
    Result.FinalFailed = true;
    Result.Lines.push_back(ExifLine(Entry));
  }
}

class TResizeRun : public batch::TRunReport {
 public:
  TResizeRun(TBatchTarget* Window, const std::string& SourceFolder, bool Overwrite, size_t Total,
             TErrorLog& ErrorLog)
      : TRunReport(Window, Total, ErrorLog), SourceFolder_(SourceFolder), Overwrite_(Overwrite) {}

  bool ReportEntry(const TResizeEntry& Entry, const std::function<TCopyResult()>& Take);

 private:
  bool WriteCopy(const TResizeEntry& Entry, const TCopyResult& Result);

  std::string SourceFolder_;
  bool Overwrite_;
};

// Everything the window and the log see of one entry, in the order a
// one-by-one run would show it. False when a cancel stopped the run before
// the picture was written.
bool TResizeRun::ReportEntry(const TResizeEntry& Entry, const std::function<TCopyResult()>& Take) {
  StatusText = ExtractFileName(Entry.OutputPath);
  PostStatus(Window_, StatusText);
  // An earlier entry of this run may have written the same output by now.
  const bool present = FileExists(Entry.OutputPath);
  TCopyResult result = Take();
  if (result.Kind == TCopyResult::Cancelled) return false;
  if (!Entry.PathLine.empty()) {
    Log(Entry.PathLine);
    Account_.Failed();
    return true;
  }
  if (result.Kind == TCopyResult::NotPicture) {
    Account_.NotPicture();
    return true;
  }
  if (Account_.NameTaken(Entry.Source, Entry.OutputPath)) return true;
  if (batch::IsFolder(Entry.OutputPath)) {
    Log(batch::FolderOutputLine(Entry.Source, Entry.OutputPath));
    Account_.Failed();
    return true;
  }
  if (!Overwrite_ && (present || result.Kind == TCopyResult::Existing)) {
    Account_.Existing(Entry.Source, Entry.OutputPath);
    return true;
  }
  if (result.Kind == TCopyResult::Unreadable) {
    Log(result.LoadLines);
    Account_.Failed();
    return true;
  }
  if (batch::WritesIntoSourceTree(Entry.OutputPath, SourceFolder_)) {
    Log(batch::IntoSourceTreeLine(Entry.Source, Entry.OutputPath));
    Account_.Failed();
    return true;
  }
  const std::string folder = ExtractFilePath(Entry.OutputPath);
  if (std::string why; !MakeFolderPath(folder, &why)) {
    Log(FolderNotMadeLine(Entry.Source, folder, why));
    Account_.Failed();
    return true;
  }
  if (result.Kind == TCopyResult::Picture) {
    if (CancelRequested) return false;
    if (WriteCopy(Entry, result)) {
      Account_.Written(Entry.Source, Entry.OutputPath, result.Damage);
    } else {
      Account_.Failed();
    }
  } else {
    Log(result.Lines);
    Account_.Failed();
  }
  ReportDone(Entry.OutputPath);
  return true;
}

// Writes the copy whole; when the finished copy cannot be written the
// library's own stands, and a copy that would replace its source is refused.
// True when a copy was written.
bool TResizeRun::WriteCopy(const TResizeEntry& Entry, const TCopyResult& Result) {
  Log(Result.Lines);
  if (!Result.Saved) {
    Log(NotSavedLine(Entry.Source));
    return false;
  }
  if (IsSameFile(Entry.OutputPath, Entry.Source)) {
    Log(Text(TTextId::LogWouldReplaceSource, {Entry.Source}));
    return false;
  }
  bool failed = Result.FinalFailed;
  if (!Result.Final.empty()) {
    try {
      WriteFileBytes(Entry.OutputPath, Result.Final.data(), Result.Final.size());
      if (Result.SourceTime) SetFileModTime(Entry.OutputPath, *Result.SourceTime);
      return true;
    } catch (const std::exception&) {
      Log(ExifLine(Entry));
      failed = true;
    }
  }
  try {
    WriteFileBytes(Entry.OutputPath, Result.Plain.data(), Result.Plain.size());
    if (Result.SourceTime) SetFileModTime(Entry.OutputPath, *Result.SourceTime);
    return true;
  } catch (const std::exception& Error) {
    Log(failed ? NotWrittenLine(Entry.Source, Entry.OutputPath, ReasonOf(Error)) : ExifLine(Entry));
    return false;
  }
}

}  // namespace

unsigned BatchThreadCount() {
  if (BatchThreads > 0) return BatchThreads;
  return std::max(1u, std::thread::hardware_concurrency());
}

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

TPictureSize CalcNewSizeAsShown(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width,
                                uint32_t Height, int Orientation) {
  // Measuring the shown picture and turning the result back to the stored
  // one is the same as asking for the other edge of the stored picture; the
  // edge mode, which asks for both, stays as it is.
  if (IsQuarterTurn(Orientation)) return CalcNewSize(MaxHeight, MaxWidth, Width, Height);
  return CalcNewSize(MaxWidth, MaxHeight, Width, Height);
}

TPictureSize FitNewSize(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width, uint32_t Height,
                        bool NoEnlarge, int Orientation) {
  const TPictureSize size = CalcNewSizeAsShown(MaxWidth, MaxHeight, Width, Height, Orientation);
  if (NoEnlarge && size.Width >= Width && size.Height >= Height) return {Width, Height};
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
                         uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog,
                         TJobAccount* Account, const TJobChoices& Choices) {
  if (ProgressMsg < WM_USER || FileMsg < WM_USER || SourceFolder.empty()) return ResizeRefused;
  if (MaxWidth > 0 && MaxHeight > 0 && MaxWidth != MaxHeight) {
    ShowMessage("Error:  both Size values > 0  AND not equal -  EXIT !!");
    return ResizeRefused;
  }
  const std::string source = IncludeTrailingDelimiter(SourceFolder);
  const std::string output =
      OutputFolder.empty() ? ResizeOutputFolder(source, MaxWidth, MaxHeight) : OutputFolder;
  if (batch::RefuseOutputInsideSource(source, output)) return ResizeRefused;
  std::unique_ptr<TFileList> files = batch::ListSourceTree(source, "", ErrorLog);
  std::vector<TResizeEntry> entries;
  const std::string outputFolder = IncludeTrailingDelimiter(output);
  for (const std::string& path : *files) entries.push_back(DeriveEntry(path, source, outputFolder));
  files.reset();
  batch::NameTwinsApart(entries, [&](const TResizeEntry& Entry) {
    return outputFolder +
           batch::ExNamedCopy(batch::RelativePath(Entry.Source, source), Entry.Extension);
  });
  for (TResizeEntry& entry : entries)
    entry.PathLine = batch::OverlongPathLine(entry.Source, entry.OutputPath);

  TResizeRun run(Window, source, Overwrite, entries.size(), ErrorLog);
  const int64_t index = batch::RunInListOrder(
      entries,
      [&] {
        return std::make_unique<TCopyWorker>(MaxWidth, MaxHeight, PictureText, TextPosition,
                                             Overwrite, Choices);
      },
      [&](const TResizeEntry& Entry, const std::function<TCopyResult()>& Take) {
        return run.ReportEntry(Entry, Take);
      });
  run.AddAccount(Account);
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
