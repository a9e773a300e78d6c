// An INI file held in memory: sections in square brackets and key=value lines,
// section and key names matched without regard to case, blanks around a value
// not part of it. Files are written in UTF-8; a file that is not valid UTF-8 is
// read as Windows-1252, and CR LF line ends and a UTF-8 byte-order mark are
// accepted on reading.
#pragma once

#include <memory>
#include <string>

namespace pictrim {

class TIniFile {
 public:
  // Reads the file when it exists.
  explicit TIniFile(std::string FileName);
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  // False when an existing file could not be read.
  bool Loaded() const { return Loaded_; }

  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;
  // A value that is not a decimal integer in the range of int gives Default.
  int ReadInteger(const std::string& Section, const std::string& Key, int Default) const;
  // Read as an integer; any non-zero value is true.
  bool ReadBool(const std::string& Section, const std::string& Key, bool Default) const;
  bool KeyExists(const std::string& Section, const std::string& Key) const;

  // Replaces the key's value in place, or appends the key (and its section).
  // Line breaks in Value become blanks so a value always stays one line.
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
  void WriteInteger(const std::string& Section, const std::string& Key, int Value);
  // Written as "1" or "0".
  void WriteBool(const std::string& Section, const std::string& Key, bool Value);
  void EraseSection(const std::string& Section);

  // Writes the whole file to a temporary file beside it and renames that over
  // the file. False on failure; the old file is then left as it was.
  bool Save() const;

 private:
  struct TImpl;
  std::string FileName_;
  std::unique_ptr<TImpl> Impl_;
  bool Loaded_ = true;
};

}  // namespace pictrim
