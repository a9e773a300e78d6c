#include "settings/SettingsFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/Paths.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

std::mutex FolderMutex;
std::optional<std::string> ChosenFolder;

bool IsWritableFolder(const std::string& Folder) {
  return FolderExists(Folder) && ::access(Folder.c_str(), W_OK | X_OK) == 0;
}

std::string EnvironmentValue(const char* Name) {
  const char* value = std::getenv(Name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvironmentValue("HOME");
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
      home = entry->pw_dir;
    }
  }
  return home;
}

}  // namespace

std::string ChooseSettingsFolder(const std::string& ExecutableFolder,
                                 const std::string& XdgConfigHome, const std::string& Home) {
  const std::string exeFolder = IncludeTrailingDelimiter(ExecutableFolder);
  if (IsWritableFolder(exeFolder)) return exeFolder;
  // A relative configuration home is to be ignored.
  if (!XdgConfigHome.empty() && XdgConfigHome.front() == PathDelimiter) {
    return IncludeTrailingDelimiter(XdgConfigHome) + "pictrim/";
  }
  if (!Home.empty()) return IncludeTrailingDelimiter(Home) + ".config/pictrim/";
  return exeFolder;
}

std::string SettingsFolder() {
  std::lock_guard<std::mutex> lock(FolderMutex);
  if (!ChosenFolder) {
    ChosenFolder = ChooseSettingsFolder(pictrim::ExecutableFolder(),
                                        EnvironmentValue("XDG_CONFIG_HOME"), HomeFolder());
    // When it cannot be created, saving reports that later.
    MakeFolderPath(*ChosenFolder);
  }
  return *ChosenFolder;
}

void SetSettingsFolder(const std::string& Folder) {
  std::lock_guard<std::mutex> lock(FolderMutex);
  ChosenFolder = IncludeTrailingDelimiter(Folder);
}

}  // namespace pictrim
