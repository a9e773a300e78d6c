#include "settings/Localize.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/Collation.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/LanguageTable.h"
#include "util/MoreDialogs.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

constexpr std::string_view IniExtension = ".ini";

// What a caption shows when a language file lacks its key: nothing, or the
// German text of a caption that language files made by hand may predate.
std::string MissingCaption(const char* Key) {
  for (const TLanguageRow& row : LanguageTable) {
    if (row.GermanWhenMissing && std::string_view(row.GermanKey) == Key) return row.German;
  }
  return std::string();
}

bool CouldLeaveFolder(const std::string& Name) {
  return Name.find(PathDelimiter) != std::string::npos || Name.find('\0') != std::string::npos;
}

// The file of language Name; nothing when it does not exist or Name could
// leave the folder.
std::optional<std::string> LanguageFile(const std::string& Folder, const std::string& Name) {
  if (CouldLeaveFolder(Name)) return std::nullopt;
  std::string path =
      IncludeTrailingDelimiter(Folder) + LanguageFilePrefix + Name + std::string(IniExtension);
  std::error_code ec;
  if (!fs::exists(fs::path(path), ec)) return std::nullopt;
  return path;
}

}  // namespace

std::vector<std::string> FillLanguageList(const std::string& Folder) {
  std::unique_ptr<TFileList> files;
  ListFilesInFolder(files, IncludeTrailingDelimiter(Folder), LanguageFilePrefix, true, "ini");
  std::vector<std::string> names;
  const size_t prefix = std::string_view(LanguageFilePrefix).size();
  for (const std::string& file : *files) {
    names.push_back(file.substr(prefix, file.size() - prefix - IniExtension.size()));
  }
  std::stable_sort(names.begin(), names.end(), [](const std::string& A, const std::string& B) {
    return CompareCollated(A, B) < 0;
  });
  return names;
}

std::optional<std::vector<TCaption>> ApplyLanguage(const std::string& Folder,
                                                   const std::string& Name) {
  const std::optional<std::string> path = LanguageFile(Folder, Name);
  if (!path) return std::nullopt;
  const TIniFile ini(*path);
  if (!ini.Loaded()) {
    ShowMessage(LanguageLoadErrorText);
    return std::nullopt;
  }
  std::vector<TCaption> captions;
  captions.reserve(AppliedCaptionKeys.size());
  for (const char* key : AppliedCaptionKeys) {
    captions.push_back({key, ini.ReadString(MainFormSection, key, MissingCaption(key))});
  }
  UseTexts([&ini](const char* Section, const char* Key) -> std::optional<std::string> {
    if (!ini.KeyExists(Section, Key)) return std::nullopt;
    return ini.ReadString(Section, Key, "");
  });
  return captions;
}

std::string LanguageLocale(const std::string& Folder, const std::string& Name) {
  constexpr const char* german = "de";
  const std::optional<std::string> path = LanguageFile(Folder, Name);
  if (!path) return german;
  const TIniFile ini(*path);
  return ini.ReadString(LanguageLabelSection, LanguageLocaleKey, german);
}

bool IsSelectableLanguage(const std::string& Name, const std::vector<std::string>& List) {
  return !CouldLeaveFolder(Name) && std::find(List.begin(), List.end(), Name) != List.end();
}

int LanguageIndexOrDefault(int Stored, std::size_t Count) {
  return Stored >= 0 && static_cast<std::size_t>(Stored) < Count ? Stored : 0;
}

}  // namespace pictrim
