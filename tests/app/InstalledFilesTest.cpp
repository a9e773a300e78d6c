// The files installed beside the program that describe its command line: the
// manual page must name every command and option that "--help" names (and no
// option that is gone), and the bash completion must offer them.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "tests/common/TempDir.h"

namespace pictrim {
namespace {

namespace fs = std::filesystem;
using TWords = std::set<std::string>;

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TWords Matches(const std::string& Text, const char* Pattern, int Group) {
  TWords found;
  QRegularExpressionMatchIterator it =
      QRegularExpression(QString::fromLatin1(Pattern)).globalMatch(QString::fromStdString(Text));
  while (it.hasNext()) found.insert(it.next().captured(Group).toStdString());
  return found;
}

// "--width", "-h", ... as written in a text: a dash or two after a blank or
// an opening bracket.
TWords LongAndShortOptions(const std::string& Text) {
  return Matches(Text, R"((^|[\s\[(|])(--?[a-z][a-z-]*))", 2);
}

TWords LongOptions(const std::string& Text) {
  return Matches(Text, R"((^|[^a-z-])(--[a-z][a-z-]*))", 2);
}

// "/s:", "/p:", ...: the switches of the unattended run.
TWords Switches(const std::string& Text) {
  return Matches(Text, R"(/[a-z]:)", 0);
}

// The jobs: the word after "pictrim" at the start of a usage line.
TWords Jobs(const std::string& Usage) {
  return Matches(Usage, R"((^|\n)\s+pictrim ([a-z]+))", 2);
}

// The manual page as a reader sees its words: without font changes and with
// its escaped dashes and quotes plain.
std::string ManualText() {
  QString text = QString::fromStdString(ReadFile(PICTRIM_MANUAL_PAGE));
  text.remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP])")));
  text.remove(QStringLiteral(R"(\c)"));
  text.replace(QStringLiteral(R"(\(dq)"), QStringLiteral("\""));
  text.replace(QStringLiteral(R"(\-)"), QStringLiteral("-"));
  return text.toStdString();
}

// Word stands on its own in Text: "--top" is not found in "--topmost", nor
// "-h" in "--help". A switch ("/o:") is followed by its value.
bool NamesWord(const std::string& Text, const std::string& Word) {
  const bool isSwitch = Word.back() == ':';
  const QString pattern = QStringLiteral("(^|[^a-z-])") +
                          QRegularExpression::escape(QString::fromStdString(Word)) +
                          (isSwitch ? QString() : QStringLiteral("($|[^a-z-])"));
  return QRegularExpression(pattern).match(QString::fromStdString(Text)).hasMatch();
}

TEST(ManualPage, namesEveryJobOptionAndSwitchOfTheHelpText) {
  const std::string manual = ManualText();
  ASSERT_FALSE(manual.empty()) << PICTRIM_MANUAL_PAGE;
  const std::string usage = UsageText();

  TWords named = LongAndShortOptions(usage);
  for (const std::string& word : Switches(usage)) named.insert(word);
  for (const std::string& word : Jobs(usage)) named.insert(word);
  ASSERT_TRUE(named.count("--help") && named.count("/p:") && named.count("resize"))
      << "the help text is read as it is written";
  for (const std::string& word : named)
    EXPECT_TRUE(NamesWord(manual, word)) << word << " is in --help but not in the manual page";
}

TEST(ManualPage, namesNoOptionThatTheHelpTextHasNot) {
  const TWords help = LongOptions(UsageText());
  for (const std::string& option : LongOptions(ManualText()))
    EXPECT_TRUE(help.count(option)) << option << " is in the manual page but not in --help";
}

TEST(ManualPage, carriesTheProgramsVersion) {
  const std::string version = VersionText().substr(0, VersionText().find('\n'));  // "Pictrim 1.40"
  EXPECT_NE(ManualText().find(".TH PICTRIM 1 "), std::string::npos);
  EXPECT_NE(ManualText().find("\"" + version + "\""), std::string::npos)
      << "the title line names " << version;
}

// Runs Program with Args; its status, standard output and standard error.
// Nothing when the program is not installed.
struct TOutput {
  int Status = -1;
  std::string Out;
  std::string Err;
};
std::optional<TOutput> RunTool(const QString& Program, const QStringList& Args) {
  QProcess process;
  process.start(Program, Args);
  if (!process.waitForStarted()) return std::nullopt;
  process.waitForFinished(-1);
  return TOutput{process.exitCode(), process.readAllStandardOutput().toStdString(),
                 process.readAllStandardError().toStdString()};
}

// Mended: two lines lost their font codes and rendered "Name.exPNG.jpgR,P".
TEST(ManualPage, rendersWithoutAWarningAndHasTheNameLineTheIndexersRead) {
  const std::optional<TOutput> groff =
      RunTool("groff", {"-ww", "-man", "-Tutf8", "-P-c", "-P-b", "-P-u", PICTRIM_MANUAL_PAGE});
  if (!groff) GTEST_SKIP() << "groff is not installed";
  EXPECT_EQ(groff->Status, 0);
  EXPECT_EQ(groff->Err, "");
  EXPECT_NE(groff->Out.find("Name.exPNG.jpg,"), std::string::npos) << groff->Out;
  EXPECT_EQ(groff->Out.find("jpgR,P"), std::string::npos);
  EXPECT_EQ(ReadFile(PICTRIM_MANUAL_PAGE).find_first_of(std::string("\f\b\r", 3)),
            std::string::npos)
      << "a control character where an escape was meant";
  const std::optional<TOutput> lexgrog = RunTool("lexgrog", {PICTRIM_MANUAL_PAGE});
  if (!lexgrog) GTEST_SKIP() << "lexgrog is not installed";
  EXPECT_EQ(lexgrog->Status, 0) << lexgrog->Out << lexgrog->Err;
  EXPECT_NE(lexgrog->Out.find("\"pictrim - resize, shrink and rename"), std::string::npos)
      << lexgrog->Out;
}

// The range of /p: and the exit statuses read the same as in --help.
TEST(ManualPage, givesTheRangeOfPAndTheExitStatusesOfTheHelpText) {
  const std::string manual = ManualText();
  const std::string range = "(1 to " + std::to_string(MaxSwitchPixels) + ")";
  EXPECT_NE(manual.find(range), std::string::npos) << range;
  EXPECT_NE(UsageText().find(range), std::string::npos) << range;
  for (const char* status : {"130", "143"}) {
    EXPECT_NE(manual.find(status), std::string::npos) << status;
    EXPECT_NE(UsageText().find(status), std::string::npos) << status;
  }
  EXPECT_EQ(manual.find("65535"), std::string::npos);
  EXPECT_NE(manual.find("GPL-3.0-or-later"), std::string::npos);
}

// Asks the completion what it offers for Words, the last of them being the
// word under the cursor, split as bash splits a command line (":" and "="
// are words of their own), in the folder Folder.
std::vector<std::string> Complete(const QStringList& Words, const std::string& Folder = "/") {
  const QString script = QStringLiteral(
      "source \"$0\"\n"
      "COMP_WORDBREAKS=$' \\t\\n\"\\'><=;|&(:'\n"
      "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n"
      "COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
      "_pictrim pictrim \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
  QProcess bash;
  bash.setWorkingDirectory(QString::fromStdString(Folder));
  bash.start(QStringLiteral("bash"), QStringList{QStringLiteral("--norc"), QStringLiteral("-c"),
                                                 script, QStringLiteral(PICTRIM_COMPLETION)} +
                                         QStringList{QStringLiteral("pictrim")} + Words);
  if (!bash.waitForFinished(60000)) return {"(bash did not finish)"};
  std::vector<std::string> offered;
  std::istringstream lines(bash.readAllStandardOutput().toStdString());
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) offered.push_back(line);
  std::sort(offered.begin(), offered.end());
  return offered;
}

using TOffer = std::vector<std::string>;

TEST(BashCompletion, offersTheJobsAndSwitchesFirst) {
  const TOffer first = Complete({""});
  for (const std::string& job : Jobs(UsageText()))
    EXPECT_TRUE(std::count(first.begin(), first.end(), job)) << job;
  for (const std::string& word : Switches(UsageText()))
    EXPECT_TRUE(std::count(first.begin(), first.end(), word)) << word;
  EXPECT_EQ(Complete({"re"}), (TOffer{"rename", "resize"}));
  EXPECT_EQ(Complete({"--v"}), (TOffer{"--version"}));
}

TEST(BashCompletion, offersEveryOptionOfTheHelpTextFirstOrAfterSomeJob) {
  TWords offered;
  for (const std::string& option : Complete({"-"})) offered.insert(option);
  for (const std::string& job : Jobs(UsageText()))
    for (const std::string& option : Complete({QString::fromStdString(job), "-"}))
      offered.insert(option);
  for (const std::string& option : LongOptions(UsageText()))
    EXPECT_TRUE(offered.count(option)) << option << " is in --help but never completed";
}

TEST(BashCompletion, offersEachJobItsOwnOptionsAndTheirValues) {
  EXPECT_EQ(Complete({"resize", "--ov"}), (TOffer{"--overwrite"}));
  EXPECT_EQ(Complete({"resize", "--o"}), (TOffer{"--out", "--overwrite"}));
  EXPECT_EQ(Complete({"shrink", "--s"}), (TOffer{"--sharp", "--strict"}));
  EXPECT_EQ(Complete({"resize", "--s"}), (TOffer{"--sharp"}));
  EXPECT_TRUE(Complete({"shrink", "--n"}).empty()) << "--no-enlarge belongs to resize";
  EXPECT_EQ(Complete({"shrink", "--k"}), (TOffer{"--kb"}));
  EXPECT_TRUE(Complete({"resize", "--k"}).empty()) << "--kb belongs to shrink";
  EXPECT_EQ(Complete({"rename", "-"}),
            (TOffer{"--dry-run", "--exif-date", "--format", "--help", "--undo"}));
  EXPECT_EQ(Complete({"rename", "--format", ""}), (TOffer{"1", "2", "6"}));
  EXPECT_EQ(Complete({"rename", "--format", "=", ""}), (TOffer{"1", "2", "6"}));
  // A number or a text is not guessed (in "/", folders would be offered).
  for (const char* option : {"--width", "--height", "--edge", "--text", "--quality"})
    EXPECT_TRUE(Complete({"resize", option, ""}).empty()) << option;
  for (const char* option : {"--kb", "--text", "--quality"})
    EXPECT_TRUE(Complete({"shrink", option, ""}).empty()) << option;
}

class BashCompletionInAFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Dir / "Fotos/Urlaub");
    fs::create_directories(Dir / "Fotos alt");
    fs::create_directories(Dir / "-minus");
    test::WriteTextFile(Dir / "Foto.jpg", "");
  }
  TOffer In(const QStringList& Words) { return Complete(Words, Dir.Path()); }
  test::TTempDir Dir;
};

TEST_F(BashCompletionInAFolder, offersFoldersAfterTheOptionsAndFilesForInfo) {
  EXPECT_EQ(In({"resize", "--edge", "800", "Fo"}), (TOffer{"Fotos", "Fotos alt"}));
  EXPECT_EQ(In({"shrink", "Fotos/"}), (TOffer{"Fotos/Urlaub"}));
  EXPECT_EQ(In({"rename", "--format", "1", "F"}), (TOffer{"Fotos", "Fotos alt"}));
  EXPECT_EQ(In({"info", "Fo"}), (TOffer{"Foto.jpg", "Fotos", "Fotos alt"}));
  EXPECT_EQ(In({"resize", "--", "-m"}), (TOffer{"-minus"})) << "-- ends the options";
  EXPECT_TRUE(In({"resize", "-m"}).empty()) << "before --, a dash starts an option";
}

TEST_F(BashCompletionInAFolder, offersFoldersAfterTheFolderSwitches) {
  // bash hands "/s:Fo" over as "/s" ":" "Fo" and replaces only "Fo".
  EXPECT_EQ(In({"/s", ":", "Fo"}), (TOffer{"Fotos", "Fotos alt"}));
  EXPECT_EQ(In({"/p", ":", "800", "/D", ":", "Fotos/"}), (TOffer{"Fotos/Urlaub"}));
  EXPECT_EQ(In({"/s", ":", "Fotos", "/o", ":", "y"}), (TOffer{"y", "yes"}));
  EXPECT_EQ(In({"/s", ":", "Fotos", "/"}), (TOffer{"/d:", "/o:", "/p:", "/s:"}));
}

TEST_F(BashCompletionInAFolder, offersFoldersAfterOut) {
  EXPECT_EQ(In({"resize", "--edge", "8", "--out", "Fo"}), (TOffer{"Fotos", "Fotos alt"}));
  EXPECT_EQ(In({"shrink", "--out", "Fotos/"}), (TOffer{"Fotos/Urlaub"}));
}

}  // namespace
}  // namespace pictrim
