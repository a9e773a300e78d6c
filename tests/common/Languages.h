// Whether a text a person reads is German: its letters and the words the
// program's German texts are made of. For tests that an English window or
// file holds no German.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "util/Texts.h"

namespace pictrim::test {

// One built-in column of texts for the time of a test; German (the texts in
// use before a language is chosen) again afterwards.
struct TBuiltInTexts {
  explicit TBuiltInTexts(TLanguage Language) { UseBuiltInTexts(Language); }
  ~TBuiltInTexts() { UseBuiltInTexts(TLanguage::German); }
  TBuiltInTexts(const TBuiltInTexts&) = delete;
  TBuiltInTexts& operator=(const TBuiltInTexts&) = delete;
};

inline bool LooksGerman(std::string_view Text) {
  // "oder" only as a word: "decoder" is English.
  static constexpr std::array<std::string_view, 32> markers = {
      "ä",        "ö",          "ü",          "Ä",         "Ö",           "Ü",        "ß",
      " und ",    " oder",      "Oder",       "Datei",     "Verzeichnis", "Bild",     "Größe",
      "wählen",   "Aktion",     "Text oben",  "Text unten", "abbrechen",  "Vorschau", "Fortschritt",
      "Jahr",     "Tag ",       "Nummer",     "Sekunde",   "Breite",      "maximale", "Letz",
      "Beispiel", "Optionen",   "Einstellung", " von "};
  for (std::string_view marker : markers)
    if (Text.find(marker) != std::string_view::npos) return true;
  return false;
}

}  // namespace pictrim::test
