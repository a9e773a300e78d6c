#include "tests/common/TestPictures.h"

#include <QPainter>

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "image/Resample.h"
#include "tests/common/TempDir.h"

namespace pictrim::test {

QImage MakeNaturalImage(int Width, int Height, unsigned Seed) {
  QImage image(Width, Height, QImage::Format_RGB888);
  std::mt19937 random(Seed);
  std::uniform_int_distribution<int> grain(-12, 12);
  const double phase = static_cast<double>(Seed % 17);
  for (int y = 0; y < Height; ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < Width; ++x) {
      const double fx = static_cast<double>(x) / std::max(1, Width);
      const double fy = static_cast<double>(y) / std::max(1, Height);
      const double sky = 0.5 + 0.5 * std::sin(6.0 * fx + phase + 3.0 * fy);
      const int g = grain(random);
      row[3 * x] = static_cast<uchar>(std::clamp(int(90 + 120 * sky * (1 - fy)) + g, 0, 255));
      row[3 * x + 1] = static_cast<uchar>(std::clamp(int(120 + 100 * fy * sky) + g, 0, 255));
      row[3 * x + 2] = static_cast<uchar>(std::clamp(int(200 - 150 * fy) + g, 0, 255));
    }
  }
  if (Width > 8 && Height > 8) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 6; ++i) {
      std::uniform_int_distribution<int> px(0, Width - 1), py(0, Height - 1), c(0, 255);
      painter.setBrush(QColor(c(random), c(random), c(random)));
      painter.setPen(Qt::NoPen);
      const int r = std::max(2, std::min(Width, Height) / 6);
      painter.drawEllipse(QPoint(px(random), py(random)), r, r / 2 + 1);
    }
  }
  return image;
}

void WriteJpeg(const std::string& Path, int Width, int Height, int Quality, unsigned Seed) {
  std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
  TJpegImage jpeg;
  jpeg.SetCompressionQuality(Quality);
  jpeg.Assign(MakeNaturalImage(Width, Height, Seed));
  jpeg.SaveToFile(Path);
}

void WritePicture(const std::string& Path, int Width, int Height, FREE_IMAGE_FORMAT Format,
                  int BitsPerPixel, unsigned Seed) {
  std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
  const QImage rgb = MakeNaturalImage(Width, Height, Seed);
  FIBITMAP* dib = FreeImage_Allocate(Width, Height, 32);
  for (int y = 0; y < Height; ++y) {
    const uchar* in = rgb.constScanLine(y);
    BYTE* out = FreeImage_GetScanLine(dib, Height - 1 - y);
    for (int x = 0; x < Width; ++x) {
      out[4 * x + FI_RGBA_RED] = in[3 * x];
      out[4 * x + FI_RGBA_GREEN] = in[3 * x + 1];
      out[4 * x + FI_RGBA_BLUE] = in[3 * x + 2];
      const bool transparent = x < Width / 2 && y < Height / 2;
      out[4 * x + FI_RGBA_ALPHA] = transparent ? 0 : 255;
    }
  }
  FIBITMAP* converted = nullptr;
  switch (BitsPerPixel) {
    case 32: converted = FreeImage_Clone(dib); break;
    case 24: converted = FreeImage_ConvertTo24Bits(dib); break;
    case 16: converted = FreeImage_ConvertTo16Bits565(dib); break;
    case 8: converted = FreeImage_ConvertToGreyscale(dib); break;
    case 4: converted = FreeImage_ConvertTo4Bits(dib); break;
    case 1: {
      FIBITMAP* grey = FreeImage_ConvertToGreyscale(dib);
      converted = FreeImage_Threshold(grey, 128);
      FreeImage_Unload(grey);
      break;
    }
    default: break;
  }
  FreeImage_Unload(dib);
  if (converted == nullptr) throw std::runtime_error("cannot make test picture");
  if (Format == FIF_GIF && FreeImage_GetBPP(converted) != 8) {
    FIBITMAP* rgb24 = FreeImage_ConvertTo24Bits(converted);
    FIBITMAP* quantised = FreeImage_ColorQuantize(rgb24, FIQ_WUQUANT);
    FreeImage_Unload(rgb24);
    FreeImage_Unload(converted);
    converted = quantised;
  }
  const bool ok = FreeImage_Save(Format, converted, Path.c_str(), 0);
  FreeImage_Unload(converted);
  if (!ok) throw std::runtime_error("cannot write test picture " + Path);
}

int DarkPixelsOfTopStamp(const QImage& Picture) {
  int dark = 0;
  for (int x = 10; x < std::min(60, Picture.width()); ++x) {
    for (int y = 10; y < std::min(21, Picture.height()); ++y) {
      dark += Picture.pixelColor(x, y).lightness() < 60;
    }
  }
  return dark;
}

QSize PictureSize(const std::string& Path) {
  TImageBitmap picture;
  if (!picture.Load(Path)) return QSize(0, 0);
  return QSize(static_cast<int>(picture.GetWidth()), static_cast<int>(picture.GetHeight()));
}

int FirstQuantizer(const std::string& Path) {
  const std::string bytes = ReadWholeFile(Path);
  const size_t at = bytes.find("\xff\xdb");
  if (at == std::string::npos || at + 5 >= bytes.size()) return 0;
  return static_cast<uint8_t>(bytes[at + 5]);
}

double Psnr(const QImage& A, const QImage& B) {
  const QImage a = A.convertToFormat(QImage::Format_RGB888);
  const QImage b = B.convertToFormat(QImage::Format_RGB888);
  if (a.size() != b.size() || a.isNull()) throw std::invalid_argument("pictures of two sizes");
  double sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    const uchar* p = a.constScanLine(y);
    const uchar* q = b.constScanLine(y);
    for (int i = 0; i < 3 * a.width(); ++i) sum += double(p[i] - q[i]) * (p[i] - q[i]);
  }
  const double mse = sum / (3.0 * a.width() * a.height());
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

QImage ReferenceRescale(const QImage& Whole, int Width, int Height) {
  const QImage rgb = Whole.convertToFormat(QImage::Format_RGB888);
  return resampling::Resampled(rgb, resampling::TSide{uint32_t(rgb.width())},
                               resampling::TSide{uint32_t(rgb.height())}, uint32_t(Width),
                               uint32_t(Height), resampling::TFilter::Lanczos3, true);
}

}  // namespace pictrim::test
