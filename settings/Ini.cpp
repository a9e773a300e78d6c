#include "settings/Ini.h"

#include <algorithm>

#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

constexpr const char* SettingsSection = "Settings";
constexpr const char* PathSection = "Path";
constexpr int MaxFavourites = 3;
constexpr int LastSizeEntry = 7;  // RadioGroup1 and RadioGroup2 have eight entries
constexpr int LastDateEntry = 2;  // RadioGroup3 has three
constexpr int LastPage = 2;

std::string SettingsPath(const std::string& Folder) {
  return IncludeTrailingDelimiter(Folder) + SettingsFileName;
}

std::string FavouriteKey(int Number) {
  return PathSection + std::to_string(Number);
}

// A preset group: a stored index above the last entry selects the last entry,
// a negative one selects nothing (-1).
int GroupSelection(int Stored, int LastEntry) {
  return Stored < 0 ? -1 : std::min(Stored, LastEntry);
}

// The folder mode: entry 0 is the hidden placeholder and stands for mode 1,
// as does anything the program never stores.
int FolderMode(int Stored) {
  return Stored == 2 ? 2 : 1;
}

// A quality outside 1..100 stands for the jobs' own qualities.
int JpegQuality(int Stored) {
  return Stored >= 1 && Stored <= 100 ? Stored : 0;
}

int PageIndex(int Stored) {
  return Stored >= 0 && Stored <= LastPage ? Stored : 0;
}

}  // namespace

TSettings LoadSettings(const std::string& Folder) {
  const TIniFile ini(SettingsPath(Folder));
  TSettings s;
  s.CopyrightText = ini.ReadString(SettingsSection, "CopyrightText", s.CopyrightText);
  s.SizeEdit1 = ini.ReadString(SettingsSection, "SizeEdit1", s.SizeEdit1);
  s.SizeEdit2 = ini.ReadString(SettingsSection, "SizeEdit2", s.SizeEdit2);
  s.SizeSelected1 = GroupSelection(
      ini.ReadInteger(SettingsSection, "SizeSelected1", s.SizeSelected1), LastSizeEntry);
  if (s.SizeSelected1 < 0) s.SizeSelected1 = TSettings().SizeSelected1;
  s.SizeSelected2 = GroupSelection(
      ini.ReadInteger(SettingsSection, "SizeSelected2", s.SizeSelected2), LastSizeEntry);
  s.SizeSelected3 = GroupSelection(
      ini.ReadInteger(SettingsSection, "SizeSelected3", s.SizeSelected3), LastDateEntry);
  s.PathMode = FolderMode(ini.ReadInteger(SettingsSection, "Path", s.PathMode));
  s.LanguageCode = ini.ReadInteger(SettingsSection, "LanguageCode", s.LanguageCode);
  s.Overwrite = ini.ReadBool(SettingsSection, "Overwrite", s.Overwrite);
  s.TextCheckBox = ini.ReadBool(SettingsSection, "CopyrigthTextCheckbox", s.TextCheckBox);
  s.PreViewCheckBox = ini.ReadBool(SettingsSection, "PreViewCheckBox", s.PreViewCheckBox);
  s.ActivePageIndex = PageIndex(ini.ReadInteger(SettingsSection, "ActivePageIndex", 0));
  s.PreView = ini.ReadBool(SettingsSection, "PreView", s.PreView);
  s.Quality = JpegQuality(ini.ReadInteger(SettingsSection, "Quality", s.Quality));
  s.NoEnlarge = ini.ReadBool(SettingsSection, "NoEnlarge", s.NoEnlarge);
  s.StrictSize = ini.ReadBool(SettingsSection, "StrictSize", s.StrictSize);
  s.LastFolder = ini.ReadString(SettingsSection, "LastFolder", s.LastFolder);
  s.ExifDateCheckBox = ini.ReadBool(SettingsSection, "ExifDateCheckBox", s.ExifDateCheckBox);
  s.OutputFolder = ini.ReadString(SettingsSection, "OutputFolder", s.OutputFolder);
  s.Sharp = ini.ReadBool(SettingsSection, "SharpDownsizing", s.Sharp);
  for (int n = 1; n <= MaxFavourites; ++n) {
    const std::string folder = ini.ReadString(PathSection, FavouriteKey(n), "");
    if (!folder.empty() && FolderExists(folder)) s.Paths.push_back(folder);
  }
  return s;
}

bool SaveSettings(const std::string& Folder, const TSettings& Settings) {
  const std::string path = SettingsPath(Folder);
  TIniFile ini(path);
  // A file that exists but cannot be read is not replaced: its other sections
  // would be lost.
  if (ini.Loaded()) {
    ini.EraseSection(SettingsSection);
    ini.EraseSection(PathSection);
    ini.WriteString(SettingsSection, "Extensions", "");
    ini.WriteString(SettingsSection, "CopyrightText", Settings.CopyrightText);
    ini.WriteString(SettingsSection, "SizeEdit1", Settings.SizeEdit1);
    ini.WriteString(SettingsSection, "SizeEdit2", Settings.SizeEdit2);
    ini.WriteInteger(SettingsSection, "SizeSelected1", Settings.SizeSelected1);
    ini.WriteInteger(SettingsSection, "SizeSelected2", Settings.SizeSelected2);
    ini.WriteInteger(SettingsSection, "SizeSelected3", Settings.SizeSelected3);
    ini.WriteInteger(SettingsSection, "Path", Settings.PathMode);
    ini.WriteInteger(SettingsSection, "LanguageCode", Settings.LanguageCode);
    // The renaming tab is never reopened at start; the file-size tab is.
    ini.WriteInteger(SettingsSection, "ActivePageIndex", std::min(Settings.ActivePageIndex, 1));
    ini.WriteBool(SettingsSection, "Overwrite", Settings.Overwrite);
    ini.WriteBool(SettingsSection, "CopyrigthTextCheckbox", Settings.TextCheckBox);
    ini.WriteBool(SettingsSection, "PreViewCheckBox", Settings.PreViewCheckBox);
    ini.WriteBool(SettingsSection, "PreView", Settings.PreView);
    ini.WriteInteger(SettingsSection, "Quality", Settings.Quality);
    ini.WriteBool(SettingsSection, "NoEnlarge", Settings.NoEnlarge);
    ini.WriteBool(SettingsSection, "StrictSize", Settings.StrictSize);
    ini.WriteString(SettingsSection, "LastFolder", Settings.LastFolder);
    ini.WriteBool(SettingsSection, "ExifDateCheckBox", Settings.ExifDateCheckBox);
    ini.WriteString(SettingsSection, "OutputFolder", Settings.OutputFolder);
    ini.WriteBool(SettingsSection, "SharpDownsizing", Settings.Sharp);
    const int stored = std::min<int>(MaxFavourites, static_cast<int>(Settings.Paths.size()));
    for (int i = 0; i < stored; ++i) {
      if (!Settings.Paths[i].empty())
        ini.WriteString(PathSection, FavouriteKey(i + 1), Settings.Paths[i]);
    }
    if (ini.Save()) return true;
  }
  ShowMessage("Unable to write to " + path);
  return false;
}

}  // namespace pictrim
