#include "util/MoreStr.h"

#include "util/Errors.h"

namespace pictrim {

size_t LastCharPos(char C, const std::string& S) {
  for (size_t i = S.size(); i > 0; --i) {
    if (S[i - 1] == C) return i;
  }
  return 0;
}

std::string RightChars(const std::string& S, size_t N) {
  if (N < S.size()) return S.substr(S.size() - N);
  return std::string();
}

std::string LeftChars(const std::string& S, size_t N) {
  if (N < S.size()) return S.substr(0, N);
  return S;
}

int HexDigitValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  if (C >= 'A' && C <= 'F') return C - 55;
  return -1;
}

std::string ExtractExtension(const std::string& S) {
  const size_t pos = LastCharPos('.', S);
  return pos == 0 ? std::string() : S.substr(pos);
}

std::string ReplaceExtension(const std::string& S, const std::string& Ext) {
  if (S.empty()) throw ERangeError("ReplaceExtension: empty text");
  const size_t pos = LastCharPos('.', S);
  if (pos == 0) return S + "." + Ext;
  return S.substr(0, pos - 1) + "." + Ext;
}

int CheckDigits(const std::string& S) {
  for (char c : S) {
    if (c < '0' || c > '9') return -1;
  }
  return 0;
}

std::string LowerCase(std::string S) {
  for (char& c : S) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return S;
}

std::string UpperCase(std::string S) {
  for (char& c : S) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return S;
}

namespace {

// The length of the well-formed UTF-8 sequence at S[At], 0 when there is none
// (a stray or missing continuation byte, an overlong form, a surrogate, a
// code point beyond U+10FFFF).
size_t Utf8SequenceLength(const std::string& S, size_t At) {
  const auto byte = [&S](size_t I) { return static_cast<unsigned char>(S[I]); };
  const unsigned char lead = byte(At);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (At + length > S.size()) return 0;
  if (byte(At + 1) < low || byte(At + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(At + i) < 0x80 || byte(At + i) > 0xBF) return 0;
  return length;
}

void AppendEscaped(std::string& Text, unsigned char Byte) {
  constexpr char digits[] = "0123456789ABCDEF";
  Text += "\\x";
  Text += digits[Byte >> 4];
  Text += digits[Byte & 0x0F];
}

}  // namespace

std::string PrintableText(const std::string& S) {
  std::string text;
  text.reserve(S.size());
  for (size_t i = 0; i < S.size();) {
    const auto byte = static_cast<unsigned char>(S[i]);
    const size_t length = Utf8SequenceLength(S, i);
    const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7F;
    // U+0080 ... U+009F, the C1 controls, are C2 80 ... C2 9F.
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(S[i + 1]) < 0xA0;
    if (length == 0 || control || c1) {
      const size_t bytes = length == 0 ? 1 : length;
      for (size_t k = 0; k < bytes; ++k) AppendEscaped(text, static_cast<unsigned char>(S[i + k]));
      i += bytes;
    } else {
      text.append(S, i, length);
      i += length;
    }
  }
  return text;
}

}  // namespace pictrim
