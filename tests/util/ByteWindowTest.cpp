// Windows over untrusted bytes: every read inside, every read at the edge,
// every read one past it a range error; a file read a block at a time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"
#include "util/ByteWindow.h"
#include "util/Errors.h"

namespace pictrim {
namespace {

const std::vector<uint8_t> Bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 'E', 'x'};

TEST(ByteWindow, readsNumbersInBothOrdersUpToItsLastByteAndNoFurther) {
  const TMemorySource source(Bytes);
  const TByteWindow window(source);
  EXPECT_EQ(window.Size(), 10u);
  EXPECT_EQ(window.U8(9), 'x');
  EXPECT_EQ(window.U16(0, true), 0x0102);
  EXPECT_EQ(window.U16(0, false), 0x0201);
  EXPECT_EQ(window.U32(6, true), 0x07084578u);
  EXPECT_EQ(window.U32(6, false), 0x78450807u);
  EXPECT_EQ(window.U64(0, true), 0x0102030405060708u);
  EXPECT_EQ(window.U64(2, false), 0x7845080706050403u);
  EXPECT_THROW(window.U8(10), ERangeError);
  EXPECT_THROW(window.U16(9, true), ERangeError);
  EXPECT_THROW(window.U32(7, true), ERangeError);
  EXPECT_THROW(window.U64(3, true), ERangeError);
  EXPECT_THROW(window.U64(UINT64_MAX - 2, true), ERangeError);  // no wrap-around
  EXPECT_EQ(window.Bytes(8, 2), (std::vector<uint8_t>{'E', 'x'}));
  EXPECT_TRUE(window.Bytes(10, 0).empty());
  EXPECT_THROW(window.Bytes(9, 2), ERangeError);
  EXPECT_TRUE(window.Matches(8, "Ex"));
  EXPECT_FALSE(window.Matches(8, "Exi"));
  EXPECT_FALSE(window.Matches(7, "Ex"));
}

TEST(ByteWindow, aPartSeesOnlyItsOwnBytes) {
  const TMemorySource source(Bytes);
  const TByteWindow window(source);
  EXPECT_TRUE(window.Holds(10, 0));
  EXPECT_TRUE(window.Holds(4, 6));
  EXPECT_FALSE(window.Holds(4, 7));
  EXPECT_FALSE(window.Holds(11, 0));
  EXPECT_FALSE(window.Holds(1, UINT64_MAX));
  const TByteWindow part = window.Part(2, 4);
  EXPECT_EQ(part.Start(), 2u);
  EXPECT_EQ(part.Size(), 4u);
  EXPECT_EQ(part.U32(0, true), 0x03040506u);
  EXPECT_THROW(part.U8(4), ERangeError);
  EXPECT_EQ(part.From(3).U8(0), 0x06);
  EXPECT_EQ(part.From(4).Size(), 0u);
  EXPECT_THROW(part.From(5), ERangeError);
  EXPECT_THROW(part.Part(1, 4), ERangeError);
  EXPECT_THROW(window.Part(10, 1), ERangeError);
  EXPECT_EQ(window.Part(10, 0).Size(), 0u);
}

TEST(ByteWindow, aFileIsReadInBlocksWithinItsCap) {
  test::TTempDir dir;
  const std::string path = dir / "big.raw";
  {
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < 3 * TFileSource::BlockSize; ++i) out.put(static_cast<char>(i % 251));
  }
  const TFileSource source(path);
  const TByteWindow window(source);
  EXPECT_EQ(window.Size(), 3 * TFileSource::BlockSize);
  // A number across the border of two blocks.
  const uint64_t border = TFileSource::BlockSize - 2;
  EXPECT_EQ(window.U32(border, true), uint32_t((border % 251) << 24 | ((border + 1) % 251) << 16 |
                                               ((border + 2) % 251) << 8 | ((border + 3) % 251)));
  EXPECT_EQ(source.BlocksRead(), 2);
  window.U8(5);  // kept
  EXPECT_EQ(source.BlocksRead(), 2);
  EXPECT_EQ(window.Bytes(0, 3 * TFileSource::BlockSize).size(), 3 * TFileSource::BlockSize);
  EXPECT_EQ(source.BlocksRead(), 3);

  // A file cut short after it was opened holds less than its size said.
  ASSERT_EQ(::truncate(path.c_str(), 10), 0);
  const TFileSource cut(path);
  ASSERT_EQ(::truncate(path.c_str(), 4), 0);
  EXPECT_THROW(TByteWindow(cut).U32(6, true), ERangeError);
  EXPECT_THROW(TFileSource(dir / "missing.raw"), EInOutError);
  EXPECT_THROW(TFileSource(dir.Path()), EInOutError);
}

}  // namespace
}  // namespace pictrim
