#include "image/ImageBitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include "image/HeifFormat.h"
#include "image/PictureShrink.h"
#include "image/Resample.h"
#include "util/Errors.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

void IgnoreLibraryMessage(FREE_IMAGE_FORMAT, const char*) {}

// Bytes read from the start of a file to tell its format.
constexpr size_t FormatHeadBytes = 64 * 1024;

// The first bytes of a regular file; nothing for folders, devices and files
// that cannot be read.
std::vector<uint8_t> ReadHead(const std::string& FileName) {
  std::vector<uint8_t> head;
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return head;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    head.resize(FormatHeadBytes);
    size_t got = 0;
    while (got < head.size()) {
      const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    head.resize(got);
  }
  ::close(fd);
  return head;
}

FREE_IMAGE_FORMAT FormatOfBytes(const uint8_t* Data, size_t Size) {
  if (Size == 0 || Size > std::numeric_limits<DWORD>::max()) return FIF_UNKNOWN;
  FIMEMORY* stream = FreeImage_OpenMemory(const_cast<BYTE*>(Data), static_cast<DWORD>(Size));
  if (stream == nullptr) return FIF_UNKNOWN;
  const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(stream, 0);
  FreeImage_CloseMemory(stream);
  return format;
}

// The decoder for a file: by its first bytes (HEIF, then the image
// library's formats), else by its name's extension. Format stays unknown
// when neither tells.
TDecodeRequest DetectDecoder(const uint8_t* Data, size_t Size, const std::string& FileName) {
  TDecodeRequest request;
  request.Path = FileName;
  const bool heifBytes = IsHeifHeader(Data, Size);
  if (!heifBytes) request.Format = FormatOfBytes(Data, Size);
  if (heifBytes || (request.Format == FIF_UNKNOWN && HasHeifExtension(FileName))) {
    request.Codec = decoding::TCodec::Heif;
  } else if (request.Format == FIF_UNKNOWN) {
    request.Format = FreeImage_GetFIFFromFilename(FileName.c_str());
  }
  return request;
}

// Whether a palette picture's colours are all greys.
bool HasGreyPalette(FIBITMAP* Dib) {
  const RGBQUAD* palette = FreeImage_GetPalette(Dib);
  if (palette == nullptr) return true;
  const unsigned colours = FreeImage_GetColorsUsed(Dib);
  for (unsigned i = 0; i < colours; ++i) {
    const RGBQUAD& c = palette[i];
    if (c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue) return false;
  }
  return true;
}

// Picture resampled to Width x Height, its sides standing for the whole
// picture shrunk by Factor from WholeWidth x WholeHeight; null for kinds
// other than 8-bit grey and 24- and 32-bit colour (alpha kept apart from
// the light), or without memory. Rows are fed from the top of the picture
// as shown, so that the last block of a shrunk picture is where it was.
FIBITMAP* ResampledPicture(FIBITMAP* Picture, uint32_t WholeWidth, uint32_t WholeHeight,
                           uint32_t Factor, uint32_t Width, uint32_t Height,
                           resampling::TFilter Filter, bool Linear) {
  const unsigned bpp = FreeImage_GetBPP(Picture);
  const bool grey = bpp == 8 && FreeImage_GetColorType(Picture) == FIC_MINISBLACK;
  if (FreeImage_GetImageType(Picture) != FIT_BITMAP || !(grey || decoding::CanShrink(Picture)))
    return nullptr;
  const uint32_t width = FreeImage_GetWidth(Picture), height = FreeImage_GetHeight(Picture);
  const resampling::TSide across = resampling::TSide::Shrunk(WholeWidth, Factor);
  const resampling::TSide down = resampling::TSide::Shrunk(WholeHeight, Factor);
  if (across.Pixels != width || down.Pixels != height) return nullptr;
  FIBITMAP* out = FreeImage_Allocate(int(Width), int(Height), int(bpp), FI_RGBA_RED_MASK,
                                     FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
  if (out == nullptr) return nullptr;
  if (grey) {
    RGBQUAD* palette = FreeImage_GetPalette(out);
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  }
  resampling::TResampler resampler;
  const resampling::TPixelKind kind{bpp / 8, bpp == 32 ? FI_RGBA_ALPHA : -1};
  if (!resampler.Start(across, down, kind, Width, Height, Filter, Linear, [&](uint32_t Y) {
        return FreeImage_GetScanLine(out, int(Height - 1 - Y));
      })) {
    FreeImage_Unload(out);
    return nullptr;
  }
  // The rows lie bottom up: from the top, they are a pitch apart backwards.
  resampler.AddPicture(FreeImage_GetScanLine(Picture, int(height - 1)),
                       -std::ptrdiff_t(FreeImage_GetPitch(Picture)));
  resampler.Finish();
  FreeImage_CloneMetadata(out, Picture);
  FreeImage_SetDotsPerMeterX(out, FreeImage_GetDotsPerMeterX(Picture));
  FreeImage_SetDotsPerMeterY(out, FreeImage_GetDotsPerMeterY(Picture));
  return out;
}

uint32_t CheckedDimension(unsigned Value) {
  if (Value > static_cast<unsigned>(std::numeric_limits<int32_t>::max())) {
    throw ERangeError("picture dimension out of range");
  }
  return Value;
}

// Drops the metadata models, so that a save writes pixels only.
void DropLibraryMetadata(FIBITMAP* Dib) {
  for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model) {
    FreeImage_SetMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), Dib, nullptr, nullptr);
  }
  FreeImage_SetThumbnail(Dib, nullptr);
}

uint8_t ToByte(float Value) {
  if (!(Value > 0.0f)) return 0;
  if (Value >= 1.0f) return 255;
  return static_cast<uint8_t>(Value * 255.0f + 0.5f);
}

// Floating-point colour pictures: channels clamped to 0..1, alpha laid onto white.
FIBITMAP* FloatColourTo24Bits(FIBITMAP* Dib) {
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(Dib);
  const unsigned width = FreeImage_GetWidth(Dib), height = FreeImage_GetHeight(Dib);
  FIBITMAP* out = FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24);
  if (out == nullptr) return nullptr;
  for (unsigned y = 0; y < height; ++y) {
    const BYTE* in = FreeImage_GetScanLine(Dib, static_cast<int>(y));
    BYTE* row = FreeImage_GetScanLine(out, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      float r, g, b, a = 1.0f;
      if (type == FIT_RGBAF) {
        FIRGBAF p;
        std::memcpy(&p, in + x * sizeof(FIRGBAF), sizeof p);
        r = p.red, g = p.green, b = p.blue, a = p.alpha < 0 ? 0 : (p.alpha > 1 ? 1 : p.alpha);
      } else {
        FIRGBF p;
        std::memcpy(&p, in + x * sizeof(FIRGBF), sizeof p);
        r = p.red, g = p.green, b = p.blue;
      }
      row[3 * x + FI_RGBA_RED] = ToByte(r * a + (1 - a));
      row[3 * x + FI_RGBA_GREEN] = ToByte(g * a + (1 - a));
      row[3 * x + FI_RGBA_BLUE] = ToByte(b * a + (1 - a));
    }
  }
  return out;
}

// A 32-bit colour picture laid onto white, giving 24 bits.
FIBITMAP* CompositeOntoWhite(FIBITMAP* Dib) {
  RGBQUAD white = {255, 255, 255, 0};
  return FreeImage_Composite(Dib, FALSE, &white, nullptr);
}

// The library's JPEG writer takes 8-bit grey or palette, 24-bit colour and
// 32-bit CMYK pictures; it admits 32 bits by depth, so ask for the colour type.
bool HoldsJpegDepth(FIBITMAP* Dib) {
  if (FreeImage_GetImageType(Dib) != FIT_BITMAP) return false;
  const unsigned bpp = FreeImage_GetBPP(Dib);
  return bpp == 8 || bpp == 24 || (bpp == 32 && FreeImage_GetColorType(Dib) == FIC_CMYK);
}

}  // namespace

void InitImageLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { FreeImage_SetOutputMessage(IgnoreLibraryMessage); });
}

TImageBitmap::~TImageBitmap() {
  if (Handle_ != nullptr) FreeImage_Unload(Handle_);
}

void TImageBitmap::Clear() {
  LoadShrink_ = 1;
  Lease_.Release();
  Metadata_ = TPictureMetadata();
  if (Handle_ == nullptr) return;
  FreeImage_Unload(Handle_);
  Handle_ = nullptr;
  Change();
}

bool TImageBitmap::Load(const std::string& FileName, int Flags) {
  InitImageLibrary();
  const std::vector<uint8_t> head = ReadHead(FileName);
  return TakeLoaded(head.data(), head.size(), FileName, Flags, nullptr);
}

bool TImageBitmap::LoadFromBytes(const std::vector<uint8_t>& Bytes, const std::string& FileName,
                                 int Flags) {
  InitImageLibrary();
  if (Bytes.size() > std::numeric_limits<DWORD>::max()) return false;
  return TakeLoaded(Bytes.data(), Bytes.size(), FileName, Flags, &Bytes);
}

bool TImageBitmap::TakeLoaded(const uint8_t* Head, size_t HeadSize, const std::string& FileName,
                              int Flags, const std::vector<uint8_t>* Bytes) {
  DecodeFailed_ = false;
  DecodeCancelled_ = false;
  DecodeFailure_.clear();
  DecodeDamage_.clear();
  TDecodeRequest request = DetectDecoder(Head, HeadSize, FileName);
  if (request.Codec == decoding::TCodec::ImageLibrary &&
      (request.Format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(request.Format)))
    return false;
  request.Flags = Flags;
  request.Bytes = Bytes;
  request.Shrink = Shrink_;
  request.HeldCopies = Copies_;
  if (Handle_ != nullptr) FreeImage_Unload(Handle_);
  Handle_ = nullptr;
  Lease_.Release();
  if (!Decoder_) Decoder_ = std::make_unique<TDecoderSession>();
  TIsolatedDecode decoded = Decoder_->Decode(request);
  Handle_ = decoded.Picture;
  LoadedWidth_ = Handle_ != nullptr ? decoded.FullWidth : 0;
  LoadedHeight_ = Handle_ != nullptr ? decoded.FullHeight : 0;
  LoadShrink_ = Handle_ != nullptr ? decoded.Shrink : 1;
  Metadata_ = std::move(decoded.Metadata);
  Lease_ = std::move(decoded.Lease);
  DecodeFailure_ = std::move(decoded.Failure);
  DecodeDamage_ = std::move(decoded.Damage);
  DecodeCancelled_ = Handle_ == nullptr && decoded.Cancelled;
  DecodeFailed_ = Handle_ == nullptr && !decoded.Cancelled;
  Change();
  return IsValid();
}

bool TImageBitmap::CanSave(FREE_IMAGE_FORMAT Format) const {
  if (Handle_ == nullptr || Format == FIF_UNKNOWN) return false;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(Handle_);
  if (type != FIT_BITMAP) return FreeImage_FIFSupportsExportType(Format, type);
  return FreeImage_FIFSupportsWriting(Format) &&
         FreeImage_FIFSupportsExportBPP(Format, static_cast<int>(GetBitsPerPixel()));
}

bool TImageBitmap::Save(const std::string& FileName, int Flags) {
  std::vector<uint8_t> bytes;
  if (!SaveToBytes(FreeImage_GetFIFFromFilename(FileName.c_str()), bytes, Flags)) return false;
  try {
    WriteFileBytes(FileName, bytes.data(), bytes.size());
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

bool TImageBitmap::SaveToBytes(FREE_IMAGE_FORMAT Format, std::vector<uint8_t>& Bytes, int Flags) {
  InitImageLibrary();
  Bytes.clear();
  if (!CanSave(Format)) return false;
  DropLibraryMetadata(Handle_);
  FIMEMORY* stream = FreeImage_OpenMemory();
  if (stream == nullptr) return false;
  bool ok = FreeImage_SaveToMemory(Format, Handle_, stream, Flags) != FALSE;
  BYTE* data = nullptr;
  DWORD size = 0;
  if (ok) ok = FreeImage_AcquireMemory(stream, &data, &size) != FALSE && size > 0;
  if (ok) Bytes.assign(data, data + size);
  FreeImage_CloseMemory(stream);
  return ok;
}

uint32_t TImageBitmap::GetWidth() const {
  return Handle_ == nullptr ? 0 : CheckedDimension(FreeImage_GetWidth(Handle_));
}

uint32_t TImageBitmap::GetHeight() const {
  return Handle_ == nullptr ? 0 : CheckedDimension(FreeImage_GetHeight(Handle_));
}

uint32_t TImageBitmap::GetBitsPerPixel() const {
  return Handle_ == nullptr ? 0 : CheckedDimension(FreeImage_GetBPP(Handle_));
}

bool TImageBitmap::ConvertTo24Bits() {
  if (Handle_ == nullptr) return false;
  return Replace(FreeImage_ConvertTo24Bits(Handle_));
}

bool TImageBitmap::ConvertToGreyscale() {
  if (Handle_ == nullptr) return false;
  return Replace(FreeImage_ConvertToGreyscale(Handle_));
}

bool TImageBitmap::ConvertForJpeg() {
  if (Handle_ == nullptr) return false;
  if (HoldsJpegDepth(Handle_)) return true;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(Handle_);
  switch (type) {
    case FIT_BITMAP:
      if (GetBitsPerPixel() == 32) {
        if (!Replace(CompositeOntoWhite(Handle_))) return false;
      } else if (!ConvertTo24Bits()) {
        return false;
      }
      break;
    case FIT_RGB16:
      if (!ConvertTo24Bits()) return false;
      break;
    case FIT_RGBA16:
      if (!Replace(FreeImage_ConvertTo32Bits(Handle_))) return false;
      if (!Replace(CompositeOntoWhite(Handle_))) return false;
      break;
    case FIT_RGBF:
    case FIT_RGBAF:
      if (!Replace(FloatColourTo24Bits(Handle_))) return false;
      break;
    default:  // one channel of 16, 32 or 64 bits, or complex: grey levels
      if (!Replace(FreeImage_ConvertToStandardType(Handle_, TRUE))) return false;
      break;
  }
  return HoldsJpegDepth(Handle_);
}

bool TImageBitmap::Rescale(uint32_t NewWidth, uint32_t NewHeight, FREE_IMAGE_FILTER Filter) {
  if (Handle_ == nullptr) return false;
  const uint32_t bpp = GetBitsPerPixel();
  if (bpp < 8) {
    const bool grey = HasGreyPalette(Handle_);
    if (!(grey ? ConvertToGreyscale() : ConvertTo24Bits())) return false;
  } else if (bpp == 16 && FreeImage_GetImageType(Handle_) == FIT_BITMAP) {
    if (!ConvertTo24Bits()) return false;
  }
  if (NewWidth == 0 || NewHeight == 0 ||
      NewWidth > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
      NewHeight > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    return false;
  }
  // The box filter of the common pictures is done here in whole numbers,
  // about four times as fast as by the library and to the same result.
  FIBITMAP* rescaled =
      Filter == FILTER_BOX ? decoding::BoxRescale(Handle_, NewWidth, NewHeight) : nullptr;
  if (rescaled == nullptr) {
    rescaled =
        FreeImage_Rescale(Handle_, static_cast<int>(NewWidth), static_cast<int>(NewHeight), Filter);
  }
  if (rescaled != nullptr) LoadShrink_ = 1;
  return Replace(rescaled);
}

bool TImageBitmap::RescaleFor(uint32_t NewWidth, uint32_t NewHeight, bool Sharp) {
  if (Handle_ == nullptr) return false;
  const uint32_t factor = LoadShrink_;
  if (!Sharp && factor == 1) return Rescale(NewWidth, NewHeight, FILTER_BOX);
  if (NewWidth == 0 || NewHeight == 0 || NewWidth > uint32_t(std::numeric_limits<int32_t>::max()) ||
      NewHeight > uint32_t(std::numeric_limits<int32_t>::max()))
    return false;
  const uint32_t wholeWidth = factor > 1 ? LoadedWidth_ : GetWidth();
  const uint32_t wholeHeight = factor > 1 ? LoadedHeight_ : GetHeight();
  FIBITMAP* made =
      ResampledPicture(Handle_, wholeWidth, wholeHeight, factor, NewWidth, NewHeight,
                       Sharp ? resampling::TFilter::Lanczos3 : resampling::TFilter::Area,
                       Sharp && resampling::SharpInLinearLight);
  if (made != nullptr) {
    LoadShrink_ = 1;
    return Replace(made);
  }
  // Other kinds of picture: the library's filters.
  return Rescale(NewWidth, NewHeight, Sharp ? FILTER_LANCZOS3 : FILTER_BOX);
}

bool TImageBitmap::Replace(FIBITMAP* Handle) {
  if (Handle == nullptr) return false;
  if (Handle_ != nullptr && Handle_ != Handle) FreeImage_Unload(Handle_);
  Handle_ = Handle;
  Change();
  return true;
}

void TImageBitmap::Assign(const TImageBitmap* Other) {
  if (Other == this) return;
  if (Other == nullptr || !Other->IsValid()) {
    Clear();
    return;
  }
  if (Replace(FreeImage_Clone(Other->Handle_))) {
    LoadedWidth_ = Other->LoadedWidth_;
    LoadedHeight_ = Other->LoadedHeight_;
    LoadShrink_ = Other->LoadShrink_;
  }
}

int TDisplayBitmap::CopyToBitmap(QImage* Bitmap) const {
  if (Bitmap == nullptr) return -1;
  if (!IsValid()) {
    *Bitmap = QImage();
    return 0;
  }
  FIBITMAP* source = Handle();
  const bool withAlpha = FreeImage_GetImageType(source) == FIT_BITMAP &&
                         FreeImage_GetBPP(source) == 32 && FreeImage_IsTransparent(source);
  FIBITMAP* pixels = withAlpha ? FreeImage_Clone(source) : FreeImage_ConvertTo24Bits(source);
  if (pixels == nullptr) {
    *Bitmap = QImage();
    return 0;
  }
  const int width = static_cast<int>(FreeImage_GetWidth(pixels));
  const int height = static_cast<int>(FreeImage_GetHeight(pixels));
  QImage image(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
  const int bytesPerPixel = withAlpha ? 4 : 3;
  for (int y = 0; y < height && !image.isNull(); ++y) {
    // The library stores rows bottom-up in blue-green-red order.
    const BYTE* in = FreeImage_GetScanLine(pixels, height - 1 - y);
    uchar* out = image.scanLine(y);
    if (withAlpha) {
      std::memcpy(out, in, static_cast<size_t>(width) * 4);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      out[3 * x] = in[bytesPerPixel * x + FI_RGBA_RED];
      out[3 * x + 1] = in[bytesPerPixel * x + FI_RGBA_GREEN];
      out[3 * x + 2] = in[bytesPerPixel * x + FI_RGBA_BLUE];
    }
  }
  FreeImage_Unload(pixels);
  *Bitmap = image;
  return 0;
}

int TDisplayBitmap::CopyFromBitmap(const QImage* Bitmap) {
  if (Bitmap == nullptr) return -1;
  try {
    if (Bitmap->isNull()) return -1;
    const bool withAlpha = Bitmap->hasAlphaChannel();
    const QImage image =
        Bitmap->convertToFormat(withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
    const int width = image.width(), height = image.height();
    FIBITMAP* dib = FreeImage_Allocate(width, height, withAlpha ? 32 : 24, 0, 0, 0);
    if (dib == nullptr) return -1;
    for (int y = 0; y < height; ++y) {
      const uchar* in = image.constScanLine(y);
      BYTE* out = FreeImage_GetScanLine(dib, height - 1 - y);
      if (withAlpha) {
        std::memcpy(out, in, static_cast<size_t>(width) * 4);
        continue;
      }
      for (int x = 0; x < width; ++x) {
        out[3 * x + FI_RGBA_RED] = in[3 * x];
        out[3 * x + FI_RGBA_GREEN] = in[3 * x + 1];
        out[3 * x + FI_RGBA_BLUE] = in[3 * x + 2];
      }
    }
    Replace(dib);
    return 0;
  } catch (...) {
    return -1;
  }
}

}  // namespace pictrim
