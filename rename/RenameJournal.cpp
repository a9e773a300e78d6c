#include "rename/RenameJournal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "platform/Paths.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

const std::string FirstLine = "pictrim rename journal";
const std::string FolderField = "folder\t";

// The folder as the journal knows it: resolved, so that a link to it or a
// path with "." or ".." steps finds the same journal.
std::string JournalFolderKey(const std::string& Folder) {
  return IncludeTrailingDelimiter(ResolvedPath(Folder));
}

// A short name for a folder's journal: a 64-bit FNV-1a hash of its path.
std::string JournalFileName(const std::string& Key) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : Key) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3u;
  }
  char name[48];
  std::snprintf(name, sizeof name, "rename-%016llx.journal", static_cast<unsigned long long>(hash));
  return name;
}

std::string JournalText(const std::string& Key, const std::vector<TJournalEntry>& Entries) {
  std::string text = FirstLine + "\n" + FolderField + EscapeJournalText(Key) + "\n";
  for (const TJournalEntry& entry : Entries) {
    text += EscapeJournalText(entry.OldPath) + "\t" + EscapeJournalText(entry.NewPath) + "\n";
  }
  return text;
}

// One entry line: the two escaped names with a tab between them.
std::optional<TJournalEntry> ParseEntry(const std::string& Line) {
  const size_t tab = Line.find('\t');
  if (tab == std::string::npos || Line.find('\t', tab + 1) != std::string::npos)
    return std::nullopt;
  std::optional<std::string> oldPath = UnescapeJournalText(Line.substr(0, tab));
  std::optional<std::string> newPath = UnescapeJournalText(Line.substr(tab + 1));
  if (!oldPath || !newPath || oldPath->empty() || newPath->empty()) return std::nullopt;
  return TJournalEntry{std::move(*oldPath), std::move(*newPath)};
}

}  // namespace

std::string ChooseJournalFolder(const std::string& XdgStateHome, const std::string& Home) {
  // A relative state home is to be ignored.
  if (!XdgStateHome.empty() && XdgStateHome.front() == PathDelimiter) {
    return IncludeTrailingDelimiter(XdgStateHome) + "pictrim/";
  }
  if (!Home.empty()) return IncludeTrailingDelimiter(Home) + ".local/state/pictrim/";
  return std::string();
}

std::string JournalPathOf(const std::string& Folder) {
  const std::string folder = ChooseJournalFolder(EnvironmentValue("XDG_STATE_HOME"), HomeFolder());
  if (folder.empty()) return std::string();
  return folder + JournalFileName(JournalFolderKey(Folder));
}

void WriteRenameJournal(const std::string& Folder, const std::vector<TJournalEntry>& Entries) {
  const std::string path = JournalPathOf(Folder);
  if (path.empty()) throw EInOutError("No journal folder", Text(TTextId::ReasonNoHome));
  if (!MakeFolderPath(ExtractFilePath(path))) {
    const int error = errno;
    throw EInOutError("Cannot create " + ExtractFilePath(path), std::strerror(error));
  }
  const std::string text = JournalText(JournalFolderKey(Folder), Entries);
  WriteFileBytes(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::optional<std::vector<TJournalEntry>> ReadRenameJournal(const std::string& Folder) {
  const std::string path = JournalPathOf(Folder);
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(path, error)) return std::nullopt;
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string line;
  std::string folder;
  const bool headed = std::getline(lines, line) && line == FirstLine &&
                      std::getline(lines, folder) &&
                      folder == FolderField + EscapeJournalText(JournalFolderKey(Folder));
  if (!headed) throw EInOutError(path, Text(TTextId::ReasonJournalOfOther));
  std::vector<TJournalEntry> entries;
  while (std::getline(lines, line)) {
    std::optional<TJournalEntry> entry = ParseEntry(line);
    if (!entry) throw EInOutError(path, Text(TTextId::ReasonJournalDamaged));
    entries.push_back(std::move(*entry));
  }
  return entries;
}

bool RemoveRenameJournal(const std::string& Folder) {
  const std::string path = JournalPathOf(Folder);
  std::error_code error;
  return path.empty() || std::filesystem::remove(path, error) || !error;
}

std::string EscapeJournalText(const std::string& Text) {
  std::string escaped;
  escaped.reserve(Text.size());
  for (const char c : Text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::optional<std::string> UnescapeJournalText(const std::string& Text) {
  std::string text;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\\') {
      text += Text[i];
      continue;
    }
    if (++i == Text.size()) return std::nullopt;
    switch (Text[i]) {
      case '\\':
        text += '\\';
        break;
      case 't':
        text += '\t';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return text;
}

}  // namespace pictrim
