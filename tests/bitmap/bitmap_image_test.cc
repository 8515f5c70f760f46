#include "bitmap/bitmap_image.h"

#include <cstring>

#include <gtest/gtest.h>

#include "bitmap/rle8.h"
#include "support/bmp_writer.h"

namespace tessarn {
namespace {

using testing::writeBmp;
using testing::writeRawBmp;

void fill(const std::string& bytes, BitmapImage* image) {
  uint8_t* buffer = image->file.allocate(bytes.size());
  ASSERT_NE(buffer, nullptr);
  std::memcpy(buffer, bytes.data(), bytes.size());
}

// Sets a little-endian 32-bit field of a built file.
std::string with32(std::string bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

TEST(CheckBitmapTest, ChecksInOrder) {
  const std::string good = writeRawBmp(8, 8, 8, 0, std::string(64, '\0'));
  const std::string core = writeBmp({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64), .coreHeader = true});
  struct Case {
    const char* what;
    std::string bytes;
    bool accepted;
    MessageId reason;
  };
  const Case cases[] = {
      {"good", good, true, {}},
      {"core header", core, true, {}},
      {"empty", "", false, MessageId::kNotBmp},
      {"17 bytes", good.substr(0, 17), false, MessageId::kNotBmp},
      {"not BM", "XY" + good.substr(2), false, MessageId::kNotBmp},
      {"header size 13", with32(good, 14, 13), false, MessageId::kNotBmp},
      {"header size 124", with32(good, 14, 124), true, {}},
      {"info header cut at 33", good.substr(0, 33), false, MessageId::kNotBmp},
      {"core header cut at 25", core.substr(0, 25), false, MessageId::kNotBmp},
      {"4 bits beats a bad width", writeRawBmp(0, 8, 4, 0, ""), false, MessageId::kNotEightBit},
      {"bitfields", writeRawBmp(8, 8, 8, 3, std::string(64, '\0')), false, MessageId::kUnsupportedCompression},
      {"rle on 1 bit", writeRawBmp(8, 8, 1, 1, ""), false, MessageId::kUnsupportedCompression},
      {"rle of 2^28 pixels", writeRawBmp(1 << 14, 1 << 14, 8, 1, ""), true, {}},
      {"rle of 2^28 + 1 pixels", writeRawBmp((1 << 28) + 1, -1, 8, 1, ""), false, MessageId::kUnsupportedCompression},
      {"compression beats a bad width", writeRawBmp(-5, 8, 8, 2, ""), false, MessageId::kUnsupportedCompression},
      {"width 0", writeRawBmp(0, 8, 8, 0, ""), false, MessageId::kNotBmp},
      {"negative width", writeRawBmp(-8, 8, 8, 0, std::string(64, '\0')), false, MessageId::kNotBmp},
      {"height 0", writeRawBmp(8, 0, 8, 0, ""), false, MessageId::kNotBmp},
      {"pixels one byte short", good.substr(0, good.size() - 1), false, MessageId::kNotBmp},
      {"pixel offset past the end", with32(good, 10, 0xFFFFFFFF), false, MessageId::kNotBmp},
      {"huge declared size", writeRawBmp(100000, 100000, 8, 0, std::string(16, '\0')), false, MessageId::kNotBmp},
      {"rle data offset at the end", with32(writeRawBmp(8, 8, 8, 1, ""), 10, 1078), true, {}},
      {"rle data offset past the end", with32(writeRawBmp(8, 8, 8, 1, ""), 10, 1079), false, MessageId::kNotBmp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapHeader header;
    MessageId reason = MessageId::kOutOfMemory;
    BitmapImage image;
    fill(c.bytes, &image);
    BitmapCheck check = checkBitmap(image, &header, &reason);
    EXPECT_EQ(check == BitmapCheck::kAccepted, c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(reason, c.reason);
    }
  }
}

TEST(PixelGridTest, StrideAndAddressing) {
  EXPECT_EQ(rowStride(8, 10), 12);
  EXPECT_EQ(rowStride(8, 8), 8);
  EXPECT_EQ(rowStride(1, 33), 8);
  EXPECT_EQ(rowStride(8, INT32_MAX), int64_t{2147483648});

  // Pixel (0, 0) of a bottom-up 8-bit image 64 rows high is the first byte of
  // the last stored row.
  std::string pixels(12 * 64, '\0');
  pixels[63 * 12] = 5;
  pixels[0] = 6;  // the bottom-left pixel
  BitmapImage image;
  fill(writeRawBmp(10, 64, 8, 0, pixels), &image);
  BitmapHeader header;
  MessageId reason;
  ASSERT_EQ(checkBitmap(image, &header, &reason), BitmapCheck::kAccepted);
  FileBytes decoded;
  PixelGrid grid;
  ASSERT_TRUE(makePixelGrid(image, header, &decoded, &grid));
  EXPECT_EQ(grid.index(0, 0), 5);
  EXPECT_EQ(grid.index(0, 63), 6);
  EXPECT_EQ(grid.topRow - (image.file.data() + header.pixelOffset), 63 * 12);
}

TEST(Rle8Test, EveryEscape) {
  const int width = 6;
  const int rows = 4;
  // Stored rows: run, literal with padding, end of line, delta, run past the
  // row's end, end of line, end of bitmap, and data after it.
  const uint8_t data[] = {
      2, 7,  0, 3, 1, 2, 3, 0,  // run of 7s, literal 1 2 3 plus pad
      0, 0,                     // end of line
      0, 2, 2, 1,               // move 2 right, 1 row on
      9, 4,                     // run of 4s past the row's end: 4 land
      0, 0,                     // end of line
      1, 5,                     // one 5
      0, 1,                     // end of bitmap
      3, 9,                     // ignored
  };
  std::vector<uint8_t> out(width * rows, 0);
  decodeRle8(data, sizeof data, width, rows, out.data());
  const std::vector<uint8_t> expected = {
      7, 7, 1, 2, 3, 0,  //
      0, 0, 0, 0, 0, 0,  //
      0, 0, 4, 4, 4, 4,  //
      5, 0, 0, 0, 0, 0,  //
  };
  EXPECT_EQ(out, expected);
}

TEST(Rle8Test, EndsSafelyOnCutOrRunawayData) {
  const int width = 4;
  const int rows = 2;
  struct Case {
    std::vector<uint8_t> data;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {{4, 1, 0}, {1, 1, 1, 1, 0, 0, 0, 0}},            // odd trailing byte
      {{0, 2, 1}, {0, 0, 0, 0, 0, 0, 0, 0}},            // delta cut short
      {{0, 5, 1, 2}, {1, 2, 0, 0, 0, 0, 0, 0}},         // literal cut short
      {{0, 2, 0, 200, 3, 3}, {0, 0, 0, 0, 0, 0, 0, 0}}, // delta past the last row
      {{0, 0, 0, 0, 0, 0, 9, 9}, {0, 0, 0, 0, 0, 0, 0, 0}},  // lines past the last row
      {{255, 6, 255, 6}, {6, 6, 6, 6, 0, 0, 0, 0}},     // long runs stay in their row
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out(width * rows, 0);
    decodeRle8(c.data.data(), c.data.size(), width, rows, out.data());
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
}  // namespace tessarn
