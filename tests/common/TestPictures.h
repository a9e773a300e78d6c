// Pictures made at run time for tests: natural-looking content (smooth
// gradients, shapes and grain) written as JPEG, PNG, BMP, GIF or TIFF.
#pragma once

#include <FreeImage.h>
#include <QImage>

#include <string>

namespace pictrim::test {

// A picture with gradients, a few shapes and grain; Seed varies the content.
QImage MakeNaturalImage(int Width, int Height, unsigned Seed = 1);

// Writes a natural-looking JPEG (libjpeg, baseline) of the given size.
void WriteJpeg(const std::string& Path, int Width, int Height, int Quality = 90,
               unsigned Seed = 1);

// Writes a picture through FreeImage in Format at the given depth
// (1, 4, 8, 16, 24 or 32 bits per pixel; 32 carries an alpha channel that is
// transparent in the top-left quarter).
void WritePicture(const std::string& Path, int Width, int Height, FREE_IMAGE_FORMAT Format,
                  int BitsPerPixel = 24, unsigned Seed = 1);

// Number of dark pixels (lightness below 60) where the top text stamp
// stands, to see that a copy carries it.
int DarkPixelsOfTopStamp(const QImage& Picture);

// Width and height of a picture file as FreeImage reads it (0 x 0 when unreadable).
QSize PictureSize(const std::string& Path);

// How close two pictures of one size are: the peak signal-to-noise ratio
// of their red, green and blue samples in dB (infinite when equal).
double Psnr(const QImage& A, const QImage& B);

// The reference rescale the copies are measured against: the three-lobe
// Lanczos filter in linear light over the whole picture.
QImage ReferenceRescale(const QImage& Whole, int Width, int Height);

// The first luminance quantizer of a JPEG file: 8 at quality 75, 3 at 90,
// 27 at 30 with the codec's standard tables; 0 when there is none.
int FirstQuantizer(const std::string& Path);

}  // namespace pictrim::test
