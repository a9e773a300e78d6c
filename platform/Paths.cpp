#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pictrim {

bool IsRootFolder(const std::string& Folder) {
  return !Folder.empty() && Folder.find_first_not_of(PathDelimiter) == std::string::npos;
}

std::string IncludeTrailingDelimiter(const std::string& Folder) {
  if (!Folder.empty() && Folder.back() == PathDelimiter) return Folder;
  return Folder + PathDelimiter;
}

std::string CanonicalFolder(const std::string& Folder) {
  if (Folder.empty()) return Folder;
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(Folder), ec);
  if (ec) path = std::filesystem::path(Folder);
  std::string text = path.lexically_normal().string();
  // lexically_normal keeps one trailing delimiter after a named folder.
  while (text.size() > 1 && text.back() == PathDelimiter) text.pop_back();
  return IncludeTrailingDelimiter(text);
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

std::string ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) exe = std::filesystem::current_path(ec) / "pictrim";
  return IncludeTrailingDelimiter(exe.parent_path().string());
}

TPathLength PathLengthOf(const std::string& Path) {
  if (Path.size() > MaxPathBytes) return TPathLength::PathTooLong;
  size_t start = 0;
  while (start < Path.size()) {
    size_t end = Path.find(PathDelimiter, start);
    if (end == std::string::npos) end = Path.size();
    if (end - start > MaxNameBytes) return TPathLength::NameTooLong;
    start = end + 1;
  }
  return TPathLength::Fits;
}

std::string ResolvedPath(const std::string& Path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::path(Path), ec);
  if (ec) resolved = fs::absolute(fs::path(Path), ec).lexically_normal();
  std::string text = resolved.string();
  // A trailing delimiter stands for an empty last name; drop it but at the root.
  while (text.size() > 1 && text.back() == PathDelimiter) text.pop_back();
  return text;
}

bool LiesInside(const std::string& Path, const std::string& Folder) {
  const std::string path = IncludeTrailingDelimiter(ResolvedPath(Path));
  const std::string folder = IncludeTrailingDelimiter(ResolvedPath(Folder));
  return path.compare(0, folder.size(), folder) == 0;
}

std::string ExtractFileName(const std::string& Path) {
  const size_t pos = Path.rfind(PathDelimiter);
  return pos == std::string::npos ? Path : Path.substr(pos + 1);
}

std::string ExtractFilePath(const std::string& Path) {
  const size_t pos = Path.rfind(PathDelimiter);
  return pos == std::string::npos ? std::string() : Path.substr(0, pos + 1);
}

}  // namespace pictrim
