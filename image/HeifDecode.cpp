#include "image/HeifDecode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "image/DecoderMemory.h"
#include "image/HeifBoxes.h"
#include "image/HeifGrid.h"
#include "image/HeifHandles.h"
#include "image/HevcDecoder.h"
#include "image/PictureShrink.h"

namespace pictrim::decoding {
namespace {

struct TBitmapUnload {
  void operator()(FIBITMAP* Dib) const { FreeImage_Unload(Dib); }
};
using TBitmapPtr = std::unique_ptr<FIBITMAP, TBitmapUnload>;

// Metadata items looked at per kind, so that a file naming thousands costs little.
constexpr int MaxItemsLooked = 16;

// The library's own limit on a side; the pixel limit is judged here, from
// the picture's size, as for every other format.
constexpr int MaxSide = 1 << 20;

// Text, followed by the library's message when it gives one.
std::string WithMessage(std::string Text, const heif_error& Error) {
  std::string message = Error.message != nullptr ? Error.message : "";
  while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
    message.pop_back();
  if (!message.empty()) Text += ": " + message;
  return Text;
}

std::string LibraryFailure(const heif_error& Error) {
  if (Error.code == heif_error_Memory_allocation_error) return OutOfGrantedMemory;
  return WithMessage("the library could not decode the file", Error);
}

TServed SendFailure(TByteSink& Sink, const std::string& Text) {
  return WriteFailure(Sink, Text) ? TServed::FailureSent : TServed::Broken;
}

// Reads the container (from the file or the bytes sent) and takes its
// primary picture.
heif_error OpenPrimary(const TRequest& Request, THeifContextPtr& Context, THeifHandlePtr& Handle) {
  Context.reset(heif_context_alloc());
  if (!Context) return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory"};
  heif_context_set_maximum_image_size_limit(Context.get(), MaxSide);
  // The tiles of a phone's photo one after the other: libheif's threads
  // that decode them side by side now and then put wrong pixels into the
  // picture, and each decoder process has a core of its own anyway.
  heif_context_set_max_decoding_threads(Context.get(), 0);
  const heif_error read =
      Request.FromBytes ? heif_context_read_from_memory_without_copy(
                              Context.get(), Request.Bytes.data(), Request.Bytes.size(), nullptr)
                        : heif_context_read_from_file(Context.get(), Request.Path.c_str(), nullptr);
  if (read.code != heif_error_Ok) return read;
  heif_image_handle* handle = nullptr;
  const heif_error primary = heif_context_get_primary_image_handle(Context.get(), &handle);
  Handle.reset(handle);
  return primary;
}

bool StartsWith(const std::vector<uint8_t>& Bytes, size_t At, const char* Text, size_t Length) {
  return Bytes.size() >= At && Bytes.size() - At >= Length &&
         std::memcmp(Bytes.data() + At, Text, Length) == 0;
}

bool IsTiffHeader(const std::vector<uint8_t>& Bytes, size_t At) {
  return StartsWith(Bytes, At, "II*\0", 4) || StartsWith(Bytes, At, "MM\0*", 4);
}

// One metadata item's bytes; empty when it is too large or cannot be read.
std::vector<uint8_t> ItemBytes(const heif_image_handle* Handle, heif_item_id Id) {
  const size_t size = heif_image_handle_get_metadata_size(Handle, Id);
  std::vector<uint8_t> bytes;
  if (size == 0 || size > MaxMetadataBytes) return bytes;
  bytes.resize(size);
  if (heif_image_handle_get_metadata(Handle, Id, bytes.data()).code != heif_error_Ok) bytes.clear();
  return bytes;
}

// The metadata items of Type (and ContentType, when given), first first.
std::vector<heif_item_id> ItemsOf(const heif_image_handle* Handle, const char* Type,
                                  const char* ContentType) {
  heif_item_id ids[MaxItemsLooked];
  const int count =
      heif_image_handle_get_list_of_metadata_block_IDs(Handle, Type, ids, MaxItemsLooked);
  std::vector<heif_item_id> found;
  for (int i = 0; i < std::clamp(count, 0, MaxItemsLooked); ++i) {
    const char* content = heif_image_handle_get_metadata_content_type(Handle, ids[i]);
    if (ContentType == nullptr || (content != nullptr && std::strcmp(content, ContentType) == 0))
      found.push_back(ids[i]);
  }
  return found;
}

TPictureMetadata MetadataOf(const heif_image_handle* Handle) {
  TPictureMetadata metadata;
  for (const heif_item_id id : ItemsOf(Handle, "Exif", nullptr)) {
    metadata.Exif = ExifBlockOfItem(ItemBytes(Handle, id));
    if (!metadata.Exif.empty()) break;
  }
  for (const heif_item_id id : ItemsOf(Handle, "mime", "application/rdf+xml")) {
    metadata.Xmp = ItemBytes(Handle, id);
    if (!metadata.Xmp.empty()) break;
  }
  const size_t profileSize = heif_image_handle_get_raw_color_profile_size(Handle);
  if (profileSize > 0 && profileSize <= MaxMetadataBytes) {
    metadata.ColourProfile.resize(profileSize);
    if (heif_image_handle_get_raw_color_profile(Handle, metadata.ColourProfile.data()).code !=
        heif_error_Ok)
      metadata.ColourProfile.clear();
  }
  return metadata;
}

// The decoded picture as the image library keeps one: rows bottom-up, blue
// first; shrunk by Shrink when it is the Width x Height picture the header
// told of. Null when the library's picture is not what was asked for.
FIBITMAP* ToBitmap(const heif_image* Image, bool Alpha, int Width, int Height, uint32_t Shrink) {
  const int width = heif_image_get_width(Image, heif_channel_interleaved);
  const int height = heif_image_get_height(Image, heif_channel_interleaved);
  if (width <= 0 || height <= 0 ||
      heif_image_get_bits_per_pixel_range(Image, heif_channel_interleaved) != 8)
    return nullptr;
  int stride = 0;
  const uint8_t* pixels = heif_image_get_plane_readonly(Image, heif_channel_interleaved, &stride);
  const int channels = Alpha ? 4 : 3;
  if (pixels == nullptr || stride < width * channels) return nullptr;
  if (Shrink > 1 && width == Width && height == Height) {
    if (FIBITMAP* shrunk = ShrinkRgbRows(pixels, size_t(stride), uint32_t(width), uint32_t(height),
                                         uint32_t(channels), Shrink))
      return shrunk;
  }
  FIBITMAP* dib = FreeImage_Allocate(width, height, 8 * channels);
  if (dib == nullptr) return nullptr;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    BYTE* out = FreeImage_GetScanLine(dib, height - 1 - y);
    for (int x = 0; x < width; ++x, in += channels, out += channels) {
      out[FI_RGBA_RED] = in[0];
      out[FI_RGBA_GREEN] = in[1];
      out[FI_RGBA_BLUE] = in[2];
      if (Alpha) out[FI_RGBA_ALPHA] = in[3];
    }
  }
  return dib;
}

// Decodes the primary picture, its transformations applied, at 8 bits.
heif_error DecodePrimary(const heif_image_handle* Handle, bool Alpha, THeifImagePtr& Image) {
  const THeifOptionsPtr options(heif_decoding_options_alloc());
  if (options) {
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 1;
  }
  heif_image* image = nullptr;
  const heif_error decoded = heif_decode_image(
      Handle, &image, heif_colorspace_RGB,
      Alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
  Image.reset(image);
  return decoded;
}

// What libheif's decode of a whole Width x Height picture costs: the coded
// planes (at most three full ones) in the decoder and in libheif, the
// colour conversion's picture and its turned copy (and a deeper one first
// for samples above 8 bits), and the picture handed over.
TDecodeCost WholeCost(uint32_t Width, uint32_t Height, bool Alpha, uint32_t Bits) {
  const uint64_t sample = Bits > 8 ? 2 : 1;
  const uint64_t colour = Alpha ? 4 : 3;
  const uint64_t perPixel = 2 * 3 * sample + 2 * colour + (Bits > 8 ? 2 * 2 * colour : 0);
  TDecodeCost cost;
  cost.WorkBytes = uint64_t{Width} * Height * perPixel;
  cost.WholeCopies = 1;
  cost.ShrunkCopies = 1;
  return cost;
}

// What the tile road costs: one tile's decode, the picture laid out and,
// when it is shrunk, the sums of its blocks (twice its bytes).
TDecodeCost GridCost(const THeifGridPlan& Plan, uint32_t Bits) {
  TDecodeCost cost;
  cost.WorkBytes = TileDecodeBytes(Plan, Bits);
  cost.WholeCopies = 1;
  cost.ShrunkCopies = 3;
  return cost;
}

// The file a request names, or the bytes it brought, read at any offset.
class THeifFile {
 public:
  explicit THeifFile(const TRequest& Request) : Request_(Request) {
    if (Request.FromBytes) {
      Size_ = Request.Bytes.size();
      return;
    }
    Fd_ = ::open(Request.Path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (Fd_ >= 0 && ::fstat(Fd_, &info) == 0 && S_ISREG(info.st_mode))
      Size_ = static_cast<uint64_t>(info.st_size);
  }
  ~THeifFile() {
    if (Fd_ >= 0) ::close(Fd_);
  }
  THeifFile(const THeifFile&) = delete;
  THeifFile& operator=(const THeifFile&) = delete;

  uint64_t Size() const { return Size_; }
  THeifReadFn Reader() const {
    return [this](uint64_t Offset, uint64_t Size, uint8_t* Out) { return ReadAt(Offset, Size, Out); };
  }

 private:
  bool ReadAt(uint64_t Offset, uint64_t Size, uint8_t* Out) const {
    if (Offset > Size_ || Size > Size_ - Offset) return false;
    if (Request_.FromBytes) {
      std::memcpy(Out, Request_.Bytes.data() + Offset, static_cast<size_t>(Size));
      return true;
    }
    while (Size > 0) {
      const ssize_t got = ::pread(Fd_, Out, static_cast<size_t>(Size), static_cast<off_t>(Offset));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      Out += got;
      Offset += static_cast<uint64_t>(got);
      Size -= static_cast<uint64_t>(got);
    }
    return true;
  }

  const TRequest& Request_;
  int Fd_ = -1;
  uint64_t Size_ = 0;
};

}  // namespace

std::vector<uint8_t> ExifBlockOfItem(const std::vector<uint8_t>& Item) {
  if (Item.size() < 4) return {};
  const uint32_t offset =
      uint32_t{Item[0]} << 24 | uint32_t{Item[1]} << 16 | uint32_t{Item[2]} << 8 | Item[3];
  size_t start = 4;
  if (offset <= Item.size() - 4) start += offset;
  if (StartsWith(Item, start, "Exif\0\0", 6)) start += 6;
  if (!IsTiffHeader(Item, start)) {
    // Some writers state no offset or a wrong one: the header is looked for
    // near the start.
    start = 4;
    while (start + 4 <= std::min<size_t>(Item.size(), 64) && !IsTiffHeader(Item, start)) ++start;
    if (!IsTiffHeader(Item, start)) return {};
  }
  return std::vector<uint8_t>(Item.begin() + static_cast<std::ptrdiff_t>(start), Item.end());
}

TServed ServeHeif(const TRequest& Request, TByteSource& Source, TByteSink& Sink) {
  THeifContextPtr context;
  THeifHandlePtr handle;
  if (const heif_error opened = OpenPrimary(Request, context, handle);
      opened.code != heif_error_Ok) {
    return SendFailure(Sink, LibraryFailure(opened));
  }
  if (Request.MetadataOnly) {
    return WriteMetadata(Sink, MetadataOf(handle.get())) ? TServed::Whole : TServed::Broken;
  }
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  if (width <= 0 || height <= 0) return SendFailure(Sink, "the picture has no size");
  // A grid without alpha is decoded tile by tile, straight into the picture.
  const THeifFile file(Request);
  std::optional<THeifMeta> meta;
  std::optional<THeifGridPlan> grid;
  if (!alpha) meta = ReadHeifMeta(file.Reader(), file.Size());
  if (meta) grid = PlanGrid(*meta, file.Reader(), file.Size(), uint32_t(width), uint32_t(height));
  const uint32_t bits = uint32_t(std::max(0, heif_image_handle_get_luma_bits_per_pixel(handle.get())));
  const TDecodeCost cost =
      grid ? GridCost(*grid, bits) : WholeCost(uint32_t(width), uint32_t(height), alpha, bits);
  if (!WriteHeader(Sink, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                   alpha ? 32 : 24, cost))
    return TServed::Broken;
  // The program refuses a picture above the limit from the header; the
  // coded size (before cropping) counts as well.
  const uint64_t coded = uint64_t(std::max(0, heif_image_handle_get_ispe_width(handle.get()))) *
                         uint64_t(std::max(0, heif_image_handle_get_ispe_height(handle.get())));
  if (uint64_t(width) * uint64_t(height) > Request.MaxPixels) return TServed::FailureSent;
  uint32_t shrink = 1;
  uint64_t granted = 0;
  if (!ReadGoAhead(Source, shrink, granted)) return TServed::FailureSent;
  const TDecodeMemoryCap cap(granted);
  if (coded > Request.MaxPixels)
    return SendFailure(Sink, "the picture has more pixels than allowed");
  LimitHevcPictures(Request.MaxPixels);
  if (grid) {
    TGridDecode decoded = DecodeGrid(*meta, *grid, file.Reader(), file.Size(), shrink);
    const TBitmapPtr dib(decoded.Picture);
    if (!dib) return SendFailure(Sink, decoded.Failure);
    return WritePicture(Sink, dib.get(), decoded.Damage, MetadataOf(handle.get()))
               ? TServed::Whole
               : TServed::Broken;
  }
  THeifImagePtr image;
  if (const heif_error decoded = DecodePrimary(handle.get(), alpha, image);
      decoded.code != heif_error_Ok) {
    return SendFailure(Sink, LibraryFailure(decoded));
  }
  const TBitmapPtr dib(ToBitmap(image.get(), alpha, width, height, shrink));
  const std::string damage = DecodingWarning(image.get());
  image.reset();
  if (!dib) return SendFailure(Sink, "the library gave a picture of no known kind");
  const uint64_t pixels = uint64_t{FreeImage_GetWidth(dib.get())} * FreeImage_GetHeight(dib.get());
  if (pixels > Request.MaxPixels) {
    return SendFailure(Sink, "the picture has more pixels than allowed");
  }
  return WritePicture(Sink, dib.get(), damage, MetadataOf(handle.get())) ? TServed::Whole
                                                                         : TServed::Broken;
}

}  // namespace pictrim::decoding
