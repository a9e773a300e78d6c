// How many decoder processes a whole run starts: a worker thread keeps one
// decoder for the pictures the image library or libheif decode, a fresh one
// takes over after FilesPerDecoder files (the last file of a turn is still
// the old decoder's, the next one a new one's) or after a decoder failed on
// a file, and JPEGs, decoded in the program, start none. Each start costs
// the run the decoder's start-up (about 20 ms, its libraries loaded anew),
// so a decoder per file would make a batch of PNGs or HEICs much slower.
// The decoder program is a script that notes each start, then becomes the
// real decoder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/JobAccount.h"
#include "engine/Resize.h"
#include "image/IsolatedDecode.h"
#include "tests/common/HeifPictures.h"
#include "tests/common/TestPictures.h"
#include "tests/engine/BatchFixture.h"

namespace pictrim {
namespace {

class DecoderProcesses : public test::BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    Starts = Dir / "starts";
    const std::string decoder = Dir / "counting-decoder";
    test::WriteTextFile(decoder, "#!/bin/sh\necho started >> '" + Starts + "'\nexec '" +
                                     DecoderProgram() + "' \"$@\"\n");
    ::chmod(decoder.c_str(), 0755);
    SetDecoderProgram(decoder);
    BatchThreads = 1;
  }
  void TearDown() override {
    SetDecoderProgram("");
    SetDecodeLimits(TDecodeLimits());
    ::unsetenv("PICTRIM_DECODER_MISBEHAVE");
    BatchThreads = 0;
    BatchTest::TearDown();
  }

  // Decoders started so far.
  int Started() const {
    std::ifstream notes(Starts);
    int count = 0;
    for (std::string line; std::getline(notes, line);) ++count;
    return count;
  }

  // Count PNGs (and the JPEGs asked for) in a folder of their own.
  std::string Folder(const std::string& Name, int Pngs, int Jpegs = 0) {
    const std::string folder = Source + Name + "/";
    for (int i = 0; i < Pngs; ++i)
      test::WritePicture(folder + "p" + std::to_string(i) + ".png", 60, 40, FIF_PNG);
    for (int i = 0; i < Jpegs; ++i)
      test::WriteJpeg(folder + "j" + std::to_string(i) + ".jpg", 60, 40);
    return folder;
  }

  // Decoders a resize of Folder to 30 pixels started, and its account.
  int Resize(const std::string& Folder, TJobAccount& Account) {
    const int before = Started();
    ConvertPICsWholeTree(&Window, Folder, "", 30, 30, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE,
                         false, ErrorLog, &Account);
    return Started() - before;
  }

  std::string Starts;
};

TEST_F(DecoderProcesses, oneDecoderServesTheWholeRunOfAThreadAndJpegsNeedNone) {
  TJobAccount account;
  EXPECT_EQ(Resize(Folder("mixed", 5, 2), account), 1);
  EXPECT_EQ(account, (TJobAccount{.Written = 7}));
  TJobAccount jpegs;
  EXPECT_EQ(Resize(Folder("jpegs", 0, 3), jpegs), 0);
  EXPECT_EQ(jpegs, (TJobAccount{.Written = 3}));
  EXPECT_TRUE(Log().empty()) << Log().front();
}

TEST_F(DecoderProcesses, aFreshDecoderTakesOverRightAfterTheLastFileOfATurn) {
  TDecodeLimits limits;
  limits.FilesPerDecoder = 3;
  SetDecodeLimits(limits);
  for (const auto& [pngs, decoders] :
       {std::pair{3, 1}, std::pair{4, 2}, std::pair{6, 2}, std::pair{7, 3}}) {
    TJobAccount account;
    EXPECT_EQ(Resize(Folder("n" + std::to_string(pngs), pngs), account), decoders) << pngs;
    EXPECT_EQ(account.Written, pngs);
  }
}

TEST_F(DecoderProcesses, aDecoderThatCrashedIsReplacedOnceAndTheRestShareTheNext) {
  const std::string folder = Folder("crash", 5);
  ::setenv("PICTRIM_DECODER_MISBEHAVE", "crash:p2.png", 1);
  TJobAccount account;
  EXPECT_EQ(Resize(folder, account), 2);
  EXPECT_EQ(account, (TJobAccount{.Written = 4, .Failed = 1}));
}

TEST_F(DecoderProcesses, twoThreadsStartAtMostADecoderEach) {
  BatchThreads = 2;
  TJobAccount account;
  const int started = Resize(Folder("two", 12), account);
  EXPECT_GE(started, 1);
  EXPECT_LE(started, 2);
  EXPECT_EQ(account.Written, 12);
}

TEST_F(DecoderProcesses, theFileSizeJobKeepsOneDecoderForAllItsTrials) {
  const std::string folder = Folder("size", 3);
  TJobAccount account;
  ConvertPICsWholeTree2(&Window, folder, "", "", 2, "", 0, WM_BATCH_PROGRESS, WM_BATCH_FILE, false,
                        true, ErrorLog, &account);
  EXPECT_EQ(Started(), 1);
  EXPECT_EQ(account.Written, 3);
}

// A HEIC's metadata comes with its picture: no decoder of its own for it.
TEST_F(DecoderProcesses, heicCopiesWithTheirMetadataShareOneDecoder) {
  const std::string folder = Source + "heic/";
  test::THeifOptions options;
  options.Orientation = 6;
  for (const char* name : {"a.heic", "b.heic", "c.heic"})
    test::WriteHeif(folder + name, test::MakeNaturalImage(64, 48), options);
  TJobAccount account;
  EXPECT_EQ(Resize(folder, account), 1);
  EXPECT_EQ(account.Written, 3);
}

}  // namespace
}  // namespace pictrim
