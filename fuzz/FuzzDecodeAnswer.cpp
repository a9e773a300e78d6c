// Fuzz target of what the program does with one file that the decoder
// process decodes: the input is split into the file's bytes and the
// decoder's answer. The file's bytes go through the container's load (the
// decoder from the first bytes, else from the name), which starts a
// stand-in decoder that replies with the answer bytes; the answer is parsed
// and checked, the picture and its metadata blocks rebuilt, and then
// rescaled, made fit for JPEG and encoded with the blocks as the resize
// batch does. The same answer is also read as the answer to a request for
// metadata alone, as the listing asks for it. Input: 2 bytes (little-endian)
// = length of the file part (the top bit set: the file is named as a HEIC
// file, else as a TIFF file), the file part, the answer.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "image/DecodeProtocol.h"
#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "metadata/Exif.h"

namespace {

std::string AnswerFile() {
  static const std::string path = [] {
    std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder + "/pictrim-fuzz-answer-" + std::to_string(::getpid());
  }();
  return path;
}

void Setup() {
  static bool done = false;
  if (done) return;
  done = true;
  ::setenv("PICTRIM_REPLAY_ANSWER", AnswerFile().c_str(), 1);
  pictrim::SetDecoderProgram(FUZZ_REPLAY_DECODER);
  pictrim::TDecodeLimits limits;
  limits.MaxPixels = 4'000'000;  // keeps single inputs quick
  limits.Seconds = 5;
  pictrim::SetDecodeLimits(limits);
}

// A small copy to write metadata in front of.
const pictrim::TJpegImage& SmallCopy() {
  static const pictrim::TJpegImage copy = [] {
    pictrim::TJpegImage jpeg;
    QImage pixels(8, 8, QImage::Format_RGB888);
    pixels.fill(Qt::gray);
    jpeg.Assign(pixels);
    jpeg.EncodedData();
    return jpeg;
  }();
  return copy;
}

// The blocks taken as a JPEG's segments and written in front of a copy.
void CarryBlocks(const pictrim::TPictureMetadata& Blocks, const pictrim::TJpegImage& Copy) {
  if (Blocks.Empty()) return;
  pictrim::TMetadata metadata(255);
  if (!metadata.ReadDecodedBlocks("input.heic", Blocks, true)) return;
  try {
    metadata.JpegWithMetadata(Copy, true);
  } catch (const std::exception&) {
    // a block the writer refuses is a failed copy, never more
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  Setup();
  if (Size < 2) return 0;
  const bool heifName = (Data[1] & 0x80) != 0;
  const size_t headSize = std::min<size_t>(Data[0] | (Data[1] & 0x7F) << 8, Size - 2);
  const std::vector<uint8_t> file(Data + 2, Data + 2 + headSize);
  {
    std::ofstream answer(AnswerFile(), std::ios::binary | std::ios::trunc);
    answer.write(reinterpret_cast<const char*>(Data + 2 + headSize),
                 static_cast<std::streamsize>(Size - 2 - headSize));
  }
  {
    pictrim::decoding::TMemorySource source(Data + 2 + headSize, Size - 2 - headSize);
    const pictrim::decoding::TAnswer alone = pictrim::decoding::ReadMetadataAnswer(source);
    CarryBlocks(alone.Metadata, SmallCopy());
  }
  // The name gives a readable format when the bytes tell none.
  pictrim::TDisplayBitmap picture;
  if (!picture.LoadFromBytes(file, heifName ? "input.heic" : "input.tif", 0)) return 0;
  const pictrim::TPictureMetadata blocks = picture.DecodedMetadata();
  const uint32_t width = picture.GetWidth(), height = picture.GetHeight();
  if (width < 2 || height < 2) return 0;
  picture.Rescale(width / 2 + 1, height / 2 + 1, FILTER_BOX);
  std::vector<uint8_t> jpeg;
  if (!picture.ConvertForJpeg() || !picture.SaveToBytes(FIF_JPEG, jpeg, JPEG_DEFAULT)) return 0;
  pictrim::TJpegImage copy;
  try {
    copy.LoadFromBytes(std::move(jpeg));
  } catch (const std::exception&) {
    return 0;
  }
  CarryBlocks(blocks, copy);
  return 0;
}
