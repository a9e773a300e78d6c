#include "app/CommandLine.h"

#include <algorithm>
#include <map>
#include <optional>

#include "engine/BatchSupport.h"
#include "engine/Resize.h"
#include "platform/Paths.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

// The options of the jobs; true when the option takes a value.
const std::map<std::string, bool> JobOptions = {
    {"--width", true},   {"--height", true}, {"--edge", true},     {"--kb", true},
    {"--text", true},    {"--top", false},   {"--bottom", false},  {"--overwrite", false},
    {"--format", true},  {"--help", false},  {"--quality", true},  {"--no-enlarge", false},
    {"--strict", false}, {"--out", true},    {"--dry-run", false}, {"--exif-date", false},
    {"--undo", false},   {"--sharp", false},
};

// A job's arguments sorted into options and operands.
struct TJobArguments {
  std::map<std::string, std::string> Options;  // a later one replaces an earlier
  std::vector<std::string> Operands;
  std::string Error;
  bool Has(const std::string& Name) const { return Options.count(Name) != 0; }
};

// Options are "--name value" or "--name=value"; "--" ends the options.
TJobArguments SplitJobArguments(const std::vector<std::string>& Args,
                                const std::vector<std::string>& Allowed) {
  TJobArguments result;
  bool optionsEnded = false;
  for (size_t i = 1; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      result.Operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const auto known = JobOptions.find(name);
    bool allowed = name == "--help";
    for (const std::string& a : Allowed) allowed = allowed || a == name;
    if (known == JobOptions.end() || !allowed) {
      result.Error = Text(TTextId::CliJobUnknownOption, {Args[0], name});
      return result;
    }
    std::string value;
    if (known->second) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < Args.size()) {
        value = Args[++i];
      } else {
        result.Error = Text(TTextId::CliOptionNeedsValue, {Args[0], name});
        return result;
      }
    } else if (equals != std::string::npos) {
      result.Error = Text(TTextId::CliOptionTakesNoValue, {Args[0], name});
      return result;
    }
    result.Options[name] = value;
  }
  return result;
}

// A decimal number of digits only, from Min to Max.
std::optional<uint32_t> ParseNumber(const std::string& Text, uint32_t Min, uint32_t Max) {
  if (Text.empty() || Text.size() > 10 || CheckDigits(Text) != 0) return std::nullopt;
  const uint64_t value = std::stoull(Text);
  if (value < Min || value > Max) return std::nullopt;
  return static_cast<uint32_t>(value);
}

TCommandLine Wrong(const std::string& Error) {
  TCommandLine command;
  command.Kind = TCommandKind::Wrong;
  command.Error = Error;
  return command;
}

// Reads "--name N" into Value; false (with Command made wrong) when N is out of range.
bool ReadNumberOption(const TJobArguments& Args, const std::string& Name, uint32_t Max,
                      uint32_t& Value, TCommandLine& Command) {
  const std::optional<uint32_t> number = ParseNumber(Args.Options.at(Name), 1, Max);
  if (!number) {
    Command =
        Wrong(Text(TTextId::CliNumberRange, {Name, std::to_string(Max), Args.Options.at(Name)}));
    return false;
  }
  Value = *number;
  return true;
}

// The folder operand and the options shared by resize and shrink: the
// stamp, --overwrite, --quality, --sharp and --out.
void ReadFolderAndStamp(const std::string& Job, const TJobArguments& Args, TCommandLine& Command) {
  if (Args.Operands.size() != 1 || Args.Operands[0].empty()) {
    Command = Wrong(Text(TTextId::CliJobNeedsFolder, {Job}));
    return;
  }
  if (Args.Has("--quality")) {
    uint32_t quality = 0;
    if (!ReadNumberOption(Args, "--quality", static_cast<uint32_t>(MaxJobQuality), quality,
                          Command))
      return;
    Command.Choices.Quality = static_cast<int>(quality);
  }
  if (Args.Has("--out")) {
    if (Args.Options.at("--out").empty()) {
      Command = Wrong(Text(TTextId::CliOutNeedsFolder));
      return;
    }
    Command.OutputFolder = CanonicalFolder(Args.Options.at("--out"));
  }
  Command.Folder = CanonicalFolder(Args.Operands[0]);
  Command.Overwrite = Args.Has("--overwrite");
  Command.Choices.Sharp = Args.Has("--sharp");
  if (Args.Has("--text")) Command.PictureText = Args.Options.at("--text");
  Command.TextPosition =
      static_cast<uint8_t>((Args.Has("--top") ? 1 : 0) | (Args.Has("--bottom") ? 2 : 0));
  // A text without a position is stamped at the top.
  if (Command.TextPosition == 0) Command.TextPosition = 1;
}

TCommandLine ParseResize(const TJobArguments& Args) {
  TCommandLine command;
  command.Kind = TCommandKind::Resize;
  int sizes = 0;
  for (const char* name : {"--width", "--height", "--edge"}) sizes += Args.Has(name) ? 1 : 0;
  if (sizes != 1) return Wrong(Text(TTextId::CliResizeNeedsSize));
  uint32_t size = 0;
  const std::string name = Args.Has("--width")    ? "--width"
                           : Args.Has("--height") ? "--height"
                                                  : "--edge";
  if (!ReadNumberOption(Args, name, MaxResizePixels, size, command)) return command;
  command.MaxWidth = name == "--height" ? 0 : size;
  command.MaxHeight = name == "--width" ? 0 : size;
  command.Choices.NoEnlarge = Args.Has("--no-enlarge");
  ReadFolderAndStamp("resize", Args, command);
  return command;
}

TCommandLine ParseShrink(const TJobArguments& Args) {
  TCommandLine command;
  command.Kind = TCommandKind::Shrink;
  if (!Args.Has("--kb")) return Wrong(Text(TTextId::CliShrinkNeedsKb));
  if (!ReadNumberOption(Args, "--kb", MaxShrinkKilobytes, command.TargetKB, command))
    return command;
  command.Choices.StrictSize = Args.Has("--strict");
  ReadFolderAndStamp("shrink", Args, command);
  return command;
}

TCommandLine ParseRename(const TJobArguments& Args) {
  TCommandLine command;
  command.Kind = TCommandKind::Rename;
  command.Undo = Args.Has("--undo");
  if (command.Undo && (Args.Has("--format") || Args.Has("--exif-date")))
    return Wrong(Text(TTextId::CliUndoTakesNoFormat));
  if (!command.Undo) {
    if (!Args.Has("--format")) return Wrong(Text(TTextId::CliRenameNeedsFormat));
    const std::string& format = Args.Options.at("--format");
    if (format != "1" && format != "2" && format != "6") {
      return Wrong(Text(TTextId::CliFormatRange, {format}));
    }
    command.RenameMode = static_cast<uint8_t>(format[0] - '0');
  }
  if (Args.Operands.size() != 1 || Args.Operands[0].empty())
    return Wrong(Text(TTextId::CliJobNeedsFolder, {"rename"}));
  command.Folder = CanonicalFolder(Args.Operands[0]);
  command.DryRun = Args.Has("--dry-run");
  command.ExifDate = Args.Has("--exif-date");
  return command;
}

TCommandLine ParseJob(const std::vector<std::string>& Args) {
  const std::string& job = Args[0];
  TJobArguments parsed;
  if (job == "resize") {
    parsed =
        SplitJobArguments(Args, {"--width", "--height", "--edge", "--text", "--top", "--bottom",
                                 "--overwrite", "--quality", "--no-enlarge", "--sharp", "--out"});
  } else if (job == "shrink") {
    parsed = SplitJobArguments(Args, {"--kb", "--text", "--top", "--bottom", "--overwrite",
                                      "--quality", "--strict", "--sharp", "--out"});
  } else if (job == "rename") {
    parsed = SplitJobArguments(Args, {"--format", "--dry-run", "--exif-date", "--undo"});
  } else {
    parsed = SplitJobArguments(Args, {});
  }
  if (!parsed.Error.empty()) return Wrong(parsed.Error);
  if (parsed.Has("--help")) {
    TCommandLine help;
    help.Kind = TCommandKind::Help;
    return help;
  }
  if (job == "resize") return ParseResize(parsed);
  if (job == "shrink") return ParseShrink(parsed);
  if (job == "rename") return ParseRename(parsed);
  if (parsed.Operands.empty()) return Wrong(Text(TTextId::CliInfoNeedsFile));
  TCommandLine info;
  info.Kind = TCommandKind::Info;
  info.Files = parsed.Operands;
  return info;
}

// A folder switch's value made whole, with a closing delimiter; empty stays empty.
std::string FolderValue(const std::string& Value) {
  return CanonicalFolder(Value);
}

// True for an argument that names a folder rather than a command: an
// existing folder, or anything written as a path.
bool NamesFolder(const std::string& Arg) {
  return FolderExists(Arg) || Arg.find(PathDelimiter) != std::string::npos || Arg == "." ||
         Arg == "..";
}

// "pictrim FOLDER...": the window with the folders, each of which must be one.
TCommandLine ParseFolders(const std::vector<std::string>& Args) {
  TCommandLine command;
  for (const std::string& arg : Args) {
    if (FolderExists(arg)) {
      command.OpenFolders.push_back(CanonicalFolder(arg));
    } else if (batch::FileExists(arg)) {
      return Wrong(Text(TTextId::CliFileNotFolder, {arg}));
    } else {
      return Wrong(Text(TTextId::CliFolderNotFound, {arg}));
    }
  }
  return command;
}

// True for an argument that is one of the unattended run's switches.
bool IsSwitch(const std::string& Arg) {
  const std::string key = LowerCase(Arg.substr(0, 3));
  return key == "/s:" || key == "/d:" || key == "/o:" || key == "/p:";
}

TCommandLine ParseSwitches(const std::vector<std::string>& Args) {
  TCommandLine command;
  command.Kind = TCommandKind::Unattended;
  for (const std::string& arg : Args) {
    const std::string key = LowerCase(arg.substr(0, 3));
    const std::string value = arg.size() > 3 ? arg.substr(3) : std::string();
    if (key == "/s:") {
      command.SourceFolder = FolderValue(value);
    } else if (key == "/d:") {
      command.OutputFolder = FolderValue(value);
    } else if (key == "/o:") {
      const std::string answer = LowerCase(value);
      command.Overwrite = answer == "ja" || answer == "y" || answer == "yes";
    } else if (key == "/p:") {
      const std::optional<uint32_t> pixels = ParseNumber(value, 1, MaxSwitchPixels);
      if (!pixels) {
        return Wrong(Text(TTextId::CliPixelRange, {std::to_string(MaxSwitchPixels), value}));
      }
      command.PixelSize = *pixels;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Wrong(Text(TTextId::CliUnknownOption, {arg}));
    }
  }
  if (command.SourceFolder.empty()) return Wrong(Text(TTextId::CliNoSourceFolder));
  if (command.PixelSize == 0) return Wrong(Text(TTextId::CliNoSize));
  return command;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  TCommandLine command;
  if (Args.empty()) return command;
  const std::string& first = Args[0];
  if (first == "--help" || first == "-h") {
    command.Kind = TCommandKind::Help;
    return command;
  }
  if (first == "--version") {
    command.Kind = TCommandKind::Version;
    return command;
  }
  if (first == "resize" || first == "shrink" || first == "rename" || first == "info") {
    return ParseJob(Args);
  }
  // Without a single switch, a first word that is no option is a folder to
  // open the window with, or a command this program does not have (a
  // mistyped one, or "help").
  if (first.rfind('-', 0) != 0 && std::none_of(Args.begin(), Args.end(), IsSwitch)) {
    if (NamesFolder(first)) return ParseFolders(Args);
    return Wrong(Text(TTextId::CliUnknownCommand, {first}));
  }
  return ParseSwitches(Args);
}

std::string VersionText() {
  return "Pictrim 1.40\n"
         "Copyright (C) The Pictrim developers\n"
         "License GPL-3.0-or-later: GNU GPL version 3 or later "
         "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.";
}

std::string UsageText() {
  return R"(Usage:
  pictrim [FOLDER...]
      Opens the window; the first FOLDER given is chosen for the next job.
  pictrim /s:FOLDER [/d:FOLDER] [/o:yes] /p:PIXELS
      Unattended run: writes every BMP file and then every JPEG file below
      the source folder as a JPEG whose longer edge is PIXELS (1 to )" +
         std::to_string(MaxSwitchPixels) + R"(),
      into /d: or into FOLDER_SIZE<PIXELS> beside the source. /o:yes (or ja,
      y) replaces copies that exist already.
  pictrim resize (--width N | --height N | --edge N) [--no-enlarge] [--sharp]
                 [--text T] [--top] [--bottom] [--quality Q] [--out DIR]
                 [--overwrite] FOLDER
      Writes a JPEG copy of every picture with the width, the height or the
      longer edge at N pixels (1 to 10000) into FOLDER_MAXWIDTH<N>,
      FOLDER_MAXHEIGHT<N> or FOLDER_MAXSIZE<N>. --no-enlarge: a picture
      whose edge is N or less already keeps its size.
  pictrim shrink --kb N [--strict] [--sharp] [--text T] [--top] [--bottom]
                 [--quality Q] [--out DIR] [--overwrite] FOLDER
      Writes a JPEG copy of every picture close to, and as a rule not above,
      N kilobytes (1 to 100000; a kB is 1024 bytes) into "FOLDER_SIZE<N> kB".
      A copy may lie up to 1 % (at least 1 kB) above N unless --strict is
      given: then no copy is above N where a smaller size reaches it, and a
      copy that cannot get down to it gets an error line.
  pictrim rename --format 1|2|6 [--exif-date] [--dry-run] FOLDER
      Renames camera-numbered photos (JPEG, HEIC/HEIF/AVIF, camera raw files)
      in place so that their names carry the date: 1 "2006-01-28 0001.jpg",
      2 "20060128042723.jpg", 6 "20060128042723 P1280001.jpg". The files of
      the same name beside a photo (raw and JPEG, .mov .mp4 .aae .xmp .thm
      .wav) get the same new name, all or none; photos of one second are
      numbered -1, -2, ... A name that is taken is never given. Prints
      "old -> new" for each file renamed and an account at the end.
      --exif-date takes the date and time from the time the picture was
      taken (EXIF) where a file has one. --dry-run prints what would be
      renamed and changes nothing. Each run is written to a journal in
      $XDG_STATE_HOME/pictrim/ (~/.local/state/pictrim/) first.
  pictrim rename --undo [--dry-run] FOLDER
      Gives the files of the last renaming run over FOLDER their old names
      back; a file whose old name is taken, or that has moved on since,
      keeps its name and gets a line.
  pictrim info FILE...
      Prints the EXIF listing, the maker note and the IPTC entries of files.
  pictrim --help | --version

--text T stamps a line of text into every copy, at the top unless --bottom
is given (--top --bottom: both). --quality Q encodes the copies at JPEG
quality Q (1 to 100; without it 75, and 90 for stamped copies). --sharp
makes pictures smaller with a sharper filter (three-lobe Lanczos) instead
of the box filter. --out DIR
writes the copies below DIR instead, the subfolders repeated; DIR must not
lie inside FOLDER. Sources are never changed by resize and shrink. Progress goes to stderr, then the error lines, then the account of
the listed files, ending with "N written, N skipped, N failed"; the output
folder is printed on stdout. Exit status: 0 done, 1 done with error lines or
failed files, 2 wrong arguments or a job that refused to start, 130 cancelled
by an interrupt (Ctrl-C), 143 cancelled by SIGTERM.
)";
}

}  // namespace pictrim
