// The program's command line: the switches of the unattended run
// (/s: /d: /o: /p:) and the jobs that can be started from a terminal
// (resize, shrink, rename, info), read into one description of what to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Resize.h"

namespace pictrim {

enum class TCommandKind {
  Window,      // no arguments: the interactive program
  Unattended,  // the BMP batch, then the JPEG batch
  Resize,
  Shrink,
  Rename,
  Info,
  Help,
  Version,
  Wrong,  // the arguments are wrong; Error says why
};

struct TCommandLine {
  TCommandKind Kind = TCommandKind::Window;
  std::string Error;

  // The window: folders handed over ("pictrim FOLDER...", as a file manager
  // starts it); the first one is chosen when the window opens.
  std::vector<std::string> OpenFolders;

  // The unattended run.
  std::string SourceFolder;  // ends with the delimiter when given
  std::string OutputFolder;  // ends with the delimiter when given; also the jobs' --out
  bool Overwrite = false;    // also the jobs' --overwrite
  uint32_t PixelSize = 0;

  // The jobs.
  std::string Folder;  // ends with the delimiter
  uint32_t MaxWidth = 0;
  uint32_t MaxHeight = 0;
  uint32_t TargetKB = 0;
  std::string PictureText;
  uint8_t TextPosition = 0;
  uint8_t RenameMode = 0;
  bool DryRun = false;    // rename: tell what would be renamed, rename nothing
  bool ExifDate = false;  // rename: name by the EXIF time taken where there is one
  bool Undo = false;      // rename: give the files of the last run their old names back
  TJobChoices Choices;    // --quality, --no-enlarge, --strict
  std::vector<std::string> Files;
};

// Largest sizes a job accepts from the terminal; the unattended run's /p:
// has the range of resize's sizes, which is also the largest edge its JPEG
// batch writes.
inline constexpr uint32_t MaxResizePixels = 10000;
inline constexpr uint32_t MaxShrinkKilobytes = 100000;
inline constexpr uint32_t MaxSwitchPixels = MaxCommandLineEdge;

// Reads the arguments (without the program name). Arguments that start with
// a job's name, "--help", "-h" or "--version" select that; arguments that
// are all folders (the first one existing or written as a path) open the
// window with them; any other
// arguments are the switches of the unattended run, each read as its first
// three characters (compared in lower case) and a value: "/s:" source,
// "/d:" output folder (paths keep their letter case and get a closing
// delimiter), "/o:" overwrite when "ja", "y" or "yes" in any case, "/p:" the
// edge in pixels. Other switches are ignored; a later one replaces an earlier.
// A missing source folder or size, a size that is not a number from 1 to
// MaxSwitchPixels, and an argument that starts with "-" make the arguments wrong.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args);

// The text of "pictrim --help".
std::string UsageText();

// The text of "pictrim --version".
std::string VersionText();

}  // namespace pictrim
