#include "settings/CreateLanguageINI.h"

#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/LanguageTable.h"

namespace pictrim {
namespace {

enum class TColumn { German, English };

void WriteColumn(TIniFile& Ini, TColumn Column) {
  const bool german = Column == TColumn::German;
  Ini.WriteString(LanguageLabelSection, LanguageLocaleKey, german ? "de" : "en");
  for (const TLanguageRow& row : LanguageTable) {
    Ini.WriteString(row.Section, german ? row.GermanKey : row.EnglishKey,
                    german ? row.German : row.English);
  }
  for (const TTextRow& row : TextTable) {
    Ini.WriteString(row.Section, row.Key, german ? row.German : row.English);
  }
}

}  // namespace

void WriteLanguageFile(const std::string& Folder, const std::string& FileName,
                       const std::string& Label) {
  TIniFile ini(IncludeTrailingDelimiter(Folder) + LanguageFilePrefix + FileName);
  // Rewriting a file that could not be read would lose what it holds.
  if (!ini.Loaded()) return;
  ini.WriteString(LanguageLabelSection, LanguageLabelKey, Label);
  if (Label == "Deutsch") WriteColumn(ini, TColumn::German);
  if (Label == "English") WriteColumn(ini, TColumn::English);
  // A folder that cannot be written keeps the files it has; applying a
  // language reports what is missing.
  ini.Save();
}

void WriteDefaultLanguageFiles(const std::string& Folder) {
  WriteLanguageFile(Folder, "German.ini", "Deutsch");
  WriteLanguageFile(Folder, "English.ini", "English");
}

}  // namespace pictrim
