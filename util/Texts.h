// The texts a user reads besides the main window's captions of the language
// files: hints, the other windows' captions, message boxes and status texts,
// each looked up by its name in the language in use. The window takes them
// from the chosen language file, a text the file lacks staying German; the
// command line takes the built-in German or English column by the locale.
// Until either is chosen the German texts are in use.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "util/TextTable.h"

namespace pictrim {

// The text in use. %1 ... %9 stand where Args go, in one pass, so an argument
// that holds "%2" itself stays as it is; a placeholder without an argument
// stays in the text.
std::string Text(TTextId Id);
std::string Text(TTextId Id, const std::vector<std::string>& Args);
std::string FormatText(const std::string& Pattern, const std::vector<std::string>& Args);

// One of the two built-in columns.
void UseBuiltInTexts(TLanguage Language);
// The texts of a built-in column, in the order of TTextId.
std::vector<std::string> BuiltInTexts(TLanguage Language);

// Asks Lookup for every text by section and key; a text it has no answer for
// is the German one.
using TTextLookup = std::function<std::optional<std::string>(const char* Section, const char* Key)>;
void UseTexts(const TTextLookup& Lookup);

// The texts in use now, by TTextId, for Retranslated after a change of language.
std::vector<std::string> TextsNow();

// The arguments Text was made with from Pattern, by their numbers (%1 is the
// first); nothing when Text is not made from Pattern. Where the pattern
// leaves a choice, each argument is as short as it can be.
std::optional<std::vector<std::string>> TextArguments(const std::string& Pattern,
                                                      const std::string& Text);

// A line of the error log or a status text that was made from one of the
// texts From held (TextsNow before a change of language), made anew from
// the texts in use, its reasons too; a text made from none of them stays as
// it is. Where several would fit, the one with the most fixed words wins.
std::string Retranslated(const std::string& Text, const std::vector<std::string>& From);

// German when the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty begins with "de", else English. Null stands for a variable not set.
TLanguage LanguageOfLocale(const char* LcAll, const char* LcMessages, const char* Lang);
// The same with the process's environment.
TLanguage LanguageOfEnvironment();

}  // namespace pictrim
