#include "tests/common/HostileJpegs.h"

#include <stdexcept>

namespace pictrim::test {
namespace {

void Put16(std::string& Out, unsigned Value) {
  Out += static_cast<char>(Value >> 8 & 0xFF);
  Out += static_cast<char>(Value & 0xFF);
}

// A marker segment: FF, the code, the length (counting itself) and Body.
void Segment(std::string& Out, unsigned char Code, const std::string& Body) {
  Out += '\xFF';
  Out += static_cast<char>(Code);
  Put16(Out, static_cast<unsigned>(Body.size() + 2));
  Out += Body;
}

}  // namespace

std::string ClaimingJpeg(uint16_t Width, uint16_t Height, int Scans, bool Subsampled,
                         bool Progressive) {
  std::string jpeg("\xFF\xD8", 2);
  Segment(jpeg, 0xDB, std::string(1, '\0') + std::string(64, '\1'));  // quantisation table 0
  std::string frame(1, '\x08');
  Put16(frame, Height);
  Put16(frame, Width);
  frame += '\x03';
  for (int c = 1; c <= 3; ++c) {
    frame += static_cast<char>(c);
    frame += static_cast<char>(c == 1 && Subsampled ? 0x22 : 0x11);
    frame += '\0';
  }
  Segment(jpeg, Progressive ? 0xC2 : 0xC0, frame);
  // Tables with one code of one bit, for the symbol 0: a DC difference of 0
  // and, in a baseline scan, the end of the block.
  const std::string oneCode = std::string(1, '\1') + std::string(15, '\0') + std::string(1, '\0');
  std::string tables = std::string(1, '\x00') + oneCode;
  if (!Progressive) tables += std::string(1, '\x10') + oneCode;
  Segment(jpeg, 0xC4, tables);
  std::string scan(1, '\x03');
  for (int c = 1; c <= 3; ++c) {
    scan += static_cast<char>(c);
    scan += '\0';
  }
  // Spectral selection 0..0 (DC only) or 0..63, no approximation.
  scan += Progressive ? std::string(3, '\0') : std::string("\0\x3F\0", 3);
  for (int i = 0; i < (Progressive ? Scans : 1); ++i) {
    Segment(jpeg, 0xDA, scan);
    jpeg += std::string(2, '\0');
  }
  jpeg += "\xFF\xD9";
  return jpeg;
}

size_t FirstScanData(const std::string& Jpeg) {
  size_t at = 2;
  while (at + 4 <= Jpeg.size() && static_cast<unsigned char>(Jpeg[at]) == 0xFF) {
    const auto code = static_cast<unsigned char>(Jpeg[at + 1]);
    const size_t length =
        static_cast<unsigned char>(Jpeg[at + 2]) << 8 | static_cast<unsigned char>(Jpeg[at + 3]);
    if (code == 0xDA) return at + 2 + length;
    at += 2 + length;
  }
  return std::string::npos;
}

std::string WithDamagedScan(const std::string& Jpeg) {
  const size_t data = FirstScanData(Jpeg);
  if (data == std::string::npos || data + 16 > Jpeg.size())
    throw std::invalid_argument("no scan data");
  std::string damaged = Jpeg;
  const size_t middle = data + (Jpeg.size() - data) / 2;
  damaged[middle] = '\xFF';
  damaged[middle + 1] = '\x4A';
  return damaged;
}

}  // namespace pictrim::test
