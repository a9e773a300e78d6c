// How many damaged HEIC copies the decoder names as damaged: each damaged
// file is decoded as the jobs decode it and compared with the clean file's
// picture. A copy counts as visibly damaged when more than 2 % of its
// samples are more than 16 steps off the clean picture's.
//
//   bench_heic_damage CLEAN.heic DAMAGED.heic...
//
// One line per damaged file (its share of samples off, and what the decoder
// said), then the detected share of the visibly damaged ones.
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/ImageBitmap.h"

namespace {

QImage Decoded(pictrim::TDisplayBitmap& Picture) {
  QImage out;
  Picture.CopyToBitmap(&out);
  return out.convertToFormat(QImage::Format_RGB888);
}

// The share of samples more than 16 steps away from the clean picture's.
double ShareOff(const QImage& Damaged, const QImage& Clean) {
  if (Damaged.size() != Clean.size()) return 1.0;
  uint64_t off = 0;
  const uint64_t samples = uint64_t(Clean.width()) * Clean.height() * 3;
  for (int y = 0; y < Clean.height(); ++y) {
    const uchar* a = Damaged.constScanLine(y);
    const uchar* b = Clean.constScanLine(y);
    for (int i = 0; i < Clean.width() * 3; ++i) off += std::abs(int(a[i]) - int(b[i])) > 16;
  }
  return double(off) / double(samples);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CLEAN.heic DAMAGED.heic...\n", argv[0]);
    return 2;
  }
  pictrim::TDisplayBitmap picture;
  if (!picture.Load(argv[1])) {
    std::fprintf(stderr, "%s: %s\n", argv[1], picture.DecodeFailure().c_str());
    return 1;
  }
  const QImage clean = Decoded(picture);
  int visible = 0, named = 0, refused = 0, namedInvisible = 0;
  for (int i = 2; i < argc; ++i) {
    const bool loaded = picture.Load(argv[i]);
    if (!loaded) {
      ++refused;
      std::printf("%s\trefused\t%s\n", argv[i], picture.DecodeFailure().c_str());
      continue;
    }
    const double share = ShareOff(Decoded(picture), clean);
    const bool isVisible = share > 0.02;
    const bool isNamed = !picture.DecodeDamage().empty();
    visible += isVisible;
    named += isVisible && isNamed;
    namedInvisible += !isVisible && isNamed;
    std::printf("%s\t%.1f %%\t%s\t%s\n", argv[i], 100 * share, isVisible ? "visible" : "-",
                isNamed ? picture.DecodeDamage().c_str() : "(no line)");
  }
  std::printf("refused: %d; visibly damaged: %d, named: %d (%.0f %%); named but not visible: %d\n",
              refused, visible, named, visible > 0 ? 100.0 * named / visible : 100.0,
              namedInvisible);
  return 0;
}
