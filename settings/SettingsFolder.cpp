#include "settings/SettingsFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <optional>

#include "platform/Paths.h"
#include "settings/Ini.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

std::mutex FolderMutex;
std::optional<std::string> ChosenFolder;

// A settings file beside the executable marks a portable copy. A folder of
// that name does not: nothing could be saved into it.
bool HoldsSettingsFile(const std::string& Folder) {
  struct stat info {};
  const std::string path = Folder + SettingsFileName;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace

std::string ChooseSettingsFolder(const std::string& ExecutableFolder,
                                 const std::string& XdgConfigHome, const std::string& Home) {
  const std::string exeFolder = IncludeTrailingDelimiter(ExecutableFolder);
  if (HoldsSettingsFile(exeFolder)) return exeFolder;
  // A relative configuration home is to be ignored.
  if (!XdgConfigHome.empty() && XdgConfigHome.front() == PathDelimiter) {
    return IncludeTrailingDelimiter(XdgConfigHome) + "pictrim/";
  }
  if (!Home.empty()) return IncludeTrailingDelimiter(Home) + ".config/pictrim/";
  return exeFolder;
}

std::string OpenSettingsFolder(const std::string& ExecutableFolder,
                               const std::string& XdgConfigHome, const std::string& Home) {
  const std::string folder = ChooseSettingsFolder(ExecutableFolder, XdgConfigHome, Home);
  // When it cannot be created, saving reports that later.
  MakeFolderPath(folder);
  return folder;
}

std::string SettingsFolder() {
  std::lock_guard<std::mutex> lock(FolderMutex);
  if (!ChosenFolder) {
    ChosenFolder = OpenSettingsFolder(pictrim::ExecutableFolder(),
                                      EnvironmentValue("XDG_CONFIG_HOME"), HomeFolder());
  }
  return *ChosenFolder;
}

void SetSettingsFolder(const std::string& Folder) {
  std::lock_guard<std::mutex> lock(FolderMutex);
  ChosenFolder = IncludeTrailingDelimiter(Folder);
}

}  // namespace pictrim
