// Writes the built-in language files (German and English) into the settings
// folder. Only the built-in keys are replaced, so keys and sections added to a
// file by hand survive the rewrite at every start.
#pragma once

#include <string>

namespace pictrim {

// Where users are asked to send example pictures of unknown file-name formats.
inline constexpr const char* SupportAddress = "beispielbilder@pictrim.invalid";

// The file-name prefix of every language file: "LANGUAGE_" + name + ".ini".
inline constexpr const char* LanguageFilePrefix = "LANGUAGE_";

// LANGUAGE_German.ini with the label "Deutsch", then LANGUAGE_English.ini with
// the label "English".
void WriteDefaultLanguageFiles(const std::string& Folder);

// Writes Label under LocalStrings/String_CurrentLanguage into
// Folder + "LANGUAGE_" + FileName; the label "Deutsch" adds the German
// captions and texts, "English" the English ones (each with the locale of
// Qt's own dialogs under LocalStrings/Locale), any other label nothing more.
// A file that exists but cannot be read is left alone.
void WriteLanguageFile(const std::string& Folder, const std::string& FileName,
                       const std::string& Label);

}  // namespace pictrim
