// Helpers of bench/compare_quality.py, which measures how close the copies
// come to a reference rescale:
//
//   bench_quality pictures DIR WIDTH HEIGHT [SEED]
//       writes DIR/zone.png, DIR/stripes.png and DIR/photo.png, pictures of
//       fine detail of WIDTH x HEIGHT (unless they are there)
//   bench_quality direct-box SOURCE OUT.jpg WIDTH HEIGHT [QUALITY]
//       the plain box rescale of the whole picture (loaded whole, rescaled
//       with the image library's box filter), saved as JPEG (quality 75)
//   bench_quality roads SOURCE.jpg WIDTH...
//       the reduced-scale decodes rescaled by area and with the Lanczos
//       filter against the box rescale of the whole picture (PSNR)
//   bench_quality resize FOLDER OUT EDGE [--sharp] [--stored-light]
//       the resize job over FOLDER into OUT; --stored-light makes the sharp
//       rescale filter the stored values rather than linear light
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/DetailedPictures.h"
#include "engine/Resize.h"
#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "image/Resample.h"
#include "util/SystemUtils.h"

namespace {

// PSNR of two pictures of one size, red, green and blue.
double Psnr(const QImage& A, const QImage& B) {
  const QImage a = A.convertToFormat(QImage::Format_RGB888);
  const QImage b = B.convertToFormat(QImage::Format_RGB888);
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    const uchar* p = a.constScanLine(y);
    const uchar* q = b.constScanLine(y);
    for (int i = 0; i < 3 * a.width(); ++i) sum += double(p[i] - q[i]) * (p[i] - q[i]);
  }
  return 10 * std::log10(255.0 * 255.0 * 3.0 * a.width() * a.height() / std::max(sum, 1e-9));
}

int WritePictures(const std::string& Folder, int Width, int Height, unsigned Seed) {
  std::filesystem::create_directories(Folder);
  using pictrim::detail::TDetailKind;
  for (const TDetailKind kind :
       {TDetailKind::ZonePlate, TDetailKind::Stripes, TDetailKind::Photo}) {
    const std::string path = Folder + "/" + pictrim::detail::DetailKindName(kind) + ".png";
    if (std::filesystem::exists(path)) continue;
    if (!pictrim::detail::MakeDetailedPicture(kind, Width, Height, Seed)
             .save(QString::fromStdString(path))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

int DirectBox(const std::string& Source, const std::string& Out, uint32_t Width, uint32_t Height,
              int Quality) {
  pictrim::TDisplayBitmap picture;
  if (!picture.Load(Source)) {
    std::fprintf(stderr, "cannot load %s\n", Source.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes;
  if (!picture.Rescale(Width, Height, FILTER_BOX) || !picture.ConvertForJpeg() ||
      !picture.SaveToBytes(FIF_JPEG, bytes, Quality)) {
    std::fprintf(stderr, "cannot rescale %s\n", Source.c_str());
    return 1;
  }
  pictrim::WriteFileBytes(Out, bytes.data(), bytes.size());
  return 0;
}

// The reduced-scale JPEG decodes at 1/1, 1/2, 1/4 and 1/8, each rescaled
// to Width by area and with the Lanczos filter, against the box rescale of
// the whole picture: PSNR against the reference rescale of the whole.
int Roads(const std::string& Source, uint32_t Width) {
  using namespace pictrim;
  TJpegImage jpeg;
  jpeg.LoadFromFile(Source);
  const QImage whole = jpeg.ToBitmap();
  const uint32_t height = uint32_t(uint64_t(Width) * jpeg.Height() / jpeg.Width());
  const QImage reference = resampling::Resampled(whole, resampling::TSide{jpeg.Width()},
                                                 resampling::TSide{jpeg.Height()}, Width, height,
                                                 resampling::TFilter::Lanczos3, true);
  TDisplayBitmap direct;
  direct.Load(Source);
  direct.Rescale(Width, height, FILTER_BOX);
  QImage box;
  direct.CopyToBitmap(&box);
  std::printf("%s to %u: box %.2f", Source.c_str(), Width, Psnr(box, reference));
  for (const unsigned scale : {1u, 2u, 4u, 8u}) {
    const uint32_t side = (jpeg.Width() + scale - 1) / scale;
    if (side < Width) break;
    const QImage reduced = jpeg.ToScaledBitmap(scale);
    for (const bool sharp : {false, true}) {
      const QImage made = resampling::Resampled(
          reduced.convertToFormat(QImage::Format_RGB888),
          resampling::TSide::Shrunk(jpeg.Width(), scale),
          resampling::TSide::Shrunk(jpeg.Height(), scale), Width, height,
          sharp ? resampling::TFilter::Lanczos3 : resampling::TFilter::Area, sharp);
      std::printf("  1/%u(%.2f)%s %.2f", scale, double(side) / Width, sharp ? "L" : "A",
                  Psnr(made, reference));
    }
  }
  std::printf("\n");
  return 0;
}

int ResizeJob(const std::vector<std::string>& Args) {
  pictrim::TJobChoices choices;
  for (size_t i = 4; i < Args.size(); ++i) {
    if (Args[i] == "--sharp") choices.Sharp = true;
    if (Args[i] == "--stored-light") pictrim::resampling::SharpInLinearLight = false;
  }
  const auto edge = uint32_t(std::atoi(Args[3].c_str()));
  pictrim::TErrorLog log;
  const int result = pictrim::ConvertPICsWholeTree(nullptr, Args[1], Args[2], edge, edge, "", 0,
                                                   1025, 1026, true, log, nullptr, choices);
  for (const std::string& line : log) std::fprintf(stderr, "%s", line.c_str());
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 4 && args[0] == "pictures") {
    return WritePictures(args[1], std::atoi(args[2].c_str()), std::atoi(args[3].c_str()),
                         args.size() > 4 ? unsigned(std::atoi(args[4].c_str())) : 1u);
  }
  if (args.size() >= 5 && args[0] == "direct-box") {
    return DirectBox(args[1], args[2], uint32_t(std::atoi(args[3].c_str())),
                     uint32_t(std::atoi(args[4].c_str())),
                     args.size() > 5 ? std::atoi(args[5].c_str()) : 75);
  }
  if (args.size() >= 4 && args[0] == "resize") return ResizeJob(args);
  if (args.size() >= 3 && args[0] == "roads") {
    for (size_t i = 2; i < args.size(); ++i) Roads(args[1], uint32_t(std::atoi(args[i].c_str())));
    return 0;
  }
  std::fprintf(stderr,
               "usage: bench_quality pictures DIR WIDTH HEIGHT [SEED]\n"
               "       bench_quality direct-box SOURCE OUT.jpg WIDTH HEIGHT [QUALITY]\n"
               "       bench_quality resize FOLDER OUT EDGE [--sharp] [--stored-light]\n"
               "       bench_quality roads SOURCE.jpg WIDTH...\n");
  return 2;
}
