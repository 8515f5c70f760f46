#include "bitmap/run_length.h"

#include <vector>

#include <gtest/gtest.h>

namespace tessarn {
namespace {

TEST(RunLengthTest, EveryEscape) {
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
  decodeRunLength(data, sizeof data, 8, width, rows, out.data());
  const std::vector<uint8_t> expected = {
      7, 7, 1, 2, 3, 0,  //
      0, 0, 0, 0, 0, 0,  //
      0, 0, 4, 4, 4, 4,  //
      5, 0, 0, 0, 0, 0,  //
  };
  EXPECT_EQ(out, expected);
}

TEST(RunLengthTest, EndsSafelyOnCutOrRunawayData) {
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
    decodeRunLength(c.data.data(), c.data.size(), 8, width, rows, out.data());
    EXPECT_EQ(out, c.expected);
  }
}

}  // namespace
}  // namespace tessarn
