// The codec glue under hostile input: damaged and cut files, absurd scan
// counts, frames that claim more than the budget, deadlines and cancels.
// Every failure must come back as a result, free exactly what was
// allocated (the sanitizer build checks that) and never abort.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "image/JpegCodec.h"
#include "tests/common/HostileJpegs.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

using namespace jpegcodec;
using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& Text) {
  return Bytes(Text.begin(), Text.end());
}

// A natural picture encoded by libjpeg, progressive or baseline.
Bytes EncodeJpeg(const QImage& Picture, bool Progressive, int Quality = 92) {
  const QImage rgb = Picture.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(rgb.width());
  info.image_height = static_cast<JDIMENSION>(rgb.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, Quality, TRUE);
  if (Progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uchar*>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

struct TRows {
  QImage Image;
};

uint8_t* IntoImage(void* Context, uint32_t Width, uint32_t Height, size_t* Stride) {
  auto* rows = static_cast<TRows*>(Context);
  rows->Image = QImage(static_cast<int>(Width), static_cast<int>(Height), QImage::Format_RGB888);
  *Stride = static_cast<size_t>(rows->Image.bytesPerLine());
  return rows->Image.bits();
}

bool CountRows(void* Context, uint32_t, uint32_t, uint32_t, const uint8_t* Row) {
  if (Row != nullptr) ++*static_cast<int*>(Context);
  return true;
}

// What every road of the codec made of one input.
struct TRoads {
  TDecodeResult Full, Reduced, Rows;
  TEncodeResult Transcoded;
};

TRoads DecodeEveryWay(const TInput& Input, const TLimits& Limits = TLimits()) {
  TRoads roads;
  TRows full, reduced;
  int rows = 0;
  roads.Full = Decode(Input, 1, TPixelLayout::Rgb24, IntoImage, &full, Limits);
  roads.Reduced = Decode(Input, 4, TPixelLayout::Rgb24, IntoImage, &reduced, Limits);
  roads.Rows = DecodeRows(Input, CountRows, &rows, Limits);
  roads.Transcoded = Transcode(Input, 75, nullptr, nullptr, Limits);
  return roads;
}

// A decode that succeeded without a single warning must have had a whole file.
void ExpectFailedOrWarned(const TDecodeResult& Result, const std::string& Where) {
  EXPECT_TRUE(!Result.Ok || Result.Warnings > 0) << Where;
  EXPECT_EQ(Result.Ok, Result.Failure == TFailure::None) << Where;
}

TEST(JpegCodec, aCameraPhotoWithADamagedScanFailsCleanlyOnEveryRoad) {
  PICTRIM_REQUIRE_TESTDATA();
  for (const char* name : {"DSCN0010.jpg", "nikon-e950.jpg", "portrait_6.jpg"}) {
    const Bytes damaged =
        ToBytes(test::WithDamagedScan(test::ReadWholeFile(test::TestDataDir() + name)));
    TRoads roads = DecodeEveryWay(TInput::Memory(damaged.data(), damaged.size()));
    ExpectFailedOrWarned(roads.Full, name);
    ExpectFailedOrWarned(roads.Reduced, name);
    ExpectFailedOrWarned(roads.Rows, name);
    EXPECT_TRUE(!roads.Transcoded.Ok || roads.Transcoded.Warnings > 0) << name;
    EXPECT_EQ(roads.Transcoded.Ok, roads.Transcoded.Data != nullptr) << name;
    FreeEncoded(roads.Transcoded);
  }
}

// Stops the transcode once the rows it has seen made its output outgrow
// the first buffer.
struct TCancelAfter {
  int Rows;
  std::atomic<bool>* Cancel;
};

bool CancelLate(void* Context, uint32_t, uint32_t, uint32_t Y, const uint8_t* Row) {
  auto* after = static_cast<TCancelAfter*>(Context);
  if (Row != nullptr && static_cast<int>(Y) >= after->Rows) *after->Cancel = true;
  return true;
}

TEST(JpegCodec, aTranscodeStoppedAfterItsOutputGrewGivesBackOnlyItsOwnBuffer) {
  const Bytes source = EncodeJpeg(test::MakeNaturalImage(1200, 900, 3), false, 98);
  std::atomic<bool> cancel{false};
  TLimits limits;
  limits.Cancel = &cancel;
  TCancelAfter after{850, &cancel};
  TEncodeResult r =
      Transcode(TInput::Memory(source.data(), source.size()), 98, CancelLate, &after, limits);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Failure, TFailure::Cancelled);
  EXPECT_EQ(r.Data, nullptr);
  // Whole, the same transcode is far larger than the first buffer.
  cancel = false;
  after.Rows = 1000;
  r = Transcode(TInput::Memory(source.data(), source.size()), 98, CancelLate, &after, limits);
  ASSERT_TRUE(r.Ok) << r.Message;
  EXPECT_GT(r.Size, 256u * 1024);
  FreeEncoded(r);
}

// Sets the cancel flag as row Row comes, and counts the rows that come
// after it.
struct TCancelAtRow {
  uint32_t Row;
  std::atomic<bool>* Cancel;
  int After = 0;
};

bool CancelAtRow(void* Context, uint32_t, uint32_t, uint32_t Y, const uint8_t* Row) {
  auto* at = static_cast<TCancelAtRow*>(Context);
  if (Row == nullptr) return true;
  if (at->Cancel->load()) ++at->After;
  if (Y == at->Row) *at->Cancel = true;
  return true;
}

// The rows roads look at the flag before every row: a cancel set while a
// row is handed over is the last row there is, baseline or progressive,
// from memory or from a file.
TEST(JpegCodec, aCancelStopsTheRowRoadsBeforeTheNextRow) {
  test::TTempDir dir;
  for (const bool progressive : {false, true}) {
    const Bytes source = EncodeJpeg(test::MakeNaturalImage(64, 600, 2), progressive);
    test::WriteTextFile(dir / "rows.jpg", std::string(source.begin(), source.end()));
    const int fd = ::open((dir / "rows.jpg").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    for (const TInput& input : {TInput::Memory(source.data(), source.size()), TInput::File(fd)}) {
      std::atomic<bool> cancel{false};
      TLimits limits;
      limits.Cancel = &cancel;
      TCancelAtRow rows{100, &cancel};
      EXPECT_EQ(DecodeRows(input, CancelAtRow, &rows, limits).Failure, TFailure::Cancelled);
      EXPECT_EQ(rows.After, 0) << progressive;
      cancel = false;
      TCancelAtRow transcoded{100, &cancel};
      TEncodeResult r = Transcode(input, 75, CancelAtRow, &transcoded, limits);
      EXPECT_EQ(r.Failure, TFailure::Cancelled);
      EXPECT_EQ(r.Data, nullptr);
      EXPECT_EQ(transcoded.After, 0) << progressive;
      FreeEncoded(r);
    }
    ::close(fd);
  }
}

// Moves a clock the decode's time runs on as rows come: by the whole time
// allowed at row 10, by a millisecond more at row 20.
struct TClockedRows {
  std::atomic<long long>* Millis;
  long long Allowed;
  int Rows = 0;
};

bool AdvanceWithRows(void* Context, uint32_t, uint32_t, uint32_t Y, const uint8_t* Row) {
  auto* clocked = static_cast<TClockedRows*>(Context);
  if (Row == nullptr) return true;
  ++clocked->Rows;
  if (Y == 10) *clocked->Millis += clocked->Allowed;
  if (Y == 20) *clocked->Millis += 1;
  return true;
}

// The time allowed runs out exactly at its end: a row at the deadline still
// comes, the next one past it does not.
TEST(JpegCodec, theTimeAllowedEndsExactlyAtItsDeadline) {
  const Bytes source = EncodeJpeg(test::MakeNaturalImage(64, 200, 2), false);
  const auto start = std::chrono::steady_clock::now();
  std::atomic<long long> millis{0};
  TLimits limits;
  limits.Seconds = 2;
  limits.Clock = [&] { return start + std::chrono::milliseconds(millis.load()); };
  TClockedRows clocked{&millis, 2000};
  const TDecodeResult r =
      DecodeRows(TInput::Memory(source.data(), source.size()), AdvanceWithRows, &clocked, limits);
  EXPECT_EQ(r.Failure, TFailure::TooSlow);
  EXPECT_EQ(clocked.Rows, 21);
  EXPECT_STREQ(r.Message, "the decode took longer than 2 s of processor time");
}

TEST(JpegCodec, everyCutOfAFileFailsOrCarriesWarningsFromMemoryAndFromItsFile) {
  test::TTempDir dir;
  const QImage picture = test::MakeNaturalImage(96, 64, 4);
  for (const bool progressive : {false, true}) {
    const Bytes whole = EncodeJpeg(picture, progressive);
    const TRoads complete = DecodeEveryWay(TInput::Memory(whole.data(), whole.size()));
    ASSERT_TRUE(complete.Full.Ok && complete.Reduced.Ok && complete.Rows.Ok &&
                complete.Transcoded.Ok);
    EXPECT_EQ(complete.Full.Warnings + complete.Rows.Warnings + complete.Transcoded.Warnings, 0);
    TEncodeResult t = complete.Transcoded;
    FreeEncoded(t);
    for (size_t cut = 2; cut < whole.size(); cut += 1 + cut / 9) {
      const std::string where =
          (progressive ? "progressive cut at " : "baseline cut at ") + std::to_string(cut);
      const std::string path = dir / "cut.jpg";
      WriteFileBytes(path, whole.data(), cut);
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      for (const TInput input : {TInput::Memory(whole.data(), cut), TInput::File(fd)}) {
        TRoads roads = DecodeEveryWay(input);
        ExpectFailedOrWarned(roads.Full, where);
        ExpectFailedOrWarned(roads.Reduced, where);
        ExpectFailedOrWarned(roads.Rows, where);
        EXPECT_TRUE(!roads.Transcoded.Ok || roads.Transcoded.Warnings > 0) << where;
        FreeEncoded(roads.Transcoded);
      }
      ::close(fd);
    }
  }
}

TEST(JpegCodec, aFileDecodesFromItsDescriptorExactlyAsFromMemory) {
  test::TTempDir dir;
  const Bytes bytes = EncodeJpeg(test::MakeNaturalImage(333, 211, 6), true);
  WriteFileBytes(dir / "a.jpg", bytes.data(), bytes.size());
  const int fd = ::open((dir / "a.jpg").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (const unsigned denom : {1u, 2u, 8u}) {
    TRows fromMemory, fromFile;
    ASSERT_TRUE(Decode(TInput::Memory(bytes.data(), bytes.size()), denom, TPixelLayout::Rgb24,
                       IntoImage, &fromMemory, TLimits())
                    .Ok);
    // Twice from one descriptor: each decode reads from the start.
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(
          Decode(TInput::File(fd), denom, TPixelLayout::Rgb24, IntoImage, &fromFile, TLimits()).Ok);
      EXPECT_EQ(fromFile.Image, fromMemory.Image) << denom;
    }
  }
  TEncodeResult a =
      Transcode(TInput::Memory(bytes.data(), bytes.size()), 75, nullptr, nullptr, TLimits());
  TEncodeResult b = Transcode(TInput::File(fd), 75, nullptr, nullptr, TLimits());
  ASSERT_TRUE(a.Ok && b.Ok);
  EXPECT_EQ(Bytes(a.Data, a.Data + a.Size), Bytes(b.Data, b.Data + b.Size));
  FreeEncoded(a);
  FreeEncoded(b);
  ::close(fd);
}

TEST(JpegCodec, scansBeyondTheLimitStopEveryDecodingRoad) {
  TLimits limits;
  limits.MaxScans = 40;
  for (const int scans : {40, 41, 300}) {
    const Bytes bomb = ToBytes(test::ClaimingJpeg(1024, 1024, scans));
    TRoads roads = DecodeEveryWay(TInput::Memory(bomb.data(), bomb.size()), limits);
    const TFailure expected = scans > limits.MaxScans ? TFailure::TooManyScans : TFailure::None;
    EXPECT_EQ(roads.Full.Failure, expected) << scans;
    EXPECT_EQ(roads.Reduced.Failure, expected) << scans;
    EXPECT_EQ(roads.Rows.Failure, expected) << scans;
    EXPECT_EQ(roads.Transcoded.Failure, expected) << scans;
    FreeEncoded(roads.Transcoded);
  }
}

// Records what the admission was asked, and answers as told.
struct TAsked {
  bool Answer = true;
  uint32_t Width = 0, Height = 0;
  uint64_t CodecBytes = 0;
  int Calls = 0;
};

bool Record(void* Context, uint32_t Width, uint32_t Height, uint64_t CodecBytes) {
  auto* asked = static_cast<TAsked*>(Context);
  asked->Width = Width;
  asked->Height = Height;
  asked->CodecBytes = CodecBytes;
  ++asked->Calls;
  return asked->Answer;
}

uint8_t* NeverAsked(void*, uint32_t, uint32_t, size_t*) {
  ADD_FAILURE() << "rows were asked for after a refusal";
  return nullptr;
}

TEST(JpegCodec, theAdmissionSeesTheDecodedSizeAndTheCoefficientsBeforeAnythingLarge) {
  TAsked asked;
  TLimits limits;
  limits.Admit = Record;
  limits.AdmitContext = &asked;
  // A 15000 x 15000 progressive frame of 150 bytes: its coefficients alone
  // take 15000 x 15000 x 3 x 2 bytes, whatever the scale of the output.
  asked.Answer = false;
  const Bytes bomb = ToBytes(test::ClaimingJpeg(15000, 15000, 1));
  const TDecodeResult refused = Decode(TInput::Memory(bomb.data(), bomb.size()), 8,
                                       TPixelLayout::Bgrx32, NeverAsked, nullptr, limits);
  EXPECT_EQ(refused.Failure, TFailure::TooLarge);
  EXPECT_EQ(asked.Calls, 1);
  EXPECT_EQ(asked.Width, 1875u);
  EXPECT_EQ(asked.Height, 1875u);
  EXPECT_GE(asked.CodecBytes, uint64_t{15000} * 15000 * 3 * 2);
  EXPECT_LT(asked.CodecBytes, uint64_t{15000} * 15000 * 3 * 2 + (uint64_t(64) << 20));
  // Half the colour: half the coefficients again.
  const Bytes subsampled = ToBytes(test::ClaimingJpeg(15000, 15000, 1, true));
  Decode(TInput::Memory(subsampled.data(), subsampled.size()), 8, TPixelLayout::Bgrx32, NeverAsked,
         nullptr, limits);
  EXPECT_GE(asked.CodecBytes, uint64_t{15000} * 15000 * 3);
  EXPECT_LT(asked.CodecBytes, uint64_t{15000} * 15000 * 4);
  // A baseline picture streams: only rows of work are held.
  asked.Answer = true;
  const Bytes baseline = EncodeJpeg(test::MakeNaturalImage(800, 600, 2), false);
  TRows rows;
  EXPECT_TRUE(Decode(TInput::Memory(baseline.data(), baseline.size()), 2, TPixelLayout::Rgb24,
                     IntoImage, &rows, limits)
                  .Ok);
  EXPECT_EQ(asked.Width, 400u);
  EXPECT_LT(asked.CodecBytes, uint64_t(1) << 20);
}

TEST(JpegCodec, aPassedDeadlineOrACancelStopsTheDecodeWithItsOwnReason) {
  const Bytes bytes = EncodeJpeg(test::MakeNaturalImage(300, 200, 1), true);
  const TInput input = TInput::Memory(bytes.data(), bytes.size());
  TLimits late;
  late.Seconds = 1e-9;
  TRoads roads = DecodeEveryWay(input, late);
  EXPECT_EQ(roads.Full.Failure, TFailure::TooSlow);
  EXPECT_EQ(roads.Rows.Failure, TFailure::TooSlow);
  EXPECT_EQ(roads.Transcoded.Failure, TFailure::TooSlow);
  std::atomic<bool> cancel{true};
  TLimits cancelled;
  cancelled.Cancel = &cancel;
  roads = DecodeEveryWay(input, cancelled);
  EXPECT_EQ(roads.Full.Failure, TFailure::Cancelled);
  EXPECT_EQ(roads.Reduced.Failure, TFailure::Cancelled);
  EXPECT_EQ(roads.Transcoded.Failure, TFailure::Cancelled);
}

TEST(JpegCodec, aColourProfileSurvivesTheTranscodeAmongManyForeignSegments) {
  Bytes bytes = EncodeJpeg(test::MakeNaturalImage(64, 48, 1), false);
  // Behind SOI: 3000 APP2 segments that are no profile, then a one-chunk profile.
  Bytes extra;
  const auto app2 = [&extra](const std::string& Body) {
    extra.insert(extra.end(), {0xFF, 0xE2, static_cast<uint8_t>((Body.size() + 2) >> 8),
                               static_cast<uint8_t>((Body.size() + 2) & 0xFF)});
    extra.insert(extra.end(), Body.begin(), Body.end());
  };
  for (int i = 0; i < 3000; ++i) app2("FOREIGN DATA, NO PROFILE");
  app2(std::string("ICC_PROFILE\0\1\1", 14) + "a small profile");
  bytes.insert(bytes.begin() + 2, extra.begin(), extra.end());
  TEncodeResult r =
      Transcode(TInput::Memory(bytes.data(), bytes.size()), 75, nullptr, nullptr, TLimits());
  ASSERT_TRUE(r.Ok) << r.Message;
  const std::string out(r.Data, r.Data + r.Size);
  EXPECT_NE(out.find(std::string("ICC_PROFILE\0\1\1a small profile", 29)), std::string::npos);
  EXPECT_EQ(out.find("FOREIGN"), std::string::npos);
  FreeEncoded(r);
}

}  // namespace
}  // namespace pictrim
