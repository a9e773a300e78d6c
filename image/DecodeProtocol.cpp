#include "image/DecodeProtocol.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "image/PictureShrink.h"

namespace pictrim::decoding {
namespace {

constexpr char RequestMagic[4] = {'P', 'T', 'R', 'Q'};
constexpr char AnswerMagic[4] = {'P', 'T', 'D', 'A'};
constexpr char EndMagic[4] = {'E', 'N', 'D', '!'};

enum TMessage : uint32_t {
  HeaderMessage = 1,
  PictureMessage = 2,
  FailureMessage = 3,
  MetadataMessage = 4,
};

// The kinds of metadata block, each sent at most once.
enum TBlockKind : uint32_t { ExifBlock = 1, ProfileBlock = 2, XmpBlock = 3 };

// Numbers travel little-endian, whatever the machine.
bool Put32(TByteSink& Sink, uint32_t Value) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(Value >> (8 * i));
  return Sink.Write(bytes, 4);
}

bool Put64(TByteSink& Sink, uint64_t Value) {
  return Put32(Sink, static_cast<uint32_t>(Value)) &&
         Put32(Sink, static_cast<uint32_t>(Value >> 32));
}

bool Get32(TByteSource& Source, uint32_t& Value) {
  uint8_t bytes[4];
  if (!Source.Read(bytes, 4)) return false;
  Value = 0;
  for (int i = 3; i >= 0; --i) Value = Value << 8 | bytes[i];
  return true;
}

bool Get64(TByteSource& Source, uint64_t& Value) {
  uint32_t low = 0, high = 0;
  if (!Get32(Source, low) || !Get32(Source, high)) return false;
  Value = static_cast<uint64_t>(high) << 32 | low;
  return true;
}

bool PutText(TByteSink& Sink, const std::string& Text) {
  return Put32(Sink, static_cast<uint32_t>(Text.size())) && Sink.Write(Text.data(), Text.size());
}

bool GetText(TByteSource& Source, uint32_t Limit, std::string& Text) {
  uint32_t size = 0;
  if (!Get32(Source, size) || size > Limit) return false;
  Text.assign(size, '\0');
  return size == 0 || Source.Read(Text.data(), size);
}

bool GetMagic(TByteSource& Source, const char (&Magic)[4]) {
  char bytes[4];
  return Source.Read(bytes, 4) && std::memcmp(bytes, Magic, 4) == 0;
}

// The metadata blocks: their number, then kind, size and bytes of each.
bool PutBlocks(TByteSink& Sink, const TPictureMetadata& Metadata) {
  const std::pair<TBlockKind, const std::vector<uint8_t>*> blocks[] = {
      {ExifBlock, &Metadata.Exif},
      {ProfileBlock, &Metadata.ColourProfile},
      {XmpBlock, &Metadata.Xmp}};
  uint32_t count = 0;
  for (const auto& [kind, bytes] : blocks) {
    if (!bytes->empty() && bytes->size() <= MaxMetadataBytes) ++count;
  }
  if (!Put32(Sink, count)) return false;
  for (const auto& [kind, bytes] : blocks) {
    if (bytes->empty() || bytes->size() > MaxMetadataBytes) continue;
    if (!Put32(Sink, kind) || !Put32(Sink, static_cast<uint32_t>(bytes->size())) ||
        !Sink.Write(bytes->data(), bytes->size()))
      return false;
  }
  return true;
}

// False for an unknown or repeated kind, an empty or oversized block, or a
// broken stream.
bool GetBlocks(TByteSource& Source, TPictureMetadata& Metadata) {
  uint32_t count = 0;
  if (!Get32(Source, count) || count > 3) return false;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t kind = 0, size = 0;
    if (!Get32(Source, kind) || !Get32(Source, size) || size == 0 || size > MaxMetadataBytes)
      return false;
    std::vector<uint8_t>* block = kind == ExifBlock      ? &Metadata.Exif
                                  : kind == ProfileBlock ? &Metadata.ColourProfile
                                  : kind == XmpBlock     ? &Metadata.Xmp
                                                         : nullptr;
    if (block == nullptr || !block->empty()) return false;
    block->resize(size);
    if (!Source.Read(block->data(), size)) return false;
  }
  return true;
}

// The depths the library gives each pixel type.
bool IsKnownDepth(uint32_t Type, uint32_t Bpp) {
  switch (Type) {
    case FIT_BITMAP:
      return Bpp == 1 || Bpp == 4 || Bpp == 8 || Bpp == 16 || Bpp == 24 || Bpp == 32;
    case FIT_UINT16:
    case FIT_INT16:
      return Bpp == 16;
    case FIT_UINT32:
    case FIT_INT32:
    case FIT_FLOAT:
      return Bpp == 32;
    case FIT_DOUBLE:
    case FIT_RGBA16:
      return Bpp == 64;
    case FIT_RGB16:
      return Bpp == 48;
    case FIT_RGBF:
      return Bpp == 96;
    case FIT_COMPLEX:
    case FIT_RGBAF:
      return Bpp == 128;
    default:
      return false;
  }
}

uint64_t LineBytes(uint32_t Width, uint32_t Bpp) {
  return (uint64_t{Width} * Bpp + 7) / 8;
}

struct TUnloader {
  void operator()(FIBITMAP* Dib) const { FreeImage_Unload(Dib); }
};
using TPicturePtr = std::unique_ptr<FIBITMAP, TUnloader>;

TAnswer Failed(std::string Text) {
  TAnswer answer;
  answer.Failure = std::move(Text);
  return answer;
}

// The fixed part of a picture message, read and checked.
struct TPictureHead {
  uint32_t Type = 0, Width = 0, Height = 0, Bpp = 0;
  uint32_t Masks[3] = {};
};

bool ReadPictureHead(TByteSource& Source, uint64_t MaxPixels, TPictureHead& Head,
                     std::string& Failure) {
  if (!Get32(Source, Head.Type) || !Get32(Source, Head.Width) || !Get32(Source, Head.Height) ||
      !Get32(Source, Head.Bpp) || !Get32(Source, Head.Masks[0]) || !Get32(Source, Head.Masks[1]) ||
      !Get32(Source, Head.Masks[2])) {
    Failure = "the decoder's answer broke off";
    return false;
  }
  if (!IsKnownDepth(Head.Type, Head.Bpp) || Head.Width == 0 || Head.Height == 0 ||
      Head.Width > 0x7FFFFFFF || Head.Height > 0x7FFFFFFF) {
    Failure = "the decoder answered with a picture of no known kind";
    return false;
  }
  if (uint64_t{Head.Width} * Head.Height > MaxPixels) {
    Failure = "the picture has more pixels than allowed";
    return false;
  }
  return true;
}

// Palette, transparency, background, resolution and colour profile.
bool ReadPictureExtras(TByteSource& Source, const TPictureHead& Head, FIBITMAP* Dib) {
  uint32_t colours = 0;
  if (!Get32(Source, colours)) return false;
  const uint32_t expected =
      Head.Type == FIT_BITMAP && Head.Bpp <= 8 ? (uint32_t{1} << Head.Bpp) : 0;
  if (colours != expected) return false;
  if (colours > 0 && !Source.Read(FreeImage_GetPalette(Dib), colours * sizeof(RGBQUAD)))
    return false;
  uint32_t transparent = 0;
  if (!Get32(Source, transparent) || transparent > 256) return false;
  BYTE table[256];
  if (transparent > 0 && !Source.Read(table, transparent)) return false;
  if (transparent > 0 && colours > 0) {
    FreeImage_SetTransparencyTable(Dib, table, static_cast<int>(transparent));
  }
  uint32_t hasBackground = 0;
  RGBQUAD background{};
  if (!Get32(Source, hasBackground) || hasBackground > 1 ||
      !Source.Read(&background, sizeof background))
    return false;
  if (hasBackground != 0) FreeImage_SetBackgroundColor(Dib, &background);
  uint32_t dpmX = 0, dpmY = 0, profileFlags = 0, profileSize = 0;
  if (!Get32(Source, dpmX) || !Get32(Source, dpmY) || !Get32(Source, profileFlags) ||
      !Get32(Source, profileSize) || profileSize > MaxProfileBytes || profileFlags > 0xFFFF)
    return false;
  FreeImage_SetDotsPerMeterX(Dib, dpmX);
  FreeImage_SetDotsPerMeterY(Dib, dpmY);
  if (profileSize > 0) {
    std::vector<uint8_t> profile(profileSize);
    if (!Source.Read(profile.data(), profile.size())) return false;
    FIICCPROFILE* icc =
        FreeImage_CreateICCProfile(Dib, profile.data(), static_cast<long>(profileSize));
    if (icc == nullptr) return false;
    icc->flags = static_cast<WORD>(profileFlags);
  } else if (profileFlags != 0) {
    // A profile-less CMYK marking: the library keeps it in an empty profile.
    FIICCPROFILE* icc = FreeImage_CreateICCProfile(Dib, nullptr, 0);
    if (icc != nullptr) icc->flags = static_cast<WORD>(profileFlags);
  }
  return true;
}

TAnswer ReadPicture(TByteSource& Source, uint64_t MaxPixels, const TAdmitFn& Admit) {
  TPictureHead head;
  std::string failure;
  if (!ReadPictureHead(Source, MaxPixels, head, failure)) return Failed(failure);
  TAdmission arriving;
  arriving.Width = head.Width;
  arriving.Height = head.Height;
  arriving.BitsPerPixel = head.Bpp;
  arriving.Bytes = DecodedBytes(head.Width, head.Height, head.Bpp);
  arriving.Final = true;
  if (!Admit(arriving)) {
    return Failed("no memory may be had for the picture");
  }
  TPicturePtr dib(FreeImage_AllocateT(static_cast<FREE_IMAGE_TYPE>(head.Type),
                                      static_cast<int>(head.Width), static_cast<int>(head.Height),
                                      static_cast<int>(head.Bpp), head.Masks[0], head.Masks[1],
                                      head.Masks[2]));
  if (!dib) return Failed("no memory for the decoded picture");
  if (!ReadPictureExtras(Source, head, dib.get())) return Failed("the decoder's answer is garbled");
  const uint64_t line = LineBytes(head.Width, head.Bpp);
  for (uint32_t y = 0; y < head.Height; ++y) {
    if (!Source.Read(FreeImage_GetScanLine(dib.get(), static_cast<int>(y)), line)) {
      return Failed("the decoder's answer broke off");
    }
  }
  TAnswer answer;
  if (!GetText(Source, MaxFailureText, answer.Damage) || !GetBlocks(Source, answer.Metadata) ||
      !GetMagic(Source, EndMagic))
    return Failed("the decoder's answer is garbled");
  answer.Picture = dib.release();
  return answer;
}

// A failure message's text.
TAnswer ReadFailure(TByteSource& Source) {
  std::string text;
  return Failed(GetText(Source, MaxFailureText, text) ? text : "the decoder's answer is garbled");
}

// The answer behind its first bytes: the header, then the picture or a failure.
TAnswer ReadAnswerBody(TByteSource& Source, uint64_t MaxPixels, const TAdmitFn& Admit) {
  uint32_t kind = 0;
  if (!Get32(Source, kind)) return Failed("the decoder's answer broke off");
  if (kind == FailureMessage) return ReadFailure(Source);
  TAdmission header;
  if (kind != HeaderMessage || !Get32(Source, header.Width) || !Get32(Source, header.Height) ||
      !Get32(Source, header.BitsPerPixel) || !Get64(Source, header.Cost.WorkBytes) ||
      !Get32(Source, header.Cost.WholeCopies) || !Get32(Source, header.Cost.ShrunkCopies)) {
    return Failed("the decoder's answer is garbled");
  }
  if (uint64_t{header.Width} * header.Height > MaxPixels)
    return Failed("the picture has more pixels than allowed");
  if (header.BitsPerPixel > 128 || header.Cost.WorkBytes > MaxCostBytes ||
      header.Cost.WholeCopies > MaxCostCopies || header.Cost.ShrunkCopies > MaxCostCopies)
    return Failed("the decoder's answer is garbled");
  if (!Admit(header)) return Failed("no memory may be had for the picture");
  if (!Get32(Source, kind)) return Failed("the decoder's answer broke off");
  if (kind == FailureMessage) return ReadFailure(Source);
  if (kind != PictureMessage) return Failed("the decoder's answer is garbled");
  return ReadPicture(Source, MaxPixels, Admit);
}

}  // namespace

bool TMemorySource::Read(void* Data, size_t Size) {
  if (Size > Size_ - Position_) return false;
  if (Size > 0) std::memcpy(Data, Data_ + Position_, Size);
  Position_ += Size;
  return true;
}

bool TMemorySink::Write(const void* Data, size_t Size) {
  const auto* bytes = static_cast<const uint8_t*>(Data);
  Bytes.insert(Bytes.end(), bytes, bytes + Size);
  return true;
}

bool WriteRequest(TByteSink& Sink, const TRequest& Request, const std::vector<uint8_t>* Bytes) {
  if (!Sink.Write(RequestMagic, 4) || !Put32(Sink, static_cast<uint32_t>(Request.Codec)) ||
      !Put32(Sink, Request.MetadataOnly ? 1 : 0) ||
      !Put32(Sink, static_cast<uint32_t>(Request.Format)) ||
      !Put32(Sink, static_cast<uint32_t>(Request.Flags)) || !Put64(Sink, Request.MaxPixels) ||
      !PutText(Sink, Request.Name) || !PutText(Sink, Request.Path) ||
      !Put32(Sink, Bytes != nullptr ? 1 : 0)) {
    return false;
  }
  if (Bytes == nullptr) return true;
  return Put64(Sink, Bytes->size()) && (Bytes->empty() || Sink.Write(Bytes->data(), Bytes->size()));
}

bool ReadRequest(TByteSource& Source, TRequest& Request) {
  uint32_t codec = 0, metadataOnly = 0, format = 0, flags = 0, fromBytes = 0;
  if (!GetMagic(Source, RequestMagic) || !Get32(Source, codec) ||
      codec > static_cast<uint32_t>(TCodec::Heif) || !Get32(Source, metadataOnly) ||
      metadataOnly > 1 || !Get32(Source, format) || !Get32(Source, flags) ||
      !Get64(Source, Request.MaxPixels) || !GetText(Source, MaxRequestText, Request.Name) ||
      !GetText(Source, MaxRequestText, Request.Path) || !Get32(Source, fromBytes) ||
      fromBytes > 1) {
    return false;
  }
  Request.Codec = static_cast<TCodec>(codec);
  Request.MetadataOnly = metadataOnly == 1;
  Request.Format = static_cast<int32_t>(format);
  Request.Flags = static_cast<int32_t>(flags);
  Request.FromBytes = fromBytes == 1;
  if (!Request.FromBytes) return true;
  uint64_t size = 0;
  if (!Get64(Source, size) || size > MaxRequestBytes) return false;
  Request.Bytes.resize(size);
  return size == 0 || Source.Read(Request.Bytes.data(), size);
}

bool WriteAnswerStart(TByteSink& Sink) {
  return Sink.Write(AnswerMagic, 4);
}

bool WriteGoAhead(TByteSink& Sink, uint32_t ShrinkFactor, uint64_t GrantedBytes) {
  const uint8_t bytes[] = {GoAhead, static_cast<uint8_t>(std::clamp<uint32_t>(ShrinkFactor, 1, MaxShrinkFactor))};
  return Sink.Write(bytes, sizeof bytes) && Put64(Sink, GrantedBytes);
}

bool ReadGoAhead(TByteSource& Source, uint32_t& ShrinkFactor, uint64_t& GrantedBytes) {
  uint8_t bytes[2] = {};
  if (!Source.Read(bytes, sizeof bytes) || bytes[0] != GoAhead || bytes[1] < 1 ||
      bytes[1] > MaxShrinkFactor || !Get64(Source, GrantedBytes))
    return false;
  ShrinkFactor = bytes[1];
  return true;
}

bool WriteHeader(TByteSink& Sink, uint32_t Width, uint32_t Height, uint32_t BitsPerPixel,
                 const TDecodeCost& Cost) {
  return Put32(Sink, HeaderMessage) && Put32(Sink, Width) && Put32(Sink, Height) &&
         Put32(Sink, BitsPerPixel) && Put64(Sink, Cost.WorkBytes) &&
         Put32(Sink, Cost.WholeCopies) && Put32(Sink, Cost.ShrunkCopies);
}

bool WritePicture(TByteSink& Sink, FIBITMAP* Picture, const std::string& Damage,
                  const TPictureMetadata& Metadata) {
  const uint32_t width = FreeImage_GetWidth(Picture), height = FreeImage_GetHeight(Picture);
  const uint32_t bpp = FreeImage_GetBPP(Picture);
  const uint32_t colours = FreeImage_GetImageType(Picture) == FIT_BITMAP && bpp <= 8 &&
                                   FreeImage_GetPalette(Picture) != nullptr
                               ? (uint32_t{1} << bpp)
                               : 0;
  bool ok = Put32(Sink, PictureMessage) && Put32(Sink, FreeImage_GetImageType(Picture)) &&
            Put32(Sink, width) && Put32(Sink, height) && Put32(Sink, bpp) &&
            Put32(Sink, FreeImage_GetRedMask(Picture)) &&
            Put32(Sink, FreeImage_GetGreenMask(Picture)) &&
            Put32(Sink, FreeImage_GetBlueMask(Picture)) && Put32(Sink, colours);
  if (ok && colours > 0) ok = Sink.Write(FreeImage_GetPalette(Picture), colours * sizeof(RGBQUAD));
  const uint32_t transparent =
      colours > 0 ? static_cast<uint32_t>(FreeImage_GetTransparencyCount(Picture)) : 0;
  ok = ok && Put32(Sink, transparent) &&
       (transparent == 0 || Sink.Write(FreeImage_GetTransparencyTable(Picture), transparent));
  RGBQUAD background{};
  const bool hasBackground = FreeImage_GetBackgroundColor(Picture, &background) != FALSE;
  ok = ok && Put32(Sink, hasBackground ? 1 : 0) && Sink.Write(&background, sizeof background) &&
       Put32(Sink, FreeImage_GetDotsPerMeterX(Picture)) &&
       Put32(Sink, FreeImage_GetDotsPerMeterY(Picture));
  const FIICCPROFILE* icc = FreeImage_GetICCProfile(Picture);
  const uint32_t profileSize =
      icc != nullptr && icc->data != nullptr && icc->size <= MaxProfileBytes ? icc->size : 0;
  ok = ok && Put32(Sink, icc != nullptr ? icc->flags : 0) && Put32(Sink, profileSize) &&
       (profileSize == 0 || Sink.Write(icc->data, profileSize));
  const uint64_t line = LineBytes(width, bpp);
  for (uint32_t y = 0; ok && y < height; ++y) {
    ok = Sink.Write(FreeImage_GetScanLine(Picture, static_cast<int>(y)), line);
  }
  return ok && PutText(Sink, Damage.substr(0, MaxFailureText)) && PutBlocks(Sink, Metadata) &&
         Sink.Write(EndMagic, 4);
}

bool WriteFailure(TByteSink& Sink, const std::string& Text) {
  return Put32(Sink, FailureMessage) &&
         PutText(Sink, Text.size() > MaxFailureText ? Text.substr(0, MaxFailureText) : Text);
}

bool WriteMetadata(TByteSink& Sink, const TPictureMetadata& Metadata) {
  return Put32(Sink, MetadataMessage) && PutBlocks(Sink, Metadata) && Sink.Write(EndMagic, 4);
}

uint64_t DecodedBytes(uint32_t Width, uint32_t Height, uint32_t BitsPerPixel) {
  const uint64_t pitch = (LineBytes(Width, BitsPerPixel) + 3) / 4 * 4;
  return pitch * Height;
}

TAnswer ReadAnswer(TByteSource& Source, uint64_t MaxPixels, const TAdmitFn& Admit) {
  if (!GetMagic(Source, AnswerMagic)) return Failed("the decoder gave no answer");
  TAnswer answer = ReadAnswerBody(Source, MaxPixels, Admit);
  answer.Taken = true;
  return answer;
}

TAnswer ReadMetadataAnswer(TByteSource& Source) {
  if (!GetMagic(Source, AnswerMagic)) return Failed("the decoder gave no answer");
  TAnswer answer;
  uint32_t kind = 0;
  if (!Get32(Source, kind)) {
    answer = Failed("the decoder's answer broke off");
  } else if (kind == FailureMessage) {
    answer = ReadFailure(Source);
  } else if (kind != MetadataMessage || !GetBlocks(Source, answer.Metadata) ||
             !GetMagic(Source, EndMagic)) {
    answer = Failed("the decoder's answer is garbled");
  }
  answer.Taken = true;
  return answer;
}

}  // namespace pictrim::decoding
