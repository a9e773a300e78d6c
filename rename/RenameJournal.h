// The journal of a renaming run: the old and the new full name of every
// file it renames, in order, written before the first rename, so that the
// run can be undone. One journal per folder, the last run's, kept in the
// user's state folder ($XDG_STATE_HOME/pictrim/, else
// ~/.local/state/pictrim/).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pictrim {

struct TJournalEntry {
  std::string OldPath;
  std::string NewPath;
  bool operator==(const TJournalEntry&) const = default;
};

// The state folder chosen from the two variables' values, ending with the
// delimiter: XdgStateHome + "/pictrim/" when it is an absolute path, else
// Home + "/.local/state/pictrim/"; empty when neither can be used.
std::string ChooseJournalFolder(const std::string& XdgStateHome, const std::string& Home);

// The journal file of the runs over Folder, in the state folder of this
// process's environment.
std::string JournalPathOf(const std::string& Folder);

// Writes the journal of a run over Folder in place of the one before (whole
// or not at all), creating the state folder when it is missing. Raises
// EInOutError when it cannot be written.
void WriteRenameJournal(const std::string& Folder, const std::vector<TJournalEntry>& Entries);

// The journal of the last run over Folder; nothing when there is none.
// Raises EInOutError when it cannot be read or is not a journal of Folder.
std::optional<std::vector<TJournalEntry>> ReadRenameJournal(const std::string& Folder);

// Removes the journal of Folder; true when none is left.
bool RemoveRenameJournal(const std::string& Folder);

// A line of the journal's text: tab, line feed, carriage return and the
// backslash written as "\t", "\n", "\r" and "\\"; and back.
std::string EscapeJournalText(const std::string& Text);
std::optional<std::string> UnescapeJournalText(const std::string& Text);

}  // namespace pictrim
