// Fuzz target of the in-process JPEG road: the input is a JPEG file, loaded
// by the JPEG picture object from memory and from a file, and taken down
// every road a batch takes: the full decode, the reduced-scale decode, the
// row-by-row decode, the transcode into the image library's save, and the
// stamped copy encoded again. Every failure must be an exception of the
// picture object (or a clean failure of the codec), never a crash, a leak
// or a read outside a buffer.
//
// Seeds: the camera files of the test data, the same cut short and with
// bytes of their scan data changed, progressive pictures, and frames that
// claim far more pixels than they hold.
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "util/Errors.h"

namespace {

const std::string& InputFile() {
  static const std::string path = [] {
    const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/pictrim-fuzz-jpeg-" + std::to_string(::getpid()) + ".jpg";
  }();
  return path;
}

struct TRowCount {
  uint64_t Sum = 0;
};

// Reads every byte of every row, so that a row outside its buffer shows.
bool SumRow(void* Context, uint32_t Width, uint32_t, uint32_t, const uint8_t* Row) {
  if (Row == nullptr) return true;
  auto* count = static_cast<TRowCount*>(Context);
  for (uint32_t i = 0; i < Width * 3; ++i) count->Sum += Row[i];
  return true;
}

// One road; the picture object's own exceptions are the expected failures.
template <typename TRoad>
void Try(TRoad Road) {
  try {
    Road();
  } catch (const pictrim::EJpegError&) {
  } catch (const pictrim::EInOutError&) {
  }
}

void TakeEveryRoad(const pictrim::TJpegImage& Jpeg) {
  Try([&] { static_cast<void>(Jpeg.ToBitmap()); });
  QImage reduced;
  Try([&] { reduced = Jpeg.ToReducedBitmap(64, 48, true); });
  TRowCount rows;
  Try([&] { Jpeg.DecodeRows(SumRow, &rows); });
  Try([&] { static_cast<void>(Jpeg.Transcode(75, SumRow, &rows)); });
  if (reduced.isNull()) return;
  // The stamped copy, encoded again as the batches write it.
  pictrim::StampText(reduced, "(c) Fuzz", pictrim::TextAtTop | pictrim::TextAtBottom);
  pictrim::TJpegImage copy;
  copy.Assign(reduced);
  pictrim::TJpegImage back;
  back.LoadFromBytes(copy.EncodedData());
  if (back.Width() != static_cast<uint32_t>(reduced.width())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*Argc, *Argv);
  pictrim::TDecodeLimits limits;
  limits.BudgetBytes = uint64_t(256) << 20;  // keeps single inputs small and quick
  limits.Seconds = 2;
  pictrim::SetDecodeLimits(limits);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    pictrim::TJpegImage fromMemory;
    fromMemory.LoadFromBytes(std::vector<uint8_t>(Data, Data + Size));
    TakeEveryRoad(fromMemory);
  } catch (const pictrim::EJpegError&) {
  }
  {
    std::ofstream out(InputFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  try {
    pictrim::TJpegImage fromFile;
    fromFile.LoadFromFile(InputFile());
    TakeEveryRoad(fromFile);
  } catch (const pictrim::EJpegError&) {
  }
  return 0;
}
