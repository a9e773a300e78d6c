// The language files of the settings folder: which languages there are, and
// the captions one of them gives the main window.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace pictrim {

// One caption of the main window: the key it is read under and its text.
struct TCaption {
  std::string Key;
  std::string Text;
  bool operator==(const TCaption&) const = default;
};

// The message shown when an existing language file cannot be read.
inline constexpr const char* LanguageLoadErrorText =
    "Fatal error: could not load Language INI file(s)";

// The names of the languages in Folder (the text between "LANGUAGE_", in that
// letter case, and ".ini"), sorted as the language combo sorts: without regard
// to case, by the user's collation. "LANGUAGE_.ini" gives an empty name.
std::vector<std::string> FillLanguageList(const std::string& Folder);

// The captions of language Name in the order the window applies them, both
// path-button captions at the path button's place; a key the file lacks gives
// an empty text, or the German one for the captions added to the program
// after the first language files were made. The file's other texts become
// the ones in use (util/Texts.h), a text it lacks staying German. Nothing,
// and no text changed, when no such file exists or Name could leave the
// folder; nothing and the load-error message when the file cannot be read.
std::optional<std::vector<TCaption>> ApplyLanguage(const std::string& Folder,
                                                   const std::string& Name);

// The locale Qt's own dialogs and buttons speak with language Name ("de",
// "en", ...): LocalStrings/Locale of its file; "de" when the file does not say.
std::string LanguageLocale(const std::string& Folder, const std::string& Name);

// True when Name is one of the listed languages and holds no "/", so a name
// typed into the combo can never become a path elsewhere.
bool IsSelectableLanguage(const std::string& Name, const std::vector<std::string>& List);

// Stored when it is a position in a list of Count languages, else 0.
int LanguageIndexOrDefault(int Stored, std::size_t Count);

}  // namespace pictrim
