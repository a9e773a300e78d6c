// Runs the built pictrim executable as a process, without a display, on
// trees in a temporary folder, and checks what it writes, prints and returns.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <utility>

#include "metadata/Exif.h"
#include "metadata/ExifFacts.h"
#include "platform/FileTimes.h"
#include "tests/app/PictrimRun.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPictures.h"
#include "tests/metadata/MetadataBytes.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::PictureSize;
using test::RunProgram;
using test::TRun;

// The locale of a run: the program speaks German where it begins with "de",
// English (the default here) otherwise. A variable not given is left empty,
// which counts as not set.
struct TLocale {
  const char* LcAll = nullptr;
  const char* LcMessages = nullptr;
  const char* Lang = "C.UTF-8";
};
const TLocale German{nullptr, nullptr, "de_DE.UTF-8"};

TRun RunPictrim(const QStringList& Args, const std::string& WorkingFolder = "",
                const TLocale& Locale = {}) {
  const auto value = [](const char* Text) { return std::string(Text != nullptr ? Text : ""); };
  return test::RunPictrim(Args, WorkingFolder,
                          {{"LC_ALL", value(Locale.LcAll)},
                           {"LC_MESSAGES", value(Locale.LcMessages)},
                           {"LANG", value(Locale.Lang)}});
}

// As RunPictrim, with every file the run writes limited to FileBytes: a
// write beyond fails as on a full disk (root may write anywhere else).
TRun RunPictrimWithFileLimit(int FileBytes, const QStringList& Args) {
  const QString script =
      "trap '' XFSZ; exec prlimit --fsize=" + QString::number(FileBytes) + " -- \"$@\"";
  return RunProgram("/bin/sh", QStringList{"-c", script, "sh", PICTRIM_EXE} + Args, "",
                    {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "C.UTF-8"}});
}

QString Q(const std::string& Text) {
  return QString::fromStdString(Text);
}

bool Contains(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

// The names of the files of one folder, sorted.
std::vector<std::string> FileNames(const std::string& Folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

int Lines(const std::string& Text) {
  int count = 0;
  for (const char c : Text) count += c == '\n';
  return count;
}

class PictrimProcess : public ::testing::Test {
 protected:
  // Fotos/: a BMP, a camera JPEG with EXIF, a subfolder with a JPEG.
  std::string MakePhotoTree() {
    const std::string folder = Dir / "Fotos/";
    test::WritePicture(folder + "Scan.bmp", 800, 600, FIF_BMP);
    fs::copy_file(test::TestDataDir() + "Canon_40D.jpg", folder + "IMG_0001.jpg");
    test::WriteJpeg(folder + "sub/P1280001.JPG", 640, 480);
    return folder;
  }

  test::TTempDir Dir;
};

TEST_F(PictrimProcess, theUnattendedRunWritesBmpsAndJpegsBesideTheSourceAndEndsWithZero) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string source = MakePhotoTree();
  const std::string before = test::TreeSnapshot(source);
  const TRun run = RunPictrim({"/s:" + Q(Dir / "Fotos"), "/p:400"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string output = Dir / "Fotos_SIZE400/";
  EXPECT_EQ(run.Out, output + "\n");
  EXPECT_EQ(PictureSize(output + "Scan.jpg"), QSize(400, 300));
  EXPECT_EQ(PictureSize(output + "IMG_0001.jpg"), QSize(400, 272));
  EXPECT_EQ(PictureSize(output + "sub/P1280001.JPG"), QSize(400, 300));
  TMetadata metadata;
  ASSERT_TRUE(metadata.ReadMetadata(output + "IMG_0001.jpg"));
  EXPECT_EQ(metadata.ExifInfo()->MakeText(), "Canon");
  // Plain progress lines (stderr is no terminal), nothing else.
  EXPECT_EQ(run.Err, "[1/1] " + source + "Scan.bmp\n" + "[1/2] " + source + "IMG_0001.jpg\n" +
                         "[2/2] " + source + "sub/P1280001.JPG\n" +
                         "3 written, 0 skipped, 0 failed\n");
  EXPECT_EQ(test::TreeSnapshot(source), before);
}

TEST_F(PictrimProcess, errorLinesArePrintedAtTheEndAndGiveStatusOne) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string source = MakePhotoTree();
  test::WriteTextFile(source + "broken.bmp", "this is no bitmap");
  test::WriteTextFile(source + "sub/empty.jpg", "");
  const TRun run = RunPictrim({"/s:" + Q(source), "/p:200", "/o:yes"});
  EXPECT_EQ(run.Status, 1);
  const std::string tail = "Not a valid BMP V3:   " + source + "broken.bmp\n" +
                           "Not a valid JPG:   " + source + "sub/empty.jpg\n" +
                           "3 written, 0 skipped, 2 failed\n";
  ASSERT_GE(run.Err.size(), tail.size());
  EXPECT_EQ(run.Err.substr(run.Err.size() - tail.size()), tail);
  EXPECT_EQ(PictureSize(Dir / "Fotos_SIZE200/Scan.jpg"), QSize(200, 150));
}

// /p: has one range for both batches, that of the JPEG batch: a size beyond
// it is a wrong argument, and neither batch starts.
TEST_F(PictrimProcess, aSizeBeyondTheRangeOfPStartsNeitherBatchAndGivesStatusTwo) {
  test::WritePicture(Dir / "Strip/strip.bmp", 10001, 2, FIF_BMP);
  test::WriteJpeg(Dir / "Strip/photo.jpg", 40, 30);
  const TRun run = RunPictrim({"/s:" + Q(Dir / "Strip/"), "/p:10001"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(
      run.Err, "pictrim: /p: must be a whole number of pixels from 1 to 10000, not \"10001\""))
      << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "Strip_SIZE10001"));
  EXPECT_EQ(RunPictrim({"/s:" + Q(Dir / "Strip/"), "/p:10000"}).Status, 0);
  EXPECT_EQ(PictureSize(Dir / "Strip_SIZE10000/strip.jpg").width(), 10000);
}

TEST_F(PictrimProcess, anOutputFolderThatIsTheSourceIsRefusedWithStatusTwo) {
  test::WriteJpeg(Dir / "Same/a.jpg", 300, 200);
  test::WriteJpeg(Dir / "Same/sub/b.jpg", 300, 200);
  const std::string before = test::TreeSnapshot(Dir / "Same/");
  const TRun run =
      RunPictrim({"/s:" + Q(Dir / "Same"), "/d:" + Q(Dir / "Same"), "/o:ja", "/p:100"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, "lies inside the source folder")) << run.Err;
  // Both batches refuse, each with its own line and code.
  EXPECT_TRUE(Contains(run.Err, "pictrim: the BMP batch refused to start (code 200301)\n"))
      << run.Err;
  EXPECT_TRUE(Contains(run.Err, "pictrim: the JPEG batch refused to start (code 200205)\n"))
      << run.Err;
  EXPECT_FALSE(Contains(run.Err, " written, ")) << run.Err;  // no batch ran: no account
  const TRun german = RunPictrim(
      {"resize", "--edge", "100", "--out", Q(Dir / "Same/sub"), Q(Dir / "Same")}, "", German);
  EXPECT_EQ(german.Status, 2);
  EXPECT_TRUE(Contains(german.Err, "liegt im Quellordner")) << german.Err;
  EXPECT_EQ(test::TreeSnapshot(Dir / "Same/"), before);
}

TEST_F(PictrimProcess, resizeStampsTheTextWhereAskedAndPrintsTheOutputFolder) {
  QImage white(400, 300, QImage::Format_RGB32);
  white.fill(Qt::white);
  fs::create_directories(Dir / "White");
  ASSERT_TRUE(white.save(Q(Dir / "White/white.png"), "PNG"));
  const TRun run = RunPictrim(
      {"resize", "--edge", "200", "--text", "MMMM", "--bottom", Q(Dir / "White")}, "", German);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Dir / "White_MAXSIZE200/\n");
  EXPECT_EQ(run.Err, "[1/1] " + Dir / "White_MAXSIZE200/white.jpg\n" +
                         "Letze Aktion = Größenänderung aller Dateien im Verzeichnis " +
                         Dir / "White/\n" + "1 geschrieben, 0 übersprungen, 0 fehlgeschlagen\n");
  // The file-size job's lines are as few.
  const TRun shrink = RunPictrim({"shrink", "--kb", "5", Q(Dir / "White")});
  EXPECT_EQ(shrink.Status, 0) << shrink.Err;
  EXPECT_EQ(shrink.Err, "[1/1] " + Dir / "White_SIZE5 kB/white.exPNG.jpg\n" +
                            "Last action = all files in folder " +
                            Dir / "White/ resized\n1 written, 0 skipped, 0 failed\n");
  QImage copy;
  ASSERT_TRUE(copy.load(Q(Dir / "White_MAXSIZE200/white.jpg")));
  EXPECT_EQ(copy.size(), QSize(200, 150));
  int top = 0;
  int bottom = 0;
  for (int x = 0; x < 60; ++x) {
    for (int y = 0; y < 20; ++y) {
      top += copy.pixelColor(x, y).lightness() < 100;
      bottom += copy.pixelColor(x, 149 - y).lightness() < 100;
    }
  }
  EXPECT_EQ(top, 0);
  EXPECT_GT(bottom, 20);
}

// Where a desktop is, a job given on the command line still reports on the
// terminal; only the unattended run shows a window there. (Qt's "minimal"
// platform stands in for a desktop: it needs no display server.)
TEST_F(PictrimProcess, aJobRunOnADesktopReportsOnTheTerminal) {
  test::WriteJpeg(Dir / "Desk/a.jpg", 300, 200);
  const TRun run =
      test::RunPictrim({"resize", "--edge", "100", Q(Dir / "Desk")}, "",
                       {{"LANG", "C.UTF-8"}, {"DISPLAY", ":97"}, {"QT_QPA_PLATFORM", "minimal"}});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Dir / "Desk_MAXSIZE100/\n");
  EXPECT_TRUE(EndsWith(run.Err, "1 written, 0 skipped, 0 failed\n")) << run.Err;
  EXPECT_EQ(PictureSize(Dir / "Desk_MAXSIZE100/a.jpg"), QSize(100, 66));
}

TEST_F(PictrimProcess, widthAndHeightAreThoseOfThePictureAsShownInEveryOrientation) {
  const std::string folder = Dir / "Turned/";
  fs::create_directories(folder);
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    test::TExifBlock block(orientation > 4);
    block.AddShort(0, 274, {orientation});
    test::WriteBytes(folder + "o" + std::to_string(orientation) + ".jpg",
                     test::WithHeader(test::EncodedPicture(400, 300), {block.App1()}));
  }
  TRun run = RunPictrim({"resize", "--width", "200", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  run = RunPictrim({"resize", "--height", "150", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::string name = "o" + std::to_string(orientation) + ".jpg";
    const bool turned = orientation >= 5;  // shown 300 x 400
    EXPECT_EQ(PictureSize(Dir / "Turned_MAXWIDTH200/" + name),
              turned ? QSize(266, 200) : QSize(200, 150));
    EXPECT_EQ(PictureSize(Dir / "Turned_MAXHEIGHT150/" + name),
              turned ? QSize(150, 112) : QSize(200, 150));
    TMetadata metadata(4);
    metadata.ReadMetadata(Dir / "Turned_MAXHEIGHT150/" + name);
    ASSERT_NE(metadata.ExifInfo(), nullptr);
    EXPECT_EQ(ExifOrientation(*metadata.ExifInfo()), orientation);
  }
  // Not enlarging judges the width as shown too: 300 wide turned, under 350.
  run = RunPictrim({"resize", "--width", "350", "--no-enlarge", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(PictureSize(Dir / "Turned_MAXWIDTH350/o1.jpg"), QSize(350, 262));
  EXPECT_EQ(PictureSize(Dir / "Turned_MAXWIDTH350/o8.jpg"), QSize(400, 300));
}

TEST_F(PictrimProcess, speaksEnglishUnlessTheLocaleIsGermanAndKeepsTheErrorLinesAsTheyAre) {
  test::WriteJpeg(Dir / "Mixed/a.jpg", 300, 200);
  test::WriteTextFile(Dir / "Mixed/broken.jpg", "no picture");
  const std::string logLine =
      "EXCEPTION in ConvertPICsWholeTree - FBitmap.Load() with  File \"" + Dir / "Mixed/broken.jpg";
  struct TCase {
    TLocale Locale;
    std::string Status;
  };
  const std::string german = "Letze Aktion = Größenänderung aller Dateien im Verzeichnis ";
  const std::string english = "Last action = all files in folder " + Dir / "Mixed/" + " resized";
  const TCase cases[] = {
      {{nullptr, nullptr, "C.UTF-8"}, english},
      {{nullptr, nullptr, nullptr}, english},
      {{nullptr, nullptr, "de_CH.UTF-8"}, german},
      {{nullptr, "de_AT.UTF-8", "en_GB.UTF-8"}, german},
      {{"en_US.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8"}, english},
      {{"de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8"}, german},
      {{"", "", "de_DE.UTF-8"}, german},  // empty variables do not count
  };
  for (const TCase& c : cases) {
    const TRun run =
        RunPictrim({"resize", "--edge", "100", "--overwrite", Q(Dir / "Mixed")}, "", c.Locale);
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_TRUE(Contains(run.Err, c.Status)) << run.Err;
    EXPECT_TRUE(Contains(run.Err, logLine)) << run.Err;
    if (c.Status == english) {
      EXPECT_FALSE(Contains(run.Err, "Letz")) << run.Err;
    }
  }
}

// Wrong arguments and missing files are answered in the locale's language.
TEST_F(PictrimProcess, aGermanLocaleGetsItsAnswersToWrongArgumentsInGerman) {
  TRun run = RunPictrim({"shrink", Q(Dir / "x")}, "", German);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "pictrim: shrink braucht --kb\n");
  run = RunPictrim({"info", Q(Dir / "fehlt.jpg")}, "", German);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "pictrim: Datei nicht gefunden: " + Dir / "fehlt.jpg" + "\n");
  run = RunPictrim({"resize", "--edge", "8", Q(Dir / "fehlt")}, "", German);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "pictrim: Ordner nicht gefunden: " + Dir / "fehlt/" + "\n");
  run = RunPictrim({"info", Q(Dir / "fehlt.jpg")});
  EXPECT_EQ(run.Err, "pictrim: file not found: " + Dir / "fehlt.jpg" + "\n");
}

TEST_F(PictrimProcess, shrinkWritesCopiesNearTheTargetSize) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string source = MakePhotoTree();
  const TRun run = RunPictrim({"shrink", "--kb", "10", Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string output = Dir / "Fotos_SIZE10 kB/";
  EXPECT_EQ(run.Out, output + "\n");
  for (const char* name : {"Scan.exBMP.jpg", "IMG_0001.jpg", "sub/P1280001.JPG"}) {
    ASSERT_TRUE(fs::exists(output + name)) << name;
    EXPECT_LE(fs::file_size(output + name), 11u * 1024) << name;
  }
}

TEST_F(PictrimProcess, aRunEndedOrCutShortByAnErrorMessageExitsWithOne) {
  test::WritePicture(Dir / "Pics/a.png", 200, 150, FIF_PNG);
  test::WritePicture(Dir / "Pics/b.png", 64, 48, FIF_PNG);
  // The copy of a.png cannot be written: "Error with ..." ends the run.
  TRun run = RunPictrimWithFileLimit(2000, {"shrink", "--kb", "100", Q(Dir / "Pics")});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "Error with " + Dir / "Pics_SIZE100 kB/a.exPNG.jpg")) << run.Err;
  // A file stands where each job's output folder would be made.
  struct TJob {
    QStringList Arguments;
    std::string Folder;
  };
  const TJob jobs[] = {
      {{"resize", "--edge", "32", Q(Dir / "Pics")}, "Pics_MAXSIZE32"},
      {{"shrink", "--kb", "50", Q(Dir / "Pics")}, "Pics_SIZE50 kB"},
      {{"/s:" + Q(Dir / "Pics"), "/p:32"}, "Pics_SIZE32"},
  };
  test::WritePicture(Dir / "Pics/c.bmp", 40, 30, FIF_BMP);
  test::WriteJpeg(Dir / "Pics/d.jpg", 40, 30);
  for (const TJob& job : jobs) {
    test::WriteTextFile(Dir / job.Folder, "not a folder");
    run = RunPictrim(job.Arguments);
    EXPECT_EQ(run.Status, 1) << job.Folder << ": " << run.Err;
    EXPECT_TRUE(Contains(run.Err, " got no copy: the folder " + Dir / job.Folder +
                                      "/ could not be created (File exists)"))
        << run.Err;
    EXPECT_EQ(test::ReadWholeFile(Dir / job.Folder), "not a folder");
  }
}

TEST_F(PictrimProcess, renameRenamesInPlaceAndPrintsEachFileRenamedAndTheAccount) {
  const std::string folder = Dir / "Cam/";
  for (const char* name :
       {"P1280001.JPG", "notes.jpg", "PICT0001.JPG", "P1000123.JPG", "100_0001.JPG"}) {
    test::WriteJpeg(folder + name, 16, 16);
  }
  SetFileModTime(folder + "P1280001.JPG", TFileTime{1138449600, 0});  // 2006-01-28, midday
  const TRun run = RunPictrim({"rename", "--format", "1", Q(folder)}, "", German);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(FileNames(folder),
            (std::vector<std::string>{"100_0001.JPG", "2006-01-28 0001.JPG", "P1000123.JPG",
                                      "PICT0001.JPG", "notes.jpg"}));
  EXPECT_EQ(run.Out, folder + "P1280001.JPG -> 2006-01-28 0001.JPG\n");
  EXPECT_FALSE(Contains(run.Err, "result:")) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "Letzte Aktion =  Umbenennen von 1 Dateien\n"));
  EXPECT_TRUE(EndsWith(run.Err, "\n1 umbenannt, 4 übersprungen, 0 fehlgeschlagen\n")) << run.Err;
}

TEST_F(PictrimProcess, renameNumbersWhatIsTakenAndARerunAndAnUndoEndCleanly) {
  const std::string folder = Dir / "Cam/";
  // Two files whose new names are one, a photo with its video, and one
  // whose new name is taken in another letter case.
  for (const char* name :
       {"01280001.JPG", "P1280001.JPG", "P1280001.MOV", "2006-01-28 0002.jpg", "P1280002.JPG"}) {
    test::WriteTextFile(folder + name, name);
    SetFileModTime(folder + name, TFileTime{1138449600, 0});
  }
  const std::string before = test::TreeSnapshot(folder);
  const std::string renamed = folder + "01280001.JPG -> 2006-01-28 0001.JPG\n" + folder +
                              "P1280001.JPG -> 2006-01-28 0001-1.JPG\n" + folder +
                              "P1280001.MOV -> 2006-01-28 0001-1.MOV\n" + folder +
                              "P1280002.JPG -> 2006-01-28 0002-1.JPG\n";

  const TRun dry = RunPictrim({"rename", "--dry-run", "--format", "1", Q(folder)});
  EXPECT_EQ(dry.Status, 0);
  EXPECT_EQ(dry.Out, renamed);
  EXPECT_EQ(dry.Err, "4 would be renamed, 1 skipped, 0 would fail\n");
  EXPECT_EQ(test::TreeSnapshot(folder), before);

  TRun run = RunPictrim({"rename", "--format", "1", Q(folder)});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, renamed);
  EXPECT_TRUE(EndsWith(run.Err, "\n4 renamed, 1 skipped, 0 failed\n")) << run.Err;
  EXPECT_EQ(FileNames(folder),
            (std::vector<std::string>{"2006-01-28 0001-1.JPG", "2006-01-28 0001-1.MOV",
                                      "2006-01-28 0001.JPG", "2006-01-28 0002-1.JPG",
                                      "2006-01-28 0002.jpg"}));
  EXPECT_EQ(test::ReadWholeFile(folder + "2006-01-28 0001.JPG"), "01280001.JPG");
  EXPECT_EQ(test::ReadWholeFile(folder + "2006-01-28 0002.jpg"), "2006-01-28 0002.jpg");

  run = RunPictrim({"rename", "--format", "1", Q(folder)}, "", German);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(EndsWith(run.Err, "\n0 umbenannt, 5 übersprungen, 0 fehlgeschlagen\n")) << run.Err;

  // The undo: the names of the last run that renamed come back.
  run = RunPictrim({"rename", "--undo", "--dry-run", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "4 would be renamed, 0 skipped, 0 would fail\n");
  run = RunPictrim({"rename", "--undo", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, folder + "2006-01-28 0002-1.JPG -> P1280002.JPG\n" + folder +
                         "2006-01-28 0001-1.MOV -> P1280001.MOV\n" + folder +
                         "2006-01-28 0001-1.JPG -> P1280001.JPG\n" + folder +
                         "2006-01-28 0001.JPG -> 01280001.JPG\n");
  EXPECT_EQ(test::TreeSnapshot(folder), before);
  run = RunPictrim({"rename", "--undo", Q(folder)}, "", German);
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err,
            "Für " + folder + " gibt es keine Umbenennung, die rückgängig zu machen wäre\n");
  run = RunPictrim({"rename", "--undo", "--format", "1", Q(folder)});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, "rename --undo takes neither --format nor --exif-date")) << run.Err;
}

TEST_F(PictrimProcess, anUndoThatCannotPutANameBackSaysSoAndEndsWithOne) {
  const std::string folder = Dir / "Cam/";
  test::WriteTextFile(folder + "P1280001.JPG", "first");
  test::WriteTextFile(folder + "P1280002.JPG", "second");
  ASSERT_EQ(RunPictrim({"rename", "--format", "2", Q(folder)}).Status, 0);
  test::WriteTextFile(folder + "P1280001.JPG", "taken since");
  const TRun run = RunPictrim({"rename", "--undo", Q(folder)});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(
      Contains(run.Err, " was not given back its old name: " + folder + "P1280001.JPG exists\n"))
      << run.Err;
  EXPECT_TRUE(EndsWith(run.Err, "\n1 renamed, 0 skipped, 1 failed\n")) << run.Err;
  EXPECT_EQ(test::ReadWholeFile(folder + "P1280001.JPG"), "taken since");
  EXPECT_EQ(test::ReadWholeFile(folder + "P1280002.JPG"), "second");
}

TEST_F(PictrimProcess, renameWithExifDateNamesCameraFilesByTheTimeTheyWereTaken) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string folder = Dir / "Cam/";
  fs::create_directories(folder);
  fs::copy_file(test::TestDataDir() + "Canon_40D.jpg", folder + "DSC_0001.JPG");
  fs::copy_file(test::TestDataDir() + "Olympus_C8080WZ.jpg", folder + "P1280001.JPG");

  TRun run = RunPictrim({"rename", "--format", "1", "--dry-run", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "P1280001.JPG -> ")) << run.Out;
  EXPECT_FALSE(Contains(run.Out, "DSC_0001.JPG")) << run.Out;

  run = RunPictrim({"rename", "--format", "2", "--exif-date", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, folder + "DSC_0001.JPG -> 20080530155601.JPG\n" + folder +
                         "P1280001.JPG -> 20061022154429.JPG\n");
  EXPECT_EQ(FileNames(folder),
            (std::vector<std::string>{"20061022154429.JPG", "20080530155601.JPG"}));
}

TEST_F(PictrimProcess, renameWithExifDateFallsBackToTheNameAndTheFileTimeWhereTheDateIsNone) {
  const std::string folder = Dir / "Cam/";
  fs::create_directories(folder);
  // Each file: its name, its DateTimeOriginal, its DateTime.
  const std::vector<std::array<std::string, 3>> files = {
      {"P1280001.JPG", "2019:13:15 10:20:30", ""},                     // month 13
      {"DSC_0002.JPG", "2019:06:00 10:20:30", "2019/06/15 10:20:30"},  // day 00, other form
      {"IMG_0003.JPG", "2019:06:15 10:20:3x", "    :  :     :  :  "},  // a letter, blanks
      {"P1280004.JPG", "2019:06:15 10:20:30:99", "2020:02:29 23:59:59"},
      {"DSC_0005.JPG", std::string(5000, 'A'), "2019:02:29 10:20:30"},  // too long, no leap year
      {"DSC_0006.JPG", "20190615 102030", ""}};                         // another form
  for (const auto& [name, original, dateTime] : files) {
    test::TExifBlock block(name[0] == 'D');
    if (!dateTime.empty()) block.AddAscii(0, 306, dateTime + '\0');
    const int exif = block.AddDirectory();
    block.AddPointer(0, 34665, exif);
    block.AddAscii(exif, 36867, original + '\0');
    test::WriteBytes(folder + name, test::JpegFile({block.App1()}));
    SetFileModTime(folder + name, TFileTime{1138449600, 0});  // 2006-01-28, midday
  }
  const TRun run = RunPictrim({"rename", "--format", "1", "--exif-date", Q(folder)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(EndsWith(run.Err, "\n3 renamed, 3 skipped, 0 failed\n")) << run.Err;
  EXPECT_EQ(FileNames(folder),
            (std::vector<std::string>{"2006-01-28 0001.JPG", "2006-01-28 _0003.JPG",
                                      "2020-02-29 0004.JPG", "DSC_0002.JPG", "DSC_0005.JPG",
                                      "DSC_0006.JPG"}));
}

TEST_F(PictrimProcess, infoListsTheExifOfEachFile) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string file = Dir / "IMG_0001.jpg";
  fs::copy_file(test::TestDataDir() + "Canon_40D.jpg", file);
  test::WriteJpeg(Dir / "plain.jpg", 16, 16);
  const TRun run = RunPictrim({"info", Q(file), Q(Dir / "plain.jpg")});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind(file + "\n[EXIF]\n", 0), 0u) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "  Make = Canon\n"));
  EXPECT_TRUE(Contains(run.Out, "  Model = Canon EOS 40D\n"));
  EXPECT_TRUE(Contains(run.Out, Dir / "plain.jpg\n  Not an EXIF file\n"));
  EXPECT_EQ(run.Err, "");
}

TEST_F(PictrimProcess, infoNamesTheColourProfileAndTheXmpPacketLength) {
  // A profile with a 'desc' tag at offset 144: type, reserved, count, text.
  const std::string text = "Display P3";
  std::string profile(128, '\0');
  profile += "\0\0\0\1desc\0\0\0\x90\0\0\0"s + static_cast<char>(12 + text.size() + 1);
  profile += "desc\0\0\0\0\0\0\0"s + static_cast<char>(text.size() + 1) + text + '\0';
  const auto segment = [](char Marker, const std::string& Payload) {
    return "\xff"s + Marker + static_cast<char>((Payload.size() + 2) >> 8) +
           static_cast<char>((Payload.size() + 2) & 0xFF) + Payload;
  };
  const std::string packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
  const std::string file = Dir / "p3.jpg";
  test::WriteTextFile(file, "\xff\xd8"s + segment('\xe0', "JFIF\0"s) +
                                segment('\xe2', "ICC_PROFILE\0\1\1"s + profile) +
                                segment('\xe1', "http://ns.adobe.com/xap/1.0/\0"s + packet) +
                                "\xff\xd9"s);
  const TRun run = RunPictrim({"info", Q(file)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, file + "\n[Colour profile]\n  Description = Display P3\n[XMP]\n  Packet = " +
                         std::to_string(packet.size()) + " bytes\n\n");
}

TEST_F(PictrimProcess, infoListsTheMakerNoteAndTheIptcEntries) {
  PICTRIM_REQUIRE_TESTDATA();
  const std::string camera = Dir / "ixus.jpg";
  fs::copy_file(test::TestDataDir() + "canon-ixus.jpg", camera);
  // A header of one APP13 segment with two datasets: object name and city.
  const std::string iptc = Dir / "iptc.jpg";
  const std::string payload =
      "Photoshop 3.0\0008BIM\x04\x04\0\0\0\0\0\x12"
      "\x1c\x02\x05\0\x06Sunset\x1c\x02\x5a\0\x02Ri"s;
  const std::string segment = "\xff\xed\0"s + static_cast<char>(payload.size() + 2) + payload;
  test::WriteTextFile(iptc, "\xff\xd8"s + segment + "\xff\xd9"s);
  const TRun run = RunPictrim({"info", Q(camera), Q(iptc)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "[Maker note]\n  Macro mode = Normal\n")) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "  OwnerName = \"Tom Rowan and Sarah Clifton\"\n"));
  EXPECT_TRUE(Contains(run.Out, iptc + "\n[IPTC]\n  Object name = Sunset\n  City = Ri\n"))
      << run.Out;
}

TEST_F(PictrimProcess, theCommittedSamplesAreSmallAndEveryJobTakesThemCleanly) {
  uintmax_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(PICTRIM_SAMPLES_DIR)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  EXPECT_LE(total, 2u * 1024 * 1024);
  const std::string copy = Dir / "samples/";
  fs::copy(PICTRIM_SAMPLES_DIR, copy, fs::copy_options::recursive);

  TRun run = RunPictrim({"resize", "--edge", "800", Q(copy)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "[7/7] ")) << run.Err;
  EXPECT_EQ(PictureSize(Dir / "samples_MAXSIZE800/IMG_0042.jpg"), QSize(600, 800));
  EXPECT_EQ(PictureSize(Dir / "samples_MAXSIZE800/Urlaub/Karte.jpg"), QSize(800, 600));

  run = RunPictrim({"/s:" + Q(copy), "/p:400"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string output = Dir / "samples_SIZE400/";
  EXPECT_EQ(PictureSize(output + "Scan.jpg"), QSize(400, 300));
  for (const char* name : {"P1280001.JPG", "IMG_0042.JPG", "07150003.JPG", "Urlaub/P7140012.JPG"}) {
    TMetadata metadata;
    ASSERT_TRUE(metadata.ReadMetadata(output + name)) << name;
    EXPECT_EQ(metadata.ExifInfo()->MakeText(), "Pictrim") << name;
    EXPECT_EQ(std::max(metadata.ExifInfo()->StoredWidth(), metadata.ExifInfo()->StoredHeight()),
              400)
        << name;
  }

  run = RunPictrim({"rename", "--format", "6", Q(copy)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "Last action =  4 files renamed\n")) << run.Err;
}

TEST_F(PictrimProcess, helpVersionAndWrongArgumentsAnswerWithoutRunningAnything) {
  TRun run = RunPictrim({"--version"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("Pictrim 1.40\nCopyright", 0), 0u) << run.Out;
  EXPECT_TRUE(Contains(run.Out, "License GPL-3.0-or-later")) << run.Out;
  run = RunPictrim({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out.rfind("Usage:", 0), 0u);
  run = RunPictrim({});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, "Usage:"));
  run = RunPictrim({"resize", "--edge", "10", "--fast", Q(Dir.Path())});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "pictrim: resize: unknown option --fast\n");
  for (const QStringList& args : {QStringList{"resize", "--edge", "10", Q(Dir / "nope")},
                                  QStringList{"shrink", "--kb", "10", Q(Dir / "nope")},
                                  QStringList{"rename", "--format", "2", Q(Dir / "nope")},
                                  QStringList{"/s:" + Q(Dir / "nope"), "/p:10"}}) {
    run = RunPictrim(args);
    EXPECT_EQ(run.Status, 2) << args.join(' ').toStdString();
    EXPECT_EQ(run.Err, "pictrim: folder not found: " + Dir / "nope/\n");
    EXPECT_EQ(Lines(run.Err), 1);
  }
  run = RunPictrim({"info", Q(Dir / "missing.jpg")});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Err, "pictrim: file not found: " + Dir / "missing.jpg\n");
  run = RunPictrim({"/s:" + Q(Dir.Path()), "/p:x"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(Lines(run.Err), 1);
  EXPECT_FALSE(fs::exists(Dir / "nope"));
}

// The last line of a text.
std::string LastLine(const std::string& Text) {
  const size_t end = Text.empty() || Text.back() != '\n' ? Text.size() : Text.size() - 1;
  const size_t start = Text.rfind('\n', end == 0 ? 0 : end - 1);
  return Text.substr(start == std::string::npos ? 0 : start + 1,
                     end - (start == std::string::npos ? 0 : start + 1));
}

TEST_F(PictrimProcess, everyJobEndsWithTheAccountOfItsFilesAsItsLastLine) {
  const std::string source = Dir / "Mix/";
  test::WriteJpeg(source + "a.jpg", 120, 90);
  // a.png's copy, named apart from a.jpg's, would take the name of the copy
  // of a.exPNG.jpg.
  test::WritePicture(source + "a.png", 90, 120, FIF_PNG);
  test::WriteJpeg(source + "a.exPNG.jpg", 90, 120);
  test::WritePicture(source + "sub/b.bmp", 100, 100, FIF_BMP);
  test::WriteTextFile(source + "clip.mp4", "no picture");
  test::WriteTextFile(source + "notes.txt", "no picture");
  TRun run = RunPictrim({"resize", "--edge", "64", Q(source)});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_EQ(LastLine(run.Err), "3 written, 2 skipped, 1 failed");
  EXPECT_TRUE(Contains(run.Err, "\n2 not pictures\n")) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "File " + source + "a.png got no copy: its copy's name"))
      << run.Err;

  // The second run says why nothing was written; the PNG is named again.
  run = RunPictrim({"resize", "--edge", "64", Q(source)});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Err, "\n3 skipped: their copies exist (--overwrite replaces them)\n"))
      << run.Err;
  EXPECT_EQ(LastLine(run.Err), "0 written, 5 skipped, 1 failed");

  fs::remove(source + "a.png");
  fs::remove(source + "a.exPNG.jpg");
  run = RunPictrim({"shrink", "--kb", "50", Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(LastLine(run.Err), "2 written, 2 skipped, 0 failed");
  run = RunPictrim({"/s:" + Q(source), "/p:50"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  run = RunPictrim({"/s:" + Q(source), "/p:50"});
  EXPECT_EQ(LastLine(run.Err), "0 written, 2 skipped, 0 failed");
  EXPECT_TRUE(Contains(run.Err, "2 skipped: their copies exist (/o:yes replaces them)\n"));
}

TEST_F(PictrimProcess, aCutJpegIsCopiedNamedAndGivesStatusOne) {
  const std::string source = Dir / "Cut/";
  test::WriteJpeg(source + "cut.jpg", 800, 600);
  fs::resize_file(source + "cut.jpg", fs::file_size(source + "cut.jpg") / 2);
  const TRun run = RunPictrim({"resize", "--edge", "200", Q(source)});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Err, "File " + source + "cut.jpg is damaged (")) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "1 written from a damaged source: the copy may be incomplete\n"));
  EXPECT_EQ(LastLine(run.Err), "1 written, 0 skipped, 0 failed");
  EXPECT_EQ(PictureSize(Dir / "Cut_MAXSIZE200/cut.jpg"), QSize(200, 150));
}

// Mended: the program's own lines stayed English under a German locale.
TEST_F(PictrimProcess, aGermanLocaleGetsTheProgramsOwnLinesInGerman) {
  const std::string source = Dir / "Kaputt/";
  test::WriteJpeg(source + "cut.jpg", 800, 600);
  fs::resize_file(source + "cut.jpg", fs::file_size(source + "cut.jpg") / 2);
  const TRun run = RunPictrim({"resize", "--edge", "200", Q(source)}, "", German);
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(Contains(run.Err, "Datei " + source +
                                    "cut.jpg ist beschädigt (vorzeitiges Ende oder fehlerhafte "
                                    "Daten): ihre Kopie kann unvollständig sein\n"))
      << run.Err;
  EXPECT_EQ(LastLine(run.Err), "1 geschrieben, 0 übersprungen, 0 fehlgeschlagen");
}

// Mended: info printed a maker note's raw bytes, which garbled the output
// and could send a terminal commands.
TEST_F(PictrimProcess, infoShowsBytesThatAreNoUtf8AndControlCharactersAsHex) {
  test::TExifBlock exif(false);
  exif.AddAscii(0, 0x010F, std::string("Bad\xFFName\x1B[2J", 12) + '\0');  // Make
  const std::string file = Dir / "odd.jpg";
  test::WriteBytes(file, test::JpegFile({exif.App1()}));
  const TRun run = RunPictrim({"info", Q(file)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(Contains(run.Out, "Make = Bad\\xFFName")) << run.Out;
  EXPECT_TRUE(QString::fromUtf8(run.Out).toUtf8().toStdString() == run.Out) << "not UTF-8";
  EXPECT_EQ(run.Out.find('\x1B'), std::string::npos);
}

TEST_F(PictrimProcess, theFolderOfARelativeOrDottedArgumentGoesBesideTheSourceNeverInsideIt) {
  const std::string source = Dir / "Fotos/";
  test::WriteJpeg(source + "a.jpg", 120, 90);
  TRun run = RunPictrim({"resize", "--edge", "60", "."}, source);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Dir / "Fotos_MAXSIZE60/\n");
  EXPECT_TRUE(fs::exists(Dir / "Fotos_MAXSIZE60/a.jpg"));
  run = RunPictrim({"shrink", "--kb", "30", "./Fotos//"}, Dir.Path());
  EXPECT_EQ(run.Out, Dir / "Fotos_SIZE30 kB/\n");
  run = RunPictrim({"/s:../Fotos/", "/p:40"}, source);
  EXPECT_EQ(run.Out, Dir / "Fotos_SIZE40/\n");
  // Nothing was written into the source folder.
  for (const auto& entry : fs::recursive_directory_iterator(source))
    EXPECT_EQ(entry.path().filename(), "a.jpg") << entry.path();
}

TEST_F(PictrimProcess, wrongArgumentsAreNamedForWhatTheyAre) {
  test::WriteJpeg(Dir / "one.jpg", 16, 16);
  for (const QStringList& args : {QStringList{"resize", "--edge", "10", Q(Dir / "one.jpg")},
                                  QStringList{"shrink", "--kb", "10", Q(Dir / "one.jpg/")},
                                  QStringList{"rename", "--format", "2", Q(Dir / "one.jpg")},
                                  QStringList{"/s:" + Q(Dir / "one.jpg"), "/p:10"}}) {
    const TRun run = RunPictrim(args);
    EXPECT_EQ(run.Status, 2) << args.join(' ').toStdString();
    EXPECT_EQ(run.Err, "pictrim: " + Dir / "one.jpg is a file, not a folder\n");
  }
  for (const char* word : {"foo", "help"}) {
    const TRun run = RunPictrim({word});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "pictrim: unknown command '" + std::string(word) +
                           "' (pictrim --help lists the commands)\n");
  }
  // info lists what it can and names every argument that is no file.
  const TRun run = RunPictrim({"info", Q(Dir / "missing.jpg"), Q(Dir / "one.jpg"), Q(Dir.Path())});
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Out.rfind(Dir / "one.jpg\n", 0), 0u) << run.Out;
  EXPECT_EQ(run.Err, "pictrim: file not found: " + Dir / "missing.jpg\n" +
                         "pictrim: " + Dir.Path() + " is a folder, not a file\n");
  // A folder is reason enough for status 2.
  const TRun folder = RunPictrim({"info", Q(Dir / "one.jpg"), Q(Dir.Path())});
  EXPECT_EQ(folder.Status, 2);
  EXPECT_EQ(folder.Err, "pictrim: " + Dir.Path() + " is a folder, not a file\n");
}

TEST_F(PictrimProcess, anOutputFolderOfOnesOwnTakesTheMirroredTreeButNeverInsideTheSource) {
  const std::string source = Dir / "Fotos/";
  test::WriteJpeg(source + "a.jpg", 300, 200);
  test::WriteJpeg(source + "sub/b.jpg", 200, 300);
  const std::string before = test::TreeSnapshot(source);
  TRun run = RunPictrim({"resize", "--edge", "100", "--out", Q(Dir / "web"), Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Dir / "web/\n");
  EXPECT_EQ(PictureSize(Dir / "web/a.jpg"), QSize(100, 66));
  EXPECT_EQ(PictureSize(Dir / "web/sub/b.jpg"), QSize(66, 100));
  run = RunPictrim({"shrink", "--kb", "5", "--strict", "--out", Q(Dir / "mail"), Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_LE(fs::file_size(Dir / "mail/sub/b.jpg"), 5u * 1024);
  for (const std::string& inside : {source, source + "web", source + "sub/../new"}) {
    run = RunPictrim({"resize", "--edge", "100", "--out", Q(inside), Q(source)});
    EXPECT_EQ(run.Status, 2) << inside;
    EXPECT_TRUE(Contains(run.Err, "lies inside the source folder " + source)) << run.Err;
    // Refused before the job begins: the job itself says nothing.
    EXPECT_FALSE(Contains(run.Err, "refused to start")) << run.Err;
  }
  EXPECT_EQ(test::TreeSnapshot(source), before);
}

TEST_F(PictrimProcess, aSmallPictureKeepsItsSizeWithNoEnlargeAndTheQualityIsTheChosenOne) {
  const std::string source = Dir / "Small/";
  test::WriteJpeg(source + "small.jpg", 300, 200);
  TRun run = RunPictrim({"resize", "--edge", "1024", "--no-enlarge", "--quality", "30", Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string copy = Dir / "Small_MAXSIZE1024/small.jpg";
  EXPECT_EQ(PictureSize(copy), QSize(300, 200));
  const uintmax_t low = fs::file_size(copy);
  run = RunPictrim({"resize", "--edge", "1024", "--no-enlarge", "--overwrite", Q(source)});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_GT(fs::file_size(copy), low);
}

}  // namespace
}  // namespace pictrim
