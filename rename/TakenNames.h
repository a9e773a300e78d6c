// The names a renaming run must not give: the entries of every folder it
// renames in, compared without regard to letter case and kept up to date as
// the run renames (or, in a dry run, would rename). Photo folders travel to
// memory cards and other systems where two names that differ only in letter
// case are one name, so either of them blocks the other.
#pragma once

#include <map>
#include <string>

namespace pictrim {

class TTakenNames {
 public:
  // The full path of the entry of Folder (ending with the delimiter) whose
  // name equals Name ignoring letter case; empty when there is none. The
  // folder is listed when it is first asked about.
  std::string Holder(const std::string& Folder, const std::string& Name);

  // Records that the entry OldName of Folder is now called NewName.
  void Rename(const std::string& Folder, const std::string& OldName, const std::string& NewName);

 private:
  // Lower-case name -> name; a folder may hold several names of one spelling.
  using TNames = std::multimap<std::string, std::string>;
  TNames& NamesOf(const std::string& Folder);

  std::map<std::string, TNames> Folders_;
};

}  // namespace pictrim
