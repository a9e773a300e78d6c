// Helpers of bench/compare_quality.py, which measures how close the copies
// come to a reference rescale:
//
//   bench_quality pictures DIR WIDTH HEIGHT [SEED]
//       writes DIR/zone.png, DIR/stripes.png and DIR/photo.png, pictures of
//       fine detail of WIDTH x HEIGHT (unless they are there)
//   bench_quality direct-box SOURCE OUT.jpg WIDTH HEIGHT [QUALITY]
//       the plain box rescale of the whole picture (loaded whole, rescaled
//       with the image library's box filter), saved as JPEG (quality 75)
//   bench_quality resize FOLDER OUT EDGE [--sharp] [--stored-light]
//       the resize job over FOLDER into OUT; --stored-light makes the sharp
//       rescale filter the stored values rather than linear light
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/DetailedPictures.h"
#include "engine/Resize.h"
#include "image/ImageBitmap.h"
#include "image/Resample.h"
#include "util/SystemUtils.h"

namespace {

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
  std::fprintf(stderr,
               "usage: bench_quality pictures DIR WIDTH HEIGHT [SEED]\n"
               "       bench_quality direct-box SOURCE OUT.jpg WIDTH HEIGHT [QUALITY]\n"
               "       bench_quality resize FOLDER OUT EDGE [--sharp] [--stored-light]\n");
  return 2;
}
