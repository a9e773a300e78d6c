// Camera file renaming: renames, in place, the JPEG files of a folder tree that
// cameras named by their own counters (Olympus, IMG / Canon, Casio), so that
// the new names carry the picture's date and, in two forms, its time.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/BatchTarget.h"

namespace pictrim {

// Flags of the rename mode. Flag 1 wins over the others; flag 4 only counts
// together with flag 2. The three modes offered are 1, 2 and 6.
inline constexpr uint8_t RenameDateCounter = 1;    // "2006-01-28 0001.jpg"
inline constexpr uint8_t RenameDateTime = 2;       // "20060128042723.jpg"
inline constexpr uint8_t RenameAppendOldStem = 4;  // "20060128042723 P1280001.jpg" (with flag 2)

// The camera naming conventions a file name is recognised by.
enum class TCameraConvention { None, Olympus, Canon, Casio };

// What a recognised camera file name contributes to its new name. Month and
// Day come from the name (Olympus, Casio) or from the time stamp (Canon).
struct TCameraNameParts {
  TCameraConvention Convention = TCameraConvention::None;
  std::string Month;
  std::string Day;
  std::string Counter;
};

// Splits a bare file name into its stem and its extension (from the first "."
// on, letter case kept) when it is a candidate for renaming: the extension is
// ".jpg" in any letter case and the stem has 8 characters, or 9 of which the
// first three are "IMG". False otherwise.
bool SplitCameraFileName(const std::string& FileName, std::string& Stem, std::string& Extension);

// Recognises the convention of a candidate's stem. Stamp is the file's time
// stamp in local time; it gives month and day for the Canon convention.
TCameraNameParts RecogniseCameraName(const std::string& Stem, const std::tm& Stamp);

// The new file name (without folder) of the form Mode asks for; empty when
// Mode holds neither flag 1 nor flag 2.
std::string BuildCameraFileName(uint8_t Mode, const TCameraNameParts& Parts, const std::tm& Stamp,
                                const std::string& Stem, const std::string& Extension);

// The new name of a bare file name stamped Stamp, or empty when the file is
// not renamed (no candidate, no convention, or no name form in Mode).
std::string NewCameraFileName(const std::string& FileName, const std::tm& Stamp, uint8_t Mode);

// Renames OldPath to NewPath unless NewPath already exists; an existing file
// is never replaced. True when the file now carries the new name.
bool RenameFileNoReplace(const std::string& OldPath, const std::string& NewPath);

// The same through a hard link to the new name and the removal of the old
// one, for file systems that cannot rename without replacing.
bool RenameFileByLink(const std::string& OldPath, const std::string& NewPath);

// Asks for a folder and renames the camera files below it in the form Mode
// asks for. Shows one message per listed file with its resulting path.
// Returns the number of files renamed (0 when the choice was cancelled).
// Window is not used.
int TreeRenameCameraFiles(TBatchTarget* Window, uint8_t Mode);

// The status line that reports a renaming run of Count files.
std::string RenameStatusText(int Count);

}  // namespace pictrim
