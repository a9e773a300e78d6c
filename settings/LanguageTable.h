// The captions of the built-in language files, in writing order, and the keys
// the main window takes its captions from, in the order it applies them. The
// other texts of the files follow in the order of the text table
// (util/TextTable.h).
#pragma once

#include <array>
#include <string_view>

#include "settings/CreateLanguageINI.h"
#include "util/TextTable.h"

namespace pictrim {

inline constexpr const char* LanguageLabelSection = "LocalStrings";
inline constexpr const char* LanguageLabelKey = "String_CurrentLanguage";
inline constexpr const char* MainFormSection = "MainForm";
inline constexpr const char* PathWindowSection = PathWindowTexts;
// The label of a language for Qt's own dialogs and buttons ("de", "en").
inline constexpr const char* LanguageLocaleKey = "Locale";

struct TLanguageRow {
  const char* Section;
  const char* GermanKey;  // the two files differ in the key of one row
  const char* EnglishKey;
  const char* German;
  const char* English;
  // A caption younger than most language files: a file without its key
  // shows the German text rather than none.
  bool GermanWhenMissing = false;
};

constexpr TLanguageRow PathWindowRow(TTextId Id) {
  const TTextRow& row = TextTable[static_cast<std::size_t>(Id)];
  return {PathWindowSection, row.Key, row.Key, row.German, row.English};
}

inline constexpr std::array<TLanguageRow, 32> LanguageTable{{
    {MainFormSection, "Pages[0].Caption", "Pages[0].Caption", "Größe ändern", "Change Size"},
    {MainFormSection, "Pages[1].Caption", "Pages[1].Caption", "Dateigröße ändern",
     "Change Filesize"},
    {MainFormSection, "Pages[2].Caption", "Pages[2].Caption", "Dateinamen anpassen",
     "Edit Filename"},
    {MainFormSection, "PathRadioGroup1.Items[1]", "PathRadioGroup1.Items[1]", "auswählen",
     "select"},
    {MainFormSection, "PathRadioGroup1.Items[2]", "PathRadioGroup1.Items[2]", "aus Liste",
     "from list"},
    {MainFormSection, "OptionsGroupBox.caption", "OptionsGroupBox.caption", "Optionen", "Options"},
    {MainFormSection, "PathButton.caption1", "PathButton.caption1", "Verzeichnis wählen",
     "Select Path"},
    {MainFormSection, "PathButton.caption2", "PathButton.caption2", "Verzeichnis-Liste bearbeiten",
     "Edit Path List"},
    {MainFormSection, "ResizeButton1.caption", "ResizeButton1.caption", "Größe ändern &AUSFÜHREN",
     "&EXECUTE File Resize"},
    {MainFormSection, "RadioGroup1.caption", "RadioGroup1.caption", "Größte Kantenlänge",
     "Largest Edge Length"},
    {MainFormSection, "GroupBox1.caption", "GroupBox1.caption", "Optionen", "Options"},
    {MainFormSection, "PathButton1.caption", "PathButton1.caption", "Verzeichnis wählen",
     "Select Path"},
    {MainFormSection, "OverwriteCheckBox.caption", "OverwriteCheckBox.caption",
     "Dateien überschreiben falls schon vorhanden", "Overwrite Files if exist"},
    {MainFormSection, "TextCheckBox.caption", "TextCheckBox.caption", "Text ins Bild einkopieren",
     "Copy Text into Picture :"},
    {MainFormSection, "RadioGroup2.caption", "RadioGroup2.caption", "Dateigröße", "File Size"},
    {MainFormSection, "PathButton2.caption", "GroupBox2.caption", "Verzeichnis wählen", "Options"},
    {MainFormSection, "ResizeButton2.caption", "ResizeButton2.caption", "Größe ändern &AUSFÜHREN",
     "&EXECUTE File Resize"},
    {MainFormSection, "CheckBox1.Caption", "CheckBox1.Caption",
     "Dateien überschreiben falls schon vorhanden", "Overwrite Files if exist"},
    {MainFormSection, "CheckBox3.Caption", "CheckBox3.Caption",
     "Text ins Bild einkopieren :", "Copy Text into Picture :"},
    {MainFormSection, "GroupBox4.caption", "GroupBox4.caption", "Datum im Dateinamen anpassen",
     "Adjust Date in Filename"},
    {MainFormSection, "Label8.caption", "Label8.caption",
     "Die Änderung des Datums im Dateinamen funktioniert zur Zeit",
     "Changing the Date in the Filename at the moment works"},
    {MainFormSection, "Label9.caption", "Label9.caption",
     "nur für drei Formate (CASIO, \"IMGxxxx\" und \"Olympus\")",
     "only for three formats (CASIO, \"IMGxxxx\" and \"Olympus\")"},
    {MainFormSection, "Label10.caption", "Label10.caption",
     "Haben Ihre Bilder im Dateinamen ein anderes Datumsformat ?",
     "Do Your pictures have a different Date Format in the filename ?"},
    {MainFormSection, "Label11.caption", "Label11.caption",
     "Bitte senden Sie eine Email an beispielbilder@pictrim.invalid!",
     "Please send an Email to beispielbilder@pictrim.invalid"},
    {MainFormSection, "Label12.caption", "Label12.caption", "am besten mit Beispiel-Bilddatei !",
     "and please append a picture as example !"},
    {MainFormSection, "RadioGroup3.caption", "RadioGroup3.caption",
     "Neues Datumsformat im Datei-Namen", "New Date Format in Filename"},
    {MainFormSection, "GroupBox5.caption", "GroupBox5.caption", "Einstellungen", "Settings"},
    {MainFormSection, "EditFileNameButton.caption", "EditFileNameButton.caption",
     "Dateinamen ändern &AUSFÜHREN", "&EXECUTE File Renaming"},
    {MainFormSection, "ExifDateCheckBox.caption", "ExifDateCheckBox.caption",
     "Aufnahmezeit aus EXIF verwenden", "Use the time taken from EXIF", true},
    {MainFormSection, "RenameMessages.CheckBox", "RenameMessages.CheckBox",
     "Keine weiteren Meldungen in diesem Lauf", "No more messages in this run", true},
    // The path list window's two captions are texts of the text table as well,
    // which the window takes them from.
    PathWindowRow(TTextId::PathListHeading),
    PathWindowRow(TTextId::AddPathCaption),
}};

// The support-address row must carry the address the program names elsewhere.
static_assert(std::string_view(LanguageTable[23].German).find(SupportAddress) !=
                  std::string_view::npos &&
              std::string_view(LanguageTable[23].English).ends_with(SupportAddress));

// Section MainForm, in the order the window applies the captions. Both path
// button captions are listed; the window shows the one for its folder mode.
inline constexpr std::array<const char*, 25> AppliedCaptionKeys{
    "Pages[0].Caption",         "Pages[1].Caption",
    "Pages[2].Caption",         "PathButton.Caption1",
    "PathButton.Caption2",      "PathRadioGroup1.Items[1]",
    "PathRadioGroup1.Items[2]", "RadioGroup1.Caption",
    "OptionsGroupBox.Caption",  "OverwriteCheckBox.Caption",
    "TextCheckBox.Caption",     "ResizeButton1.Caption",
    "RadioGroup2.Caption",      "ResizeButton2.Caption",
    "GroupBox4.caption",        "Label8.caption",
    "Label9.caption",           "Label10.caption",
    "Label11.caption",          "Label12.caption",
    "RadioGroup3.Caption",      "EditFileNameButton.Caption",
    "GroupBox5.Caption",        "ExifDateCheckBox.caption",
    "RenameMessages.CheckBox"};

}  // namespace pictrim
