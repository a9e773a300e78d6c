// What the decoder process and the program say to each other. The program
// sends a request (the library to decode with, the format, the loader flags,
// the pixel limit and the file: its path or its bytes); the decoder takes it
// at once with the answer's first bytes, tells the picture's size from its
// header, waits for a go-ahead (which may let it shrink the picture by a
// whole factor), then sends the decoded picture (its pixel
// type, depth, masks, palette, transparency, background, resolution, colour
// profile, rows, a note when the file is damaged, and the metadata blocks
// the file keeps beside them) or a failure text. A request for the metadata alone is answered with
// the blocks. One decoder serves one request after the other until its input ends. The answer is
// read as hostile: every count is checked before anything is allocated.
#pragma once

#include <sys/types.h>

#include <FreeImage.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/PictureMetadata.h"

namespace pictrim::decoding {

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Reads exactly Size bytes; false when they cannot be had.
  virtual bool Read(void* Data, size_t Size) = 0;
};

class TByteSink {
 public:
  virtual ~TByteSink() = default;
  // Writes all Size bytes; false when that failed.
  virtual bool Write(const void* Data, size_t Size) = 0;
};

// Moves all Size bytes through Step, a read or write on a descriptor that
// returns how many bytes it moved (0 at the end, -1 on an error). An
// interrupted or not-yet-ready step is tried again; false when the stream
// ended or failed first.
template <typename TByte, typename TStep>
bool TransferAll(TByte* Bytes, size_t Size, TStep Step) {
  while (Size > 0) {
    const ssize_t moved = Step(Bytes, Size);
    if (moved < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (moved <= 0) return false;
    Bytes += moved;
    Size -= static_cast<size_t>(moved);
  }
  return true;
}

// A source over bytes in memory.
class TMemorySource : public TByteSource {
 public:
  TMemorySource(const uint8_t* Data, size_t Size) : Data_(Data), Size_(Size) {}
  bool Read(void* Data, size_t Size) override;

 private:
  const uint8_t* Data_;
  size_t Size_;
  size_t Position_ = 0;
};

// A sink into memory.
class TMemorySink : public TByteSink {
 public:
  bool Write(const void* Data, size_t Size) override;
  std::vector<uint8_t> Bytes;
};

// The library a request is decoded with.
enum class TCodec : uint32_t {
  ImageLibrary = 0,  // Format and Flags name the loader
  Heif = 1,          // HEIC, HEIF and AVIF; Format and Flags are not used
};

struct TRequest {
  TCodec Codec = TCodec::ImageLibrary;
  bool MetadataOnly = false;  // the metadata blocks, not the picture (HEIF only)
  int32_t Format = FIF_UNKNOWN;
  int32_t Flags = 0;
  uint64_t MaxPixels = 0;
  std::string Name;  // the file's name, for messages
  std::string Path;  // the file to read, when Bytes are not sent
  bool FromBytes = false;
  std::vector<uint8_t> Bytes;  // the file's contents, when FromBytes
};

// Largest file accepted as bytes and longest path or name in a request.
inline constexpr uint64_t MaxRequestBytes = uint64_t(1) << 32;
inline constexpr uint32_t MaxRequestText = 1 << 16;
// Longest failure text, colour profile and metadata block in an answer.
inline constexpr uint32_t MaxFailureText = 4096;
inline constexpr uint32_t MaxProfileBytes = 16u << 20;
inline constexpr uint32_t MaxMetadataBytes = 16u << 20;
// The largest working memory a decoder may claim for a decode.
inline constexpr uint64_t MaxCostBytes = uint64_t(1) << 40;

// The byte that lets the decoder go on after it has told the size. The
// byte after it is the factor by which the decoder may shrink the picture
// (1 to MaxShrinkFactor): the program will rescale it to a fraction of its
// size anyway; then the bytes of memory the program admitted for the
// decoder's own work (8 bytes), which the decoder holds itself to.
inline constexpr uint8_t GoAhead = 'G';
bool WriteGoAhead(TByteSink& Sink, uint32_t ShrinkFactor, uint64_t GrantedBytes);
// False when the program said no (or nonsense) instead.
bool ReadGoAhead(TByteSource& Source, uint32_t& ShrinkFactor, uint64_t& GrantedBytes);

// What a decode costs the decoder, told with the picture's size before
// anything large is made: WorkBytes, and as many pictures of the size it
// hands over as Copies says (ShrunkCopies when the program lets it shrink
// the picture, WholeCopies when not). The program admits all of it, with
// its own share, against the memory budget before it lets the decoder go on.
struct TDecodeCost {
  uint64_t WorkBytes = 0;
  uint32_t WholeCopies = 0;
  uint32_t ShrunkCopies = 0;
  // The decoder's bytes for a picture handed over in HandedBytes, shrunk
  // by Factor.
  uint64_t DecoderBytes(uint64_t HandedBytes, uint32_t Factor) const {
    return WorkBytes + HandedBytes * (Factor > 1 ? ShrunkCopies : WholeCopies);
  }
};
// Copies a cost may name, so that a sum of them cannot overflow.
inline constexpr uint32_t MaxCostCopies = 8;

bool WriteRequest(TByteSink& Sink, const TRequest& Request, const std::vector<uint8_t>* Bytes);
bool ReadRequest(TByteSource& Source, TRequest& Request);

// The decoder's side: the answer's first bytes, written as soon as the
// request is read; then the header (a size of 0 x 0 says the header could
// not tell it), then the picture with the file's metadata blocks, or a
// failure at any point; or, for a request of the metadata alone, the blocks.
bool WriteAnswerStart(TByteSink& Sink);
bool WriteHeader(TByteSink& Sink, uint32_t Width, uint32_t Height, uint32_t BitsPerPixel,
                 const TDecodeCost& Cost = {});
// Damage, when not empty, says that the loader met a damaged file and gave
// what it could read: the picture may be incomplete.
bool WritePicture(TByteSink& Sink, FIBITMAP* Picture, const std::string& Damage = {},
                  const TPictureMetadata& Metadata = {});
bool WriteFailure(TByteSink& Sink, const std::string& Text);
bool WriteMetadata(TByteSink& Sink, const TPictureMetadata& Metadata);

// Bytes a Width x Height picture of BitsPerPixel takes in memory (rows
// padded to 4 bytes as the library keeps them); 0 for an unknown size.
uint64_t DecodedBytes(uint32_t Width, uint32_t Height, uint32_t BitsPerPixel);

// What the program is asked to admit: the size the header announced, the
// bits of each pixel and what the decode costs (Final false; a size of
// 0 x 0 when the header could not tell it), and again the picture that
// arrives (Final true) with the bytes it takes.
struct TAdmission {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t BitsPerPixel = 0;
  uint64_t Bytes = 0;  // of the picture arriving (Final)
  TDecodeCost Cost;
  bool Final = false;
};
// False stops reading: the answer becomes a failure.
using TAdmitFn = std::function<bool(const TAdmission& Admission)>;

struct TAnswer {
  FIBITMAP* Picture = nullptr;  // owned by the caller
  TPictureMetadata Metadata;    // the blocks that came with the picture
  std::string Failure;          // why there is no picture
  std::string Damage;           // the file is damaged: the picture may be incomplete
  bool Taken = false;           // the decoder took the request (its answer began)
};

// Reads the decoder's answer. A picture of more than MaxPixels pixels, an
// unknown pixel type or depth, a count out of range or a broken stream is a
// failure; no picture is then returned.
TAnswer ReadAnswer(TByteSource& Source, uint64_t MaxPixels, const TAdmitFn& Admit);
// Reads the answer to a request for the metadata alone: the blocks, or a
// failure (Picture stays null).
TAnswer ReadMetadataAnswer(TByteSource& Source);

}  // namespace pictrim::decoding
