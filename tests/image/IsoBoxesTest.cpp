// The boxes of the ISO media container as the HEIF and CR3 readers walk
// them: every form of size, the names of "uuid" boxes, and boxes that claim
// more than their parent holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/IsoBoxes.h"

namespace pictrim {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes Bytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}

TBytes operator+(TBytes A, const TBytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

TBytes Size32(uint32_t Size) {
  return {uint8_t(Size >> 24), uint8_t(Size >> 16), uint8_t(Size >> 8), uint8_t(Size)};
}

std::vector<std::string> Walk(const TBytes& Data) {
  const TMemorySource source(Data);
  TBoxReader reader{TByteWindow(source)};
  std::vector<std::string> boxes;
  while (std::optional<TIsoBox> box = reader.Next()) {
    const std::vector<uint8_t> name = box->Name.Bytes(0, box->Name.Size());
    const std::vector<uint8_t> contents = box->Contents.Bytes(0, box->Contents.Size());
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[3 - i] = static_cast<char>(box->Type >> (8 * i));
    boxes.push_back(text + "[" + std::string(name.begin(), name.end()) + "]" +
                    std::string(contents.begin(), contents.end()));
  }
  return boxes;
}

TEST(IsoBoxes, everyFormOfSizeAndTheNameOfAUuidBox) {
  const TBytes data = Size32(11) + Bytes("free") + Bytes("abc") +  // 32-bit size
                      Size32(1) + Bytes("skip") + TBytes{0, 0, 0, 0, 0, 0, 0, 18} +
                      Bytes("xy") +  // 64-bit size
                      Size32(26) + Bytes("uuid") + Bytes("0123456789abcdef") + Bytes("<>") +
                      Size32(0) + Bytes("mdat") + Bytes("to the end");  // to the end
  EXPECT_EQ(Walk(data), (std::vector<std::string>{"free[]abc", "skip[]xy",
                                                  "uuid[0123456789abcdef]<>", "mdat[]to the end"}));
  EXPECT_EQ(FourCC("ftyp"), 0x66747970u);
  const TMemorySource source(data);
  EXPECT_TRUE(FindBox(TByteWindow(source), FourCC("uuid")));
  EXPECT_FALSE(FindBox(TByteWindow(source), FourCC("meta")));
}

TEST(IsoBoxes, theWalkEndsAtABoxThatDoesNotFit) {
  const TBytes one = Size32(9) + Bytes("free") + Bytes("!");
  // A size beyond what is left, below its own header, a 64-bit size cut
  // short, a uuid box too small for its name, and a header cut short.
  EXPECT_EQ(Walk(one + Size32(10) + Bytes("free!")), std::vector<std::string>{"free[]!"});
  EXPECT_EQ(Walk(one + Size32(7) + Bytes("free")), std::vector<std::string>{"free[]!"});
  EXPECT_EQ(Walk(one + Size32(1) + Bytes("free") + TBytes{0, 0, 0, 0}),
            std::vector<std::string>{"free[]!"});
  EXPECT_EQ(Walk(one + Size32(1) + Bytes("free") + TBytes(7, 0xFF) + TBytes{0xF0}),
            std::vector<std::string>{"free[]!"});
  EXPECT_EQ(Walk(one + Size32(20) + Bytes("uuid") + Bytes("0123456789ab")),
            std::vector<std::string>{"free[]!"});
  EXPECT_EQ(Walk(one + Size32(8) + Bytes("fre")), std::vector<std::string>{"free[]!"});
  // An empty box is a box; the reader stops after its cap.
  TBytes many;
  for (int i = 0; i < TBoxReader::MaxBoxes + 5; ++i) many = many + Size32(8) + Bytes("free");
  EXPECT_EQ(Walk(many).size(), static_cast<size_t>(TBoxReader::MaxBoxes));
}

}  // namespace
}  // namespace pictrim
