// Camera file renaming: renames, in place, the photos of a folder tree (JPEG,
// HEIF and camera raw files) that cameras named by their own counters
// (Olympus, IMG / Canon, Casio), so that the new names carry the picture's
// date and, in two forms, its time; on request the date and time the
// picture was taken (EXIF), for any camera's name. The files that belong to
// a photo move with it, photos of one second are numbered, a run never
// replaces a file, can be tried first without renaming, is written to a
// journal that can undo it, and accounts for every file it listed.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "platform/BatchTarget.h"
#include "util/ErrorLog.h"

namespace pictrim {

// Flags of the rename mode. Flag 1 wins over the others; flag 4 only counts
// together with flag 2. The three modes offered are 1, 2 and 6.
inline constexpr uint8_t RenameDateCounter = 1;    // "2006-01-28 0001.jpg"
inline constexpr uint8_t RenameDateTime = 2;       // "20060128042723.jpg"
inline constexpr uint8_t RenameAppendOldStem = 4;  // "20060128042723 P1280001.jpg" (with flag 2)

// The camera naming conventions a file name is recognised by. TimeTaken
// stands for a name of any convention renamed by its picture's time taken.
enum class TCameraConvention { None, Olympus, Canon, Casio, TimeTaken };

// What a recognised camera file name contributes to its new name. Month and
// Day come from the name (Olympus, Casio), from the time stamp (Canon) or
// from the time taken.
struct TCameraNameParts {
  TCameraConvention Convention = TCameraConvention::None;
  std::string Month;
  std::string Day;
  std::string Counter;
};

// True for the stem of a candidate for renaming: 8 characters, or 9 of which
// the first three are "IMG".
bool IsCandidateStem(const std::string& Stem);

// Splits a bare file name into its stem and its extension (from the first "."
// on, letter case kept) when it is a candidate for renaming: the extension
// is that of a photo (a JPEG, HEIF or camera raw file, in any letter case)
// and the stem is a candidate's. False otherwise.
bool SplitCameraFileName(const std::string& FileName, std::string& Stem, std::string& Extension);

// Recognises the convention of a candidate's stem. Stamp is the file's time
// stamp in local time; it gives month and day for the Canon convention. A
// stem whose own month and day characters make no real month (01..12) and
// day (01..31) is no camera name: its convention is None.
TCameraNameParts RecogniseCameraName(const std::string& Stem, const std::tm& Stamp);

// True when Month and Day are two digits each naming a month 01..12 and a
// day 01..31.
bool IsMonthAndDay(const std::string& Month, const std::string& Day);

// The parts of a candidate's stem, whatever its convention, when the name
// takes the time its picture was taken: month and day of Taken; the counter
// is the stem's last four characters, or its last five for an "IMG_" stem
// (as for the Canon convention).
TCameraNameParts TimeTakenNameParts(const std::string& Stem, const std::tm& Taken);

// The new file name (without folder) of the form Mode asks for; empty when
// Mode holds neither flag 1 nor flag 2. Stamp gives the year and the time of
// day.
std::string BuildCameraFileName(uint8_t Mode, const TCameraNameParts& Parts, const std::tm& Stamp,
                                const std::string& Stem, const std::string& Extension);

// The new stem of a candidate's stem, its photo stamped Stamp; empty when
// it is not renamed (no candidate, no convention, or no name form in Mode).
// Taken, when given, is the time the picture was taken: every candidate
// then takes its year, month, day and time from it.
std::string NewCameraStem(const std::string& Stem, const std::tm& Stamp, uint8_t Mode,
                          const std::optional<std::tm>& Taken = std::nullopt);

// The same for a bare file name: the new stem and the file's extension, or
// empty when the file is not renamed.
std::string NewCameraFileName(const std::string& FileName, const std::tm& Stamp, uint8_t Mode,
                              const std::optional<std::tm>& Taken = std::nullopt);

// Renames OldPath to NewPath unless NewPath already exists; an existing file
// is never replaced. True when the file now carries the new name.
bool RenameFileNoReplace(const std::string& OldPath, const std::string& NewPath);

// The same through a hard link to the new name and the removal of the old
// one, for file systems that cannot rename without replacing.
bool RenameFileByLink(const std::string& OldPath, const std::string& NewPath);

// How a renaming run goes.
struct TRenameOptions {
  uint8_t Mode = RenameDateCounter;
  bool ExifDate = false;  // date and time from the EXIF time taken where a file has one
  bool DryRun = false;    // find out what would be renamed, rename nothing
};

// What became of one listed file.
enum class TRenameOutcome {
  Renamed,  // it carries its new name (in a dry run or a plan: it would)
  Skipped,  // it has no camera name to replace (or, undoing, nothing to put back)
  Failed,   // it could not be renamed; the error log says why
};

struct TRenameResult {
  std::string OldPath;
  std::string NewPath;  // the path the file has now (in a dry run: would have)
  TRenameOutcome Outcome = TRenameOutcome::Skipped;
};

// The account of a run: every listed file is counted once.
struct TRenameAccount {
  int Renamed = 0;
  int Skipped = 0;
  int Failed = 0;
  bool operator==(const TRenameAccount&) const = default;
};

// Hears of every listed file, in list order, once its rename is done.
using TRenameListener = std::function<void(const TRenameResult& Result)>;

// The message of a listed file in the language in use: a heading, then its
// path ("result:\tNewFileList =\t" + the path in German).
std::string RenameResultText(const TRenameResult& Result);
// Shows that message.
void ShowRenameResult(const TRenameResult& Result);

// Renames the camera files below Folder (ending with the delimiter) as
// Options ask, a photo together with the files of its stem that belong to
// it (all of them or none). An existing file is never replaced: when the new
// name is taken, in any letter case, by an entry of the folder or by an
// earlier rename of the run, the stem is numbered ("-1", "-2", ...) until
// every name of the group is free. A real run writes its journal first. A
// file that cannot be renamed keeps its name and the error log says why
// ("File X was not renamed: ...").
TRenameAccount RenameCameraFiles(const std::string& Folder, const TRenameOptions& Options,
                                 const TRenameListener& Listener, TErrorLog& ErrorLog);

// Asks for a folder and renames the camera files below it; an empty account
// when the choice was cancelled. Window is not used.
TRenameAccount TreeRenameCameraFiles(TBatchTarget* Window, const TRenameOptions& Options,
                                     const TRenameListener& Listener, TErrorLog& ErrorLog);

// The same in the form Mode asks for, with a message box per listed file;
// the lines of files that could not be renamed are shown as messages at the
// end. Returns the number of files renamed (0 when the choice was cancelled).
int TreeRenameCameraFiles(TBatchTarget* Window, uint8_t Mode);

// The status line that reports a renaming run of Count files.
std::string RenameStatusText(int Count);

// The account as one line in the language in use: "3 renamed, 1 skipped,
// 0 failed"; for a dry run "3 would be renamed, 1 skipped, 0 would fail".
std::string RenameAccountText(const TRenameAccount& Account, bool DryRun);

}  // namespace pictrim
