// The decoder process and what the program makes of its answers: pictures
// come back whole, a decoder that crashes, hangs, eats memory or writes
// garbage is a failed decode (no process left behind, in bounded time), and
// the limits hold.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "image/DecodeProtocol.h"
#include "image/ImageBitmap.h"
#include "image/IsolatedDecode.h"
#include "image/JpegImage.h"
#include "platform/BatchTarget.h"
#include "tests/common/StillClock.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/common/WaitFor.h"

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

int ChildCount();

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

// The answer's first bytes and the header: magic, kind, size, depth, cost.
constexpr size_t HeaderBytes = 4 + 4 + 12 + 16;

std::vector<uint8_t> AnswerFor(FIBITMAP* Dib) {
  TMemorySink sink;
  EXPECT_TRUE(WriteAnswerStart(sink));
  EXPECT_TRUE(
      WriteHeader(sink, FreeImage_GetWidth(Dib), FreeImage_GetHeight(Dib), FreeImage_GetBPP(Dib)));
  EXPECT_TRUE(WritePicture(sink, Dib));
  return sink.Bytes;
}

TAnswer Parse(const std::vector<uint8_t>& Bytes, uint64_t MaxPixels = 1000) {
  TMemorySource source(Bytes.data(), Bytes.size());
  return ReadAnswer(source, MaxPixels, [](const TAdmission&) { return true; });
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

// An 8-bit picture may mark every one of its 256 colours with a
// transparency (PNG allows a full table); a table of more than 256 is garbage.
TEST(DecoderAnswer, aFullTransparencyTableOf256EntriesComesBackAndOneMoreIsRefused) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 8);
  BYTE table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<BYTE>(255 - i);
  FreeImage_SetTransparencyTable(sent, table, 256);
  const std::vector<uint8_t> whole = AnswerFor(sent);
  FreeImage_Unload(sent);
  const TAnswer answer = Parse(whole);
  ASSERT_NE(answer.Picture, nullptr) << answer.Failure;
  ASSERT_EQ(FreeImage_GetTransparencyCount(answer.Picture), 256u);
  EXPECT_EQ(std::memcmp(FreeImage_GetTransparencyTable(answer.Picture), table, 256), 0);
  FreeImage_Unload(answer.Picture);

  // The count stands behind the header, the picture's fixed part (32
  // bytes), the colour count and the palette of 256 x 4 bytes.
  const size_t countAt = HeaderBytes + 32 + 4 + 1024;
  ASSERT_EQ(whole[countAt], 0);
  ASSERT_EQ(whole[countAt + 1], 1);
  std::vector<uint8_t> longer = whole;
  longer[countAt] = 1;  // 257
  longer.insert(longer.begin() + static_cast<std::ptrdiff_t>(countAt + 4 + 256), 0);
  const TAnswer refused = Parse(longer);
  EXPECT_EQ(refused.Picture, nullptr);
  EXPECT_EQ(refused.Failure, "the decoder's answer is garbled");
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
  for (size_t at : {HeaderBytes + 4, HeaderBytes + 16}) {
    std::vector<uint8_t> bad = whole;
    bad[at] = 99;
    EXPECT_EQ(Parse(bad).Picture, nullptr) << at;
  }
  // A refused admission.
  TMemorySource source(whole.data(), whole.size());
  EXPECT_EQ(ReadAnswer(source, 1000, [](const TAdmission&) { return false; }).Picture, nullptr);
}

// A palette picture comes with exactly the palette its depth has; one sent
// without it would show in made-up colours.
TEST(DecoderAnswer, aPalettePictureWithoutItsPaletteIsRefused) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 8);
  const std::vector<uint8_t> whole = AnswerFor(sent);
  FreeImage_Unload(sent);
  const size_t countAt = HeaderBytes + 32;  // behind the header and the picture's fixed part
  ASSERT_EQ(whole[countAt + 1], 1);  // 256 colours
  std::vector<uint8_t> bare(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(countAt));
  bare.insert(bare.end(), {0, 0, 0, 0});
  bare.insert(bare.end(), whole.begin() + static_cast<std::ptrdiff_t>(countAt + 4 + 1024),
              whole.end());
  const TAnswer answer = Parse(bare);
  EXPECT_EQ(answer.Picture, nullptr);
  EXPECT_EQ(answer.Failure, "the decoder's answer is garbled");
}

TEST(DecoderAnswer, aPictureOfExactlyThePixelLimitIsAccepted) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 24);  // 7 x 5
  const std::vector<uint8_t> whole = AnswerFor(sent);
  FreeImage_Unload(sent);
  const TAnswer exact = Parse(whole, 35);
  EXPECT_NE(exact.Picture, nullptr) << exact.Failure;
  if (exact.Picture != nullptr) FreeImage_Unload(exact.Picture);
  EXPECT_EQ(Parse(whole, 34).Failure, "the picture has more pixels than allowed");
}

// A failure text longer than an answer may carry arrives cut to the limit.
TEST(DecoderAnswer, aLongFailureTextArrivesCutToItsLimit) {
  const std::string text = "the library could not decode the file: " + std::string(5000, 'x');
  TMemorySink sink;
  ASSERT_TRUE(WriteAnswerStart(sink) && WriteHeader(sink, 0, 0, 0));
  ASSERT_TRUE(WriteFailure(sink, text));
  const TAnswer answer = Parse(sink.Bytes);
  EXPECT_EQ(answer.Picture, nullptr);
  EXPECT_EQ(answer.Failure, text.substr(0, MaxFailureText));
}

// The budget is asked for the bytes the library will hold: rows padded to
// four bytes.
TEST(DecoderAnswer, theDecodedSizeCountsThePaddedRows) {
  EXPECT_EQ(DecodedBytes(7, 5, 24), 24u * 5);  // 21 bytes a row, padded to 24
  EXPECT_EQ(DecodedBytes(8, 5, 24), 24u * 5);  // no padding needed
  EXPECT_EQ(DecodedBytes(9, 2, 1), 4u * 2);    // 2 bytes a row
  EXPECT_EQ(DecodedBytes(3, 3, 4), 4u * 3);    // half bytes round up
  EXPECT_EQ(DecodedBytes(100000, 100000, 128), uint64_t{1600000} * 100000);
  EXPECT_EQ(DecodedBytes(0, 0, 0), 0u);
}

// What the program asks the decoder comes across whole, the file's bytes
// included; a request cut short or with a text beyond the limit is refused.
TEST(DecoderRequest, comesAcrossWholeAndRefusesCutOrOversizedRequests) {
  TRequest sent;
  sent.Format = FIF_PNG;
  sent.Flags = 0x12345678;
  sent.MaxPixels = (uint64_t{3} << 40) + 5;
  sent.Name = "Bild.png";
  sent.Path = "/home/anna/Bild.png";
  const std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', 0, 255};
  for (const std::vector<uint8_t>* file :
       {static_cast<const std::vector<uint8_t>*>(nullptr), &bytes}) {
    TMemorySink sink;
    ASSERT_TRUE(WriteRequest(sink, sent, file));
    TMemorySource source(sink.Bytes.data(), sink.Bytes.size());
    TRequest got;
    ASSERT_TRUE(ReadRequest(source, got));
    EXPECT_EQ(got.Format, sent.Format);
    EXPECT_EQ(got.Flags, sent.Flags);
    EXPECT_EQ(got.MaxPixels, sent.MaxPixels);
    EXPECT_EQ(got.Name, sent.Name);
    EXPECT_EQ(got.Path, sent.Path);
    EXPECT_EQ(got.FromBytes, file != nullptr);
    EXPECT_EQ(got.Bytes, file != nullptr ? bytes : std::vector<uint8_t>());
    for (size_t cut = 0; cut < sink.Bytes.size(); ++cut) {
      TMemorySource shorter(sink.Bytes.data(), cut);
      TRequest partial;
      EXPECT_FALSE(ReadRequest(shorter, partial)) << cut;
    }
  }
  // A byte count beyond the largest file is refused before anything is
  // allocated for it.
  for (const uint64_t count : {MaxRequestBytes + 1, uint64_t{1} << 62, ~uint64_t{0}}) {
    TMemorySink sink;
    ASSERT_TRUE(WriteRequest(sink, sent, nullptr));
    sink.Bytes[sink.Bytes.size() - 4] = 1;  // the bytes follow (32 bits, low byte first)
    for (int i = 0; i < 8; ++i) sink.Bytes.push_back(static_cast<uint8_t>(count >> (8 * i)));
    TMemorySource source(sink.Bytes.data(), sink.Bytes.size());
    TRequest got;
    EXPECT_FALSE(ReadRequest(source, got)) << count;
    EXPECT_TRUE(got.Bytes.empty());
  }
  for (const size_t length : {size_t{MaxRequestText}, size_t{MaxRequestText} + 1}) {
    TRequest named = sent;
    named.Path.assign(length, 'p');
    TMemorySink sink;
    ASSERT_TRUE(WriteRequest(sink, named, nullptr));
    TMemorySource source(sink.Bytes.data(), sink.Bytes.size());
    TRequest got;
    EXPECT_EQ(ReadRequest(source, got), length == MaxRequestText) << length;
  }
}

TEST(DecoderAnswer, metadataBlocksComeBackWholeOrNotAtAll) {
  TPictureMetadata sent;
  sent.Exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  sent.ColourProfile = std::vector<uint8_t>(300, 7);
  sent.Xmp = {'<', 'x', '/', '>'};
  FIBITMAP* dib = Sample(FIT_BITMAP, 24);
  TMemorySink sink;
  ASSERT_TRUE(WriteAnswerStart(sink) && WriteHeader(sink, 7, 5, 24) &&
              WritePicture(sink, dib, "", sent));
  FreeImage_Unload(dib);
  const std::vector<uint8_t> whole = sink.Bytes;
  TAnswer answer = Parse(whole);
  ASSERT_NE(answer.Picture, nullptr) << answer.Failure;
  FreeImage_Unload(answer.Picture);
  EXPECT_EQ(answer.Metadata.Exif, sent.Exif);
  EXPECT_EQ(answer.Metadata.ColourProfile, sent.ColourProfile);
  EXPECT_EQ(answer.Metadata.Xmp, sent.Xmp);
  // The blocks follow the rows and the note of damage: count, then kind,
  // size and bytes of each.
  const size_t blocks = whole.size() - 4 - (3 * 8 + 10 + 300 + 4) - 4;
  for (size_t cut = blocks; cut < whole.size(); ++cut)
    EXPECT_EQ(Parse(std::vector<uint8_t>(whole.begin(), whole.begin() + cut)).Picture, nullptr);
  const auto patched = [&](size_t At, uint8_t Value) {
    std::vector<uint8_t> bytes = whole;
    bytes[At] = Value;
    return Parse(bytes);
  };
  EXPECT_EQ(patched(blocks, 4).Failure, "the decoder's answer is garbled");      // four blocks
  EXPECT_EQ(patched(blocks + 4, 9).Failure, "the decoder's answer is garbled");  // no such kind
  EXPECT_EQ(patched(blocks + 4 + 8 + 10, 1).Failure,
            "the decoder's answer is garbled");  // the EXIF block again
  EXPECT_EQ(patched(blocks + 4 + 7, 0x10).Failure,
            "the decoder's answer is garbled");  // a size above the limit
  // The answer to a request for the metadata alone.
  TMemorySink alone;
  ASSERT_TRUE(WriteAnswerStart(alone) && WriteMetadata(alone, sent));
  TMemorySource source(alone.Bytes.data(), alone.Bytes.size());
  answer = ReadMetadataAnswer(source);
  EXPECT_TRUE(answer.Taken);
  EXPECT_EQ(answer.Failure, "");
  EXPECT_EQ(answer.Metadata.ColourProfile, sent.ColourProfile);
  for (size_t cut = 0; cut < alone.Bytes.size(); ++cut) {
    TMemorySource part(alone.Bytes.data(), cut);
    EXPECT_FALSE(ReadMetadataAnswer(part).Failure.empty()) << cut;
  }
}

TEST(DecoderAnswer, aPictureCarriesTheLoadersNoteOfDamage) {
  FIBITMAP* sent = Sample(FIT_BITMAP, 24);
  TMemorySink sink;
  ASSERT_TRUE(WriteAnswerStart(sink) && WriteHeader(sink, 7, 5, 24));
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
  // The note's length, before the note, the count of metadata blocks and the end.
  const size_t at = long_note.size() - 4 - 4 - 4 - 37;
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

// Limits for a test whose decodes must all succeed or fail on their own
// account: a busy machine never makes them run out of time.
TDecodeLimits Generous() {
  TDecodeLimits limits;
  limits.Seconds = 120;
  return limits;
}

// The same with a short time, for a decoder that hangs.
TDecodeLimits ShortTime(double Seconds) {
  TDecodeLimits limits = Generous();
  limits.Seconds = Seconds;
  return limits;
}

// True once a child process of this one has ended (it is left to be reaped).
bool AChildHasEnded() {
  siginfo_t info{};
  return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

TEST_F(IsolatedLoad, aMisbehavingDecoderIsAFailedDecodeAndLeavesNoProcess) {
  TDecodeLimits limits = Generous();
  limits.DecoderMemoryBytes = 512u << 20;
  TScopedDecoding scoped(limits,
                         "crash:crash.png,hang:hang.png,memory:memory.png,garbage:garbage.png");
  TDecodeLimits hurried = limits;
  hurried.Seconds = 1;
  for (const std::string name : {"crash.png", "hang.png", "memory.png", "garbage.png"}) {
    TImageBitmap picture;
    SetDecodeLimits(limits);
    ASSERT_TRUE(picture.Load(Dir / "good.png"));
    SetDecodeLimits(name == "hang.png" ? hurried : limits);
    EXPECT_FALSE(picture.Load(Dir / name)) << name;
    EXPECT_TRUE(picture.DecodeFailed()) << name;
    EXPECT_FALSE(picture.IsValid()) << name;
    EXPECT_FALSE(picture.DecodeFailure().empty()) << name;
    EXPECT_TRUE(NoChildLeft()) << name;
  }
  SetDecodeLimits(limits);
  TImageBitmap picture;
  EXPECT_TRUE(picture.Load(Dir / "good.png"));
  EXPECT_EQ(picture.GetWidth(), 40u);
  EXPECT_EQ(picture.DecodeFailure(), "");
}

TEST_F(IsolatedLoad, theReasonsTellCrashTimeAndNonsenseApart) {
  TScopedDecoding scoped(Generous(), "crash:crash.png,hang:hang.png,garbage:garbage.png");
  TImageBitmap picture;
  picture.Load(Dir / "crash.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder crashed (signal 11)");
  picture.Load(Dir / "garbage.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder answered with a picture of no known kind");
  SetDecodeLimits(ShortTime(1));
  picture.Load(Dir / "hang.png");
  EXPECT_EQ(picture.DecodeFailure(), "the decoder was stopped after 1 s");
}

// While others hold the memory the decoder ends before its go-ahead: what it
// wrote is judged all the same, not taken for a memory refusal.
TEST_F(IsolatedLoad, aDecoderThatEndedWhileTheLoadWaitedForMemoryIsJudgedByWhatItWrote) {
  TScopedDecoding scoped(Generous(), "garbage:garbage.png");
  ASSERT_TRUE(NoChildLeft());
  TImageBitmap picture;
  TMemoryLease held = PictureBudget().Acquire(PictureBudget().Capacity());
  std::thread load([&] { picture.Load(Dir / "garbage.png"); });
  const bool waited = test::WaitUntil([] { return PictureBudget().Waiting() == 1; });
  const bool ended = test::WaitUntil(AChildHasEnded);
  held.Release();
  load.join();
  EXPECT_TRUE(waited);
  EXPECT_TRUE(ended);
  EXPECT_EQ(picture.DecodeFailure(), "the decoder answered with a picture of no known kind");
  EXPECT_TRUE(NoChildLeft());
}

// The time limit is for decoding, not for waiting for memory: a load that
// waited longer than its whole limit still gets its full time afterwards,
// whether it waited after the header (a PNG) or only once the picture's
// size was known (a GIF, whose header tells no size).
TEST_F(IsolatedLoad, aLoadThatWaitedForMemoryLongerThanItsTimeLimitStillDecodes) {
  test::WritePicture(Dir / "good.gif", 40, 30, FIF_GIF, 8);
  TScopedDecoding scoped(ShortTime(3));
  for (const char* name : {"good.png", "good.gif"}) {
    test::TStillClock clock;
    TImageBitmap picture;
    bool loaded = false;
    TMemoryLease held = PictureBudget().Acquire(PictureBudget().Capacity());
    std::thread load([&] { loaded = picture.Load(Dir / name); });
    const bool waited = test::WaitUntil([] { return PictureBudget().Waiting() == 1; });
    clock.Advance(std::chrono::milliseconds(3001));
    held.Release();
    load.join();
    EXPECT_TRUE(waited) << name;
    EXPECT_TRUE(loaded) << name << ": " << picture.DecodeFailure();
    EXPECT_EQ(picture.GetWidth(), 40u) << name;
  }
}

// A decoder that never answers (asleep, using no processor time) is stopped
// once its time is up to the millisecond, and not before the test's clock
// says so. The clock moves only once the decode's timer has read it for its
// start: a move before that would be time the decode never had.
TEST_F(IsolatedLoad, aHangingDecoderIsStoppedExactlyAtItsTimeLimit) {
  TScopedDecoding scoped(ShortTime(3), "hang:hang.png");
  test::TStillClock clock;
  TImageBitmap picture;
  std::atomic<bool> done = false;
  std::thread load([&] {
    picture.Load(Dir / "hang.png");
    done = true;
  });
  const bool started = test::WaitUntil([&] { return clock.Reads() >= 1; });
  clock.Advance(std::chrono::milliseconds(2999));
  // The read after the next one saw 2999 ms, and the one after that shows
  // that the timer went on waiting.
  const long long seen = clock.Reads();
  const bool checkedEarly =
      test::WaitUntil([&] { return done.load() || clock.Reads() >= seen + 3; });
  const bool stoppedEarly = done.load();
  clock.Advance(std::chrono::milliseconds(1));
  const bool stopped = test::WaitUntil([&] { return done.load(); });
  if (!stopped) clock.Advance(std::chrono::hours(1));
  load.join();
  EXPECT_TRUE(started);
  EXPECT_TRUE(checkedEarly);
  EXPECT_FALSE(stoppedEarly);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(picture.DecodeFailure(), "the decoder was stopped after 3 s");
  EXPECT_TRUE(NoChildLeft());
}

// The limit counts the decoder's processor time: a decoder that keeps a
// core busy is stopped when it has used its time, though the clock stands
// still; one that is at work is not stopped by the clock alone, however
// long a busy machine makes it take.
TEST_F(IsolatedLoad, theTimeLimitCountsTheDecodersProcessorTimeNotTheClock) {
  for (const char* name : {"spin.png", "busy.png"})
    std::filesystem::copy_file(Dir / "good.png", Dir / name);
  TScopedDecoding scoped(ShortTime(1), "spin:spin.png,busy:busy.png");
  test::TStillClock clock;
  TImageBitmap picture;
  EXPECT_FALSE(picture.Load(Dir / "spin.png"));
  EXPECT_EQ(picture.DecodeFailure(), "the decoder was stopped after 1 s of processor time");

  SetDecodeLimits(ShortTime(3));
  bool loaded = false;
  std::thread load([&] { loaded = picture.Load(Dir / "busy.png"); });
  ASSERT_TRUE(test::WaitUntil([] { return ChildCount() == 1; }));
  clock.Advance(std::chrono::hours(1));
  load.join();
  EXPECT_TRUE(loaded) << picture.DecodeFailure();
  EXPECT_EQ(picture.GetWidth(), 40u);
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

// True when the process Pid sleeps: for a decoder that has answered a small
// picture, in the read of its next request (its writes had room).
bool WaitsForRequest(int Pid) {
  std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t close = line.rfind(')');
  return close != std::string::npos && line.compare(close + 1, 3, " S ") == 0;
}

// A decoder session over the pictures of the fixture's folder.
class DecoderSession : public IsolatedLoad {
 protected:
  void SetUp() override {
    IsolatedLoad::SetUp();
    for (const char* name : {"a.png", "b.png", "c.png", "crashafter.png", "chatter.png"})
      std::filesystem::copy_file(Dir / "good.png", Dir / name);
  }
  // Why the file could not be decoded; "" when it came back as a picture.
  std::string Failure(const std::string& Name) {
    TDecodeRequest request;
    request.Format = FIF_PNG;
    request.Path = Dir / Name;
    TIsolatedDecode decoded = Session.Decode(request);
    if (decoded.Picture == nullptr) return decoded.Failure;
    FreeImage_Unload(decoded.Picture);
    return "";
  }
  bool Decodes(const std::string& Name) { return Failure(Name).empty(); }

  TDecoderSession Session;
};

TEST_F(DecoderSession, oneDecoderServesFileAfterFileUntilItsTurnIsOver) {
  TDecodeLimits limits;
  limits.FilesPerDecoder = 3;
  TScopedDecoding scoped(limits);
  EXPECT_EQ(Session.ProcessId(), -1);
  ASSERT_TRUE(Decodes("a.png"));
  const int first = Session.ProcessId();
  ASSERT_GT(first, 0);
  ASSERT_TRUE(Decodes("b.png"));
  ASSERT_TRUE(Decodes("c.png"));
  EXPECT_EQ(Session.ProcessId(), first);
  // The fourth file is served by a fresh decoder, the old one reaped.
  ASSERT_TRUE(Decodes("a.png"));
  EXPECT_NE(Session.ProcessId(), first);
  EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);
  Session.End();
  EXPECT_EQ(Session.ProcessId(), -1);
  EXPECT_TRUE(NoChildLeft());
}

TEST_F(DecoderSession, aCrashCostsOnlyItsFileAndADecoderGoneBetweenFilesCostsNone) {
  TScopedDecoding scoped(Generous(),
                         "crash:crash.png,crashafter:crashafter.png,chatterafter:chatter.png");
  ASSERT_TRUE(Decodes("a.png"));
  EXPECT_EQ(Failure("crash.png"), "the decoder crashed (signal 11)");
  EXPECT_EQ(Session.ProcessId(), -1);
  ASSERT_TRUE(Decodes("b.png"));
  // It answers, then crashes before the next request: the next file is
  // served all the same, by a fresh decoder.
  ASSERT_TRUE(Decodes("crashafter.png"));
  const int crashing = Session.ProcessId();
  EXPECT_TRUE(Decodes("c.png"));
  EXPECT_NE(Session.ProcessId(), crashing);
  // It answers, then writes more before the next request: its bytes are
  // taken for no answer of a later file.
  ASSERT_TRUE(Decodes("chatter.png"));
  const int chattering = Session.ProcessId();
  ASSERT_TRUE(test::WaitUntil([&] { return WaitsForRequest(chattering); }));
  EXPECT_TRUE(Decodes("c.png"));
  EXPECT_NE(Session.ProcessId(), chattering);
  // Killed from outside while it waits: the same.
  const int waiting = Session.ProcessId();
  ASSERT_GT(waiting, 0);  // never -1: that would signal every process
  ASSERT_EQ(::kill(waiting, SIGKILL), 0);
  EXPECT_TRUE(Decodes("a.png"));
  EXPECT_NE(Session.ProcessId(), waiting);
  // A file the library cannot decode ends the decoder that failed on it.
  test::WriteTextFile(Dir / "broken.png", "\x89PNG\r\n\x1a\n but nothing more");
  EXPECT_FALSE(Decodes("broken.png"));
  EXPECT_EQ(Session.ProcessId(), -1);
  Session.End();
  EXPECT_TRUE(NoChildLeft());
}

// The children of this process (running or not yet reaped).
int ChildCount() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    std::string state;
    int parent = 0;
    fields >> state >> parent;
    count += parent == ::getpid();
  }
  return count;
}

// With the clock standing still only the cancel can end the wait on a
// decoder that hangs: it does, and takes the decoder with it.
TEST_F(IsolatedLoad, aCancelEndsTheWaitOnAStuckDecoderAndTheDecoderWithIt) {
  TScopedDecoding scoped(ShortTime(3), "hang:hang.png");
  test::TStillClock clock;
  CancelRequested = false;
  TImageBitmap picture;
  std::atomic<bool> done = false;
  std::thread load([&] {
    picture.Load(Dir / "hang.png");
    done = true;
  });
  // The decoder has taken the file and hangs on it.
  ASSERT_TRUE(test::WaitUntil([] { return ChildCount() == 1; }));
  ASSERT_FALSE(done);
  CancelRequested = true;
  const bool ended = test::WaitUntil([&] { return done.load(); });
  if (!ended) clock.Advance(std::chrono::hours(1));
  load.join();
  CancelRequested = false;
  EXPECT_TRUE(ended);
  EXPECT_FALSE(picture.IsValid());
  EXPECT_FALSE(picture.DecodeFailed());  // no damaged file: nothing to report
  EXPECT_EQ(picture.DecodeFailure(), "the decode was cancelled");
  EXPECT_TRUE(NoChildLeft());
  // A decode begun while the flag is set starts no decoder at all.
  CancelRequested = true;
  EXPECT_FALSE(picture.Load(Dir / "good.png"));
  CancelRequested = false;
  EXPECT_TRUE(NoChildLeft());
  EXPECT_TRUE(picture.Load(Dir / "good.png"));
}

}  // namespace
}  // namespace pictrim
