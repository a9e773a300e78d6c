#include "util/SystemUtils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <system_error>

#include "platform/Collation.h"
#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SourceFile.h"

namespace fs = std::filesystem;

namespace pictrim {

bool FileListLess(const std::string& A, const std::string& B) {
  const int c = CompareCollated(A, B);
  if (c != 0) return c < 0;
  return A < B;  // equal but for letter case: keep a fixed order
}

void TFileList::Add(const std::string& Text) {
  if (!Sorted_) {
    Items_.push_back(Text);
    return;
  }
  auto pos = std::lower_bound(Items_.begin(), Items_.end(), Text, FileListLess);
  if (pos != Items_.end() && *pos == Text) return;
  Items_.insert(pos, Text);
}

void TFileList::SetSorted(bool Sorted) {
  if (Sorted && !Sorted_) std::stable_sort(Items_.begin(), Items_.end(), FileListLess);
  Sorted_ = Sorted;
}

std::vector<std::string> SplitMasks(const std::string& Masks) {
  std::vector<std::string> result;
  std::string rest = (!Masks.empty() && Masks[0] == '.') ? Masks.substr(1) : Masks;
  for (;;) {
    const size_t dot = rest.find('.');
    if (rest.size() > 1) result.push_back(dot == std::string::npos ? rest : rest.substr(0, dot));
    if (dot == std::string::npos) break;
    rest = rest.substr(dot + 1);
  }
  if (result.empty()) result.emplace_back();
  return result;
}

namespace {

// Escapes the characters that fnmatch treats specially but a directory
// search takes literally; "*" and "?" stay wildcards.
std::string EscapeForPattern(const std::string& Text) {
  std::string out;
  for (char c : Text) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

bool ContainsNoCase(const std::string& Text, const std::string& Part) {
  return LowerCase(Text).find(LowerCase(Part)) != std::string::npos;
}

bool IsHiddenName(const std::string& Name) { return !Name.empty() && Name[0] == '.'; }

// Calls Visit(name, isFile, isFolder) for every entry of one folder, in the
// order the directory delivers them. Links to folders count as neither; an
// unreadable folder delivers nothing. Entries are looked at through the
// folder's descriptor, so that their own paths may be longer than a path
// the system would open.
template <typename TVisit>
void ForEachEntry(const std::string& Folder, TVisit Visit) {
  DIR* dir = ::opendir(Folder.c_str());
  if (dir == nullptr) return;
  const int fd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat link {};
    if (::fstatat(fd, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const bool isFolder = S_ISDIR(link.st_mode);
    struct stat target {};
    const bool isFile = !isFolder && ::fstatat(fd, name.c_str(), &target, 0) == 0 && S_ISREG(target.st_mode);
    Visit(name, isFile, isFolder);
  }
  ::closedir(dir);
}

void WalkTree(TFileList& List, const std::string& Folder, const std::string& NameFilter,
              const std::string& Mask, std::vector<std::string>* Unlisted) {
  std::vector<std::string> subFolders;
  ForEachEntry(Folder, [&](const std::string& name, bool isFile, bool isFolder) {
    if (isFile && NameFitsMask(name, NameFilter, Mask)) List.Add(Folder + name);
    if (isFolder && !IsHiddenName(name)) subFolders.push_back(name);
  });
  for (const std::string& name : subFolders) {
    const std::string sub = IncludeTrailingDelimiter(Folder + name);
    // A folder the system cannot open by its path is named, not passed over.
    if (PathLengthOf(sub) != TPathLength::Fits) {
      if (Unlisted != nullptr) Unlisted->push_back(sub);
      continue;
    }
    WalkTree(List, sub, NameFilter, Mask, Unlisted);
  }
}

// Step 1 of both listers: a list to fill, created or emptied as asked.
void PrepareList(std::unique_ptr<TFileList>& List, bool ClearList) {
  if (!List) {
    List = std::make_unique<TFileList>();
  } else if (ClearList) {
    List->Clear();
  }
}

}  // namespace

bool NameFitsMask(const std::string& Name, const std::string& NameFilter, const std::string& Mask) {
  if (Mask.empty() || Mask == "*") {
    // "*N*.*" also fits a name without a dot: the dot before a trailing star
    // may match the end of the name.
    return NameFilter.empty() || ContainsNoCase(Name, NameFilter);
  }
  const std::string pattern = "*" + EscapeForPattern(NameFilter) + "*." + EscapeForPattern(Mask) + "*";
  return ::fnmatch(pattern.c_str(), Name.c_str(), FNM_CASEFOLD) == 0;
}

int GetFileListEx(std::unique_ptr<TFileList>& List, const std::string& Folder,
                  const std::string& NameFilter, const std::string& Masks, bool ClearList,
                  bool Recurse, std::vector<std::string>* Unlisted) {
  PrepareList(List, ClearList);
  if (Recurse) {
    const std::vector<std::string> masks = SplitMasks(Masks);
    const bool allFiles = masks.size() == 1 && masks[0].empty();
    for (const std::string& mask : masks) {
      WalkTree(*List, Folder, NameFilter, allFiles ? "*" : mask,
               mask == masks.front() ? Unlisted : nullptr);
    }
  } else {
    ShowMessage("DRAGONS:  a workaround HACK in SystemUtils line 598 !!!");
    const std::string mask = Masks.substr(0, Masks.find('.'));
    ForEachEntry(Folder, [&](const std::string& name, bool isFile, bool) {
      if (isFile && NameFitsMask(name, NameFilter, mask)) List->Add(Folder + name);
    });
  }
  List->SetSorted(true);
  return static_cast<int>(List->Count());
}

int ListFilesInFolder(std::unique_ptr<TFileList>& List, const std::string& Folder,
                      const std::string& NamePrefix, bool ClearList, const std::string& Extension) {
  PrepareList(List, ClearList);
  const bool anyExtension = Extension.empty() || Extension == "." || Extension == "*";
  const std::string pattern = "*." + EscapeForPattern(Extension);
  bool found = false;
  ForEachEntry(Folder, [&](const std::string& name, bool isFile, bool) {
    if (!isFile || IsHiddenName(name)) return;
    if (!anyExtension && ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0) return;
    found = true;
    if (name.compare(0, NamePrefix.size(), NamePrefix) == 0) List->Add(name);
  });
  if (!found) return 0;
  List->SetSorted(true);
  return static_cast<int>(List->Count());
}

bool IsSameFile(const std::string& A, const std::string& B) {
  std::error_code ec;
  const bool same = fs::equivalent(fs::path(A), fs::path(B), ec);
  return !ec && same;
}

int64_t GetFileSizeByName(const std::string& Path) {
  std::error_code ec;
  if (!fs::exists(fs::path(Path), ec) || fs::is_directory(fs::path(Path), ec)) return -1;
  return static_cast<int64_t>(TSourceFile(Path).Size());
}

std::vector<uint8_t> ReadFileBytes(const std::string& FileName) {
  return TSourceFile(FileName).ReadAll(std::numeric_limits<size_t>::max());
}

namespace {

// Makes a new file with a short name of its own in Folder and opens it for
// writing; -1 (errno set) when none can be made. Name receives its path.
int CreateTemporaryFile(const std::string& Folder, std::string& Name) {
  static std::atomic<uint32_t> counter{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", random() ^ counter.fetch_add(0x9E3779B9u));
    Name = Folder + ".pictrim-" + suffix;
    const int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int Fd, const uint8_t* Data, size_t Size) {
  size_t written = 0;
  while (written < Size) {
    const ssize_t n = ::write(Fd, Data + written, Size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void WriteFileBytes(const std::string& FileName, const uint8_t* Data, size_t Size) {
  std::string temp;
  const int fd = CreateTemporaryFile(ExtractFilePath(FileName), temp);
  if (fd < 0) {
    const int error = errno;
    throw EInOutError("Cannot create " + FileName + ": " + std::strerror(error),
                      std::strerror(error), error);
  }
  if (!WriteAll(fd, Data, Size)) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    throw EInOutError("Cannot write " + FileName + ": " + std::strerror(error),
                      std::strerror(error), error);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), FileName.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw EInOutError("Cannot write " + FileName + ": " + std::strerror(error),
                      std::strerror(error), error);
  }
}

int FileCreationError(const std::string& Folder) {
  std::string temp;
  const int fd =
      CreateTemporaryFile(Folder.empty() ? std::string() : IncludeTrailingDelimiter(Folder), temp);
  if (fd < 0) return errno != 0 ? errno : EIO;
  ::close(fd);
  ::unlink(temp.c_str());
  return 0;
}

bool CanCreateFileIn(const std::string& Folder) {
  return FileCreationError(Folder) == 0;
}

}  // namespace pictrim
