// Fuzz target of a HEIC file's decode as the decoder process does it: the
// container read by libheif, the HEVC pictures decoded by libde265 behind
// our decoder for libheif, the picture shrunk by the factor the program may
// ask for; and the road of a grid, tile by tile: the container's boxes read
// by our reader, each tile decoded from a container of its own and laid
// into the picture, shrunk. libheif and libde265 are not instrumented; our
// reader, our decoder's handling of the coded data and of the decoded
// pictures, and the laying out are.
#include <libheif/heif.h>

#include <cstdint>
#include <memory>

#include <cstring>

#include "image/HeifBoxes.h"
#include "image/HeifGrid.h"
#include "image/HeifHandles.h"
#include "image/HevcDecoder.h"
#include "image/PictureShrink.h"

namespace {

struct TBitmapUnload {
  void operator()(FIBITMAP* Dib) const { FreeImage_Unload(Dib); }
};

bool Setup() {
  heif_init(nullptr);
  pictrim::decoding::RegisterHevcDecoder();
  pictrim::decoding::LimitHevcPictures(1 << 22);
  return true;
}

// The tile road of the decoder process, when the file is a grid it takes.
void DecodeAsGrid(const uint8_t* Data, size_t Size, uint32_t Width, uint32_t Height,
                  uint32_t Factor) {
  const pictrim::decoding::THeifReadFn read = [&](uint64_t Offset, uint64_t Count, uint8_t* Out) {
    if (Offset > Size || Count > Size - Offset) return false;
    std::memcpy(Out, Data + Offset, size_t(Count));
    return true;
  };
  const auto meta = pictrim::decoding::ReadHeifMeta(read, Size);
  if (!meta) return;
  const auto plan = pictrim::decoding::PlanGrid(*meta, read, Size, Width, Height);
  if (!plan) return;
  const pictrim::decoding::TGridDecode decoded =
      pictrim::decoding::DecodeGrid(*meta, *plan, read, Size, Factor);
  if (decoded.Picture != nullptr) FreeImage_Unload(decoded.Picture);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool ready = Setup();
  (void)ready;
  if (Size < 2) return 0;
  // The first byte: the shrink factor asked for and whether to decode strictly.
  const uint32_t factor = 1 + Data[0] % pictrim::decoding::MaxShrinkFactor;
  const bool strict = (Data[0] & 0x80) != 0;
  pictrim::decoding::THeifContextPtr context(heif_context_alloc());
  heif_context_set_maximum_image_size_limit(context.get(), 1 << 12);
  heif_context_set_max_decoding_threads(context.get(), 0);
  if (heif_context_read_from_memory_without_copy(context.get(), Data + 1, Size - 1, nullptr).code !=
      heif_error_Ok)
    return 0;
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok)
    return 0;
  pictrim::decoding::THeifHandlePtr handle(rawHandle);
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  if (width <= 0 || height <= 0 || int64_t{width} * height > (1 << 22)) return 0;
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  heif_decoding_options* options = heif_decoding_options_alloc();
  options->strict_decoding = strict ? 1 : 0;
  options->convert_hdr_to_8bit = 1;
  heif_image* rawImage = nullptr;
  const heif_error decoded = heif_decode_image(
      handle.get(), &rawImage, heif_colorspace_RGB,
      alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options);
  heif_decoding_options_free(options);
  pictrim::decoding::THeifImagePtr image(rawImage);
  if (decoded.code != heif_error_Ok || !image) return 0;
  heif_error warning{};
  heif_image_get_decoding_warnings(image.get(), 0, &warning, 1);
  int stride = 0;
  const uint8_t* pixels =
      heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  const int shownWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int shownHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
  if (pixels == nullptr || shownWidth <= 0 || shownHeight <= 0 || stride <= 0) return 0;
  const std::unique_ptr<FIBITMAP, TBitmapUnload> shrunk(pictrim::decoding::ShrinkRgbRows(
      pixels, size_t(stride), uint32_t(shownWidth), uint32_t(shownHeight), alpha ? 4 : 3, factor));
  DecodeAsGrid(Data + 1, Size - 1, uint32_t(width), uint32_t(height), factor);
  pictrim::decoding::HevcDamage();
  return 0;
}
