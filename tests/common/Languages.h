// Whether a text a person reads is German: its letters and the words the
// program's German texts are made of. For tests that an English window or
// file holds no German.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pictrim::test {

inline bool LooksGerman(std::string_view Text) {
  static constexpr std::array<std::string_view, 31> markers = {
      "ä",        "ö",           "ü",          "Ä",           "Ö",        "Ü",           "ß",
      " und ",    "oder",        "Datei",      "Verzeichnis", "Bild",     "Größe",       "wählen",
      "Aktion",   "Text oben",   "Text unten", "abbrechen",   "Vorschau", "Fortschritt", "Jahr",
      "Tag ",     "Nummer",      "Sekunde",    "Breite",      "maximale", "Letz",        "Beispiel",
      "Optionen", "Einstellung", " von "};
  for (std::string_view marker : markers)
    if (Text.find(marker) != std::string_view::npos) return true;
  return false;
}

}  // namespace pictrim::test
