// The settings file: the main window's choices between runs, as a plain value
// that the window applies after loading and collects before saving.
#pragma once

#include <string>
#include <vector>

namespace pictrim {

inline constexpr const char* SettingsFileName = "pictrim.ini";

// The window's choices; the defaults are those of a first start. After
// loading every index lies in its group's range (see the comments).
struct TSettings {
  std::string CopyrightText = "Copyright Max Beispiel";
  std::string SizeEdit1 = "720";
  std::string SizeEdit2 = "30";
  int SizeSelected1 = 4;    // RadioGroup1, 0..7; never without a selection
  int SizeSelected2 = 1;    // RadioGroup2, 0..7 or -1 (none)
  int SizeSelected3 = 0;    // RadioGroup3, 0..2 or -1 (none)
  int PathMode = 1;         // PathRadioGroup, 1 (folder chooser) or 2 (favourites)
  int LanguageCode = 0;     // position in the language list, checked by LanguageIndexOrDefault
  int ActivePageIndex = 0;  // 0..2
  bool Overwrite = false;
  bool TextCheckBox = false;
  bool PreViewCheckBox = false;
  bool PreView = false;  // kept unchanged between loading and saving
  // Keys added later, at the end of the section; without them a file gives
  // the program's earlier behaviour.
  int Quality = 0;          // JPEG quality of the copies, 1..100; 0 = the jobs' own qualities
  bool NoEnlarge = false;   // resize: a picture already within the size keeps it
  bool StrictSize = false;  // file size: no copy above the target
  std::string LastFolder;   // where the folder chooser opens
  bool ExifDateCheckBox = false;  // renaming by the EXIF time taken
  std::string OutputFolder;       // where the copies go; empty: beside the source folder
  bool Sharp = false;             // resize and file size: the sharper rescale
  // The favourite folders in file order; after loading only those that exist.
  // On saving, position i is stored as Path<i+1>; empty entries leave a gap
  // and entries after the third are not stored.
  std::vector<std::string> Paths;

  bool operator==(const TSettings&) const = default;
};

// Reads Folder + SettingsFileName; what is missing or unreadable keeps its default.
TSettings LoadSettings(const std::string& Folder);

// Replaces the sections "Settings" and "Path" of Folder + SettingsFileName and
// keeps the file's other sections. The file is replaced whole or not at all; on
// failure the user is shown "Unable to write to <path>" and false is returned.
bool SaveSettings(const std::string& Folder, const TSettings& Settings);

}  // namespace pictrim
