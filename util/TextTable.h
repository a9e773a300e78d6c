// Every text of the table of Texts.h: its name in the program, where the
// language files keep it (section and key), and its German and English
// wording. The language files are written in this order. A language file
// keeps no blanks at the ends of a text, so what matters begins and ends
// with something else.
#pragma once

#include <array>
#include <cstddef>

namespace pictrim {

enum class TLanguage { German, English };

enum class TTextId {
  // Main window: captions and hints besides those of the original caption list.
  EdgeGroupCaption,
  EdgeWidth,
  EdgeHeight,
  EdgeBoth,
  PixelGroupHint,
  PixelEntry,
  KilobyteGroupHint,
  TextAtTop,
  TextAtBottom,
  QualityCaption,
  QualityDefault,
  QualityHint,
  NoEnlargeCaption,
  NoEnlargeHint,
  StrictSizeCaption,
  StrictSizeHint,
  DateFormatDayNumber,
  DateFormatSeconds,
  DateFormatWithOldName,
  FavouritesPlaceholder,
  StampTextExample,
  StatusStart,
  ExecuteHint,
  // The progress panel and the end of a job.
  ProgressCount,
  PreviewCaption,
  CancelCaption,
  TimeLeft,
  OutputFolder,
  OpenFolderCaption,
  OpenFolderHint,
  DropHint,
  // The progress and error-log window.
  ProgressWindowCaption,
  // The path list window.
  PathWindowCaption,
  PathListHeading,
  AddPathCaption,
  DeletePathCaption,
  // Message boxes and status texts.
  FolderChosenStatus,
  NotANumberMessage,
  MissingFolderMessage,
  RenamedStatus,
  AllResizedStatus,
  CancelledStatus,
  SelectFolderTitle,
  OpenFolderFailed,
  // The account at the end of a job; "One" for a count of 1.
  AccountSummary,
  AccountDamagedOne,
  AccountDamagedMany,
  AccountExistingOne,
  AccountExistingMany,
  AccountReplacesOne,
  AccountReplacesMany,
  AccountNotPictureOne,
  AccountNotPictureMany,
  AccountNotReachedOne,
  AccountNotReachedMany,
  // Renaming: the account of a run (and of a dry run) and the message per file.
  RenameAccount,
  RenameDryRunAccount,
  RenameResultMessage,
  // A job refused because its output folder lies inside its source folder.
  OutputInsideSourceMessage,
  Count
};

struct TTextRow {
  TTextId Id;
  const char* Section;
  const char* Key;
  const char* German;
  const char* English;
};

inline constexpr const char* MainFormTexts = "MainForm";
inline constexpr const char* ProgressWinTexts = "ProgressWin";
inline constexpr const char* PathWindowTexts = "PathWindow";
inline constexpr const char* MessageTexts = "Messages";

inline constexpr std::array<TTextRow, static_cast<std::size_t>(TTextId::Count)> TextTable{{
    {TTextId::EdgeGroupCaption, MainFormTexts, "RadioGroup4.Caption", "maximale ...",
     "maximum ..."},
    {TTextId::EdgeWidth, MainFormTexts, "RadioGroup4.Items[0]", "Breite (X)", "Width (X)"},
    {TTextId::EdgeHeight, MainFormTexts, "RadioGroup4.Items[1]", "Höhe (Y)", "Height (Y)"},
    {TTextId::EdgeBoth, MainFormTexts, "RadioGroup4.Items[2]", "Breite und Höhe ",
     "Width and Height "},
    {TTextId::PixelGroupHint, MainFormTexts, "RadioGroup1.Hint",
     "Hier stellen Sie die maximale Seitenlänge eines Bildes ein.",
     "Here you set the longest side a picture may have."},
    {TTextId::PixelEntry, MainFormTexts, "RadioGroup1.Item", "%1 Pixel", "%1 pixels"},
    {TTextId::KilobyteGroupHint, MainFormTexts, "RadioGroup2.Hint",
     "Hier stellen Sie die Dateigröße ein.", "Here you set the file size of the copies."},
    {TTextId::TextAtTop, MainFormTexts, "CheckBoxTop.Caption", "Text oben", "Text at the top"},
    {TTextId::TextAtBottom, MainFormTexts, "CheckBoxBottom.Caption", "Text unten",
     "Text at the bottom"},
    {TTextId::QualityCaption, MainFormTexts, "QualityLabel.Caption",
     "JPEG-&Qualität:", "JPEG &quality:"},
    {TTextId::QualityDefault, MainFormTexts, "QualitySpinBox.Default", "Standard", "default"},
    {TTextId::QualityHint, MainFormTexts, "QualitySpinBox.Hint",
     "Qualität der JPEG-Kopien von 1 bis 100; Standard: wie bisher",
     "Quality of the JPEG copies from 1 to 100; default: as before"},
    {TTextId::NoEnlargeCaption, MainFormTexts, "NoEnlargeCheckBox.Caption", "Nicht vergrößern",
     "Do not enlarge"},
    {TTextId::NoEnlargeHint, MainFormTexts, "NoEnlargeCheckBox.Hint",
     "Bilder, die schon klein genug sind, behalten ihre Größe",
     "Pictures that are small enough already keep their size"},
    {TTextId::StrictSizeCaption, MainFormTexts, "StrictSizeCheckBox.Caption",
     "Nie über der Zielgröße", "Never above the target"},
    {TTextId::StrictSizeHint, MainFormTexts, "StrictSizeCheckBox.Hint",
     "Keine Kopie wird größer als die gewählte Dateigröße",
     "No copy is larger than the chosen file size"},
    {TTextId::DateFormatDayNumber, MainFormTexts, "RadioGroup3.Items[0]",
     "2006-01-28  0001  = Jahr-Monat-Tag  Nummer", "2006-01-28  0001  = year-month-day  number"},
    {TTextId::DateFormatSeconds, MainFormTexts, "RadioGroup3.Items[1]",
     "20060128042723  = Jahr-Monat-Tag-Stunde-Minute-Sekunde",
     "20060128042723  = year-month-day-hour-minute-second"},
    {TTextId::DateFormatWithOldName, MainFormTexts, "RadioGroup3.Items[2]",
     "wie zuvor - aber mit angehängtem altem Dateinamen",
     "as before - with the old file name added"},
    {TTextId::FavouritesPlaceholder, MainFormTexts, "PathComboBox.Placeholder",
     "- Bitte Verzeichnis wählen -", "- Please choose a folder -"},
    {TTextId::StampTextExample, MainFormTexts, "PictureText.Text", "Copyright Max Beispiel",
     "Copyright Jane Doe"},
    {TTextId::StatusStart, MainFormTexts, "StatusBar1.Caption",
     "Letzte Aktion = ", "Last action = "},
    {TTextId::ExecuteHint, MainFormTexts, "ResizeButton.Hint",
     "Startet die Arbeit im gewählten Verzeichnis (Alt+A oder Eingabetaste)",
     "Starts the work on the chosen folder (Alt+E or Enter)"},
    {TTextId::ProgressCount, MainFormTexts, "ProgressLabel.Caption",
     "Fortschritt:  %1 von  %2  Dateien", "Progress:  %1 of  %2  files"},
    {TTextId::PreviewCaption, MainFormTexts, "PreViewCheckBox.Caption", "Vorschau anzeigen",
     "Show preview"},
    {TTextId::CancelCaption, MainFormTexts, "AbbrechenBitBtn.Caption", "abbrechen", "Cancel"},
    {TTextId::TimeLeft, MainFormTexts, "TimeLeftLabel.Caption", "noch etwa %1", "about %1 left"},
    {TTextId::OutputFolder, MainFormTexts, "OutputLabel.Caption", "Kopien in %1", "Copies in %1"},
    {TTextId::OpenFolderCaption, MainFormTexts, "OpenFolderButton.Caption", "&Ordner öffnen",
     "&Open folder"},
    {TTextId::OpenFolderHint, MainFormTexts, "OpenFolderButton.Hint",
     "Zeigt die Kopien im Dateimanager", "Shows the copies in the file manager"},
    {TTextId::DropHint, MainFormTexts, "DropHint.Caption",
     "Ein Verzeichnis kann auch auf das Fenster gezogen werden.",
     "A folder can also be dropped onto this window."},
    {TTextId::ProgressWindowCaption, ProgressWinTexts, "Caption", "Fortschrittsanzeige",
     "Progress"},
    {TTextId::PathWindowCaption, PathWindowTexts, "Caption", "Verzeichnis-Liste bearbeiten",
     "Edit Path List"},
    {TTextId::PathListHeading, PathWindowTexts, "LabelDescription.caption", "Verzeichnis - Liste",
     "List of Paths"},
    {TTextId::AddPathCaption, PathWindowTexts, "AddPathButton.caption",
     "neues Verzeichnis hinzufügen", "Add new Path"},
    {TTextId::DeletePathCaption, PathWindowTexts, "DeletePathButton.caption",
     "Verzeichnis entfernen", "Remove Path"},
    {TTextId::FolderChosenStatus, MessageTexts, "FolderChosen",
     "Letzte Aktion = Verzeichnis gewählt", "Last action = folder chosen"},
    {TTextId::NotANumberMessage, MessageTexts, "NotANumber",
     "Bitte geben Sie statt %1 eine Zahl ein", "Please enter a number instead of %1"},
    {TTextId::MissingFolderMessage, MessageTexts, "MissingFolder",
     "Das Verzeichnis %1 gibt es nicht.", "The folder %1 does not exist."},
    {TTextId::RenamedStatus, MessageTexts, "Renamed", "Letzte Aktion =  Umbenennen von %1 Dateien",
     "Last action =  %1 files renamed"},
    {TTextId::AllResizedStatus, MessageTexts, "AllResized",
     "Letze Aktion = Größenänderung aller Dateien im Verzeichnis %1",
     "Last action = all files in folder %1 resized"},
    {TTextId::CancelledStatus, MessageTexts, "Cancelled", "Letze Aktion = Prozess abgebrochen",
     "Last action = process cancelled"},
    {TTextId::SelectFolderTitle, MessageTexts, "SelectFolder",
     "Bitte wählen Sie einen Ordner aus:", "Please choose a folder:"},
    {TTextId::OpenFolderFailed, MessageTexts, "OpenFolderFailed",
     "Das Verzeichnis %1 konnte nicht geöffnet werden.", "The folder %1 could not be opened."},
    {TTextId::AccountSummary, MessageTexts, "Account",
     "%1 geschrieben, %2 übersprungen, %3 fehlgeschlagen", "%1 written, %2 skipped, %3 failed"},
    {TTextId::AccountDamagedOne, MessageTexts, "AccountDamaged1",
     "%1 aus einer beschädigten Quelle geschrieben: die Kopie kann unvollständig sein",
     "%1 written from a damaged source: the copy may be incomplete"},
    {TTextId::AccountDamagedMany, MessageTexts, "AccountDamaged",
     "%1 aus beschädigten Quellen geschrieben: die Kopien können unvollständig sein",
     "%1 written from damaged sources: the copies may be incomplete"},
    {TTextId::AccountExistingOne, MessageTexts, "AccountExisting1",
     "%1 übersprungen: die Kopie gibt es schon", "%1 skipped: its copy exists"},
    {TTextId::AccountExistingMany, MessageTexts, "AccountExisting",
     "%1 übersprungen: die Kopien gibt es schon", "%1 skipped: their copies exist"},
    {TTextId::AccountReplacesOne, MessageTexts, "AccountReplaces1", "(%1 ersetzt sie)",
     "(%1 replaces it)"},
    {TTextId::AccountReplacesMany, MessageTexts, "AccountReplaces", "(%1 ersetzt sie)",
     "(%1 replaces them)"},
    {TTextId::AccountNotPictureOne, MessageTexts, "AccountNotPicture1", "%1 kein Bild",
     "%1 not a picture"},
    {TTextId::AccountNotPictureMany, MessageTexts, "AccountNotPicture", "%1 keine Bilder",
     "%1 not pictures"},
    {TTextId::AccountNotReachedOne, MessageTexts, "AccountNotReached1",
     "%1 nicht bearbeitet: der Auftrag endete vorher", "%1 not done: the job stopped before it"},
    {TTextId::AccountNotReachedMany, MessageTexts, "AccountNotReached",
     "%1 nicht bearbeitet: der Auftrag endete vorher", "%1 not done: the job stopped before them"},
    {TTextId::RenameAccount, MessageTexts, "RenameAccount",
     "%1 umbenannt, %2 übersprungen, %3 fehlgeschlagen", "%1 renamed, %2 skipped, %3 failed"},
    {TTextId::RenameDryRunAccount, MessageTexts, "RenameDryRunAccount",
     "Probelauf: %1 umzubenennen, %2 übersprungen, %3 nicht umzubenennen",
     "%1 would be renamed, %2 skipped, %3 would fail"},
    {TTextId::RenameResultMessage, MessageTexts, "RenameResult", "result:\tNewFileList =\t%1",
     "Result:\tnew file name =\t%1"},
    {TTextId::OutputInsideSourceMessage, MessageTexts, "OutputInsideSource",
     "Der Ausgabeordner %1 liegt im Quellordner %2: es wurde nichts getan. Bitte wählen Sie "
     "einen Ausgabeordner außerhalb.",
     "The output folder %1 lies inside the source folder %2: nothing was done. Choose an output "
     "folder outside it."},
}};

// Each row stands at the place of its name, so a name finds its row directly.
constexpr bool RowsInOrder() {
  for (std::size_t i = 0; i < TextTable.size(); ++i)
    if (static_cast<std::size_t>(TextTable[i].Id) != i) return false;
  return true;
}
static_assert(RowsInOrder());

}  // namespace pictrim
