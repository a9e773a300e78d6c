// Writes the sample folder: a few painted landscapes saved as camera-named
// JPEG files with an EXIF block, a BMP, a PNG and a GIF, one of them in a
// subfolder. The pictures are drawn here, so the samples belong to the
// project. Usage: make_samples FOLDER
#include <FreeImage.h>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "image/ImageBitmap.h"
#include "image/JpegImage.h"
#include "util/SystemUtils.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Painting

struct TScene {
  QColor SkyTop, SkyBottom, Sun, Hills, Meadow;
  unsigned Seed;
};

QImage PaintLandscape(int Width, int Height, const TScene& Scene) {
  QImage image(Width, Height, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double w = Width, h = Height;

  QLinearGradient sky(0, 0, 0, h * 0.65);
  sky.setColorAt(0, Scene.SkyTop);
  sky.setColorAt(1, Scene.SkyBottom);
  p.fillRect(image.rect(), sky);

  QRadialGradient sun(w * 0.72, h * 0.22, h * 0.16);
  sun.setColorAt(0, Scene.Sun);
  sun.setColorAt(0.45, Scene.Sun);
  sun.setColorAt(1, QColor(Scene.Sun.red(), Scene.Sun.green(), Scene.Sun.blue(), 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(w * 0.72, h * 0.22), h * 0.16, h * 0.16);

  std::mt19937 random(Scene.Seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // Two ranges of hills, the far one paler.
  for (int range = 0; range < 2; ++range) {
    QPainterPath hills(QPointF(0, h));
    const double base = h * (0.52 + 0.1 * range);
    for (int i = 0; i <= 8; ++i) {
      const double x = w * i / 8.0;
      hills.lineTo(x, base - h * 0.12 * unit(random));
    }
    hills.lineTo(w, h);
    hills.closeSubpath();
    QColor colour = Scene.Hills;
    if (range == 0) colour = colour.lighter(135);
    QLinearGradient shade(0, base - h * 0.12, 0, h);
    shade.setColorAt(0, colour);
    shade.setColorAt(1, colour.darker(160));
    p.setBrush(shade);
    p.drawPath(hills);
  }

  QLinearGradient meadow(0, h * 0.75, 0, h);
  meadow.setColorAt(0, Scene.Meadow);
  meadow.setColorAt(1, Scene.Meadow.darker(150));
  p.setBrush(meadow);
  p.drawRect(QRectF(0, h * 0.78, w, h * 0.22));

  // Trees: a trunk and a crown each.
  for (int i = 0; i < 9; ++i) {
    const double x = w * unit(random);
    const double y = h * (0.8 + 0.15 * unit(random));
    const double size = h * (0.05 + 0.06 * unit(random));
    p.setBrush(QColor(90, 60, 35));
    p.drawRect(QRectF(x - size * 0.08, y - size, size * 0.16, size));
    QRadialGradient crown(x - size * 0.2, y - size * 1.4, size);
    crown.setColorAt(0, QColor(80, 150, 60));
    crown.setColorAt(1, QColor(25, 80, 30));
    p.setBrush(crown);
    p.drawEllipse(QPointF(x, y - size * 1.3), size * 0.55, size * 0.7);
  }
  p.end();

  // A little grain, as a camera's sensor gives it.
  std::normal_distribution<double> grain(0.0, 2.0);
  for (int y = 0; y < Height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < Width; ++x) {
      const int n = static_cast<int>(grain(random));
      const auto add = [n](int c) { return std::clamp(c + n, 0, 255); };
      line[x] = qRgb(add(qRed(line[x])), add(qGreen(line[x])), add(qBlue(line[x])));
    }
  }
  return image;
}

// ---------------------------------------------------------------------------
// EXIF block, little-endian

enum : uint16_t { Short = 3, Long = 4, Rational = 5, Ascii = 2, Undefined = 7 };

struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  Bytes Value;
};

void Put16(Bytes& B, uint16_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}

void Put32(Bytes& B, uint32_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

TEntry AsciiEntry(uint16_t Tag, const std::string& Text) {
  Bytes value(Text.begin(), Text.end());
  value.push_back(0);
  return {Tag, Ascii, static_cast<uint32_t>(value.size()), value};
}

TEntry ShortEntry(uint16_t Tag, uint16_t Value) {
  Bytes b;
  Put16(b, Value);
  return {Tag, Short, 1, b};
}

TEntry LongEntry(uint16_t Tag, uint32_t Value) {
  Bytes b;
  Put32(b, Value);
  return {Tag, Long, 1, b};
}

TEntry RationalEntry(uint16_t Tag, uint32_t Num, uint32_t Den) {
  Bytes b;
  Put32(b, Num);
  Put32(b, Den);
  return {Tag, Rational, 1, b};
}

// One directory at TIFF offset Offset: the entry count, the entries, the
// next-directory offset 0, then the values longer than four bytes.
Bytes Directory(const std::vector<TEntry>& Entries, uint32_t Offset) {
  Bytes dir;
  Bytes data;
  const uint32_t dataStart = Offset + 2 + 12 * static_cast<uint32_t>(Entries.size()) + 4;
  Put16(dir, static_cast<uint16_t>(Entries.size()));
  for (const TEntry& e : Entries) {
    Put16(dir, e.Tag);
    Put16(dir, e.Type);
    Put32(dir, e.Count);
    if (e.Value.size() <= 4) {
      Bytes inline4 = e.Value;
      inline4.resize(4, 0);
      dir.insert(dir.end(), inline4.begin(), inline4.end());
    } else {
      Put32(dir, dataStart + static_cast<uint32_t>(data.size()));
      data.insert(data.end(), e.Value.begin(), e.Value.end());
      if (data.size() % 2) data.push_back(0);
    }
  }
  Put32(dir, 0);
  dir.insert(dir.end(), data.begin(), data.end());
  return dir;
}

struct TCamera {
  std::string Make, Model, DateTime;  // "YYYY:MM:DD HH:MM:SS"
};

// The APP1 segment: "Exif\0\0", the TIFF header, IFD0 and the Exif directory.
Bytes ExifSegment(const TCamera& Camera, int Width, int Height) {
  std::vector<TEntry> ifd0 = {
      AsciiEntry(0x010F, Camera.Make),
      AsciiEntry(0x0110, Camera.Model),
      ShortEntry(0x0112, 1),
      RationalEntry(0x011A, 72, 1),
      RationalEntry(0x011B, 72, 1),
      ShortEntry(0x0128, 2),
      AsciiEntry(0x0131, "Pictrim sample generator"),
      AsciiEntry(0x0132, Camera.DateTime),
      LongEntry(0x8769, 0),  // set below
  };
  const uint32_t exifOffset = 8 + static_cast<uint32_t>(Directory(ifd0, 8).size());
  ifd0.back() = LongEntry(0x8769, exifOffset);
  const std::vector<TEntry> exif = {
      RationalEntry(0x829A, 1, 250),
      RationalEntry(0x829D, 56, 10),
      ShortEntry(0x8827, 100),
      {0x9000, Undefined, 4, Bytes{'0', '2', '3', '0'}},
      AsciiEntry(0x9003, Camera.DateTime),
      AsciiEntry(0x9004, Camera.DateTime),
      RationalEntry(0x920A, 50, 1),
      LongEntry(0xA002, static_cast<uint32_t>(Width)),
      LongEntry(0xA003, static_cast<uint32_t>(Height)),
  };
  Bytes tiff = {'I', 'I', 42, 0};
  Put32(tiff, 8);
  const Bytes first = Directory(ifd0, 8);
  tiff.insert(tiff.end(), first.begin(), first.end());
  const Bytes second = Directory(exif, exifOffset);
  tiff.insert(tiff.end(), second.begin(), second.end());

  Bytes segment = {0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  segment.push_back(static_cast<uint8_t>(length >> 8));
  segment.push_back(static_cast<uint8_t>(length));
  for (const char c : std::string("Exif")) segment.push_back(static_cast<uint8_t>(c));
  segment.push_back(0);
  segment.push_back(0);
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

// ---------------------------------------------------------------------------
// Writers

void WriteCameraJpeg(const std::string& Path, const QImage& Picture, const TCamera& Camera) {
  pictrim::TJpegImage jpeg;
  jpeg.SetCompressionQuality(85);
  jpeg.Assign(Picture);
  Bytes bytes = jpeg.EncodedData();
  const Bytes exif = ExifSegment(Camera, Picture.width(), Picture.height());
  bytes.insert(bytes.begin() + 2, exif.begin(), exif.end());  // right behind SOI
  pictrim::WriteFileBytes(Path, bytes.data(), bytes.size());
}

bool WriteGif(const std::string& Path, const QImage& Picture) {
  pictrim::TDisplayBitmap bitmap;
  if (bitmap.CopyFromBitmap(&Picture) != 0) return false;
  FIBITMAP* palette = FreeImage_ColorQuantize(bitmap.Handle(), FIQ_WUQUANT);
  if (palette == nullptr) return false;
  const bool saved = FreeImage_Save(FIF_GIF, palette, Path.c_str(), 0) != 0;
  FreeImage_Unload(palette);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_samples FOLDER\n";
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  pictrim::InitImageLibrary();
  const std::string folder = std::string(argv[1]) + "/";
  std::filesystem::create_directories(folder + "Urlaub");

  const TScene summer{QColor(70, 130, 210), QColor(190, 220, 245), QColor(255, 240, 170),
                      QColor(60, 110, 70),  QColor(110, 170, 70),  1};
  const TScene winter{QColor(120, 150, 190), QColor(225, 230, 240), QColor(255, 250, 230),
                      QColor(150, 160, 175), QColor(235, 240, 245), 2};
  const TScene evening{QColor(40, 50, 110), QColor(240, 150, 90), QColor(255, 200, 120),
                       QColor(70, 60, 80),  QColor(90, 110, 60),  3};
  const TScene coast{QColor(60, 140, 200),  QColor(200, 230, 240), QColor(255, 245, 200),
                     QColor(180, 160, 120), QColor(220, 200, 150), 4};

  // An Olympus-style, a Canon-style (portrait) and a Casio-style name.
  WriteCameraJpeg(folder + "P1280001.JPG", PaintLandscape(1600, 1200, winter),
                  {"Pictrim", "Sample Camera", "2006:01:28 10:15:42"});
  WriteCameraJpeg(folder + "IMG_0042.JPG", PaintLandscape(1200, 1600, summer),
                  {"Pictrim", "Sample Camera", "2007:05:19 14:03:11"});
  WriteCameraJpeg(folder + "07150003.JPG", PaintLandscape(1024, 768, evening),
                  {"Pictrim", "Sample Camera", "2006:07:15 20:41:05"});
  WriteCameraJpeg(folder + "Urlaub/P7140012.JPG", PaintLandscape(1280, 960, coast),
                  {"Pictrim", "Sample Camera", "2008:07:14 11:30:00"});

  TScene scanned = summer;
  scanned.Seed = 5;
  bool ok = PaintLandscape(400, 300, scanned)
                .convertToFormat(QImage::Format_RGB888)
                .save(QString::fromStdString(folder + "Scan.bmp"), "BMP");
  // A flat drawing for the PNG, a small scene for the GIF.
  QImage drawing(480, 360, QImage::Format_RGB32);
  drawing.fill(QColor(250, 250, 245));
  {
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 6));
    p.setBrush(QColor(230, 90, 60));
    p.drawEllipse(QPointF(170, 180), 110, 110);
    p.setBrush(QColor(60, 120, 200));
    p.drawRect(QRectF(250, 90, 170, 170));
  }
  ok = drawing.save(QString::fromStdString(folder + "Plan.png"), "PNG") && ok;
  ok = WriteGif(folder + "Urlaub/Karte.gif", PaintLandscape(320, 240, coast)) && ok;
  if (!ok) {
    std::cerr << "make_samples: a picture could not be written\n";
    return 1;
  }
  return 0;
}
