// Every job over a tree of files that are not what they claim: empty,
// truncated, bombs, huge frame headers, a large non-picture, a folder with a
// picture's name, a link loop, and files whose decoder crashes, hangs, eats
// memory or answers nonsense. Each bad file gets its line, each good file
// is done exactly as in a tree without the bad ones, the source stays as it
// was, and no decoder is left running (each bad file's decode ends at the
// latest at its time limit).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "image/JpegCodec.h"
#include "image/JpegImage.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/Languages.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::WriteTextFile;

const char* const GoodNames[] = {"a.jpg", "b.png", "c.tif", "d.gif", "e.bmp", "x.jpg/inside.png"};
// Bad files the image library recognises (by contents or name): each must
// get the loader's line in the resize and file-size jobs.
// abort.tif makes the library's TIFF loader fail an assertion and abort;
// an empty PICT and one of 97 zero bytes make its PICT loader loop for ever
// (found by fuzzing the library's loaders). The HEIC files are cut short and
// claim 60000 x 60000 pixels.
const char* const FailingNames[] = {"empty.jpg",   "empty1.png", "trunc-png.png", "bomb.png",
                                    "huge.jpg",    "crash.png",  "hang.png",      "memory.png",
                                    "garbage.png", "abort.tif",  "empty.pct",     "zeros.pct",
                                    "cut.heic",    "bomb.heic"};

void WriteGood(const std::string& Folder) {
  test::WriteJpeg(Folder + "a.jpg", 120, 90);
  test::WritePicture(Folder + "b.png", 100, 80, FIF_PNG);
  test::WritePicture(Folder + "c.tif", 90, 60, FIF_TIFF);
  test::WritePicture(Folder + "d.gif", 80, 80, FIF_GIF, 8);
  test::WritePicture(Folder + "e.bmp", 70, 50, FIF_BMP);
  test::WritePicture(Folder + "x.jpg/inside.png", 60, 40, FIF_PNG);  // a folder named x.jpg
}

// A PNG chunk: length, type, data and CRC.
std::string Chunk(const std::string& Type, const std::string& Data) {
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8)
    out += static_cast<char>(Data.size() >> shift & 0xFF);
  out += Type + Data;
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : Type + Data) {
    crc ^= static_cast<uint8_t>(c);
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  crc ^= 0xFFFFFFFFu;
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(crc >> shift & 0xFF);
  return out;
}

// A PNG whose header declares 30000 x 30000 pixels, in a few kilobytes.
std::string PngBomb() {
  std::string header("\x89PNG\r\n\x1a\n", 8);
  const std::string ihdr = std::string("\0\0\x75\x30\0\0\x75\x30\x08\x02\0\0\0", 13);
  return header + Chunk("IHDR", ihdr) + Chunk("IDAT", std::string("\x78\x9c\x03\0\0\0\0\x01", 8)) +
         Chunk("IEND", "");
}

// A JPEG whose frame header claims 65500 x 65500 pixels.
std::string HugeJpeg(const std::string& Small) {
  std::string jpeg = Small;
  const size_t sof = jpeg.find("\xFF\xC0", 2);
  jpeg[sof + 5] = jpeg[sof + 7] = '\xFF';
  jpeg[sof + 6] = jpeg[sof + 8] = '\xDC';
  return jpeg;
}

void WriteBad(const std::string& Folder) {
  WriteTextFile(Folder + "empty.jpg", "");
  WriteTextFile(Folder + "empty1.png", "");
  for (const std::string good : {"a.jpg", "b.png", "c.tif", "d.gif", "e.bmp"}) {
    const std::string bytes = ReadWholeFile(Folder + good);
    const std::string kind = good.substr(2);
    WriteTextFile(Folder + "trunc-" + kind + "." + kind, bytes.substr(0, bytes.size() / 3));
  }
  WriteTextFile(Folder + "bomb.png", PngBomb());
  WriteTextFile(Folder + "huge.jpg", HugeJpeg(ReadWholeFile(Folder + "a.jpg")));
  WriteTextFile(Folder + "film.mp4", std::string("\0\0\0\x18"
                                                 "ftypisom",
                                                 12));
  fs::resize_file(Folder + "film.mp4", uint64_t(48) << 20);
  fs::create_symlink("loop2.jpg", Folder + "loop1.jpg");
  fs::create_symlink("loop1.jpg", Folder + "loop2.jpg");
  for (const char* name : {"crash.png", "hang.png", "memory.png", "garbage.png"})
    fs::copy_file(Folder + "b.png", Folder + name);
  fs::copy_file(PICTRIM_HOSTILE_DIR "/assign-pixel-abort.tif", Folder + "abort.tif");
  WriteTextFile(Folder + "empty.pct", "");
  WriteTextFile(Folder + "zeros.pct", std::string(97, '\0'));
  test::WriteHeif(Folder + "phone.heif", test::MakeNaturalImage(64, 48));
  std::string heic = ReadWholeFile(Folder + "phone.heif");
  fs::remove(Folder + "phone.heif");
  WriteTextFile(Folder + "cut.heic", heic.substr(0, heic.size() / 2));
  // Every size box (the picture's and its tiles') says 60000 x 60000.
  for (size_t ispe = heic.find("ispe"); ispe != std::string::npos;
       ispe = heic.find("ispe", ispe + 1))
    heic.replace(ispe + 8, 8, std::string("\0\0\xEA\x60\0\0\xEA\x60", 8));
  WriteTextFile(Folder + "bomb.heic", heic);
}

bool NoChildLeft() {
  return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// The output files below Folder with their bytes.
std::map<std::string, std::string> Outputs(const std::string& Folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(Folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(Folder)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), Folder).string()] = ReadWholeFile(entry.path().string());
  }
  return files;
}

class HostileTree : public test::BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    Control = Dir / "ctl/";
    WriteGood(Source);
    WriteGood(Control);
    WriteBad(Source);
    // Short enough for the decoder that hangs, long enough that a busy
    // machine does not stop the good pictures.
    TDecodeLimits limits;
    limits.Seconds = 5;
    limits.DecoderMemoryBytes = uint64_t(256) << 20;
    SetDecodeLimits(limits);
    ::setenv("PICTRIM_DECODER_MISBEHAVE",
             "crash:crash.png,hang:hang.png,memory:memory.png,garbage:garbage.png", 1);
    FreezeSource();
  }
  void TearDown() override {
    EXPECT_TRUE(NoChildLeft());
    ::unsetenv("PICTRIM_DECODER_MISBEHAVE");
    SetDecodeLimits(TDecodeLimits());
    BatchThreads = 0;
    BatchTest::TearDown();
  }

  // Every bad name in Expected has a log line containing Prefix and it;
  // no line names a good file.
  void ExpectLines(const std::string& Prefix, const std::vector<std::string>& Expected) {
    const std::vector<std::string> log = Log();
    for (const std::string& name : Expected) {
      const std::string line = Prefix + "src/" + name + "\"";
      // The loader's line, with why in brackets behind.
      EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                              [&](const std::string& Logged) { return Logged.starts_with(line + " ("); }))
          << line;
    }
    for (const std::string& line : log) {
      for (const char* good : GoodNames)
        EXPECT_EQ(line.find(std::string("src/") + good), std::string::npos) << line;
    }
  }

  std::string Control;
};

TEST_F(HostileTree, theResizeJobDoesEveryGoodFileAsWithoutTheBadOnes) {
  BatchThreads = 2;
  ASSERT_EQ(ConvertPICsWholeTree(&Window, Source, "", 64, 64, "", 0, WM_BATCH_PROGRESS,
                                 WM_BATCH_FILE, false, ErrorLog),
            0);
  ExpectLines("EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"",
              {std::begin(FailingNames), std::end(FailingNames)});
  std::map<std::string, std::string> made = Outputs(Dir / "src_MAXSIZE64");
  TErrorLog controlLog;
  ConvertPICsWholeTree(nullptr, Control, "", 64, 64, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                       controlLog);
  const std::map<std::string, std::string> expected = Outputs(Dir / "ctl_MAXSIZE64");
  ASSERT_EQ(expected.size(), 6u);
  for (const auto& [name, bytes] : expected) {
    EXPECT_EQ(made[name], bytes) << name;
    made.erase(name);
  }
  // Besides them only the truncated pictures the libraries still decode
  // (the link loop is no file and not listed).
  for (const auto& [name, bytes] : made) EXPECT_EQ(name.rfind("trunc-", 0), 0u) << name;
}

TEST_F(HostileTree, theFileSizeJobLogsEachBadPictureAndGoesOn) {
  ASSERT_EQ(ConvertPICsWholeTree2(&Window, Source, "", "", 20, "", 0, WM_BATCH_PROGRESS,
                                  WM_BATCH_FILE, false, true, ErrorLog),
            0);
  ExpectLines("EXCEPTION in ConvertPICsWholeTree2 - FBitmap.Load() with  File \"",
              {std::begin(FailingNames), std::end(FailingNames)});
  for (const char* good : {"a.jpg", "b.exPNG.jpg", "c.exTIF.jpg", "d.exGIF.jpg", "e.exBMP.jpg"})
    EXPECT_TRUE(fs::exists(Dir / ("src_SIZE20 kB/" + std::string(good)))) << good;
}

TEST_F(HostileTree, theCommandLineBatchesLogEachBadPictureAndGoOn) {
  ASSERT_EQ(ConvertBMPtoJPEGtree(&Window, Source, "", 64, "", WM_BATCH_PROGRESS, WM_BATCH_FILE,
                                 false, ErrorLog),
            0);
  ASSERT_EQ(SaveJPEGtreeDownSized(&Window, Source, "", 64, 0, "", WM_BATCH_PROGRESS, WM_BATCH_FILE,
                                  false, ErrorLog),
            0);
  const std::vector<std::string> log = Log();
  const auto has = [&](const std::string& Line) {
    return std::find(log.begin(), log.end(), Line) != log.end();
  };
  EXPECT_TRUE(has("Not a valid JPG:   src/empty.jpg"));
  EXPECT_TRUE(
      has("EXCEPTION in SaveJPEGtreeDownSized - j.loadFromFile()) with  File \"src/huge.jpg\""));
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE64/a.jpg"));
  EXPECT_TRUE(fs::exists(Dir / "src_SIZE64/e.jpg"));
}

TEST_F(HostileTree, aFolderWhereACopyWouldGoGetsALineAndNoNotification) {
  const test::TBuiltInTexts english(TLanguage::English);  // the lines as compared below
  fs::create_directories(Dir / "src_MAXSIZE64/b.jpg/");
  ConvertPICsWholeTree(&Window, Source, "", 64, 64, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, true,
                       ErrorLog);
  const std::vector<std::string> log = Log();
  EXPECT_NE(
      std::find(log.begin(), log.end(),
                "File src/b.png was not written: its output path src_MAXSIZE64/b.jpg is a folder"),
      log.end());
  for (const std::string& note : Notes())
    EXPECT_EQ(note.find("FILE src_MAXSIZE64/b.jpg"), std::string::npos);
}

TEST(GreyJpegCopy, aGreySourceGivesAGreyCopyOnTheQuickRoad) {
  test::TTempDir dir;
  QImage grey = test::MakeNaturalImage(200, 150).convertToFormat(QImage::Format_Grayscale8);
  TJpegImage source;
  source.Assign(grey);
  WriteTextFile(dir / "src/grey.jpg", "");
  source.SaveToFile(dir / "src/grey.jpg");
  test::WriteJpeg(dir / "src/colour.jpg", 200, 150);
  for (const char* text : {"", "Stamp"}) {
    TErrorLog log;
    ConvertPICsWholeTree(nullptr, dir / "src/", "", 100, 100, text, 1, WM_BATCH_PROGRESS,
                         WM_BATCH_FILE, true, log);
    EXPECT_TRUE(log.empty());
    for (const auto& [name, channels] : {std::pair{"grey.jpg", 1}, std::pair{"colour.jpg", 3}}) {
      const std::string bytes = ReadWholeFile(dir / ("src_MAXSIZE100/" + std::string(name)));
      jpegcodec::THeader header;
      ASSERT_TRUE(
          jpegcodec::ReadHeader(jpegcodec::TInput::Memory(
                                    reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                                &header)
              .Ok);
      EXPECT_EQ(header.Components, channels) << name << " " << text;
      EXPECT_EQ(header.Width, 100u);
    }
  }
}

}  // namespace
}  // namespace pictrim
