#include "engine/BatchSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/Resize.h"
#include "image/CheckFileTypes.h"
#include "image/Resample.h"
#include "platform/Paths.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/Texts.h"

namespace pictrim::batch {

bool FileExists(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(Path), ec);
}

bool IsFolder(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::is_directory(std::filesystem::path(Path), ec);
}

std::string FolderOutputLine(const std::string& Source, const std::string& OutputPath) {
  return Text(TTextId::LogOutputIsFolder, {Source, OutputPath});
}

std::string PathLengthProblem(const std::string& Path) {
  switch (PathLengthOf(Path)) {
    case TPathLength::PathTooLong:
      return Text(TTextId::ReasonPathLonger, {std::to_string(MaxPathBytes)});
    case TPathLength::NameTooLong:
      return Text(TTextId::ReasonNameLonger, {std::to_string(MaxNameBytes)});
    case TPathLength::Fits:
      break;
  }
  return {};
}

bool IsFolderFailure(int Error) {
  switch (Error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EROFS:
    case EACCES:
    case EPERM:
    case EIO:
      return true;
    default:
      return false;
  }
}

std::string FolderWriteProblem(const std::string& OutputPath) {
  const int error = FileCreationError(ExtractFilePath(OutputPath));
  return error == 0 ? std::string() : std::strerror(error);
}

bool StartsAsJpeg(const std::string& Path) {
  std::vector<uint8_t> head;
  ReadFileHead(Path, head, 1);
  return head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

std::string OverlongPathLine(const std::string& Source, const std::string& OutputPath) {
  if (const std::string problem = PathLengthProblem(Source); !problem.empty()) {
    return Text(TTextId::LogPathTooLong, {Source, problem});
  }
  if (const std::string problem = PathLengthProblem(OutputPath); !problem.empty()) {
    return Text(TTextId::LogCopyPathTooLong, {Source, OutputPath, problem});
  }
  return {};
}

bool WritesIntoSourceTree(const std::string& OutputPath, const std::string& SourceFolder) {
  return LiesInside(ExtractFilePath(OutputPath), SourceFolder);
}

std::string IntoSourceTreeLine(const std::string& Source, const std::string& OutputPath) {
  return Text(TTextId::LogIntoSourceTree, {Source, OutputPath});
}

bool RefuseOutputInsideSource(const std::string& SourceFolder, const std::string& OutputFolder) {
  if (!OutputInsideSource(OutputFolder, SourceFolder)) return false;
  ShowMessage(Text(TTextId::OutputInsideSourceMessage, {OutputFolder, SourceFolder}));
  return true;
}

std::unique_ptr<TFileList> ListSourceTree(const std::string& SourceFolder, const std::string& Masks,
                                          TErrorLog& ErrorLog) {
  std::unique_ptr<TFileList> files;
  std::vector<std::string> unlisted;
  GetFileListEx(files, SourceFolder, "", Masks, true, true, &unlisted);
  for (const std::string& folder : unlisted) {
    AddErrorLogEntry(Text(TTextId::LogFolderNotSearched, {folder, PathLengthProblem(folder)}),
                     ErrorLog);
  }
  return files;
}

std::optional<TJpegImage> OpenJpegSource(const std::string& Path) {
  if (!StartsAsJpeg(Path)) return std::nullopt;
  std::optional<TJpegImage> jpeg(std::in_place);
  jpeg->SetCancelFlag(&CancelRequested);
  jpeg->LoadFromFile(Path);
  return jpeg;
}

std::string ExNamedCopy(const std::string& Relative, const std::string& Extension) {
  return ReplaceExtension(Relative, "ex" + UpperCase(Extension) + ".jpg");
}

QImage ReducedToSize(const TJpegImage& Source, uint32_t Width, uint32_t Height, bool Sharp) {
  const unsigned scale = Source.HoldsLoadedData()
                             ? jpegcodec::RoomyScaleDenom(Source.Width(), Source.Height(), Width, Height)
                             : 1;
  const QImage reduced = Source.ToBitmapAtScale(scale, true);
  // The decode at a reduced scale made each pixel of a block of the whole.
  const QImage sized =
      resampling::Resampled(reduced, resampling::TSide::Shrunk(Source.Width(), scale),
                            resampling::TSide::Shrunk(Source.Height(), scale), Width, Height,
                            Sharp ? resampling::TFilter::Lanczos3 : resampling::TFilter::Area,
                            Sharp && resampling::SharpInLinearLight);
  if (sized.isNull()) throw std::bad_alloc();
  return sized;
}

void TAccountKeeper::Written(const std::string& Source, const std::string& OutputPath,
                             const std::string& Damage) {
  ++Account_.Written;
  CopySources_[OutputPath] = Source;
  if (Damage.empty()) return;
  ++Account_.Damaged;
  AddErrorLogEntry(DamagedSourceLine(Source, Damage), ErrorLog_);
}

void TAccountKeeper::Existing(const std::string& Source, const std::string& OutputPath) {
  ++Account_.Existing;
  CopySources_.emplace(OutputPath, Source);
}

bool TAccountKeeper::NameTaken(const std::string& Source, const std::string& OutputPath) {
  const auto taken = CopySources_.find(OutputPath);
  if (taken == CopySources_.end()) return false;
  AddErrorLogEntry(NameTakenLine(Source, OutputPath, taken->second), ErrorLog_);
  Failed();
  return true;
}

void TAccountKeeper::AddTo(TJobAccount* Account) const {
  if (Account == nullptr) return;
  TJobAccount account = Account_;
  account.NotReached = std::max<int64_t>(0, Listed_ - account.Total());
  *Account += account;
}

void TRunReport::ReportDone(const std::string& OutputPath) {
  if (!FileExists(OutputPath)) return;
  PostFileDone(Window_, OutputPath);
  PostProgress(Window_, Done_, Total_);
  ++Done_;
}

bool OutputInsideSource(const std::string& OutputFolder, const std::string& SourceFolder) {
  return LiesInside(OutputFolder, SourceFolder);
}

std::string OutputBase(const std::string& SourceFolder) {
  if (IsRootFolder(SourceFolder)) return SourceFolder;
  return LeftChars(SourceFolder, SourceFolder.size() - 1);
}

std::string RelativePath(const std::string& Entry, const std::string& SourceFolder) {
  return RightChars(Entry, Entry.size() - SourceFolder.size());
}

std::string CancelledStatusText() {
  return Text(TTextId::CancelledStatus);
}

void FinishBatch(TBatchTarget* Window, const std::string& SourceFolder, int64_t Index) {
  StatusText =
      CancelRequested ? CancelledStatusText() : Text(TTextId::AllResizedStatus, {SourceFolder});
  PostStatus(Window, StatusText);
  PostFinished(Window, Index);
}

}  // namespace pictrim::batch
