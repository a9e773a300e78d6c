// A renaming run in two steps: the plan (what every listed file is to be
// called; a dry run and the window's preview show it) and carrying it out
// (the journal first, then the renames, a photo's group all or none); and
// undoing the last run over a folder from its journal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rename/FileRename.h"
#include "util/ErrorLog.h"

namespace pictrim {

struct TRenamePlan {
  std::string Folder;  // ending with the delimiter
  // Every listed file once, a photo's group together, in the order of each
  // group's first file in the listing. Renamed: NewPath is the name it is
  // to get; Skipped; Failed: its line is in Lines.
  std::vector<std::vector<TRenameResult>> Groups;
  TErrorLog Lines;

  // The account the plan foresees.
  TRenameAccount Account() const;
};

// Lists the files below Folder and plans their new names as Options ask
// (its DryRun is not looked at). Shows the listing's and the time stamps'
// messages; renames nothing.
TRenamePlan PlanRenames(const std::string& Folder, const TRenameOptions& Options);

// The same for files listed already (full paths below Folder, in the
// listing's order).
TRenamePlan PlanListedRenames(const std::string& Folder, const std::vector<std::string>& Paths,
                              const TRenameOptions& Options);

// Carries out Plan: writes the journal of its renames, then renames group
// by group; a group one of whose files cannot be renamed is given back its
// old names. The listener hears of every file of a group once the group is
// done; the plan's lines and those of the run go to ErrorLog. The journal
// ends up holding the renames done.
TRenameAccount CarryOutRenames(const TRenamePlan& Plan, const TRenameListener& Listener,
                               TErrorLog& ErrorLog);

// Gives the files of the last run over Folder their old names back, last
// rename first, never replacing a file: a file whose old name is taken, or
// that is no longer under its new name, keeps what it has and gets a line.
// A file the run did not rename (it still has its old name) is skipped. The
// listener hears of every entry (OldPath: the name it had, NewPath: the name
// it has now). A real undo removes the journal, or keeps the entries that
// could not be undone. Nothing when there is no run to undo; a journal that
// cannot be read gets a line and undoes nothing.
std::optional<TRenameAccount> UndoRenames(const std::string& Folder, bool DryRun,
                                          const TRenameListener& Listener, TErrorLog& ErrorLog);

// True when a run over Folder can be undone (its journal is there).
bool CanUndoRenames(const std::string& Folder);

}  // namespace pictrim
