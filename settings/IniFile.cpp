#include "settings/IniFile.h"

#include <unicode/ucnv.h>
#include <unicode/utf8.h>

#include <SimpleIni.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "util/Errors.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"

namespace fs = std::filesystem;

namespace pictrim {

struct TIniFile::TImpl {
  CSimpleIniA Ini{/*IsUtf8=*/true, /*MultiKey=*/false, /*MultiLine=*/false};
};

namespace {

constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsValidUtf8(const std::string& Text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(Text.data());
  const int32_t length = static_cast<int32_t>(Text.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::string Windows1252ToUtf8(const std::string& Bytes) {
  // Each byte becomes at most three bytes of UTF-8.
  std::string result(Bytes.size() * 3 + 1, '\0');
  UErrorCode error = U_ZERO_ERROR;
  const int32_t length =
      ucnv_convert("UTF-8", "windows-1252", result.data(), static_cast<int32_t>(result.size()),
                   Bytes.data(), static_cast<int32_t>(Bytes.size()), &error);
  if (U_FAILURE(error)) throw EInOutError("Cannot convert the text from Windows-1252");
  result.resize(static_cast<size_t>(length));
  return result;
}

// A value is one line; a line break inside it would start a new key or section.
std::string OneLine(std::string Value) {
  for (char& c : Value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return Value;
}

// The text as UTF-8: a leading UTF-8 byte-order mark is dropped, valid UTF-8 is
// kept, anything else is converted from Windows-1252.
std::string IniTextToUtf8(const std::string& Bytes) {
  std::string text = Bytes;
  if (text.starts_with(Utf8ByteOrderMark)) text.erase(0, Utf8ByteOrderMark.size());
  if (text.size() > INT32_MAX / 3) throw EInOutError("The file is too large");
  return IsValidUtf8(text) ? text : Windows1252ToUtf8(text);
}

}  // namespace

TIniFile::TIniFile(std::string FileName)
    : FileName_(std::move(FileName)), Impl_(std::make_unique<TImpl>()) {
  Impl_->Ini.SetSpaces(false);
  std::error_code ec;
  if (!fs::exists(fs::path(FileName_), ec)) return;
  // A folder or a device under the name is not a file that can be read.
  Loaded_ = fs::is_regular_file(fs::path(FileName_), ec);
  try {
    if (!Loaded_) return;
    const std::vector<uint8_t> bytes = ReadFileBytes(FileName_);
    const std::string text = IniTextToUtf8(std::string(bytes.begin(), bytes.end()));
    Loaded_ = Impl_->Ini.LoadData(text.data(), text.size()) >= 0;
  } catch (const std::exception&) {
    Loaded_ = false;
  }
  if (!Loaded_) Impl_->Ini.Reset();
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
  const char* value = Impl_->Ini.GetValue(Section.c_str(), Key.c_str(), nullptr);
  return value != nullptr ? std::string(value) : Default;
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Key, int Default) const {
  const std::string text = ReadString(Section, Key, "");
  if (text.empty()) return Default;
  // strtol alone would also take leading blanks, "0x" and trailing rubbish.
  const size_t sign = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (sign == text.size() || CheckDigits(text.substr(sign)) != 0) return Default;
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return Default;
  return static_cast<int>(value);
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Key, bool Default) const {
  return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

bool TIniFile::KeyExists(const std::string& Section, const std::string& Key) const {
  return Impl_->Ini.GetValue(Section.c_str(), Key.c_str(), nullptr) != nullptr;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) {
  Impl_->Ini.SetValue(Section.c_str(), Key.c_str(), OneLine(Value).c_str());
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Key, int Value) {
  WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
  WriteString(Section, Key, Value ? "1" : "0");
}

void TIniFile::EraseSection(const std::string& Section) {
  Impl_->Ini.Delete(Section.c_str(), nullptr);
}

bool TIniFile::Save() const {
  std::string text;
  if (Impl_->Ini.Save(text, /*AddSignature=*/false) < 0) return false;
  try {
    WriteFileBytes(FileName_, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

}  // namespace pictrim
