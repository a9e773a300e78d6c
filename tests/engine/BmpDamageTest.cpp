// The unattended BMP batch names a BMP that ends before the pixel data its
// headers announce as damaged (its copy is made all the same), and only such
// a one: each kind of BMP below is written whole, and cut by a single byte.
// The files are built byte by byte, so that every header field is the one
// the test says.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "tests/common/Languages.h"
#include "tests/common/TempDir.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

void Put(std::string& Out, uint32_t Value, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out += static_cast<char>(Value >> (8 * i) & 0xFF);
}

struct TBmpFile {
  int32_t Width = 6;
  int32_t Height = 4;  // negative: rows stored top-down
  bool Core = false;   // the old 12-byte header of OS/2
  bool Rle8 = false;   // 8 bits, run-length coded, its data size stated
  bool Masks = false;  // 32 bits with the colour masks of BI_BITFIELDS
  uint32_t Gap = 0;    // bytes between the headers (and palette) and the pixels
};

// The file's bytes: headers, palette (8 bits), the gap, the pixel data.
std::string BmpBytes(const TBmpFile& F) {
  const uint32_t rows = static_cast<uint32_t>(F.Height < 0 ? -F.Height : F.Height);
  std::string pixels;
  if (F.Rle8) {
    for (uint32_t y = 0; y < rows; ++y) {
      Put(pixels, static_cast<uint32_t>(F.Width), 1);
      Put(pixels, 1 + y % 2, 1);
      Put(pixels, 0, 2);  // end of the row
    }
    Put(pixels, 0x0100, 2);  // end of the picture
  } else {
    const uint32_t row = (static_cast<uint32_t>(F.Width) * (F.Masks ? 4 : 3) + 3) / 4 * 4;
    for (uint32_t i = 0; i < row * rows; ++i) pixels += static_cast<char>(i * 37 % 251);
  }
  const uint32_t header = F.Core ? 12 : 40;
  const uint32_t palette = F.Rle8 ? 256 * 4 : F.Masks ? 3 * 4 : 0;
  const uint32_t offset = 14 + header + palette + F.Gap;
  std::string out = "BM";
  Put(out, offset + static_cast<uint32_t>(pixels.size()), 4);
  Put(out, 0, 4);
  Put(out, offset, 4);
  Put(out, header, 4);
  if (F.Core) {
    Put(out, static_cast<uint32_t>(F.Width), 2);
    Put(out, static_cast<uint32_t>(F.Height), 2);
    Put(out, 1, 2);
    Put(out, 24, 2);
  } else {
    Put(out, static_cast<uint32_t>(F.Width), 4);
    Put(out, static_cast<uint32_t>(F.Height), 4);
    Put(out, 1, 2);
    Put(out, F.Rle8 ? 8 : F.Masks ? 32 : 24, 2);
    Put(out, F.Rle8 ? 1 : F.Masks ? 3 : 0, 4);
    Put(out, F.Rle8 ? static_cast<uint32_t>(pixels.size()) : 0, 4);
    for (int i = 0; i < 4; ++i) Put(out, i < 2 ? 2835 : 0, 4);
    if (F.Masks) {
      for (const uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu}) Put(out, mask, 4);
    } else {
      for (uint32_t i = 0; i < palette / 4; ++i) Put(out, i * 0x010101, 4);
    }
  }
  out.append(F.Gap, '\0');
  return out + pixels;
}

class BmpDamage : public test::BatchTest {
 protected:
  // Writes Name whole and "cut-" + Name one byte short.
  void WriteWholeAndCut(const std::string& Name, const TBmpFile& File) {
    const std::string bytes = BmpBytes(File);
    test::WriteTextFile(Source + Name, bytes);
    test::WriteTextFile(Source + "cut-" + Name, bytes.substr(0, bytes.size() - 1));
  }
  // The names of the files the batch's lines call damaged.
  std::vector<std::string> Damaged() {
    std::vector<std::string> names;
    for (const std::string& line : Log()) {
      const size_t at = line.find(" is damaged (the file ends before its picture does)");
      if (at == std::string::npos) continue;
      names.push_back(line.substr(line.rfind('/', at) + 1, at - line.rfind('/', at) - 1));
    }
    return names;
  }
  TJobAccount Account;
};

TEST_F(BmpDamage, aBmpOneByteShortOfItsPixelsIsNamedAndAWholeOneIsNot) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  WriteWholeAndCut("a-plain.bmp", {});
  WriteWholeAndCut("b-topdown.bmp", {.Height = -4});
  WriteWholeAndCut("c-os2.bmp", {.Core = true});
  WriteWholeAndCut("d-rle.bmp", {.Rle8 = true});
  WriteWholeAndCut("f-masks.bmp", {.Masks = true});
  // Pixels that begin beyond the first 16 MiB of the file.
  WriteWholeAndCut("e-far.bmp", {.Gap = (16u << 20) + 10});
  FreezeSource();
  ConvertBMPtoJPEGtree(&Window, Source, "", 40, "", WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                       ErrorLog, &Account);
  EXPECT_EQ(Damaged(),
            (std::vector<std::string>{"cut-a-plain.bmp", "cut-b-topdown.bmp", "cut-c-os2.bmp",
                                      "cut-d-rle.bmp", "cut-e-far.bmp", "cut-f-masks.bmp"}));
  EXPECT_EQ(Account, (TJobAccount{.Written = 12, .Damaged = 6}));
}

}  // namespace
}  // namespace pictrim
