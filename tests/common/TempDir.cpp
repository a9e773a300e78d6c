#include "tests/common/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/FileTimes.h"

namespace fs = std::filesystem;

namespace pictrim::test {

TTempDir::TTempDir() {
  std::string pattern = (fs::temp_directory_path() / "pictrim-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  Path_ = std::string(buffer.data()) + "/";
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Folders made read-only by a test must be writable again to be removed.
  for (auto it = fs::recursive_directory_iterator(Path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(Path_, ec);
}

std::vector<std::string> FilesBelow(const std::string& Folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(Folder)) {
    if (entry.is_regular_file()) names.push_back(entry.path().string().substr(Folder.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteTextFile(const std::string& Path, const std::string& Content) {
  fs::create_directories(fs::path(Path).parent_path());
  std::ofstream out(Path, std::ios::binary);
  out << Content;
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TreeSnapshot(const std::string& Folder) {
  std::vector<std::string> lines;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(Folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    std::string line = path.substr(Folder.size());
    if (it->is_regular_file(ec)) {
      const auto time = GetFileModTime(path);
      line += " " + std::to_string(std::hash<std::string>{}(ReadWholeFile(path)));
      if (time) line += " " + std::to_string(time->Seconds) + "." + std::to_string(time->Nanoseconds);
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

std::string TestDataDir() {
  const char* env = std::getenv("PICTRIM_TESTDATA");
  std::string dir = env != nullptr ? env : PICTRIM_TESTDATA_DIR;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

bool HasTestData() {
  std::error_code ec;
  return fs::is_directory(TestDataDir(), ec);
}

}  // namespace pictrim::test
