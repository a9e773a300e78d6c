// Messages to the user and folder services. The message box and the folder
// chooser go through installable handlers: a dialog in the window, a line on
// stderr in a headless run, a recorder or a script in tests.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pictrim {

// Shows Text to the user and returns when the user has seen it.
using TMessageHandler = std::function<void(const std::string& Text)>;

// Asks the user for a folder; StartFolder is preselected when not empty.
// Returns the chosen folder, or nothing when the user cancelled.
using TFolderHandler =
    std::function<std::optional<std::string>(const std::string& Title, const std::string& StartFolder)>;

// Shows Text with a check box captioned CheckCaption and returns when the
// user has seen it: true when the box was left checked.
using TCheckedMessageHandler =
    std::function<bool(const std::string& Text, const std::string& CheckCaption)>;

// Asks the user a question to be answered yes (true) or no.
using TQuestionHandler = std::function<bool(const std::string& Text)>;

// Install a handler and return the one installed before. The default message
// handler prints the text as a line on stderr; the default folder handler
// answers "cancelled"; the default checked-message handler shows the text
// through the message handler and answers false; the default question
// handler prints the question on stderr and answers no.
TMessageHandler SetMessageHandler(TMessageHandler Handler);
TFolderHandler SetFolderHandler(TFolderHandler Handler);
TCheckedMessageHandler SetCheckedMessageHandler(TCheckedMessageHandler Handler);
TQuestionHandler SetQuestionHandler(TQuestionHandler Handler);

// A modal message box. May be called from any thread; the installed handler
// shows messages one at a time (the window's and the terminal's handlers do).
void ShowMessage(const std::string& Text);

// A modal message box with a check box, such as "no more of these"; true
// when the user checked it.
bool ShowCheckedMessage(const std::string& Text, const std::string& CheckCaption);

// A modal question with the answers yes and no; true for yes.
bool AskQuestion(const std::string& Text);

// Lets the user pick a folder; Result becomes it, ending with the delimiter.
// On cancel Result stays as it was.
void SelectFolder(std::string& Result);

// As SelectFolder, with StartFolder preselected.
void SelectFolderFrom(const std::string& StartFolder, std::string& Result);

// True when the folder exists.
bool FolderExists(const std::string& Folder);

// Creates the folder with every missing parent; true when it exists
// afterwards. When it does not, Reason (if given) gets the system's words why.
bool MakeFolderPath(const std::string& Folder, std::string* Reason = nullptr);

}  // namespace pictrim
