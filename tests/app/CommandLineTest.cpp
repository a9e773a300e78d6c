#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "engine/Resize.h"
#include "tests/common/Languages.h"
#include "tests/common/TempDir.h"

namespace pictrim {
namespace {

using Args = std::vector<std::string>;

TCommandLine Parse(const Args& A) {
  return ParseCommandLine(A);
}

// The working folder, ending with the delimiter.
std::string Cwd() {
  std::string folder = std::filesystem::current_path().string();
  return folder.back() == '/' ? folder : folder + '/';
}

// The error of a wrong command line in English, "" when it is not wrong.
std::string ErrorOf(const Args& A, TLanguage Language = TLanguage::English) {
  const test::TBuiltInTexts texts(Language);
  const TCommandLine c = Parse(A);
  return c.Kind == TCommandKind::Wrong ? c.Error : std::string();
}

TEST(CommandLine, noArgumentsMeanTheWindowAndHelpAndVersionAreRecognised) {
  EXPECT_EQ(Parse({}).Kind, TCommandKind::Window);
  EXPECT_EQ(Parse({"--help"}).Kind, TCommandKind::Help);
  EXPECT_EQ(Parse({"-h"}).Kind, TCommandKind::Help);
  EXPECT_EQ(Parse({"resize", "--help"}).Kind, TCommandKind::Help);
  EXPECT_EQ(Parse({"--version"}).Kind, TCommandKind::Version);
  EXPECT_EQ(VersionText().substr(0, VersionText().find('\n')), "Pictrim 1.40");
  EXPECT_NE(VersionText().find("GPL-3.0-or-later"), std::string::npos);
  for (const char* word :
       {"/s:",      "/d:",         "/o:",      "/p:",       "resize",    "shrink",     "rename",
        "info",     "--width",     "--height", "--edge",    "--kb",      "--text",     "--top",
        "--bottom", "--overwrite", "--format", "--version", "--dry-run", "--exif-date"}) {
    EXPECT_NE(UsageText().find(word), std::string::npos) << word;
  }
}

TEST(CommandLine, switchesKeepTheLetterCaseOfPathsAndGetOneClosingDelimiter) {
  const TCommandLine c = Parse({"/s:/Fotos/Urlaub", "/D:/Klein/", "/o:JA", "/P:800"});
  EXPECT_EQ(c.Kind, TCommandKind::Unattended);
  EXPECT_EQ(c.SourceFolder, "/Fotos/Urlaub/");
  EXPECT_EQ(c.OutputFolder, "/Klein/");
  EXPECT_TRUE(c.Overwrite);
  EXPECT_EQ(c.PixelSize, 800u);
  EXPECT_EQ(Parse({"/s:/Fotos/", "/p:1"}).SourceFolder, "/Fotos/");
  EXPECT_EQ(Parse({"/s:rel/Dir", "/p:1"}).SourceFolder, Cwd() + "rel/Dir/");
  EXPECT_EQ(Parse({"/s:/a", "/p:1"}).OutputFolder, "");
}

TEST(CommandLine, overwriteNeedsJaYOrYesInAnyCase) {
  for (const char* yes : {"/o:YES", "/o:yes", "/o:Ja", "/o:y", "/O:Y"}) {
    EXPECT_TRUE(Parse({"/s:/a", "/p:9", yes}).Overwrite) << yes;
  }
  for (const char* no : {"/o:1", "/o:no", "/o:", "/o:yess", "/o:true"}) {
    EXPECT_FALSE(Parse({"/s:/a", "/p:9", no}).Overwrite) << no;
  }
}

TEST(CommandLine, otherSwitchesAreIgnoredAndALaterSwitchReplacesAnEarlierOne) {
  const TCommandLine c = Parse(
      {"/x:1", "/s:/first", "ab", "/p:100", "/s:/second", "/o:yes", "/o:no", "/p:200", "foo"});
  EXPECT_EQ(c.Kind, TCommandKind::Unattended);
  EXPECT_EQ(c.SourceFolder, "/second/");
  EXPECT_FALSE(c.Overwrite);
  EXPECT_EQ(c.PixelSize, 200u);
}

TEST(CommandLine, anUnattendedRunNeedsASourceAndASizeItCanWrite) {
  EXPECT_EQ(ErrorOf({"/p:800"}), "no source folder given (/s:FOLDER)");
  EXPECT_EQ(ErrorOf({"/s:", "/p:800"}), "no source folder given (/s:FOLDER)");
  EXPECT_EQ(ErrorOf({"/s:/a"}), "no size given (/p:PIXELS)");
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:abc"}),
            "/p: must be a whole number of pixels from 1 to 10000, not \"abc\"");
  EXPECT_NE(ErrorOf({"/s:/a", "/p:-5"}), "");
  // A size given but out of range is named as such, not as missing.
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:0"}),
            "/p: must be a whole number of pixels from 1 to 10000, not \"0\"");
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:10001"}),
            "/p: must be a whole number of pixels from 1 to 10000, not \"10001\"");
  EXPECT_NE(ErrorOf({"/s:/a", "/p:99999999999999"}), "");
  EXPECT_EQ(Parse({"/s:/a", "/p:10000"}).PixelSize, 10000u);
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:5", "--fast"}), "unknown option --fast");
}

TEST(CommandLine, resizeTakesOneSizeModeAndOneFolder) {
  TCommandLine c = Parse({"resize", "--width", "800", "/Fotos"});
  EXPECT_EQ(c.Kind, TCommandKind::Resize);
  EXPECT_EQ(c.MaxWidth, 800u);
  EXPECT_EQ(c.MaxHeight, 0u);
  EXPECT_EQ(c.Folder, "/Fotos/");
  EXPECT_FALSE(c.Overwrite);
  EXPECT_EQ(c.PictureText, "");
  c = Parse({"resize", "/Fotos/", "--height=600", "--overwrite"});
  EXPECT_EQ(c.MaxWidth, 0u);
  EXPECT_EQ(c.MaxHeight, 600u);
  EXPECT_TRUE(c.Overwrite);
  c = Parse({"resize", "--edge", "10000", "--", "-odd"});
  EXPECT_EQ(c.MaxWidth, 10000u);
  EXPECT_EQ(c.MaxHeight, 10000u);
  EXPECT_EQ(c.Folder, Cwd() + "-odd/");
  EXPECT_EQ(ErrorOf({"resize", "/a"}), "resize needs exactly one of --width, --height or --edge");
  EXPECT_EQ(ErrorOf({"resize", "--width", "8", "--edge", "8", "/a"}),
            "resize needs exactly one of --width, --height or --edge");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "0", "/a"}),
            "--edge must be a whole number from 1 to 10000, not \"0\"");
  EXPECT_NE(ErrorOf({"resize", "--edge", "10001", "/a"}), "");
  EXPECT_NE(ErrorOf({"resize", "--edge", "8x", "/a"}), "");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "8"}), "resize needs one folder");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "8", "/a", "/b"}), "resize needs one folder");
  // An empty folder is no folder (it would become the root).
  EXPECT_EQ(ErrorOf({"resize", "--edge", "8", ""}), "resize needs one folder");
  EXPECT_EQ(ErrorOf({"resize", "/a", "--edge"}), "resize: --edge needs a value");
  EXPECT_EQ(ErrorOf({"resize", "--kb", "8", "/a"}), "resize: unknown option --kb");
  EXPECT_EQ(ErrorOf({"resize", "--top=1", "--edge", "8", "/a"}), "resize: --top takes no value");
}

TEST(CommandLine, aStampTextGoesToTheTopUnlessTheBottomIsAsked) {
  EXPECT_EQ(Parse({"resize", "--edge", "8", "--text", "(c) Anna", "/a"}).TextPosition, 1);
  EXPECT_EQ(Parse({"resize", "--edge", "8", "--text", "(c) Anna", "/a"}).PictureText, "(c) Anna");
  EXPECT_EQ(Parse({"resize", "--edge", "8", "--text=x", "--bottom", "/a"}).TextPosition, 2);
  EXPECT_EQ(Parse({"shrink", "--kb", "8", "--text", "x", "--top", "--bottom", "/a"}).TextPosition,
            3);
  EXPECT_EQ(Parse({"shrink", "--kb", "8", "--text", "x", "--top", "/a"}).TextPosition, 1);
}

TEST(CommandLine, shrinkTakesKilobytesFromOneTo100000) {
  TCommandLine c = Parse({"shrink", "--kb", "200", "--overwrite", "/Fotos"});
  EXPECT_EQ(c.Kind, TCommandKind::Shrink);
  EXPECT_EQ(c.TargetKB, 200u);
  EXPECT_TRUE(c.Overwrite);
  EXPECT_EQ(Parse({"shrink", "--kb", "1", "/a"}).TargetKB, 1u);
  EXPECT_EQ(Parse({"shrink", "--kb", "100000", "/a"}).TargetKB, 100000u);
  EXPECT_NE(ErrorOf({"shrink", "--kb", "0", "/a"}), "");
  EXPECT_NE(ErrorOf({"shrink", "--kb", "100001", "/a"}), "");
  EXPECT_EQ(ErrorOf({"shrink", "/a"}), "shrink needs --kb");
  EXPECT_EQ(ErrorOf({"shrink", "--edge", "5", "/a"}), "shrink: unknown option --edge");
}

TEST(CommandLine, renameTakesFormat126AndAFolder) {
  for (const char* format : {"1", "2", "6"}) {
    const TCommandLine c = Parse({"rename", "--format", format, "/Fotos"});
    EXPECT_EQ(c.Kind, TCommandKind::Rename);
    EXPECT_EQ(c.RenameMode, format[0] - '0');
    EXPECT_EQ(c.Folder, "/Fotos/");
  }
  EXPECT_EQ(ErrorOf({"rename", "--format", "3", "/a"}), "--format must be 1, 2 or 6, not \"3\"");
  EXPECT_EQ(ErrorOf({"rename", "/a"}), "rename needs --format 1, 2 or 6");
  EXPECT_EQ(ErrorOf({"rename", "--format", "1"}), "rename needs one folder");
  EXPECT_EQ(ErrorOf({"rename", "--format", "1", ""}), "rename needs one folder");
  EXPECT_EQ(ErrorOf({"rename", "--format", "1", "--overwrite", "/a"}),
            "rename: unknown option --overwrite");
}

TEST(CommandLine, anUndoTakesAFolderAndADryRunButNoFormat) {
  TCommandLine c = Parse({"rename", "--undo", "/a"});
  EXPECT_EQ(c.Kind, TCommandKind::Rename);
  EXPECT_TRUE(c.Undo);
  EXPECT_FALSE(c.DryRun);
  EXPECT_EQ(c.Folder, "/a/");
  c = Parse({"rename", "--dry-run", "--undo", "/a"});
  EXPECT_TRUE(c.Undo);
  EXPECT_TRUE(c.DryRun);
  EXPECT_FALSE(Parse({"rename", "--format", "1", "/a"}).Undo);
  EXPECT_EQ(ErrorOf({"rename", "--undo", "--format", "1", "/a"}),
            "rename --undo takes neither --format nor --exif-date");
  EXPECT_EQ(ErrorOf({"rename", "--undo", "--exif-date", "/a"}),
            "rename --undo takes neither --format nor --exif-date");
  EXPECT_EQ(ErrorOf({"rename", "--undo"}), "rename needs one folder");
  EXPECT_EQ(ErrorOf({"rename", "--undo=yes", "/a"}), "rename: --undo takes no value");
  EXPECT_EQ(ErrorOf({"shrink", "--kb", "5", "--undo", "/a"}), "shrink: unknown option --undo");
}

TEST(CommandLine, renameTakesADryRunAndTheTimeTakenAsSwitches) {
  TCommandLine c = Parse({"rename", "--format", "2", "/a"});
  EXPECT_FALSE(c.DryRun);
  EXPECT_FALSE(c.ExifDate);
  c = Parse({"rename", "--dry-run", "--format", "2", "--exif-date", "/a"});
  EXPECT_EQ(c.Kind, TCommandKind::Rename);
  EXPECT_TRUE(c.DryRun);
  EXPECT_TRUE(c.ExifDate);
  EXPECT_EQ(c.Folder, "/a/");
  EXPECT_EQ(ErrorOf({"rename", "--format", "2", "--dry-run=yes", "/a"}),
            "rename: --dry-run takes no value");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "5", "--dry-run", "/a"}),
            "resize: unknown option --dry-run");
  EXPECT_EQ(ErrorOf({"shrink", "--kb", "5", "--exif-date", "/a"}),
            "shrink: unknown option --exif-date");
}

TEST(CommandLine, infoTakesOneOrMoreFiles) {
  const TCommandLine c = Parse({"info", "a.jpg", "B.JPG"});
  EXPECT_EQ(c.Kind, TCommandKind::Info);
  EXPECT_EQ(c.Files, (std::vector<std::string>{"a.jpg", "B.JPG"}));
  EXPECT_EQ(ErrorOf({"info"}), "info needs at least one file");
  EXPECT_EQ(ErrorOf({"info", "--all", "a.jpg"}), "info: unknown option --all");
}

// Relative folders, "." and ".." steps and doubled or closing delimiters
// never put the output folder inside the source folder.
TEST(CommandLine, folderArgumentsAreMadeAbsoluteAndPlain) {
  const std::string cwd = Cwd();
  const std::string parent = std::filesystem::current_path().parent_path().string() + "/";
  for (const auto& [given, whole] :
       std::vector<std::pair<std::string, std::string>>{{".", cwd},
                                                        {"./", cwd},
                                                        {"./S//", cwd + "S/"},
                                                        {"S/./T/../U", cwd + "S/U/"},
                                                        {"..", parent},
                                                        {"/Fotos//Urlaub///", "/Fotos/Urlaub/"},
                                                        {"//", "/"}}) {
    EXPECT_EQ(Parse({"resize", "--edge", "8", given}).Folder, whole) << given;
    EXPECT_EQ(Parse({"shrink", "--kb", "8", given}).Folder, whole) << given;
    EXPECT_EQ(Parse({"rename", "--format", "1", given}).Folder, whole) << given;
    EXPECT_EQ(Parse({"/s:" + given, "/d:" + given, "/p:8"}).SourceFolder, whole) << given;
    EXPECT_EQ(Parse({"/s:" + given, "/d:" + given, "/p:8"}).OutputFolder, whole) << given;
  }
  EXPECT_EQ(ResizeOutputFolder(Parse({"resize", "--edge", "800", "."}).Folder, 800, 800),
            cwd.substr(0, cwd.size() - 1) + "_MAXSIZE800/");
}

TEST(CommandLine, aWordThatIsNoCommandIsNamedWithAPointerToTheHelp) {
  for (const char* word : {"foo", "help", "Resize"}) {
    EXPECT_EQ(ErrorOf({word}),
              "unknown command '" + std::string(word) + "' (pictrim --help lists the commands)");
    EXPECT_EQ(ErrorOf({word, "--edge", "8", "/a"}).rfind("unknown command '", 0), 0u);
  }
  // An option on its own is an unknown option, not an unknown command.
  EXPECT_EQ(ErrorOf({"--fast"}), "unknown option --fast");
  EXPECT_EQ(ErrorOf({"-f"}), "unknown option -f");
  // Among the switches of the unattended run other words are passed over.
  EXPECT_EQ(Parse({"/s:/a", "/p:8", "foo"}).Kind, TCommandKind::Unattended);
  EXPECT_EQ(Parse({"foo", "/s:/a", "/p:8"}).Kind, TCommandKind::Unattended);
}

// "pictrim FOLDER...", as a file manager starts the program on folders: the
// window, with the folders to choose from; anything that is no folder named.
TEST(CommandLine, foldersAloneOpenTheWindowWithThem) {
  test::TTempDir dir;
  std::filesystem::create_directories(dir / "Fotos 2024");
  std::filesystem::create_directories(dir / "more");
  test::WriteTextFile(dir / "a.jpg", "x");
  const TCommandLine one = Parse({dir / "Fotos 2024"});
  EXPECT_EQ(one.Kind, TCommandKind::Window);
  EXPECT_EQ(one.OpenFolders, Args{dir / "Fotos 2024/"});
  const TCommandLine two = Parse({dir / "Fotos 2024/", dir / "more/../more"});
  EXPECT_EQ(two.Kind, TCommandKind::Window);
  EXPECT_EQ(two.OpenFolders, (Args{dir / "Fotos 2024/", dir / "more/"}));
  EXPECT_EQ(Parse({"."}).OpenFolders, Args{Cwd()});
  EXPECT_EQ(ErrorOf({dir / "more", dir / "gone"}), "folder not found: " + dir / "gone");
  EXPECT_EQ(ErrorOf({"/tmp/Fotos-that-are-not-there"}),
            "folder not found: /tmp/Fotos-that-are-not-there");
  EXPECT_EQ(ErrorOf({dir / "more", dir / "a.jpg"}), dir / "a.jpg" + " is a file, not a folder");
  EXPECT_EQ(ErrorOf({dir / "a.jpg"}, TLanguage::German),
            dir / "a.jpg" + " ist eine Datei, kein Ordner");
  EXPECT_TRUE(Parse({}).OpenFolders.empty());
}

// A German locale gets the answers in German, with the arguments as given.
TEST(CommandLine, wrongArgumentsAreAnsweredInTheLanguageInUse) {
  const TLanguage german = TLanguage::German;
  EXPECT_EQ(ErrorOf({"shrink", "/a"}, german), "shrink braucht --kb");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "0", "/a"}, german),
            "--edge muss eine ganze Zahl von 1 bis 10000 sein, nicht \"0\"");
  EXPECT_EQ(ErrorOf({"resize", "/a", "--edge"}, german), "resize: --edge braucht einen Wert");
  EXPECT_EQ(ErrorOf({"foo"}, german),
            "unbekannter Befehl 'foo' (pictrim --help nennt die Befehle)");
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:%1"}, german),
            "/p: muss eine ganze Zahl von Pixeln von 1 bis 10000 sein, nicht \"%1\"");
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:%1"}),
            "/p: must be a whole number of pixels from 1 to 10000, not \"%1\"");
}

TEST(CommandLine, theJobsTakeTheirChoicesAndOnlyTheirOwn) {
  TCommandLine c = Parse({"resize", "--edge", "800", "--quality", "85", "--no-enlarge", "--out",
                          "/Klein//neu", "/Fotos"});
  ASSERT_EQ(c.Kind, TCommandKind::Resize);
  EXPECT_EQ(c.Choices.Quality, 85);
  EXPECT_TRUE(c.Choices.NoEnlarge);
  EXPECT_FALSE(c.Choices.StrictSize);
  EXPECT_FALSE(c.Choices.Sharp);
  EXPECT_EQ(c.OutputFolder, "/Klein/neu/");
  EXPECT_TRUE(Parse({"resize", "--edge", "800", "--sharp", "/Fotos"}).Choices.Sharp);
  c = Parse({"shrink", "--kb", "200", "--strict", "--quality=1", "--sharp", "/Fotos"});
  ASSERT_EQ(c.Kind, TCommandKind::Shrink);
  EXPECT_TRUE(c.Choices.StrictSize);
  EXPECT_TRUE(c.Choices.Sharp);
  EXPECT_EQ(c.Choices.Quality, 1);
  EXPECT_EQ(c.OutputFolder, "");
  // Without them, the classic behaviour.
  c = Parse({"resize", "--edge", "800", "/Fotos"});
  EXPECT_EQ(c.Choices.Quality, 0);
  EXPECT_FALSE(c.Choices.NoEnlarge);
  EXPECT_EQ(Parse({"resize", "--edge", "8", "--quality", "100", "/a"}).Choices.Quality, 100);
  for (const char* quality : {"0", "101", "x", "-5", ""})
    EXPECT_EQ(
        ErrorOf({"resize", "--edge", "8", "--quality", quality, "/a"}),
        "--quality must be a whole number from 1 to 100, not \"" + std::string(quality) + "\"");
  EXPECT_EQ(ErrorOf({"resize", "--edge", "8", "--strict", "/a"}),
            "resize: unknown option --strict");
  EXPECT_EQ(ErrorOf({"shrink", "--kb", "8", "--no-enlarge", "/a"}),
            "shrink: unknown option --no-enlarge");
  EXPECT_EQ(ErrorOf({"rename", "--format", "1", "--out", "/b", "/a"}),
            "rename: unknown option --out");
  EXPECT_EQ(ErrorOf({"rename", "--format", "1", "--sharp", "/a"}),
            "rename: unknown option --sharp");
  EXPECT_EQ(ErrorOf({"shrink", "--kb", "8", "--out=", "/a"}), "--out needs a folder");
  // Of two wrong options the first is named.
  EXPECT_EQ(ErrorOf({"shrink", "--kb", "8", "--quality", "0", "--out=", "/a"}),
            "--quality must be a whole number from 1 to 100, not \"0\"");
  for (const char* word : {"--quality", "--no-enlarge", "--strict", "--sharp", "--out"})
    EXPECT_NE(UsageText().find(word), std::string::npos) << word;
  // What a kilobyte is, and how far above the target a copy may lie.
  EXPECT_NE(UsageText().find("a kB is 1024 bytes"), std::string::npos);
  EXPECT_NE(UsageText().find("up to 1 % (at least 1 kB) above N unless --strict"),
            std::string::npos);
}

// The help states the range the parser takes, whatever it is; it is the
// range of the JPEG batch, so /p: has one range for both batches.
TEST(CommandLine, theHelpAndTheParserAgreeOnTheRangeOfTheEdge) {
  const std::string range = "PIXELS (1 to " + std::to_string(MaxSwitchPixels) + ")";
  EXPECT_NE(UsageText().find(range), std::string::npos) << UsageText();
  EXPECT_EQ(Parse({"/s:/a", "/p:1"}).PixelSize, 1u);
  EXPECT_EQ(Parse({"/s:/a", "/p:" + std::to_string(MaxSwitchPixels)}).PixelSize, MaxSwitchPixels);
  EXPECT_EQ(ErrorOf({"/s:/a", "/p:" + std::to_string(MaxSwitchPixels + 1)}),
            "/p: must be a whole number of pixels from 1 to 10000, not \"10001\"");
  EXPECT_EQ(MaxSwitchPixels, MaxCommandLineEdge);
  for (const char* status : {"130", "143"})
    EXPECT_NE(UsageText().find(status), std::string::npos) << status;
}

}  // namespace
}  // namespace pictrim
