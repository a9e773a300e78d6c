#include "platform/Collation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace pictrim {
namespace {

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// One collator for the user's locale, opened on first use. ICU collators may
// be used from several threads for comparisons.
UCollator* UserCollator() {
  static std::unique_ptr<UCollator, CollatorCloser> collator = [] {
    // The C/POSIX locale maps to a collation that orders by code point;
    // there the root collation serves instead.
    const char* locale = uloc_getDefault();
    if (std::strncmp(locale, "en_US_POSIX", 11) == 0) locale = "";
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(locale, &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      c = ucol_open("", &status);
    }
    if (c != nullptr) ucol_setStrength(c, UCOL_SECONDARY);
    return std::unique_ptr<UCollator, CollatorCloser>(c);
  }();
  return collator.get();
}

}  // namespace

int CompareCollated(const std::string& A, const std::string& B) {
  UCollator* collator = UserCollator();
  if (collator == nullptr) return A.compare(B);
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult r = ucol_strcollUTF8(collator, A.data(), static_cast<int32_t>(A.size()),
                                              B.data(), static_cast<int32_t>(B.size()), &status);
  if (U_FAILURE(status)) return A.compare(B);
  return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

}  // namespace pictrim
