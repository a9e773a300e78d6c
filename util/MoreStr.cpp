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

}  // namespace pictrim
