// Text helpers that cut paths and names apart and test characters. Texts are
// UTF-8 and counted in bytes; positions count from 1, 0 meaning "not found".
#pragma once

#include <cstddef>
#include <string>

namespace pictrim {

// Position of the last occurrence of C in S, 0 when it does not occur.
size_t LastCharPos(char C, const std::string& S);

// The last N characters when N is less than the length; otherwise an empty
// text (not the whole text).
std::string RightChars(const std::string& S, size_t N);

// The first N characters when N is less than the length; otherwise the whole text.
std::string LeftChars(const std::string& S, size_t N);

// 0..9 for "0".."9", 10..15 for "A".."F" and "a".."f", -1 for anything else.
int HexDigitValue(char C);

// The part after the last "." of the whole text; empty when there is none.
std::string ExtractExtension(const std::string& S);

// S up to its last ".", then "." and Ext; S + "." + Ext when S has no ".".
// An empty S is a range error.
std::string ReplaceExtension(const std::string& S, const std::string& Ext);

// 0 when every character is a digit (the empty text included), -1 otherwise.
int CheckDigits(const std::string& S);

// ASCII letters in lower / upper case, every other byte unchanged.
std::string LowerCase(std::string S);
std::string UpperCase(std::string S);

// S as a terminal may show it: well-formed UTF-8 stays as it is; every byte
// that is not part of it, and every control character but the tab (C0, DEL
// and C1, line breaks among them), becomes "\xNN" with two upper-case hex
// digits. Text read from files (a camera's maker note, a file name) can thus
// neither garble the output nor send the terminal commands.
std::string PrintableText(const std::string& S);

}  // namespace pictrim
