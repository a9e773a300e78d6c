// The folder that holds the settings file and the language files: the user's
// configuration folder, or the executable's own folder for a portable copy
// (one that finds a settings file beside itself).
#pragma once

#include <string>

namespace pictrim {

// Decided once per run; ends with "/". The configuration folder is created
// when it is missing; when it cannot be, saving the settings reports it.
std::string SettingsFolder();

// The choice itself, reading nothing but the executable's folder:
// ExecutableFolder when a pictrim.ini stands in it (a portable copy), else
// XdgConfigHome + "/pictrim/" when XdgConfigHome is an absolute path, else
// Home + "/.config/pictrim/". With neither it stays with ExecutableFolder.
std::string ChooseSettingsFolder(const std::string& ExecutableFolder,
                                 const std::string& XdgConfigHome, const std::string& Home);

// ChooseSettingsFolder, then creates the chosen folder when it is missing.
std::string OpenSettingsFolder(const std::string& ExecutableFolder,
                               const std::string& XdgConfigHome, const std::string& Home);

// Points the program at a folder of its own choosing (tests use this); the
// delimiter is added when missing.
void SetSettingsFolder(const std::string& Folder);

}  // namespace pictrim
