// The decoder process and what the program makes of its answers: pictures
// come back whole, a decoder that crashes, hangs, eats memory or writes
// garbage is a failed decode (no process left behind, in bounded time), and
// the limits hold.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "image/DecodeProtocol.h"
#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"

namespace pictrim {
namespace {

using namespace decoding;

// Sets limits (and the misbehaviour switch) for one test, restoring both.
class TScopedDecoding {
 public:
  explicit TScopedDecoding(const TDecodeLimits& Limits, const std::string& Misbehave = "") {
    SetDecodeLimits(Limits);
    if (!Misbehave.empty()) ::setenv("PICTRIM_DECODER_MISBEHAVE", Misbehave.c_str(), 1);
  }
  ~TScopedDecoding() {
    ::unsetenv("PICTRIM_DECODER_MISBEHAVE");
    SetDecodeLimits(TDecodeLimits());
  }
};

// True when no child process of this one is left, running or unreaped.
bool NoChildLeft() {
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

FIBITMAP* Sample(FREE_IMAGE_TYPE Type, int Bpp) {
  FIBITMAP* dib = FreeImage_AllocateT(Type, 7, 5, Bpp);
  for (unsigned y = 0; y < 5; ++y) {
    BYTE* line = FreeImage_GetScanLine(dib, static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetLine(dib); ++x)
      line[x] = static_cast<BYTE>(x * 31 + y * 7);
  }
  if (RGBQUAD* palette = FreeImage_GetPalette(dib)) {
    for (unsigned i = 0; i < FreeImage_GetColorsUsed(dib); ++i)
      palette[i] = {BYTE(i), BYTE(3 * i), 200, 0};
  }
  return dib;
}

std::vector<uint8_t> AnswerFor(FIBITMAP* Dib) {
  TMemorySink sink;
  EXPECT_TRUE(
      WriteHeader(sink, FreeImage_GetWidth(Dib), FreeImage_GetHeight(Dib), FreeImage_GetBPP(Dib)));
  EXPECT_TRUE(WritePicture(sink, Dib));
  return sink.Bytes;
}

TAnswer Parse(const std::vector<uint8_t>& Bytes, uint64_t MaxPixels = 1000) {
  TMemorySource source(Bytes.data(), Bytes.size());
  return ReadAnswer(source, MaxPixels, [](uint64_t, bool) { return true; });
}

bool SamePixels(FIBITMAP* A, FIBITMAP* B) {
  if (FreeImage_GetImageType(A) != FreeImage_GetImageType(B) ||
      FreeImage_GetBPP(A) != FreeImage_GetBPP(B) ||
      FreeImage_GetWidth(A) != FreeImage_GetWidth(B) ||
      FreeImage_GetHeight(A) != FreeImage_GetHeight(B))
    return false;
  for (unsigned y = 0; y < FreeImage_GetHeight(A); ++y) {
    if (std::memcmp(FreeImage_GetScanLine(A, static_cast<int>(y)),
                    FreeImage_GetScanLine(B, static_cast<int>(y)), FreeImage_GetLine(A)) != 0)
      return false;
  }
  const unsigned colours = FreeImage_GetColorsUsed(A);
  return colours == 0 ||
         std::memcmp(FreeImage_GetPalette(A), FreeImage_GetPalette(B), colours * 4) == 0;
}

TEST(DecoderAnswer, everyPixelTypeComesBackWithItsPaletteAndTransparency) {
  const std::pair<FREE_IMAGE_TYPE, int> kinds[] = {
      {FIT_BITMAP, 1},  {FIT_BITMAP, 4},  {FIT_BITMAP, 8}, {FIT_BITMAP, 24},
      {FIT_BITMAP, 32}, {FIT_UINT16, 16}, {FIT_RGB16, 48}, {FIT_RGBAF, 128}};
  for (const auto& [type, bpp] : kinds) {
    FIBITMAP* sent = Sample(type, bpp);
    if (bpp == 8) {
      BYTE table[3] = {0, 128, 255};
      FreeImage_SetTransparencyTable(sent, table, 3);
    }
    const TAnswer answer = Parse(AnswerFor(sent));
    ASSERT_NE(answer.Picture, nullptr) << bpp << ": " << answer.Failure;
    EXPECT_TRUE(SamePixels(sent, answer.Picture)) << bpp;
    EXPECT_EQ(FreeImage_GetTransparencyCount(answer.Picture), bpp == 8 ? 3u : 0u);
    FreeImage_Unload(answer.Picture);
    FreeImage_Unload(sent);
  }
}

TEST(DecoderAnswer, brokenOrOutOfRangeAnswersGiveNoPicture) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 8);
  const std::vector<uint8_t> whole = AnswerFor(sent);
  FreeImage_Unload(sent);
  // Cut anywhere: never a picture.
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const TAnswer answer = Parse(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(answer.Picture, nullptr) << cut;
    EXPECT_FALSE(answer.Failure.empty());
  }
  // More pixels than allowed, stated in the header or in the picture.
  EXPECT_EQ(Parse(whole, 34).Failure, "the picture has more pixels than allowed");
  std::vector<uint8_t> lying = whole;
  lying[8] = 1;  // the header says 1 x 5: admitted, the picture is 7 x 5
  EXPECT_EQ(Parse(lying, 10).Failure, "the picture has more pixels than allowed");
  // An unknown pixel type, a depth the type cannot have.
  for (size_t at : {size_t{24}, size_t{36}}) {
    std::vector<uint8_t> bad = whole;
    bad[at] = 99;
    EXPECT_EQ(Parse(bad).Picture, nullptr) << at;
  }
  // A refused admission.
  TMemorySource source(whole.data(), whole.size());
  EXPECT_EQ(ReadAnswer(source, 1000, [](uint64_t, bool) { return false; }).Picture, nullptr);
}

TEST(DecoderAnswer, aPictureCarriesTheLoadersNoteOfDamage) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 24);
  TMemorySink sink;
  ASSERT_TRUE(WriteHeader(sink, 7, 5, 24));
  ASSERT_TRUE(WritePicture(sink, sent, "the file ends before its picture does"));
  const TAnswer answer = Parse(sink.Bytes);
  ASSERT_NE(answer.Picture, nullptr) << answer.Failure;
  EXPECT_EQ(answer.Damage, "the file ends before its picture does");
  EXPECT_TRUE(SamePixels(sent, answer.Picture));
  FreeImage_Unload(answer.Picture);
  const TAnswer plain = Parse(AnswerFor(sent));
  EXPECT_EQ(plain.Damage, "");
  FreeImage_Unload(plain.Picture);
  // A note longer than an answer may carry garbles the answer.
  std::vector<uint8_t> long_note = sink.Bytes;
  const size_t at = long_note.size() - 4 - 4 - 37;  // the note's length, before note and end
  long_note[at + 3] = 0x7F;
  EXPECT_EQ(Parse(long_note).Picture, nullptr);
  FreeImage_Unload(sent);
}

// A file that ends early still loads, in part; the container says why it
// may be incomplete. Whole files, camera files among them, say nothing.
TEST(DamagedLoad, aCutFileLoadsInPartAndIsNotedAsDamaged) {
  test::TTempDir dir;
  TImageBitmap picture;
  for (const auto& [name, format] :
       {std::pair{"p.bmp", FIF_BMP}, std::pair{"p.tga", FIF_TARGA}, std::pair{"p.ppm", FIF_PPMRAW},
        std::pair{"p.jpg", FIF_JPEG}}) {
    const std::string path = dir / name;
    test::WritePicture(path, 120, 80, format);
    ASSERT_TRUE(picture.Load(path)) << name;
    EXPECT_EQ(picture.DecodeDamage(), "") << name;
    std::filesystem::resize_file(path, std::filesystem::file_size(path) * 6 / 10);
    ASSERT_TRUE(picture.Load(path)) << name;
    EXPECT_EQ(picture.GetWidth(), 120u);
    EXPECT_NE(picture.DecodeDamage(), "") << name;
    // The same from bytes already read.
    const std::string bytes = test::ReadWholeFile(path);
    ASSERT_TRUE(picture.LoadFromBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), path));
    EXPECT_NE(picture.DecodeDamage(), "") << name;
  }
  // A failed load leaves no note of an earlier one behind.
  test::WriteTextFile(dir / "none.png", "\x89PNG\r\n\x1a\n but nothing more");
  EXPECT_FALSE(picture.Load(dir / "none.png"));
  EXPECT_EQ(picture.DecodeDamage(), "");
}

TEST(DamagedLoad, cameraFilesLoadWithoutANoteOfDamage) {
  PICTRIM_REQUIRE_TESTDATA();
  TImageBitmap picture;
  for (const auto& entry : std::filesystem::directory_iterator(test::TestDataDir())) {
    if (entry.path().extension() != ".jpg") continue;
    ASSERT_TRUE(picture.Load(entry.path().string())) << entry.path();
    EXPECT_EQ(picture.DecodeDamage(), "") << entry.path();
  }
}

class IsolatedLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WritePicture(Dir / "good.png", 40, 30, FIF_PNG);
    for (const char* name : {"crash.png", "hang.png", "memory.png", "garbage.png"})
      std::filesystem::copy_file(Dir / "good.png", Dir / name);
  }
  test::TTempDir Dir;
};

TEST_F(IsolatedLoad, aMisbehavingDecoderIsAFailedDecodeAndLeavesNoProcess) {
  TDecodeLimits limits;
  limits.Seconds = 1;
  limits.DecoderMemoryBytes = 512u << 20;
  TScopedDecoding scoped(limits,
                         "crash:crash.png,hang:hang.png,memory:memory.png,garbage:garbage.png");
  const auto start = std::chrono::steady_clock::now();
  for (const char* name : {"crash.png", "hang.png", "memory.png", "garbage.png"}) {
    TImageBitmap picture;
    ASSERT_TRUE(picture.Load(Dir / "good.png"));
    EXPECT_FALSE(picture.Load(Dir / name)) << name;
    EXPECT_TRUE(picture.DecodeFailed()) << name;
    EXPECT_FALSE(picture.IsValid()) << name;
    EXPECT_FALSE(picture.DecodeFailure().empty()) << name;
    EXPECT_TRUE(NoChildLeft()) << name;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  TImageBitmap picture;
  EXPECT_TRUE(picture.Load(Dir / "good.png"));
  EXPECT_EQ(picture.GetWidth(), 40u);
  EXPECT_EQ(picture.DecodeFailure(), "");
}

TEST_F(IsolatedLoad, theReasonsTellCrashTimeAndNonsenseApart) {
  TDecodeLimits limits;
  limits.Seconds = 1;
  TScopedDecoding scoped(limits, "crash:crash.png,hang:hang.png,garbage:garbage.png");
  TImageBitmap picture;
  picture.Load(Dir / "crash.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder crashed (signal 11)");
  picture.Load(Dir / "hang.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder was stopped after 1 s");
  picture.Load(Dir / "garbage.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder answered with a picture of no known kind");
  // While others hold the memory the decoder ends before its go-ahead: what
  // it wrote is judged all the same, not taken for a memory refusal.
  TMemoryLease held = PictureBudget().Acquire(PictureBudget().Capacity());
  std::thread load([&] { picture.Load(Dir / "garbage.png"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  held.Release();
  load.join();
  EXPECT_EQ(picture.DecodeFailure(), "the decoder answered with a picture of no known kind");
}

TEST_F(IsolatedLoad, withoutADecoderProgramEveryDecodeFails) {
  SetDecoderProgram(Dir / "no-such-decoder");
  TImageBitmap picture;
  EXPECT_FALSE(picture.Load(Dir / "good.png"));
  EXPECT_TRUE(picture.DecodeFailed());
  SetDecoderProgram("");
  EXPECT_TRUE(picture.Load(Dir / "good.png"));
}

TEST_F(IsolatedLoad, picturesAboveThePixelLimitAreRefusedFromTheirHeader) {
  TDecodeLimits limits;
  limits.MaxPixels = 40 * 30 - 1;
  TScopedDecoding scoped(limits);
  TImageBitmap picture;
  EXPECT_FALSE(picture.Load(Dir / "good.png"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  // GIF has no header-only load: the decoder checks after decoding.
  test::WritePicture(Dir / "big.gif", 40, 30, FIF_GIF, 8);
  EXPECT_FALSE(picture.Load(Dir / "big.gif"));
  EXPECT_EQ(picture.DecodeFailure(), "the picture has more pixels than allowed");
  // A JPEG frame header is checked before the JPEG codec decodes anything.
  test::WriteJpeg(Dir / "big.jpg", 40, 30);
  TJpegImage jpeg;
  EXPECT_THROW(jpeg.LoadFromFile(Dir / "big.jpg"), EJpegError);
}

// Bytes this process has read so far, by the kernel's count.
uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

TEST_F(IsolatedLoad, aLargeFileIsJudgedByItsFirstBytesAndNotReadHere) {
  for (const char* name : {"film.mp4", "film.tif"}) {
    test::WriteTextFile(Dir / name, std::string("\0\0\0\x18"
                                                "ftypisom",
                                                12));
    std::filesystem::resize_file(Dir / name, uint64_t(64) << 20);
  }
  TImageBitmap picture;
  ASSERT_TRUE(picture.Load(Dir / "good.png"));
  const uint64_t before = BytesRead();
  // Unknown by contents and by name: passed over, the picture held stays.
  EXPECT_FALSE(picture.Load(Dir / "film.mp4"));
  EXPECT_FALSE(picture.DecodeFailed());
  EXPECT_TRUE(picture.IsValid());
  // A TIFF by name only: the decoder reads it and fails.
  EXPECT_FALSE(picture.Load(Dir / "film.tif"));
  EXPECT_TRUE(picture.DecodeFailed());
  EXPECT_LT(BytesRead() - before, uint64_t(1) << 20);
}

TEST_F(IsolatedLoad, aColourPaletteBelowEightBitsIsRescaledInColourAGreyOneInGrey) {
  FIBITMAP* four = Sample(FIT_BITMAP, 4);  // a palette of reds, oranges and purples
  ASSERT_TRUE(FreeImage_Save(FIF_BMP, four, (Dir / "four.bmp").c_str(), 0));
  FreeImage_Unload(four);
  TImageBitmap picture;
  ASSERT_TRUE(picture.Load(Dir / "four.bmp"));
  ASSERT_EQ(picture.GetBitsPerPixel(), 4u);
  ASSERT_FALSE(FreeImage_GetColorType(picture.Handle()) == FIC_MINISBLACK);
  ASSERT_TRUE(picture.Rescale(14, 10, FILTER_BOX));
  EXPECT_EQ(picture.GetBitsPerPixel(), 24u);
  RGBQUAD colour{};
  ASSERT_TRUE(FreeImage_GetPixelColor(picture.Handle(), 3, 3, &colour));
  EXPECT_EQ(colour.rgbRed, 200);
  // 1-bit black and white stays grey.
  test::WritePicture(Dir / "one.png", 40, 30, FIF_PNG, 1);
  ASSERT_TRUE(picture.Load(Dir / "one.png"));
  ASSERT_TRUE(picture.Rescale(20, 15, FILTER_BOX));
  EXPECT_EQ(picture.GetBitsPerPixel(), 8u);
}

}  // namespace
}  // namespace pictrim
