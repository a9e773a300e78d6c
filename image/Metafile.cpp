#include "image/Metafile.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <limits>
#include <mutex>

#include "util/Errors.h"

namespace pictrim {
namespace {

// libwmf keeps global state while it plays; one metafile at a time.
std::mutex WmfMutex;

struct TWmfSession {
  wmfAPI* Api = nullptr;
  ~TWmfSession() {
    if (Api != nullptr) wmf_api_destroy(Api);
  }
};

void Check(wmf_error_t Error, const std::string& FileName) {
  if (Error != wmf_E_None) throw EInOutError("Not a readable metafile: " + FileName);
}

}  // namespace

QImage RenderMetafile(const std::string& FileName) {
  std::lock_guard<std::mutex> lock(WmfMutex);
  wmfAPI_Options options{};
  options.function = wmf_gd_function;
  const unsigned long flags =
      WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  TWmfSession session;
  Check(wmf_api_create(&session.Api, flags, &options), FileName);
  Check(wmf_file_open(session.Api, FileName.c_str()), FileName);
  wmfD_Rect bounds{};
  Check(wmf_scan(session.Api, 0, &bounds), FileName);
  unsigned int width = 0, height = 0;
  Check(wmf_display_size(session.Api, &width, &height, 96, 96), FileName);
  if (width == 0 || height == 0) {
    // Some library builds give no display size for placeable files; derive
    // it from the size in metafile units and the units per inch.
    float unitsWide = 0, unitsHigh = 0;
    Check(wmf_size(session.Api, &unitsWide, &unitsHigh), FileName);
    const unsigned inch = session.Api->PlaceableMetaHeader.Inch > 0
                              ? session.Api->PlaceableMetaHeader.Inch
                              : 1440;  // twips when the file gives no scale
    width = static_cast<unsigned int>(unitsWide * 96.0f / static_cast<float>(inch) + 0.5f);
    height = static_cast<unsigned int>(unitsHigh * 96.0f / static_cast<float>(inch) + 0.5f);
  }
  if (width == 0 || height == 0 || width > 30000 || height > 30000) {
    throw EInOutError("Metafile has no usable size: " + FileName);
  }
  wmf_gd_t* device = WMF_GD_GetData(session.Api);
  device->type = wmf_gd_image;
  device->bbox = bounds;
  device->width = width;
  device->height = height;
  Check(wmf_play(session.Api, 0, &bounds), FileName);
  const int* pixels = device->gd_image ? wmf_gd_image_pixels(device->gd_image) : nullptr;
  if (pixels == nullptr) throw EInOutError("Metafile drew nothing: " + FileName);

  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  for (unsigned y = 0; y < height; ++y) {
    uchar* row = image.scanLine(static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      const unsigned p = static_cast<unsigned>(pixels[static_cast<size_t>(y) * width + x]);
      row[3 * x] = static_cast<uchar>((p >> 16) & 0xFF);
      row[3 * x + 1] = static_cast<uchar>((p >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<uchar>(p & 0xFF);
    }
  }
  return image;
}

}  // namespace pictrim
