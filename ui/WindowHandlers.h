// The window's answers to the engine's requests for a message box and for a
// folder: a QMessageBox over the window and the Qt folder dialog.
#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace pictrim {

// Installs the handlers of util/MoreDialogs for a program with a window.
// A message raised on a job thread is shown on the GUI thread and the job
// waits until it is closed; one raised on the GUI thread is shown at once.
void InstallWindowHandlers(QWidget* Parent);

// The message box itself (GUI thread): the text with its CR and CR LF line
// breaks shown as new lines, an arrow cursor while it shows.
void ShowMessageBox(QWidget* Parent, const std::string& Text);

// The same with a check box captioned CheckCaption under the text; true when
// the user left it checked.
bool ShowCheckedMessageBox(QWidget* Parent, const std::string& Text,
                           const std::string& CheckCaption);

// A question with the buttons Yes (the default) and No; true for Yes.
bool AskQuestionBox(QWidget* Parent, const std::string& Text);

// The folder dialog itself (GUI thread): Title as its caption, opened at
// StartFolder when that folder exists; nothing when the user cancelled.
std::optional<std::string> ChooseFolderDialog(QWidget* Parent, const std::string& Title,
                                              const std::string& StartFolder);

// The font of every window: "MS Sans Serif" 8 pt where installed, else
// DejaVu Sans at 11 pixels, grown with a font resolution above 96 dots per
// inch; set as the application font.
void UseWindowFont();
// The pixel size of the DejaVu face at LogicalDpi: 11 up to 96 dots per
// inch, in proportion above (at most four times).
int WindowFontPixels(double LogicalDpi);

// CR LF and single CR as "\n".
std::string MessageLines(const std::string& Text);

// Opens a folder in the desktop's file manager; false when that failed.
using TFolderOpener = std::function<bool(const std::string& Folder)>;
// Installs the opener and returns the one installed before; the first one
// asks the desktop (QDesktopServices). Tests install their own.
TFolderOpener SetFolderOpener(TFolderOpener Opener);
// Opens Folder with the installed opener (GUI thread).
bool OpenInFileManager(const std::string& Folder);

// Qt's own dialogs and buttons speak the language of Locale ("de", "en", ...)
// when Qt has a translation for it, else English. False when none was found.
bool UseQtTranslations(const std::string& Locale);

}  // namespace pictrim
