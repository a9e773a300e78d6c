#include "rename/TakenNames.h"

#include <filesystem>
#include <system_error>

#include "util/MoreStr.h"

namespace pictrim {

TTakenNames::TNames& TTakenNames::NamesOf(const std::string& Folder) {
  const auto found = Folders_.find(Folder);
  if (found != Folders_.end()) return found->second;
  TNames& names = Folders_[Folder];
  // A folder that cannot be listed blocks nothing here; the rename itself
  // still never replaces an existing file.
  std::error_code error;
  for (std::filesystem::directory_iterator it(Folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    names.emplace(LowerCase(name), name);
  }
  return names;
}

std::string TTakenNames::Holder(const std::string& Folder, const std::string& Name) {
  const TNames& names = NamesOf(Folder);
  const auto found = names.find(LowerCase(Name));
  return found == names.end() ? std::string() : Folder + found->second;
}

void TTakenNames::Rename(const std::string& Folder, const std::string& OldName,
                         const std::string& NewName) {
  TNames& names = NamesOf(Folder);
  const auto [first, last] = names.equal_range(LowerCase(OldName));
  for (auto it = first; it != last; ++it) {
    if (it->second == OldName) {
      names.erase(it);
      break;
    }
  }
  names.emplace(LowerCase(NewName), NewName);
}

}  // namespace pictrim
