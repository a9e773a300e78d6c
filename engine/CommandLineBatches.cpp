// The two batches of an unattended run: every BMP file of a tree, then every
// JPEG file, written as a JPEG whose longer edge is the given size. They check
// each file's type from its first bytes, scale with the smooth stretch of
// screen bitmaps and encode with the JPEG picture object.
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <climits>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "engine/BatchSupport.h"
#include "engine/Resize.h"
#include "image/CheckFileTypes.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
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
namespace {

const std::string BmpWriteFailedMessage = "EXCEPTION in 'ConvertBMPtoJPEGtree' line 1053";
const std::string JpegBatchFailedMessage = "Exception in SaveJPEGtreeDownSized Code 620";
const std::string OneLineHighText = "Due to a BUG in the programming language, File  ";

// What a BMP file's headers state.
struct TBmpHeader {
  TPictureSize Size;        // the height as stored (bottom-up or top-down)
  uint32_t DataOffset = 0;  // where the pixel data begins
  uint32_t BitsPerPixel = 0;
  uint32_t Compression = 0;
  uint32_t DataSize = 0;  // of compressed data; 0 when not stated
};

// The headers of a BMP file; nothing when they cannot be read.
std::optional<TBmpHeader> ReadBmpHeader(const std::string& Path) {
  std::vector<uint8_t> head;
  try {
    ReadFileHead(Path, head, 37);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (head.size() < 26) return std::nullopt;
  const auto le = [&head](size_t At, size_t Count) {
    uint32_t value = 0;
    if (At + Count > head.size()) return value;
    for (size_t i = Count; i-- > 0;) value = value << 8 | head[At + i];
    return value;
  };
  TBmpHeader header;
  header.DataOffset = le(10, 4);
  if (le(14, 4) == 12) {  // the old core header
    header.Size = {le(18, 2), le(20, 2)};
    header.BitsPerPixel = le(24, 2);
    return header;
  }
  header.Size = {le(18, 4), le(22, 4)};
  header.BitsPerPixel = le(28, 2);
  header.Compression = le(30, 4);
  header.DataSize = le(34, 4);
  return header;
}

// True when the BMP file ends before the pixel data its headers announce:
// such a file still loads, with the missing rows left empty. Files whose
// data size cannot be told from the headers are not judged.
bool BmpEndsEarly(const std::string& Path) {
  const std::optional<TBmpHeader> header = ReadBmpHeader(Path);
  if (!header) return false;
  uint64_t needed = 0;
  if (header->Compression == 0 || header->Compression == 3) {
    // Rows of whole 32-bit words; a negative (top-down) height counts by its size.
    const uint64_t height = static_cast<uint32_t>(
        std::abs(static_cast<int64_t>(static_cast<int32_t>(header->Size.Height))));
    const uint64_t row = (uint64_t{header->Size.Width} * header->BitsPerPixel + 31) / 32 * 4;
    if (__builtin_mul_overflow(row, height, &needed)) return false;
  } else if (header->Compression == 1 || header->Compression == 2) {
    needed = header->DataSize;
  } else {
    return false;
  }
  const uint64_t end = std::min<uint64_t>(needed + header->DataOffset, INT64_MAX);
  try {
    return GetFileSizeByName(Path) < static_cast<int64_t>(end);
  } catch (const std::exception&) {
    return false;
  }
}

// The BMP file's picture, read from a descriptor opened as sources are (a
// regular file only, never waiting); a null image when it cannot be read.
QImage ReadBmp(const std::string& Path) {
  try {
    const TSourceFile file(Path);
    QFile device;
    if (!device.open(file.Fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return {};
    QImageReader reader(&device, "BMP");
    return reader.read();
  } catch (const EInOutError&) {
    return {};
  }
}

// The notifications of one entry: the source's path, then the progress.
void PostEntry(TBatchTarget* Window, uint32_t ProgressMsg, uint32_t FileMsg,
               const std::string& Path, size_t Index, size_t Count) {
  if (Window == nullptr) return;
  Window->post({FileMsg, 0, 0, Path});
  Window->pump();
  Window->post({ProgressMsg, static_cast<int64_t>(Index) + 1, static_cast<int64_t>(Count), {}});
  Window->pump();
}

// The closing notification; it is handled once the caller pumps again.
void PostEnd(TBatchTarget* Window, uint32_t ProgressMsg, size_t Index) {
  if (Window == nullptr) return;
  Window->post({ProgressMsg, static_cast<int64_t>(Index) + 1, 0, {}});
}

// What both batches share: the folders, the guard values, the error log and
// the account of the listed files.
class TCommandLineRun {
 public:
  TCommandLineRun(TBatchTarget* Window, const std::string& SourceFolder,
                  const std::string& OutputFolder, uint32_t MaxEdge, uint32_t ProgressMsg,
                  uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog)
      : Account(0, ErrorLog),
        Window_(Window),
        Source_(IncludeTrailingDelimiter(SourceFolder)),
        Output_(OutputFolder.empty() ? SizeOutputFolder(Source_, MaxEdge)
                                     : IncludeTrailingDelimiter(OutputFolder)),
        MaxEdge_(MaxEdge),
        ProgressMsg_(ProgressMsg),
        FileMsg_(FileMsg),
        Overwrite_(Overwrite),
        ErrorLog_(ErrorLog) {}

  // The tree's files with this extension mask, sorted; the account counts them.
  std::unique_ptr<TFileList> List(const std::string& Mask) {
    std::unique_ptr<TFileList> files = batch::ListSourceTree(Source_, Mask, ErrorLog_);
    Account.SetListed(files->Count());
    return files;
  }

  // The start guard: true (the user told) when the output folder lies
  // inside the source tree.
  bool RefusesOutputFolder() const { return batch::RefuseOutputInsideSource(Source_, Output_); }

  // Checks the entry's type; on success posts its notifications and returns
  // the output path of Relative, or nothing when the entry is done with (and
  // counted).
  std::optional<std::string> Prepare(const std::string& Path, const std::string& Relative,
                                     const std::string& InvalidText, size_t Index, size_t Count);
  // Makes the folder of Path's copy OutputPath; false (logged) when it cannot be made.
  bool MakeOutputFolder(const std::string& Path, const std::string& OutputPath);

  void Log(const std::string& Message) { AddErrorLogEntry(Message, ErrorLog_); }
  // Logs why the entry got no copy and counts it as failed.
  std::nullopt_t Failed(const std::string& Message) {
    Log(Message);
    Account.Failed();
    return std::nullopt;
  }
  const std::string& Source() const { return Source_; }
  const std::string& Output() const { return Output_; }
  uint32_t MaxEdge() const { return MaxEdge_; }
  TBatchTarget* Window() const { return Window_; }
  uint32_t ProgressMsg() const { return ProgressMsg_; }
  std::string RelativePath(const std::string& Path) const {
    return batch::RelativePath(Path, Source_);
  }

  batch::TAccountKeeper Account;

 private:
  TBatchTarget* Window_;
  std::string Source_;
  std::string Output_;
  uint32_t MaxEdge_;
  uint32_t ProgressMsg_;
  uint32_t FileMsg_;
  bool Overwrite_;
  TErrorLog& ErrorLog_;
};

std::optional<std::string> TCommandLineRun::Prepare(const std::string& Path,
                                                    const std::string& Relative,
                                                    const std::string& InvalidText, size_t Index,
                                                    size_t Count) {
  const std::string outputPath = Output_ + Relative;
  if (const std::string line = batch::OverlongPathLine(Path, outputPath); !line.empty()) {
    return Failed(line);
  }
  ValidationInfoStruct info;
  try {
    CheckFileType(Path, info);
  } catch (const std::exception& Error) {
    return Failed(Text(TTextId::LogNotLoaded, {Path, ReasonInUse(ReasonOf(Error))}));
  }
  if (!info.FileIsValid) return Failed(InvalidText + Path);
  if (batch::IsFolder(outputPath)) return Failed(batch::FolderOutputLine(Path, outputPath));
  PostEntry(Window_, ProgressMsg_, FileMsg_, Path, Index, Count);
  if (Account.NameTaken(Path, outputPath)) return std::nullopt;
  if (!Overwrite_ && batch::FileExists(outputPath)) {
    Account.Existing(Path, outputPath);
    return std::nullopt;
  }
  if (batch::WritesIntoSourceTree(outputPath, Source_)) {
    return Failed(batch::IntoSourceTreeLine(Path, outputPath));
  }
  return outputPath;
}

bool TCommandLineRun::MakeOutputFolder(const std::string& Path, const std::string& OutputPath) {
  const std::string folder = ExtractFilePath(OutputPath);
  std::string why;
  if (MakeFolderPath(folder, &why)) return true;
  Failed(FolderNotMadeLine(Path, folder, why));
  return false;
}

void ConvertOneBmp(TCommandLineRun& Run, const std::string& Path, size_t Index, size_t Count) {
  const std::optional<std::string> output =
      Run.Prepare(Path, ReplaceExtension(Run.RelativePath(Path), "jpg"),
                  "Not a valid BMP V3:   ", Index, Count);
  if (!output) return;
  QImage bitmap = ReadBmp(Path);
  if (bitmap.isNull()) {
    const std::optional<TBmpHeader> stated = ReadBmpHeader(Path);
    if (stated && (stated->Size.Width == 0 || stated->Size.Height == 0)) {
      Run.Failed("File " + Path + " was empty");
    } else {
      Run.Failed(UnreadablePictureLine(Path));
    }
    return;
  }
  if (bitmap.width() == 0 || bitmap.height() == 0) {
    Run.Failed("File " + Path + " was empty");
  } else if (bitmap.height() == 1) {
    Run.Failed(OneLineHighText + Path + "  cannot be resized");
  } else if (Run.MakeOutputFolder(Path, *output)) {
    const std::optional<TFileTime> time = GetFileModTime(Path);
    std::string destination = *output;
    try {
      if (SaveBitmapAsJPEG(bitmap, destination, "", time, Run.MaxEdge(),
                           TJpegImage::DefaultQuality)) {
        Run.Account.Written(Path, destination,
                            BmpEndsEarly(Path) ? Text(TTextId::ReasonBmpEndsEarly) : "");
      } else {
        Run.Failed(NotSavedLine(Path));
      }
    } catch (const std::exception& Error) {
      ShowMessage(BmpWriteFailedMessage);
      Run.Failed(NotWrittenLine(Path, destination, ReasonOf(Error)));
    }
  }
}

// The size a JPEG of the batch is brought to: the longer edge becomes
// MaxEdge; with a height limit, the width becomes MaxEdge unless the height
// would then exceed MaxHeight.
TPictureSize DownSize(uint32_t MaxEdge, uint32_t MaxHeight, uint32_t Width, uint32_t Height) {
  if (MaxHeight == 0) return CalcNewSize(MaxEdge, MaxEdge, Width, Height);
  TPictureSize size = CalcNewSize(MaxEdge, 0, Width, Height);
  if (size.Height > MaxHeight) size = CalcNewSize(0, MaxHeight, Width, Height);
  return size;
}

class TJpegDownSizer {
 public:
  TJpegDownSizer(TCommandLineRun& Run, uint32_t MaxHeight) : Run_(Run), MaxHeight_(MaxHeight) {}
  void Convert(const std::string& Path, size_t Index, size_t Count);

 private:
  void Write(const std::string& Path, const std::string& Output, TPictureSize Size,
             TJpegImage& Jpeg, QImage& Bitmap, const std::string& Damage);
  bool LoadThroughLibrary(const std::string& Path, QImage& Bitmap, std::string& Damage);

  TCommandLineRun& Run_;
  uint32_t MaxHeight_;
  TMetadata Metadata_{255};
  TDisplayBitmap Library_;  // for JPEGs whose data libjpeg gives up on
};

void TJpegDownSizer::Convert(const std::string& Path, size_t Index, size_t Count) {
  const std::optional<std::string> output =
      Run_.Prepare(Path, Run_.RelativePath(Path), "Not a valid JPG:   ", Index, Count);
  if (!output) return;
  TJpegImage jpeg;
  jpeg.SetCancelFlag(&CancelRequested);
  try {
    jpeg.LoadFromFile(Path);
  } catch (const EJpegCancelled&) {
    return;
  } catch (const std::exception&) {
    Run_.Log("EXCEPTION in SaveJPEGtreeDownSized - j.loadFromFile()) with  File \"" + Path + "\"");
  }
  Metadata_.ReadMetadata(Path);
  if (jpeg.Empty()) {
    Run_.Failed("File " + Path + " was empty");
    return;
  }
  if (jpeg.Height() == 1) {
    Run_.Failed(OneLineHighText + Path + "  cannot be resized");
    return;
  }
  // The copy's size comes from the frame; the pixels are decoded here, at a
  // reduced scale where that size allows (never below it), so that a large
  // picture is not held whole only to be stretched down.
  const TPictureSize size = DownSize(Run_.MaxEdge(), MaxHeight_, jpeg.Width(), jpeg.Height());
  QImage bitmap;
  std::string damage;
  const std::string loaderLine =
      "EXCEPTION in SaveJPEGtreeDownSized - TB.assign( j) with  File \"" + Path + "\"";
  try {
    bitmap = jpeg.ToReducedBitmap(size.Width, size.Height);
    if (jpeg.DecodeWarnings() > 0) damage = CorruptJpegDamage();
  } catch (const EJpegCancelled&) {
    return;
  } catch (const EJpegStopped&) {
    Run_.Failed(loaderLine);
    return;
  } catch (const EJpegError&) {
    // A damaged scan: the copy keeps what the image library makes of it.
    if (!LoadThroughLibrary(Path, bitmap, damage)) {
      Run_.Failed(loaderLine);
      return;
    }
  } catch (const std::exception&) {
    Run_.Failed(loaderLine);
    return;
  }
  if (bitmap.isNull()) {
    Run_.Failed(UnreadablePictureLine(Path));
    return;
  }
  Write(Path, *output, size, jpeg, bitmap, damage);
}

// Bitmap := the picture as the image library decodes it, whole size; Damage
// says why it may be incomplete. False when the library makes nothing of it.
bool TJpegDownSizer::LoadThroughLibrary(const std::string& Path, QImage& Bitmap,
                                        std::string& Damage) {
  bool loaded = false;
  try {
    loaded = Library_.Load(Path, JPEG_DEFAULT) && Library_.CopyToBitmap(&Bitmap) == 0;
  } catch (const std::exception&) {
    loaded = false;
  }
  Damage = Library_.DecodeDamage().empty() ? CorruptJpegDamage() : Library_.DecodeDamage();
  Library_.Clear();
  return loaded && !Bitmap.isNull();
}

void TJpegDownSizer::Write(const std::string& Path, const std::string& Output, TPictureSize Size,
                           TJpegImage& Jpeg, QImage& Bitmap, const std::string& Damage) {
  if (StretchBitmap(Bitmap, Size.Width, Size.Height, "") != 0 || Bitmap.isNull()) {
    Run_.Failed(NotSavedLine(Path));
    return;
  }
  if (!Run_.MakeOutputFolder(Path, Output)) return;
  const std::optional<TFileTime> time = GetFileModTime(Path);
  Jpeg.Assign(Bitmap);
  try {
    Metadata_.WriteJpegWithMetadata(Jpeg, Output, true);
  } catch (const std::exception& Error) {
    Run_.Failed(NotWrittenLine(Path, Output, ReasonOf(Error)));
    return;
  }
  if (time) SetFileModTime(Output, *time);
  Run_.Account.Written(Path, Output, Damage);
}

}  // namespace

std::string SizeOutputFolder(const std::string& SourceFolder, uint32_t MaxEdge) {
  return batch::OutputBase(SourceFolder) + "_SIZE" + std::to_string(MaxEdge) + PathDelimiter;
}

int StretchBitmap(QImage& Bitmap, uint32_t NewWidth, uint32_t NewHeight,
                  const std::string& /*Text*/) {
  if (static_cast<int64_t>(Bitmap.width()) == NewWidth &&
      static_cast<int64_t>(Bitmap.height()) == NewHeight) {
    return 0;
  }
  if (NewWidth == 0 || NewHeight == 0 || NewWidth > INT_MAX || NewHeight > INT_MAX) {
    return StretchRefused;
  }
  Bitmap = Bitmap.scaled(static_cast<int>(NewWidth), static_cast<int>(NewHeight),
                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return 0;
}

bool SaveBitmapAsJPEG(QImage& Bitmap, std::string& DestPath, const std::string& Text,
                      const std::optional<TFileTime>& FileTime, uint32_t MaxEdge, int Quality) {
  if (UpperCase(ExtractExtension(DestPath)) == "BMP") DestPath = ReplaceExtension(DestPath, "jpg");
  if (UpperCase(ExtractExtension(DestPath)) != "JPG") return false;
  if (Bitmap.isNull()) return false;
  const auto width = static_cast<uint32_t>(Bitmap.width());
  const auto height = static_cast<uint32_t>(Bitmap.height());
  // A bitmap with one edge at the size already is written as it is; smaller
  // ones are enlarged.
  TPictureSize size{width, height};
  if (MaxEdge != width && MaxEdge != height) size = CalcNewSize(MaxEdge, MaxEdge, width, height);
  if (size.Width != width || size.Height != height) {
    // A target edge of 0 cannot be stretched to: the file is skipped.
    if (StretchBitmap(Bitmap, size.Width, size.Height, Text) != 0 || Bitmap.isNull()) return false;
  }
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(Quality);
  jpeg.Assign(Bitmap);
  jpeg.SaveToFile(DestPath);
  if (FileTime) SetFileModTime(DestPath, *FileTime);
  return true;
}

int ConvertBMPtoJPEGtree(TBatchTarget* Window, const std::string& SourceFolder,
                         const std::string& OutputFolder, uint32_t MaxEdge,
                         const std::string& /*PictureText*/, uint32_t ProgressMsg, uint32_t FileMsg,
                         bool Overwrite, TErrorLog& ErrorLog, TJobAccount* Account) {
  if (ProgressMsg < WM_USER || FileMsg < WM_USER || SourceFolder.empty()) return BmpBatchRefused;
  TCommandLineRun run(Window, SourceFolder, OutputFolder, MaxEdge, ProgressMsg, FileMsg, Overwrite,
                      ErrorLog);
  if (run.RefusesOutputFolder()) return BmpBatchRefused;
  std::unique_ptr<TFileList> files = run.List("bmp");
  const size_t count = files->Count();
  size_t index = 0;
  for (; index < count && !CancelRequested; ++index) {
    ConvertOneBmp(run, (*files)[index], index, count);
  }
  files.reset();
  run.Account.AddTo(Account);
  PostEnd(Window, ProgressMsg, index);
  return 0;
}

int SaveJPEGtreeDownSized(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, uint32_t MaxEdge, uint32_t MaxHeight,
                          const std::string& /*PictureText*/, uint32_t ProgressMsg,
                          uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog,
                          TJobAccount* Account) {
  if (MaxEdge == 0 || MaxEdge > MaxCommandLineEdge) return JpegBatchBadSize;
  if (ProgressMsg < WM_USER) return JpegBatchBadProgressMsg;
  if (FileMsg < WM_USER) return JpegBatchBadFileMsg;
  if (SourceFolder.empty()) return JpegBatchNoSource;
  TCommandLineRun run(Window, SourceFolder, OutputFolder, MaxEdge, ProgressMsg, FileMsg, Overwrite,
                      ErrorLog);
  if (run.RefusesOutputFolder()) return JpegBatchOutputInsideSource;
  TJpegDownSizer downSizer(run, MaxHeight);
  std::unique_ptr<TFileList> files = run.List("jpg");
  const size_t count = files->Count();
  size_t index = 0;
  try {
    for (; index < count && !CancelRequested; ++index) {
      downSizer.Convert((*files)[index], index, count);
    }
  } catch (const std::exception&) {
    // Whatever a single file's steps did not catch ends the loop.
    ShowMessage(JpegBatchFailedMessage);
    run.Failed(JpegBatchFailedMessage);
  }
  files.reset();
  run.Account.AddTo(Account);
  PostEnd(Window, ProgressMsg, index);
  return 0;
}

}  // namespace pictrim
