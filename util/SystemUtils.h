// File listing: the full paths of all files below a folder whose names fit a
// set of extension masks, a one-folder lister of bare names, and a file-size
// query.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pictrim {

// An ordered list of texts. In sorted mode it is kept in ascending order,
// compared case-insensitively by the user's locale collation, and adding a
// text that is already present (byte for byte) adds nothing.
class TFileList {
 public:
  size_t Count() const { return Items_.size(); }
  const std::string& operator[](size_t Index) const { return Items_.at(Index); }
  std::vector<std::string>::const_iterator begin() const { return Items_.begin(); }
  std::vector<std::string>::const_iterator end() const { return Items_.end(); }

  void Add(const std::string& Text);
  void Clear() { Items_.clear(); }
  bool Sorted() const { return Sorted_; }
  // Switching sorted mode on sorts what the list holds; duplicates already
  // held stay.
  void SetSorted(bool Sorted);

 private:
  std::vector<std::string> Items_;
  bool Sorted_ = false;
};

// True when A sorts before B in a sorted file list.
bool FileListLess(const std::string& A, const std::string& B);

// Lists the files below Folder (which ends with the delimiter) whose names
// contain "." + one of the Masks (extensions separated by ".", "" = all files)
// and, ahead of it, NameFilter. Subfolders whose names begin with "." are not
// entered, nor are links to folders. Creates the list when List is empty and
// empties it first when ClearList is set. Returns the number of entries.
// Unlisted, when given, receives the subfolders that could not be searched
// because their paths are too long for the file system.
int GetFileListEx(std::unique_ptr<TFileList>& List, const std::string& Folder,
                  const std::string& NameFilter, const std::string& Masks, bool ClearList,
                  bool Recurse, std::vector<std::string>* Unlisted = nullptr);

// Lists the bare names of the plain (not hidden) files of one folder with the
// given extension ("" or "." = any) whose names begin with NamePrefix
// (case-sensitive). Returns the number of entries, 0 when nothing matched.
int ListFilesInFolder(std::unique_ptr<TFileList>& List, const std::string& Folder,
                      const std::string& NamePrefix, bool ClearList, const std::string& Extension);

// The size of a file in bytes, -1 when no file of that name exists. A file
// that exists but cannot be opened (or is no regular file) raises EInOutError.
int64_t GetFileSizeByName(const std::string& Path);

// Reads a whole regular file into memory; raises EInOutError.
std::vector<uint8_t> ReadFileBytes(const std::string& FileName);

// Writes bytes to a file through a temporary file with a short name of its
// own in the same folder, so that the file is either replaced whole or left
// as it was, whatever the length of its name; raises EInOutError.
void WriteFileBytes(const std::string& FileName, const uint8_t* Data, size_t Size);

// True when a new file can be made in Folder ("" = the current folder): a
// short temporary file is made there and removed again.
bool CanCreateFileIn(const std::string& Folder);
// The same as the system's error number of the failed creation; 0 when a
// file can be created.
int FileCreationError(const std::string& Folder);

// True when both paths name one existing file (through links or different
// spellings of the same path).
bool IsSameFile(const std::string& A, const std::string& B);

// The mask list of a Masks text: extensions separated by "." (a leading "."
// dropped, a last piece of one character left out, never empty).
std::vector<std::string> SplitMasks(const std::string& Masks);

// True when a file name fits the directory-search pattern
// "*" + NameFilter + "*." + Mask + "*" (case-insensitive; a mask of "" or "*"
// also fits names without a dot).
bool NameFitsMask(const std::string& Name, const std::string& NameFilter, const std::string& Mask);

}  // namespace pictrim
