#include "rename/FileRename.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "platform/FileTimes.h"
#include "rename/PhotoGroups.h"
#include "rename/RenamePlan.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {

namespace {

// A number written in decimal, with leading zeros up to Width digits. A
// negative number keeps its sign and is not padded beyond Width characters.
std::string Padded(int Value, size_t Width) {
  std::string text = std::to_string(Value);
  if (text.size() < Width) text.insert(0, Width - text.size(), '0');
  return text;
}

std::string YearOf(const std::tm& Stamp) {
  return Padded(Stamp.tm_year + 1900, 4);
}

std::string TimeOfDayOf(const std::tm& Stamp) {
  return Padded(Stamp.tm_hour, 2) + Padded(Stamp.tm_min, 2) + Padded(Stamp.tm_sec, 2);
}

// The value of a two-digit text, -1 when it is anything else.
int TwoDigitValue(const std::string& Text) {
  if (Text.size() != 2 || CheckDigits(Text) != 0) return -1;
  return (Text[0] - '0') * 10 + (Text[1] - '0');
}

// The counter of a stem: its last four characters, or its last five (the
// underscore of an eight-character name included) when it begins with "IMG_".
std::string CounterOf(const std::string& Stem) {
  return RightChars(Stem, LeftChars(Stem, 4) == "IMG_" ? 5 : 4);
}

}  // namespace

bool IsMonthAndDay(const std::string& Month, const std::string& Day) {
  const int month = TwoDigitValue(Month);
  const int day = TwoDigitValue(Day);
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool IsCandidateStem(const std::string& Stem) {
  return Stem.size() == 8 || (Stem.size() == 9 && LeftChars(Stem, 3) == "IMG");
}

bool SplitCameraFileName(const std::string& FileName, std::string& Stem, std::string& Extension) {
  const size_t dot = FileName.find('.');
  if (dot == std::string::npos) return false;
  const std::string extension = FileName.substr(dot);
  const std::string stem = FileName.substr(0, dot);
  if (!IsPhotoRole(FileRoleOf(extension)) || !IsCandidateStem(stem)) return false;
  Stem = stem;
  Extension = extension;
  return true;
}

TCameraNameParts RecogniseCameraName(const std::string& Stem, const std::tm& Stamp) {
  TCameraNameParts parts;
  if (Stem.size() < 4) return parts;
  if (Stem[0] == 'P') {
    // Olympus: P, the month as one hexadecimal digit, the day, a counter.
    parts.Convention = TCameraConvention::Olympus;
    parts.Month = Padded(HexDigitValue(Stem[1]), 2);
    parts.Day = Stem.substr(2, 2);
    parts.Counter = RightChars(Stem, 4);
  } else if (LeftChars(Stem, 4) == "IMG_") {
    // IMG / Canon: the name holds no date; the counter keeps its underscore
    // when the stem has eight characters.
    parts.Convention = TCameraConvention::Canon;
    parts.Month = Padded(Stamp.tm_mon + 1, 2);
    parts.Day = Padded(Stamp.tm_mday, 2);
    parts.Counter = CounterOf(Stem);
  } else if (CheckDigits(LeftChars(Stem, 1)) == 0) {
    // Casio: month, day, a counter.
    parts.Convention = TCameraConvention::Casio;
    parts.Month = Stem.substr(0, 2);
    parts.Day = Stem.substr(2, 2);
    parts.Counter = RightChars(Stem, 4);
  }
  // Names such as PICT0001, P1000123 or 100_0001 begin like a camera name
  // but carry no date; renaming them would write garbage into the name.
  if (!IsMonthAndDay(parts.Month, parts.Day)) return TCameraNameParts();
  return parts;
}

TCameraNameParts TimeTakenNameParts(const std::string& Stem, const std::tm& Taken) {
  TCameraNameParts parts;
  parts.Convention = TCameraConvention::TimeTaken;
  parts.Month = Padded(Taken.tm_mon + 1, 2);
  parts.Day = Padded(Taken.tm_mday, 2);
  parts.Counter = CounterOf(Stem);
  return parts;
}

std::string BuildCameraFileName(uint8_t Mode, const TCameraNameParts& Parts, const std::tm& Stamp,
                                const std::string& Stem, const std::string& Extension) {
  const std::string year = YearOf(Stamp);
  if ((Mode & RenameDateCounter) != 0) {
    return year + "-" + Parts.Month + "-" + Parts.Day + " " + Parts.Counter + Extension;
  }
  if ((Mode & RenameDateTime) != 0) {
    std::string name = year + Parts.Month + Parts.Day + TimeOfDayOf(Stamp);
    if ((Mode & RenameAppendOldStem) != 0) name += " " + Stem;
    return name + Extension;
  }
  return std::string();
}

std::string NewCameraStem(const std::string& Stem, const std::tm& Stamp, uint8_t Mode,
                          const std::optional<std::tm>& Taken) {
  if (!IsCandidateStem(Stem)) return std::string();
  if (Taken) return BuildCameraFileName(Mode, TimeTakenNameParts(Stem, *Taken), *Taken, Stem, "");
  const TCameraNameParts parts = RecogniseCameraName(Stem, Stamp);
  if (parts.Convention == TCameraConvention::None) return std::string();
  return BuildCameraFileName(Mode, parts, Stamp, Stem, "");
}

std::string NewCameraFileName(const std::string& FileName, const std::tm& Stamp, uint8_t Mode,
                              const std::optional<std::tm>& Taken) {
  std::string stem;
  std::string extension;
  if (!SplitCameraFileName(FileName, stem, extension)) return std::string();
  const std::string newStem = NewCameraStem(stem, Stamp, Mode, Taken);
  return newStem.empty() ? std::string() : newStem + extension;
}

bool RenameFileByLink(const std::string& OldPath, const std::string& NewPath) {
  // link() refuses an existing target atomically (EEXIST).
  if (::link(OldPath.c_str(), NewPath.c_str()) != 0) return false;
  if (::unlink(OldPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(NewPath.c_str());
    errno = error;
    return false;
  }
  return true;
}

bool RenameFileNoReplace(const std::string& OldPath, const std::string& NewPath) {
  if (::renameat2(AT_FDCWD, OldPath.c_str(), AT_FDCWD, NewPath.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  // File systems that do not know the flag answer EINVAL; old kernels ENOSYS.
  if (errno == EINVAL || errno == ENOSYS) return RenameFileByLink(OldPath, NewPath);
  return false;
}

std::string RenameResultText(const TRenameResult& Result) {
  return Text(TTextId::RenameResultMessage, {Result.NewPath});
}

void ShowRenameResult(const TRenameResult& Result) {
  ShowMessage(RenameResultText(Result));
}

TRenameAccount RenameCameraFiles(const std::string& Folder, const TRenameOptions& Options,
                                 const TRenameListener& Listener, TErrorLog& ErrorLog) {
  const TRenamePlan plan = PlanRenames(Folder, Options);
  if (!Options.DryRun) return CarryOutRenames(plan, Listener, ErrorLog);
  ErrorLog.insert(ErrorLog.end(), plan.Lines.begin(), plan.Lines.end());
  for (const std::vector<TRenameResult>& group : plan.Groups) {
    for (const TRenameResult& result : group) {
      if (Listener) Listener(result);
    }
  }
  return plan.Account();
}

TRenameAccount TreeRenameCameraFiles(TBatchTarget* Window, const TRenameOptions& Options,
                                     const TRenameListener& Listener, TErrorLog& ErrorLog) {
  (void)Window;
  std::string folder;
  SelectFolder(folder);
  if (folder.empty()) return {};
  return RenameCameraFiles(folder, Options, Listener, ErrorLog);
}

int TreeRenameCameraFiles(TBatchTarget* Window, uint8_t Mode) {
  TErrorLog errorLog;
  TRenameOptions options;
  options.Mode = Mode;
  const TRenameAccount account = TreeRenameCameraFiles(Window, options, ShowRenameResult, errorLog);
  for (const std::string& line : errorLog) ShowMessage(line.substr(0, line.find("\r\n")));
  return account.Renamed;
}

std::string RenameStatusText(int Count) {
  return Text(TTextId::RenamedStatus, {std::to_string(Count)});
}

std::string RenameAccountText(const TRenameAccount& Account, bool DryRun) {
  return Text(DryRun ? TTextId::RenameDryRunAccount : TTextId::RenameAccount,
              {std::to_string(Account.Renamed), std::to_string(Account.Skipped),
               std::to_string(Account.Failed)});
}

}  // namespace pictrim
