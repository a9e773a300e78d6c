#include "bench/DetailedPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace pictrim::detail {
namespace {

constexpr double Pi = 3.14159265358979323846;

uint8_t Byte(double Value) {
  return uint8_t(std::clamp(std::lround(Value), 0L, 255L));
}

// Smooth noise on a lattice of Cell pixels, -1 to 1.
class TValueNoise {
 public:
  TValueNoise(int Width, int Height, int Cell, std::mt19937& Random)
      : Cell_(Cell), Columns_(Width / Cell + 2), Rows_(Height / Cell + 2) {
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Values_.resize(size_t(Columns_) * Rows_);
    for (double& v : Values_) v = value(Random);
  }
  double At(double X, double Y) const {
    const double fx = X / Cell_, fy = Y / Cell_;
    const int x0 = std::clamp(int(fx), 0, Columns_ - 2), y0 = std::clamp(int(fy), 0, Rows_ - 2);
    const double tx = Smooth(fx - x0), ty = Smooth(fy - y0);
    const auto v = [&](int X, int Y) { return Values_[size_t(Y) * Columns_ + X]; };
    return (v(x0, y0) * (1 - tx) + v(x0 + 1, y0) * tx) * (1 - ty) +
           (v(x0, y0 + 1) * (1 - tx) + v(x0 + 1, y0 + 1) * tx) * ty;
  }

 private:
  static double Smooth(double T) { return T * T * (3 - 2 * T); }
  int Cell_, Columns_, Rows_;
  std::vector<double> Values_;
};

void FillZonePlate(QImage& Picture) {
  const int w = Picture.width(), h = Picture.height();
  // The rings reach the finest a pixel grid holds at the corners.
  const double k = Pi / (2.0 * std::hypot(w / 2.0, h / 2.0));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = Picture.scanLine(y);
    for (int x = 0; x < w; ++x) {
      const double dx = x - w / 2.0, dy = y - h / 2.0;
      const double v = std::cos(k * (dx * dx + dy * dy));
      row[3 * x] = Byte(128 + 120 * v);
      row[3 * x + 1] = Byte(128 + 100 * v);
      row[3 * x + 2] = Byte(128 + 120 * std::cos(k * 0.9 * (dx * dx + dy * dy)));
    }
  }
}

void FillStripes(QImage& Picture, std::mt19937& Random) {
  const int w = Picture.width(), h = Picture.height();
  // Tiles of stripes, each of its own period (2.1 to 9 pixels), angle and colours.
  const int tile = std::max(32, std::min(w, h) / 8);
  std::uniform_real_distribution<double> period(2.1, 9.0), angle(0, Pi), colour(0, 255);
  const int columns = w / tile + 1, rows = h / tile + 1;
  struct TTile {
    double Cos, Sin, Period, Dark[3], Light[3];
  };
  std::vector<TTile> tiles(size_t(columns) * rows);
  for (TTile& t : tiles) {
    const double a = angle(Random);
    t = {std::cos(a), std::sin(a), period(Random), {}, {}};
    for (int c = 0; c < 3; ++c) {
      t.Dark[c] = colour(Random) * 0.4;
      t.Light[c] = 150 + colour(Random) * 0.4;
    }
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = Picture.scanLine(y);
    for (int x = 0; x < w; ++x) {
      const TTile& t = tiles[size_t(y / tile) * columns + x / tile];
      const double phase = (x * t.Cos + y * t.Sin) / t.Period;
      const double s = 0.5 + 0.5 * std::sin(2 * Pi * phase);
      for (int c = 0; c < 3; ++c) row[3 * x + c] = Byte(t.Dark[c] + (t.Light[c] - t.Dark[c]) * s);
    }
  }
}

// Wood grain across the picture, leaves scattered over it and fine
// texture everywhere, with a little sensor noise.
void FillPhoto(QImage& Picture, std::mt19937& Random) {
  const int w = Picture.width(), h = Picture.height();
  const TValueNoise warp(w, h, 97, Random), coarse(w, h, 41, Random), fine(w, h, 5, Random),
      finer(w, h, 2, Random);
  std::normal_distribution<double> grain(0, 4);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = Picture.scanLine(y);
    for (int x = 0; x < w; ++x) {
      const double rings = std::sin(2 * Pi * (y + 40 * warp.At(x, y) + 6 * coarse.At(x, y)) / 4.3);
      const double texture = 30 * fine.At(x, y) + 18 * finer.At(x, y);
      const double base = 120 + 35 * rings + texture + 25 * coarse.At(x, y);
      row[3 * x] = Byte(base + 30 + grain(Random));
      row[3 * x + 1] = Byte(base * 0.75 + grain(Random));
      row[3 * x + 2] = Byte(base * 0.45 + grain(Random));
    }
  }
  // Leaves: small ellipses of greens with a darker vein.
  std::uniform_real_distribution<double> at(0, 1), size(2.5, 14), shade(0, 1);
  const int leaves = w * h / 300;
  for (int i = 0; i < leaves; ++i) {
    const double cx = at(Random) * w, cy = at(Random) * h, a = size(Random), b = a * 0.45;
    const double turn = at(Random) * Pi, c = std::cos(turn), s = std::sin(turn);
    const double g = shade(Random);
    const int r = int(a) + 1;
    for (int y = std::max(0, int(cy) - r); y < std::min(h, int(cy) + r + 1); ++y) {
      uint8_t* row = Picture.scanLine(y);
      for (int x = std::max(0, int(cx) - r); x < std::min(w, int(cx) + r + 1); ++x) {
        const double u = ((x - cx) * c + (y - cy) * s) / a, v = (-(x - cx) * s + (y - cy) * c) / b;
        if (u * u + v * v > 1) continue;
        const double vein = std::abs(v) < 0.15 ? 0.6 : 1.0;
        row[3 * x] = Byte((30 + 60 * g) * vein);
        row[3 * x + 1] = Byte((90 + 120 * g) * vein);
        row[3 * x + 2] = Byte((20 + 40 * g) * vein);
      }
    }
  }
}

}  // namespace

QImage MakeDetailedPicture(TDetailKind Kind, int Width, int Height, unsigned Seed) {
  QImage picture(Width, Height, QImage::Format_RGB888);
  std::mt19937 random(Seed);
  switch (Kind) {
    case TDetailKind::ZonePlate:
      FillZonePlate(picture);
      break;
    case TDetailKind::Stripes:
      FillStripes(picture, random);
      break;
    case TDetailKind::Photo:
      FillPhoto(picture, random);
      break;
  }
  return picture;
}

std::string DetailKindName(TDetailKind Kind) {
  switch (Kind) {
    case TDetailKind::ZonePlate:
      return "zone";
    case TDetailKind::Stripes:
      return "stripes";
    case TDetailKind::Photo:
      return "photo";
  }
  return "photo";
}

}  // namespace pictrim::detail
