// libheif's objects held by smart pointers that release them the library's
// way: the decoder process, its tests and its fuzz target hold them so.
#pragma once

#include <libheif/heif.h>

#include <memory>

namespace pictrim::decoding {

struct THeifContextFree {
  void operator()(heif_context* Context) const { heif_context_free(Context); }
};
struct THeifHandleRelease {
  void operator()(heif_image_handle* Handle) const { heif_image_handle_release(Handle); }
};
struct THeifImageRelease {
  void operator()(heif_image* Image) const { heif_image_release(Image); }
};
struct THeifOptionsFree {
  void operator()(heif_decoding_options* Options) const { heif_decoding_options_free(Options); }
};
using THeifContextPtr = std::unique_ptr<heif_context, THeifContextFree>;
using THeifHandlePtr = std::unique_ptr<heif_image_handle, THeifHandleRelease>;
using THeifImagePtr = std::unique_ptr<heif_image, THeifImageRelease>;
using THeifOptionsPtr = std::unique_ptr<heif_decoding_options, THeifOptionsFree>;

}  // namespace pictrim::decoding
