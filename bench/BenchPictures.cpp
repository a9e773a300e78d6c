#include "bench/BenchPictures.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <filesystem>
#include <random>

#include "image/ImageBitmap.h"
#include "image/JpegImage.h"

namespace pictrim::bench {
namespace {

QImage CameraFrame(int Width, int Height, unsigned Seed) {
  QImage image(Width, Height, QImage::Format_RGB888);
  std::minstd_rand random(Seed);
  const int horizon = Height * (40 + static_cast<int>(Seed % 20)) / 100;
  for (int y = 0; y < Height; ++y) {
    uchar* row = image.scanLine(y);
    const bool sky = y < horizon;
    const double f = sky ? static_cast<double>(y) / horizon
                         : static_cast<double>(y - horizon) / std::max(1, Height - horizon);
    for (int x = 0; x < Width; ++x) {
      const int grain = static_cast<int>(random() % 9) - 4;
      int r, g, b;
      if (sky) {
        r = static_cast<int>(70 + 90 * f);
        g = static_cast<int>(120 + 70 * f);
        b = static_cast<int>(200 + 40 * f);
      } else {
        const double texture = std::sin(x * 0.05 + std::sin(y * 0.02) * 4.0) * 25.0 +
                               std::sin(x * 0.31 + y * 0.17) * 12.0;
        r = static_cast<int>(80 + 60 * f + texture);
        g = static_cast<int>(110 + 40 * f + texture);
        b = static_cast<int>(50 + 30 * f + texture / 2);
      }
      row[3 * x] = static_cast<uchar>(std::clamp(r + grain, 0, 255));
      row[3 * x + 1] = static_cast<uchar>(std::clamp(g + grain, 0, 255));
      row[3 * x + 2] = static_cast<uchar>(std::clamp(b + grain, 0, 255));
    }
  }
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 12; ++i) {
    painter.setBrush(QColor(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                            static_cast<int>(random() % 256)));
    painter.setPen(QPen(Qt::black, 3));
    const int w = Width / 10 + static_cast<int>(random() % static_cast<unsigned>(Width / 6));
    painter.drawEllipse(static_cast<int>(random() % static_cast<unsigned>(Width)),
                        horizon + static_cast<int>(random() % static_cast<unsigned>(Height - horizon)),
                        w, w / 2);
  }
  return image;
}

}  // namespace

std::vector<TBenchPicture> CameraMix(int Count) {
  const TBenchPicture sizes[] = {{4000, 3000}, {6000, 4000}, {3000, 4000}, {4000, 6000}};
  std::vector<TBenchPicture> mix;
  for (int i = 0; i < Count; ++i) mix.push_back(sizes[i % 4]);
  return mix;
}

std::vector<std::string> MakeCameraTree(const std::string& Folder, int Count) {
  return MakePhotoTree(Folder, CameraMix(Count));
}

std::vector<std::string> MakePhotoTree(const std::string& Folder,
                                       const std::vector<TBenchPicture>& Sizes) {
  std::vector<std::string> paths;
  const int count = static_cast<int>(Sizes.size());
  const std::vector<TBenchPicture>& mix = Sizes;
  for (int i = 0; i < count; ++i) {
    const std::string sub = Folder + (i % 2 == 0 ? "day1/" : "day2/");
    std::filesystem::create_directories(sub);
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", i + 1);
    const std::string path = sub + name;
    paths.push_back(path);
    if (std::filesystem::exists(path)) continue;
    TJpegImage jpeg;
    jpeg.SetCompressionQuality(92);
    jpeg.Assign(CameraFrame(mix[i].Width, mix[i].Height, static_cast<unsigned>(i + 1)));
    jpeg.SaveToFile(path);
  }
  return paths;
}

std::vector<std::string> MakeMixedTree(const std::string& Folder, int Count) {
  struct TKind {
    const char* Extension;
    FREE_IMAGE_FORMAT Format;
    bool Palette;
  };
  const TKind kinds[] = {{"jpg", FIF_JPEG, false}, {"png", FIF_PNG, false}, {"tif", FIF_TIFF, false},
                         {"bmp", FIF_BMP, false},  {"gif", FIF_GIF, true},  {"png", FIF_PNG, true}};
  std::vector<std::string> paths;
  std::filesystem::create_directories(Folder);
  for (int i = 0; i < Count; ++i) {
    const TKind& kind = kinds[i % 6];
    char name[32];
    std::snprintf(name, sizeof name, "PIC_%04d.%s", i + 1, kind.Extension);
    const std::string path = Folder + name;
    paths.push_back(path);
    if (std::filesystem::exists(path)) continue;
    const bool portrait = i % 12 >= 6;
    const QImage frame =
        CameraFrame(portrait ? 1600 : 2400, portrait ? 2400 : 1600, static_cast<unsigned>(i + 1));
    TDisplayBitmap picture;
    picture.CopyFromBitmap(&frame);
    if (kind.Palette) picture.Replace(FreeImage_ColorQuantize(picture.Handle(), FIQ_WUQUANT));
    FreeImage_Save(kind.Format, picture.Handle(), path.c_str(), 0);
  }
  return paths;
}

}  // namespace pictrim::bench
