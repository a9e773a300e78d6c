#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "image/CheckFileTypes.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(std::initializer_list<Bytes> Parts) {
  Bytes out;
  for (const Bytes& part : Parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const Bytes Soi = {0xFF, 0xD8};

// A marker segment: FF Code, the big-endian length (counting itself), Payload.
Bytes Segment(uint8_t Code, const Bytes& Payload) {
  const size_t length = Payload.size() + 2;
  Bytes out = {0xFF, Code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), Payload.begin(), Payload.end());
  return out;
}

// A frame header segment for a three-component picture.
Bytes Frame(uint8_t Code, uint16_t Height, uint16_t Width) {
  return Segment(Code, {8, static_cast<uint8_t>(Height >> 8), static_cast<uint8_t>(Height),
                        static_cast<uint8_t>(Width >> 8), static_cast<uint8_t>(Width), 3, 1, 0x22,
                        0, 2, 0x11, 1, 3, 0x11, 1});
}

const Bytes App0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
const Bytes Exif = Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
const Bytes Quant = Segment(0xDB, Bytes(65, 1));
const Bytes Scan = Join({Segment(0xDA, {1, 1, 0, 0, 63, 0}), Bytes(40, 0x55), {0xFF, 0xD9}});

class FileTypeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageHandler([this](const std::string& Text) { Messages.push_back(Text); });
  }
  void TearDown() override { SetMessageHandler(nullptr); }

  std::string Write(const std::string& Name, const Bytes& Content) {
    const std::string path = Dir / Name;
    WriteFileBytes(path, Content.data(), Content.size());
    return path;
  }
  ValidationInfoStruct Check(const std::string& Name, const Bytes& Content) {
    return CheckPath(Write(Name, Content));
  }
  ValidationInfoStruct CheckPath(const std::string& Path) {
    ValidationInfoStruct info;
    info.FileIsValid = true;  // every check must clear it first
    CheckFileType(Path, info);
    return info;
  }

  test::TTempDir Dir;
  std::vector<std::string> Messages;
};

TEST_F(FileTypeCheck, aBaselineJpegIsValidBehindApplicationSegmentsSkippedByTheirLengths) {
  const ValidationInfoStruct info =
      Check("a.jpg", Join({Soi, App0, Exif, Quant, Frame(0xC0, 480, 640), Scan}));
  EXPECT_TRUE(info.FileIsValid);
  EXPECT_TRUE(info.Checked);
  EXPECT_TRUE(info.HeaderRead);
  EXPECT_TRUE(info.Text.empty());
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, extendedAndProgressiveFramesAreValidAndEveryJpegExtensionIsProbed) {
  EXPECT_TRUE(Check("b.jpeg", Join({Soi, Frame(0xC1, 2, 5), Scan})).FileIsValid);
  EXPECT_TRUE(Check("c.jpe", Join({Soi, App0, Frame(0xC2, 600, 800), Scan})).FileIsValid);
  EXPECT_TRUE(Check("d.jfif", Join({Soi, Frame(0xC0, 10, 10), Scan})).FileIsValid);
  EXPECT_TRUE(Check("e.JIF", Join({Soi, Frame(0xC0, 10, 10), Scan})).FileIsValid);
  EXPECT_TRUE(Check("f.JPG", Join({Soi, Frame(0xC0, 10, 10), Scan})).FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, aFrameOneOrZeroPixelsHighIsNotValid) {
  EXPECT_FALSE(Check("one.jpg", Join({Soi, Frame(0xC0, 1, 640), Scan})).FileIsValid);
  EXPECT_FALSE(Check("zero.jpg", Join({Soi, Frame(0xC0, 0, 0), Scan})).FileIsValid);
  // Only the height counts: a picture one pixel wide passes.
  EXPECT_TRUE(Check("narrow.jpg", Join({Soi, Frame(0xC0, 640, 1), Scan})).FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, aScanBeforeAnAcceptedFrameShowsWhereItWasFound) {
  // Lossless (C3) and arithmetic (C9) frames are skipped like any segment,
  // so the scan comes first.
  const Bytes lossless = Join({Soi, App0, Frame(0xC3, 100, 100), Scan});
  EXPECT_FALSE(Check("lossless.jpg", lossless).FileIsValid);
  const size_t scanAt = Soi.size() + App0.size() + Frame(0xC3, 100, 100).size();
  EXPECT_EQ(Messages, (std::vector<std::string>{
                          "FOUND StartOfScan = $DAFF\r\rat Position = " + std::to_string(scanAt),
                          ProbeCleanupMessage}));
  Messages.clear();
  EXPECT_FALSE(Check("arith.jpg", Join({Soi, Frame(0xC9, 100, 100), Scan})).FileIsValid);
  EXPECT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages.front(), "FOUND StartOfScan = $DAFF\r\rat Position = 21");
}

TEST_F(FileTypeCheck, aBrokenMarkerChainShowsTheBytesFoundThere) {
  EXPECT_FALSE(Check("chain.jpg", Join({Soi, App0, Bytes{0x12, 0x34}, Frame(0xC0, 9, 9), Scan}))
                   .FileIsValid);
  const size_t at = Soi.size() + App0.size();
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[0], "FOUND RestartMarker = $3412\r\rat Position = " + std::to_string(at));
  EXPECT_EQ(Messages[1], ProbeCleanupMessage);
  Messages.clear();
  // The code is shown with at least two digits.
  EXPECT_FALSE(Check("low.jpg", Join({Soi, Bytes{0x05, 0x00}, Bytes(20, 0)})).FileIsValid);
  EXPECT_EQ(Messages.front(), "FOUND RestartMarker = $05\r\rat Position = 2");
}

TEST_F(FileTypeCheck, fillBytesAndStandAloneMarkersCountAsSegmentsWithALength) {
  // FF FF 00 04 is taken as a segment of length 4.
  EXPECT_TRUE(Check("fill.jpg", Join({Soi, Bytes{0xFF, 0xFF, 0x00, 0x04, 0xAA, 0xBB},
                                      Frame(0xC0, 50, 50), Scan}))
                  .FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, aSegmentLengthBelowTwoEndsTheWalk) {
  // FF E0 00 00 leads back onto its own length bytes.
  EXPECT_FALSE(
      Check("zero.jpg", Join({Soi, Bytes{0xFF, 0xE0, 0x00, 0x00}, Bytes(20, 0x00)})).FileIsValid);
  EXPECT_EQ(Messages.front(), "FOUND RestartMarker = $00\r\rat Position = 4");
  Messages.clear();
  EXPECT_FALSE(
      Check("one.jpg", Join({Soi, Bytes{0xFF, 0xE0, 0x00, 0x01}, Bytes(20, 0x00)})).FileIsValid);
  EXPECT_EQ(Messages.front(), "FOUND RestartMarker = $01\r\rat Position = 5");
}

TEST_F(FileTypeCheck, aFileThatDoesNotStartWithSoiIsInvalidWithoutAMessage) {
  EXPECT_FALSE(Check("png.jpg", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}).FileIsValid);
  EXPECT_FALSE(Check("empty.jpg", {}).FileIsValid);
  EXPECT_FALSE(Check("half.jpg", {0xFF}).FileIsValid);
  EXPECT_FALSE(Check("swapped.jpg", {0xD8, 0xFF, 0xFF, 0xC0}).FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, readingPastTheEndIsCaughtAndReported) {
  // Nothing behind SOI, and a frame header cut short before its height.
  EXPECT_FALSE(Check("soi.jpg", Soi).FileIsValid);
  EXPECT_EQ(Messages, std::vector<std::string>{ProbeExceptionMessage});
  Messages.clear();
  EXPECT_FALSE(
      Check("cut.jpg", Join({Soi, Bytes{0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01}})).FileIsValid);
  EXPECT_EQ(Messages, std::vector<std::string>{ProbeExceptionMessage});
}

TEST_F(FileTypeCheck, aSegmentThatRunsOutOfTheFileLeavesItInvalidQuietly) {
  // The segment claims more bytes than the file has, or leaves fewer than a
  // frame header needs: no frame header can follow.
  EXPECT_FALSE(
      Check("long.jpg", Join({Soi, Bytes{0xFF, 0xE1, 0x40, 0x00}, Bytes(100, 0)})).FileIsValid);
  EXPECT_FALSE(
      Check("tail.jpg", Join({Soi, App0, Bytes{0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00}})).FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, aBmpNeedsBMAndAZeroFirstReservedField) {
  const Bytes header = {'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0};
  EXPECT_TRUE(Check("a.bmp", header).FileIsValid);
  EXPECT_TRUE(Check("b.BMP", {'B', 'M', 1, 2, 3, 4, 0, 0}).FileIsValid);
  Bytes reserved = header;
  reserved[7] = 1;
  EXPECT_FALSE(Check("c.bmp", reserved).FileIsValid);
  reserved = header;
  reserved[6] = 0x80;
  EXPECT_FALSE(Check("d.bmp", reserved).FileIsValid);
  EXPECT_FALSE(Check("e.bmp", {'b', 'm', 0, 0, 0, 0, 0, 0}).FileIsValid);
  EXPECT_FALSE(Check("short.bmp", {'B', 'M', 0, 0, 0, 0, 0}).FileIsValid);
  EXPECT_FALSE(Check("empty.bmp", {}).FileIsValid);
  ValidationInfoStruct info;
  CheckBmpHeader(Write("f.bmp", header), info);
  EXPECT_TRUE(info.Checked);
  EXPECT_TRUE(info.HeaderRead);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, otherExtensionsAreNotValidAndTheFileIsNeverOpened) {
  // None of these files exists: opening one would raise.
  for (const char* name : {"x.jpeg.bak", "x.png", "x", "x.", "folder.jpg/x.gif", "x.tif"}) {
    ValidationInfoStruct info;
    EXPECT_NO_THROW(info = CheckPath(Dir / name)) << name;
    EXPECT_FALSE(info.FileIsValid) << name;
    EXPECT_FALSE(info.Checked) << name;
  }
  // A JPEG under another name is not looked at.
  EXPECT_FALSE(Check("photo.jpg.txt", Join({Soi, Frame(0xC0, 10, 10), Scan})).FileIsValid);
}

TEST_F(FileTypeCheck, aFileThatCannotBeOpenedRaisesToTheCaller) {
  ValidationInfoStruct info;
  EXPECT_THROW(CheckFileType(Dir / "missing.jpg", info), EInOutError);
  EXPECT_THROW(CheckFileType(Dir / "missing.bmp", info), EInOutError);
  EXPECT_FALSE(info.FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(FileTypeCheck, readFileHeadReadsOneByteMoreThanAskedUnlessTheFileIsShorter) {
  const std::string path = Write("head.bin", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  std::vector<uint8_t> buffer;
  EXPECT_EQ(ReadFileHead(path, buffer, 7), 0);
  EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(ReadFileHead(path, buffer, 20), 0);
  EXPECT_EQ(buffer.size(), 10u);
  EXPECT_THROW(ReadFileHead(Dir / "none", buffer, 7), EInOutError);
}

TEST_F(FileTypeCheck, realCameraFilesAndEncodedPicturesPass) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string folder = test::TestDataDir();
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg") continue;
    const std::string copy = Dir / entry.path().filename().string();
    std::filesystem::copy_file(entry.path(), copy);
    EXPECT_TRUE(CheckPath(copy).FileIsValid) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 20);
  test::WriteJpeg(Dir / "made.jpg", 64, 48);
  EXPECT_TRUE(CheckPath(Dir / "made.jpg").FileIsValid);
  test::WritePicture(Dir / "made.bmp", 64, 48, FIF_BMP);
  EXPECT_TRUE(CheckPath(Dir / "made.bmp").FileIsValid);
  EXPECT_TRUE(Messages.empty());
}

}  // namespace
}  // namespace pictrim
