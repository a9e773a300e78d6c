// The batch conversion engine: the jobs that walk a folder tree and write
// resized or size-reduced JPEG copies, their notifications to the window that
// started them, and the text stamp.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>

#include "platform/BatchTarget.h"
#include "util/ErrorLog.h"

namespace pictrim {

// The engine's one status text, posted with WM_BATCH_STATUS.
extern std::string StatusText;

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

// Writes a JPEG copy of every picture below SourceFolder into the output
// folder (derived from the source folder and the size when OutputFolder is
// empty), brought to MaxWidth, MaxHeight or both. Returns 0, or -26001 when it
// refused to start.
int ConvertPICsWholeTree(TBatchTarget* Window, const std::string& SourceFolder,
                         const std::string& OutputFolder, uint32_t MaxWidth, uint32_t MaxHeight,
                         const std::string& PictureText, uint8_t TextPosition, uint32_t ProgressMsg,
                         uint32_t FileMsg, bool Overwrite, TErrorLog& ErrorLog);

// Refusal code of ConvertPICsWholeTree2.
inline constexpr int ShrinkRefused = -26101;

// Writes a JPEG copy of every picture below SourceFolder whose file comes
// close to, and as a rule not above, TargetKB kilobytes, found by trying
// smaller pixel sizes. Non-JPEG sources are named Name.exEXT.jpg. Quiet
// leaves out the per-file status text. Returns 0, or -26101 when it refused
// to start.
int ConvertPICsWholeTree2(TBatchTarget* Window, const std::string& SourceFolder,
                          const std::string& OutputFolder, const std::string& ExtensionFilter,
                          uint32_t TargetKB, const std::string& PictureText, uint8_t TextPosition,
                          uint32_t ProgressMsg, uint32_t FileMsg, bool Overwrite, bool Quiet,
                          TErrorLog& ErrorLog);

// The output folder of the resize batch for a source folder (ending with the
// delimiter) and its sizes.
std::string ResizeOutputFolder(const std::string& SourceFolder, uint32_t MaxWidth,
                               uint32_t MaxHeight);

// Notification helpers; all but PostFinished let the window handle its
// pending notifications before they return.
void PostFileDone(TBatchTarget* Window, const std::string& Path);
void PostStatus(TBatchTarget* Window, const std::string& Text);
void PostProgress(TBatchTarget* Window, int64_t Done, int64_t Total);
void PostFinished(TBatchTarget* Window, int64_t Index);

// Draws Text into the top-left corner (Position bit 0), the bottom-left
// corner (bit 1) or both, black with a light one-pixel halo. Returns 0.
int StampText(QImage& Bitmap, const std::string& Text, uint8_t Position);

}  // namespace pictrim
