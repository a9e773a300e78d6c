// File lists are ordered by the user's locale, ignoring letter case but not
// accents; a machine without a locale orders by the root collation, not by
// the bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Collation.h"

namespace pictrim {
namespace {

int Sign(int Value) {
  return (Value > 0) - (Value < 0);
}

TEST(Collation, letterCaseIsIgnoredAccentsAreNot) {
  EXPECT_EQ(CompareCollated("a.JPG", "A.jpg"), 0);
  EXPECT_EQ(CompareCollated("/Fotos/IMG_0001.JPG", "/fotos/img_0001.jpg"), 0);
  EXPECT_NE(CompareCollated("Bild-e.jpg", "Bild-\xC3\xA9.jpg"), 0);  // e and e-acute
  EXPECT_EQ(CompareCollated("", ""), 0);
  EXPECT_LT(CompareCollated("", "a"), 0);
}

TEST(Collation, fullPathsSortByFolderFirstWhateverTheCase) {
  EXPECT_LT(CompareCollated("/a/z.jpg", "/B/a.jpg"), 0);
  EXPECT_GT(CompareCollated("/B/a.jpg", "/a/z.jpg"), 0);
  EXPECT_LT(CompareCollated("/fotos/b.jpg", "/Fotos/C.jpg"), 0);
}

TEST(Collation, anUmlautSortsWithItsLetterNotAfterZ) {
  // In bytes, "Ä" (C3 84) would come after every ASCII letter.
  const std::string apfel = "Apfel", umlaut = "\xC3\x84pfel", birne = "Birne", zebra = "zebra";
  EXPECT_LT(CompareCollated(apfel, umlaut), 0);
  EXPECT_LT(CompareCollated(umlaut, birne), 0);
  EXPECT_LT(CompareCollated(umlaut, zebra), 0);
  EXPECT_LT(CompareCollated("\xC3\xA4pfel", "Birne"), 0);  // lower-case too
}

TEST(Collation, theOrderIsConsistentEvenForBytesThatAreNoUtf8) {
  const std::vector<std::string> texts = {"a", "B", "\xFF", "\xC3", "a\xFF", "", "\xC3\x84", "z"};
  for (const std::string& a : texts) {
    EXPECT_EQ(CompareCollated(a, a), 0);
    for (const std::string& b : texts) {
      EXPECT_EQ(Sign(CompareCollated(a, b)), -Sign(CompareCollated(b, a))) << a << " / " << b;
    }
  }
}

}  // namespace
}  // namespace pictrim
