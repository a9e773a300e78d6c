#include "rename/RenamePlan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>

#include "metadata/PhotoDates.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "rename/PhotoGroups.h"
#include "rename/RenameJournal.h"
#include "rename/TakenNames.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {
namespace {

const std::string ListingFailedMessage = "TreeRenameCameraFiles:  EXCEPTION in GetFileListEx()";
const std::string NoFileMessage = "TreeRenameCameraFiles:  DEBUG\r\rException";

// Burst shots of one second are numbered up to this.
constexpr int MaxBurstNumber = 9999;

void AddLine(TErrorLog& Log, TTextId Id, const std::vector<std::string>& Args) {
  AddErrorLogEntry(Text(Id, Args), Log);
}

// Why a rename was refused: the name is taken, or the system's reason.
std::string RefusalReason(int Error, const std::string& Target) {
  return Error == EEXIST ? Text(TTextId::ReasonExists, {Target}) : std::strerror(Error);
}

void Count(TRenameAccount& Account, TRenameOutcome Outcome) {
  switch (Outcome) {
    case TRenameOutcome::Renamed:
      ++Account.Renamed;
      break;
    case TRenameOutcome::Skipped:
      ++Account.Skipped;
      break;
    case TRenameOutcome::Failed:
      ++Account.Failed;
      break;
  }
}

// Plans group after group; the names given so far count as taken.
class TPlanner {
 public:
  TPlanner(const TRenameOptions& Options, TRenamePlan& Plan) : Options_(Options), Plan_(Plan) {}
  void Plan(const TPhotoGroup& Listed);

 private:
  std::string NewStem(const TPhotoGroup& Group, const std::vector<TFileTime>& Times) const;
  std::optional<std::tm> TimeTaken(const TPhotoGroup& Group,
                                   const std::vector<size_t>& Photos) const;
  std::optional<std::string> FreeStem(const TPhotoGroup& Group, const std::string& Base,
                                      std::string& Holder);
  void Name(const TPhotoGroup& Group, const std::string& Base, std::vector<TRenameResult>& Results);

  const TRenameOptions& Options_;
  TRenamePlan& Plan_;
  TTakenNames Taken_;
};

void TPlanner::Plan(const TPhotoGroup& Listed) {
  // A file whose time stamp cannot be read (it vanished) fails on its own;
  // the rest of its group goes on without it.
  TPhotoGroup group{Listed.Folder, Listed.Stem, {}};
  std::vector<TFileTime> times;
  std::vector<TRenameResult> failed;
  for (const TGroupMember& member : Listed.Members) {
    const std::string path = Listed.Folder + member.Name;
    const std::optional<TFileTime> time = GetFileModTime(path);
    if (!time) {
      const int error = errno;
      ShowMessage(NoFileMessage);
      AddLine(Plan_.Lines, TTextId::LogNotRenamed, {path, std::strerror(error)});
      failed.push_back({path, path, TRenameOutcome::Failed});
      continue;
    }
    group.Members.push_back(member);
    times.push_back(*time);
  }
  std::vector<TRenameResult> results;
  for (const TGroupMember& member : group.Members) {
    const std::string path = group.Folder + member.Name;
    results.push_back({path, path, TRenameOutcome::Skipped});
  }
  if (const std::string base = NewStem(group, times); !base.empty()) Name(group, base, results);
  results.insert(results.end(), failed.begin(), failed.end());
  Plan_.Groups.push_back(std::move(results));
}

// The stem the group is to get before numbering; empty when it keeps its
// names (no photo, no candidate's stem, no convention).
std::string TPlanner::NewStem(const TPhotoGroup& Group, const std::vector<TFileTime>& Times) const {
  const std::vector<size_t> photos = Group.Photos();
  if (photos.empty() || !IsCandidateStem(Group.Stem)) return std::string();
  const std::optional<std::tm> taken =
      Options_.ExifDate ? TimeTaken(Group, photos) : std::optional<std::tm>();
  return NewCameraStem(Group.Stem, LocalTimeOf(Times[photos.front()]), Options_.Mode, taken);
}

// The time taken of the first photo of the group that has one.
std::optional<std::tm> TPlanner::TimeTaken(const TPhotoGroup& Group,
                                           const std::vector<size_t>& Photos) const {
  for (const size_t photo : Photos) {
    if (std::optional<std::tm> taken =
            ReadCameraTimeTaken(Group.Folder + Group.Members[photo].Name))
      return taken;
  }
  return std::nullopt;
}

// Base, else Base-1, Base-2, ...: the first stem under which no name of the
// group is taken. Holder receives the entry that took the first name found
// taken.
std::optional<std::string> TPlanner::FreeStem(const TPhotoGroup& Group, const std::string& Base,
                                              std::string& Holder) {
  for (int number = 0; number <= MaxBurstNumber; ++number) {
    const std::string stem = number == 0 ? Base : Base + "-" + std::to_string(number);
    bool free = true;
    for (const TGroupMember& member : Group.Members) {
      const std::string holder = Taken_.Holder(Group.Folder, stem + member.Extension);
      if (holder.empty()) continue;
      if (Holder.empty()) Holder = holder;
      free = false;
      break;
    }
    if (free) return stem;
  }
  return std::nullopt;
}

void TPlanner::Name(const TPhotoGroup& Group, const std::string& Base,
                    std::vector<TRenameResult>& Results) {
  std::string holder;
  const std::optional<std::string> stem = FreeStem(Group, Base, holder);
  for (size_t i = 0; i < Group.Members.size(); ++i) {
    TRenameResult& result = Results[i];
    if (!stem) {
      result.Outcome = TRenameOutcome::Failed;
      AddLine(Plan_.Lines, TTextId::LogNotRenamed,
              {result.OldPath, Text(TTextId::ReasonExists, {holder})});
      continue;
    }
    const std::string newName = *stem + Group.Members[i].Extension;
    result.NewPath = Group.Folder + newName;
    result.Outcome = TRenameOutcome::Renamed;
    Taken_.Rename(Group.Folder, Group.Members[i].Name, newName);
  }
}

// Renames the files of a group planned to be renamed, all or none: when one
// cannot be renamed, those renamed before it are given back their names.
std::vector<TRenameResult> RenameGroup(const std::vector<TRenameResult>& Planned,
                                       TErrorLog& ErrorLog) {
  std::vector<TRenameResult> results = Planned;
  std::vector<size_t> done;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].Outcome != TRenameOutcome::Renamed) continue;
    if (RenameFileNoReplace(results[i].OldPath, results[i].NewPath)) {
      done.push_back(i);
      continue;
    }
    const std::string reason = RefusalReason(errno, results[i].NewPath);
    // Back to the old names, last first; a file that cannot go back keeps
    // its new name and stays counted as renamed.
    std::vector<bool> kept(results.size(), false);
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (RenameFileNoReplace(results[*it].NewPath, results[*it].OldPath)) continue;
      kept[*it] = true;
      AddLine(
          ErrorLog, TTextId::LogKeptNewName,
          {results[*it].OldPath, results[*it].NewPath, RefusalReason(errno, results[*it].OldPath)});
    }
    for (size_t j = 0; j < results.size(); ++j) {
      if (results[j].Outcome != TRenameOutcome::Renamed || kept[j]) continue;
      AddLine(ErrorLog, TTextId::LogNotRenamed,
              {results[j].OldPath,
               j == i ? reason : Text(TTextId::ReasonGoesWith, {results[i].OldPath})});
      results[j].Outcome = TRenameOutcome::Failed;
      results[j].NewPath = results[j].OldPath;
    }
    break;
  }
  return results;
}

// A group of a run that renames nothing: what was to be renamed fails.
std::vector<TRenameResult> Unrenamed(const std::vector<TRenameResult>& Planned) {
  std::vector<TRenameResult> results = Planned;
  for (TRenameResult& result : results) {
    if (result.Outcome != TRenameOutcome::Renamed) continue;
    result.Outcome = TRenameOutcome::Failed;
    result.NewPath = result.OldPath;
  }
  return results;
}

std::vector<TJournalEntry> PlannedRenames(const TRenamePlan& Plan) {
  std::vector<TJournalEntry> entries;
  for (const std::vector<TRenameResult>& group : Plan.Groups) {
    for (const TRenameResult& result : group) {
      if (result.Outcome == TRenameOutcome::Renamed)
        entries.push_back({result.OldPath, result.NewPath});
    }
  }
  return entries;
}

// The journal keeps the renames done; without any it goes. Should that
// fail, the journal of the whole plan stays, which undoes as well: a file
// still under its old name is skipped.
void KeepJournalOf(const std::string& Folder, const std::vector<TJournalEntry>& Done) {
  if (Done.empty()) {
    RemoveRenameJournal(Folder);
    return;
  }
  try {
    WriteRenameJournal(Folder, Done);
  } catch (const std::exception&) {
  }
}

bool Exists(const std::string& Path) {
  struct stat info {};
  return ::lstat(Path.c_str(), &info) == 0;
}

// Puts back one entry's old name (a dry run only says whether it would).
TRenameResult UndoEntry(const TJournalEntry& Entry, bool DryRun, TTakenNames& Taken,
                        TErrorLog& ErrorLog) {
  const std::string folder = ExtractFilePath(Entry.OldPath);
  const std::string oldName = ExtractFileName(Entry.OldPath);
  const std::string holder = Taken.Holder(folder, oldName);
  TRenameResult result{Entry.NewPath, Entry.NewPath, TRenameOutcome::Failed};
  if (!Exists(Entry.NewPath)) {
    if (holder == Entry.OldPath) return {Entry.OldPath, Entry.OldPath, TRenameOutcome::Skipped};
    AddLine(ErrorLog, TTextId::LogGoneSinceRenamed, {Entry.NewPath, Entry.OldPath});
    return result;
  }
  if (!holder.empty()) {
    AddLine(ErrorLog, TTextId::LogNotGivenBack,
            {Entry.NewPath, Text(TTextId::ReasonExists, {holder})});
    return result;
  }
  if (!DryRun && !RenameFileNoReplace(Entry.NewPath, Entry.OldPath)) {
    AddLine(ErrorLog, TTextId::LogNotGivenBack,
            {Entry.NewPath, RefusalReason(errno, Entry.OldPath)});
    return result;
  }
  Taken.Rename(folder, ExtractFileName(Entry.NewPath), oldName);
  return {Entry.NewPath, Entry.OldPath, TRenameOutcome::Renamed};
}

}  // namespace

TRenameAccount TRenamePlan::Account() const {
  TRenameAccount account;
  for (const std::vector<TRenameResult>& group : Groups) {
    for (const TRenameResult& result : group) Count(account, result.Outcome);
  }
  return account;
}

TRenamePlan PlanRenames(const std::string& Folder, const TRenameOptions& Options) {
  // Every file in one walk of the tree, the photo types and their
  // companions kept.
  std::unique_ptr<TFileList> listing;
  try {
    GetFileListEx(listing, IncludeTrailingDelimiter(Folder), std::string(), std::string(), true,
                  true);
  } catch (const std::exception&) {
    ShowMessage(ListingFailedMessage);
  }
  std::vector<std::string> listed;
  if (listing) {
    std::copy_if(
        listing->begin(), listing->end(), std::back_inserter(listed),
        [](const std::string& Path) { return IsListedForRenaming(ExtractFileName(Path)); });
  }
  return PlanListedRenames(Folder, listed, Options);
}

TRenamePlan PlanListedRenames(const std::string& Folder, const std::vector<std::string>& Paths,
                              const TRenameOptions& Options) {
  TRenamePlan plan;
  plan.Folder = IncludeTrailingDelimiter(Folder);
  TPlanner planner(Options, plan);
  for (const TPhotoGroup& group : GroupPhotoFiles(Paths)) planner.Plan(group);
  return plan;
}

TRenameAccount CarryOutRenames(const TRenamePlan& Plan, const TRenameListener& Listener,
                               TErrorLog& ErrorLog) {
  ErrorLog.insert(ErrorLog.end(), Plan.Lines.begin(), Plan.Lines.end());
  const std::vector<TJournalEntry> planned = PlannedRenames(Plan);
  bool journaled = true;
  if (!planned.empty()) {
    try {
      WriteRenameJournal(Plan.Folder, planned);
    } catch (const std::exception& error) {
      AddLine(ErrorLog, TTextId::LogJournalNotWritten,
              {JournalPathOf(Plan.Folder), ReasonOf(error)});
      journaled = false;
    }
  }
  TRenameAccount account;
  std::vector<TJournalEntry> done;
  for (const std::vector<TRenameResult>& group : Plan.Groups) {
    for (const TRenameResult& result :
         journaled ? RenameGroup(group, ErrorLog) : Unrenamed(group)) {
      Count(account, result.Outcome);
      if (result.Outcome == TRenameOutcome::Renamed)
        done.push_back({result.OldPath, result.NewPath});
      if (Listener) Listener(result);
    }
  }
  if (journaled && done.size() != planned.size()) KeepJournalOf(Plan.Folder, done);
  return account;
}

std::optional<TRenameAccount> UndoRenames(const std::string& Folder, bool DryRun,
                                          const TRenameListener& Listener, TErrorLog& ErrorLog) {
  std::optional<std::vector<TJournalEntry>> journal;
  try {
    journal = ReadRenameJournal(Folder);
  } catch (const std::exception& error) {
    AddLine(ErrorLog, TTextId::LogJournalUnreadable, {JournalPathOf(Folder), ReasonOf(error)});
    return TRenameAccount();
  }
  if (!journal) return std::nullopt;
  TTakenNames taken;
  TRenameAccount account;
  std::vector<TJournalEntry> left;
  for (auto entry = journal->rbegin(); entry != journal->rend(); ++entry) {
    const TRenameResult result = UndoEntry(*entry, DryRun, taken, ErrorLog);
    Count(account, result.Outcome);
    if (result.Outcome == TRenameOutcome::Failed) left.insert(left.begin(), *entry);
    if (Listener) Listener(result);
  }
  if (!DryRun) KeepJournalOf(Folder, left);
  return account;
}

bool CanUndoRenames(const std::string& Folder) {
  const std::string path = JournalPathOf(Folder);
  return !path.empty() && Exists(path);
}

}  // namespace pictrim
