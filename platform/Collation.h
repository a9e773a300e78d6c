// Case-insensitive, locale-aware ordering of texts (file lists are sorted this
// way), over ICU's collator at secondary strength.
#pragma once

#include <string>

namespace pictrim {

// <0, 0 or >0 as A sorts before, equal to or after B; letter case is ignored,
// accents are not. Texts are UTF-8.
int CompareCollated(const std::string& A, const std::string& B);

}  // namespace pictrim
