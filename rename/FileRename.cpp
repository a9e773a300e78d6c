#include "rename/FileRename.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "util/MoreDialogs.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"
#include "util/Texts.h"

namespace pictrim {

namespace {

const std::string ListingFailedMessage = "TreeRenameCameraFiles:  EXCEPTION in GetFileListEx()";
const std::string NoFileMessage = "TreeRenameCameraFiles:  DEBUG\r\rException";
const std::string ResultMessage = "result:\tNewFileList =\t";

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

}  // namespace

bool SplitCameraFileName(const std::string& FileName, std::string& Stem, std::string& Extension) {
  const size_t dot = FileName.find('.');
  if (dot == std::string::npos) return false;
  const std::string extension = FileName.substr(dot);
  if (LowerCase(extension) != ".jpg") return false;
  const std::string stem = LeftChars(FileName, FileName.size() - 4);
  if (stem.size() != 8 && !(stem.size() == 9 && LeftChars(stem, 3) == "IMG")) return false;
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
    parts.Counter = RightChars(Stem, 5);
  } else if (CheckDigits(LeftChars(Stem, 1)) == 0) {
    // Casio: month, day, a counter.
    parts.Convention = TCameraConvention::Casio;
    parts.Month = Stem.substr(0, 2);
    parts.Day = Stem.substr(2, 2);
    parts.Counter = RightChars(Stem, 4);
  }
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

std::string NewCameraFileName(const std::string& FileName, const std::tm& Stamp, uint8_t Mode) {
  std::string stem;
  std::string extension;
  if (!SplitCameraFileName(FileName, stem, extension)) return std::string();
  const TCameraNameParts parts = RecogniseCameraName(stem, Stamp);
  if (parts.Convention == TCameraConvention::None) return std::string();
  return BuildCameraFileName(Mode, parts, Stamp, stem, extension);
}

bool RenameFileByLink(const std::string& OldPath, const std::string& NewPath) {
  // link() refuses an existing target atomically (EEXIST).
  if (::link(OldPath.c_str(), NewPath.c_str()) != 0) return false;
  if (::unlink(OldPath.c_str()) != 0) {
    ::unlink(NewPath.c_str());
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

int TreeRenameCameraFiles(TBatchTarget* Window, uint8_t Mode) {
  (void)Window;
  std::string folder;
  SelectFolder(folder);
  if (folder.empty()) return 0;

  std::unique_ptr<TFileList> oldList;
  try {
    GetFileListEx(oldList, folder, std::string(), "jpg", true, true);
  } catch (const std::exception&) {
    ShowMessage(ListingFailedMessage);
  }
  if (!oldList) return 0;

  int renamed = 0;
  for (const std::string& oldPath : *oldList) {
    std::string newPath = oldPath;
    const std::optional<TFileTime> time = GetFileModTime(oldPath);
    const size_t split = LastCharPos(PathDelimiter, oldPath);
    if (!time) {
      ShowMessage(NoFileMessage);
    } else if (split != 0) {
      const std::string name = NewCameraFileName(oldPath.substr(split), LocalTimeOf(*time), Mode);
      if (!name.empty()) newPath = oldPath.substr(0, split) + name;
    }
    if (newPath != oldPath) {
      // A refused or failed rename leaves the file where it was, and the
      // message names the path the file really has.
      if (RenameFileNoReplace(oldPath, newPath)) {
        ++renamed;
      } else {
        newPath = oldPath;
      }
    }
    ShowMessage(ResultMessage + newPath);
  }
  return renamed;
}

std::string RenameStatusText(int Count) {
  return Text(TTextId::RenamedStatus, {std::to_string(Count)});
}

}  // namespace pictrim
