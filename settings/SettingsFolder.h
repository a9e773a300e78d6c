// The folder that holds the settings file and the language files: the
// executable's folder when the program may write there, else the user's
// configuration folder.
#pragma once

#include <string>

namespace pictrim {

// Decided once per run; ends with "/". The configuration folder is created
// when it is missing.
std::string SettingsFolder();

// The choice itself, without touching the disk beyond a write-access check:
// ExecutableFolder when it is a writable folder, else XdgConfigHome + "/pictrim/"
// when XdgConfigHome is an absolute path, else Home + "/.config/pictrim/". With
// neither it stays with ExecutableFolder.
std::string ChooseSettingsFolder(const std::string& ExecutableFolder,
                                 const std::string& XdgConfigHome, const std::string& Home);

// Points the program at a folder of its own choosing (tests use this); the
// delimiter is added when missing.
void SetSettingsFolder(const std::string& Folder);

}  // namespace pictrim
