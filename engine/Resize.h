// The batch conversion engine: the jobs that walk a folder tree and write
// resized or size-reduced JPEG copies, their notifications to the window that
// started them, and the text stamp.
#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/BatchTarget.h"
#include "platform/FileTimes.h"
#include "util/ErrorLog.h"

namespace pictrim {

struct TJobAccount;

// Choices beyond the classic job parameters; the defaults keep the classic behaviour.
struct TJobChoices {
  int Quality = 0;          // 1..100; 0 keeps the job's own quality
  bool NoEnlarge = false;   // a picture already within the size keeps its size
  bool StrictSize = false;  // file-size job: no copy above the target where one can be reached
  bool Sharp = false;       // rescale with the sharper Lanczos filter instead of the box filter
};

// Bounds of TJobChoices::Quality.
inline constexpr int MinJobQuality = 1;
inline constexpr int MaxJobQuality = 100;

// The engine's one status text, posted with WM_BATCH_STATUS.
extern std::string StatusText;

// Threads that do the picture work of the resize batch; 0 (the default)
// means one per processor core.
extern unsigned BatchThreads;
unsigned BatchThreadCount();

// The file-size batch makes the trials of a colour JPEG from the picture
// decoded at a reduced scale (the default); false makes them from the
// full-size picture, for comparing the two.
extern bool ShrinkFromReducedMaster;

// Refusal code of ConvertPICsWholeTree.
inline constexpr int ResizeRefused = -26001;

// Text positions of the stamp (bit set).
inline constexpr uint8_t TextAtTop = 1;
inline constexpr uint8_t TextAtBottom = 2;

struct TPictureSize {
  uint32_t Width = 0;
  uint32_t Height = 0;
  bool operator==(const TPictureSize&) const = default;
};

// The new size of a W x H picture for the resize batch: MaxWidth = MaxHeight
// brings the longer edge to that size, MaxHeight = 0 the width, MaxWidth = 0
// the height; the other edge keeps the aspect ratio (truncated). Smaller
// pictures are enlarged.
TPictureSize CalcNewSize(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width, uint32_t Height);

// CalcNewSize for a picture stored Width x Height whose copy is shown in the
// EXIF Orientation (1..8). In the width and height modes a picture shown
// turned by a quarter (5..8) is measured as shown, so that the copy, which
// keeps the stored pixels and the tag, has the asked width or height as it
// is shown. The result is the copy's stored size.
TPictureSize CalcNewSizeAsShown(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width,
                                uint32_t Height, int Orientation);

// CalcNewSizeAsShown, except that with NoEnlarge a picture whose constrained
// edge is within the size already keeps its own size.
TPictureSize FitNewSize(uint32_t MaxWidth, uint32_t MaxHeight, uint32_t Width, uint32_t Height,
                        bool NoEnlarge, int Orientation = 1);

// Writes a JPEG copy of every picture below SourceFolder into the output
// folder (derived from the source folder and the size when OutputFolder is
// empty), brought to MaxWidth, MaxHeight or both. Returns 0, or -26001 when it
// refused to start. Each batch adds the account of what became of the files
// it listed to *Account, when given. Choices: the JPEG quality of the copies
// and whether smaller pictures keep their size.
int ConvertPICsWholeTree(TBatchTarget* Window, const std::string& SourceFolder,
                         const std::string& OutputFolder, uint32_t MaxWidth, uint32_t MaxHeight,
                         const std::string& PictureText, uint8_t TextPosition, uint32_t ProgressMsg,
                         uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog,
                         TJobAccount* Account = nullptr, const TJobChoices& Choices = {});

// Refusal code of ConvertPICsWholeTree2.
inline constexpr int ShrinkRefused = -26101;

// Writes a JPEG copy of every picture below SourceFolder whose file comes
// close to, and as a rule not above, TargetKB kilobytes, found by trying
// smaller pixel sizes. Non-JPEG sources are named Name.exEXT.jpg. Quiet
// leaves out the per-file status text. Choices: the JPEG quality of the
// trials, and StrictSize: only a trial at or below the target is kept where
// one was reached (a copy that stays above it gets a line). Returns 0, or
// -26101 when it refused to start.
int ConvertPICsWholeTree2(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, const std::string& ExtensionFilter,
                          uint32_t TargetKB, const std::string& PictureText, uint8_t TextPosition,
                          uint32_t ProgressMsg, uint32_t FileMsg, bool Overwrite, bool Quiet,
                          TErrorLog& ErrorLog, TJobAccount* Account = nullptr,
                          const TJobChoices& Choices = {});

// The output folder of the resize batch for a source folder (ending with the
// delimiter) and its sizes.
std::string ResizeOutputFolder(const std::string& SourceFolder, uint32_t MaxWidth,
                               uint32_t MaxHeight);
// The output folder of the file-size batch: "_SIZE" + kilobytes + " kB" beside the source.
std::string FileSizeOutputFolder(const std::string& SourceFolder, uint32_t TargetKB);

// Notification helpers; all but PostFinished let the window handle its
// pending notifications before they return.
void PostFileDone(TBatchTarget* Window, const std::string& Path);
void PostStatus(TBatchTarget* Window, const std::string& Text);
void PostProgress(TBatchTarget* Window, int64_t Done, int64_t Total);
void PostFinished(TBatchTarget* Window, int64_t Index);

// Refusal codes of the command-line batches and the largest edge the JPEG
// batch accepts.
inline constexpr int BmpBatchRefused = 200301;
inline constexpr int JpegBatchBadSize = 200201;
inline constexpr int JpegBatchBadProgressMsg = 200202;
inline constexpr int JpegBatchBadFileMsg = 200203;
inline constexpr int JpegBatchNoSource = 200204;
inline constexpr int JpegBatchOutputInsideSource = 200205;
inline constexpr uint32_t MaxCommandLineEdge = 10000;
// StretchBitmap's result for a target edge of 0.
inline constexpr int StretchRefused = -12002;

// The output folder of the command-line batches: the source folder (ending
// with the delimiter) + "_SIZE" + MaxEdge.
std::string SizeOutputFolder(const std::string& SourceFolder, uint32_t MaxEdge);

// Writes every BMP file below SourceFolder that passes the file-type check
// as a JPEG (quality 90) whose longer edge is MaxEdge, into the output folder
// (derived when empty). PictureText is not used. Returns 0, or 200301 when it
// refused to start.
int ConvertBMPtoJPEGtree(TBatchTarget* Window, const std::string& SourceFolder,
                         const std::string& OutputFolder, uint32_t MaxEdge,
                         const std::string& PictureText, uint32_t ProgressMsg, uint32_t FileMsg,
                         bool Overwrite, TErrorLog& ErrorLog, TJobAccount* Account = nullptr);

// The same for every JPEG file, carrying the source's metadata over; with
// MaxHeight > 0 the width becomes MaxEdge unless the height would exceed
// MaxHeight. Returns 0, or 200201..200204 when it refused to start.
int SaveJPEGtreeDownSized(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, uint32_t MaxEdge, uint32_t MaxHeight,
                          const std::string& PictureText, uint32_t ProgressMsg, uint32_t FileMsg,
                          bool Overwrite, TErrorLog& ErrorLog, TJobAccount* Account = nullptr);

// Writes Bitmap as a JPEG at Quality to DestPath (a .bmp name becomes .jpg;
// any name but .jpg is refused), its longer edge brought to MaxEdge unless
// one edge is MaxEdge already, and gives it FileTime. Bitmap holds the
// stretched picture afterwards. True when written; raises when writing fails.
bool SaveBitmapAsJPEG(QImage& Bitmap, std::string& DestPath, const std::string& Text,
                      const std::optional<TFileTime>& FileTime, uint32_t MaxEdge, int Quality);

// Stretches Bitmap to NewWidth x NewHeight with smooth filtering. 0 on
// success or when the size is already right; -12002 for a target edge of 0
// (or one no bitmap can have). Text is not used.
int StretchBitmap(QImage& Bitmap, uint32_t NewWidth, uint32_t NewHeight, const std::string& Text);

// Draws Text into the top-left corner (Position bit 0), the bottom-left
// corner (bit 1) or both, black with a light one-pixel halo. Returns 0.
int StampText(QImage& Bitmap, const std::string& Text, uint8_t Position);

}  // namespace pictrim
