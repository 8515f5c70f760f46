// The dictionary's tie-breaks and its forgetting; its lookups are checked
// against a plain scan by the bitmap fuzzer's model too.

#include "tiles/pattern_dictionary.h"

#include <gtest/gtest.h>

namespace tessarn {
namespace {

Pattern mirrored(const Pattern& p, bool left_right, bool top_bottom) {
  Pattern out;
  for (int r = 0; r < 8; ++r) {
    const uint16_t row = p[top_bottom ? 7 - r : r];
    out[r] = left_right ? mirrorRow(row) : row;
  }
  return out;
}

uint16_t wordFor(PatternDictionary* dictionary, const Pattern& tile) {
  uint16_t word = 0xFFFF;
  EXPECT_TRUE(dictionary->lookupOrAdd(tile, &word));
  return word;
}

TEST(PatternDictionaryTest, TieBreaksAndForgetting) {
  EXPECT_EQ(mirrorRow(0x0180), 0x8001);
  EXPECT_EQ(mirrorRow(0x1234), 0x482C);
  PatternDictionary dictionary;
  const Pattern full = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  const Pattern lr_symmetric = {0x8181, 0x4242, 0, 0, 0, 0, 0, 0};
  const Pattern plain = {0x0180, 0x1234, 0x0001, 0, 0, 0, 0, 0x8000};
  const struct {
    Pattern tile;
    uint16_t word;
  } steps[] = {
      {Pattern{}, 0x0000},  // blank is pattern 0
      {full, 1},
      {full, 1},            // symmetric every way: unmirrored wins
      {lr_symmetric, 2},
      {mirrored(lr_symmetric, false, true), 0x8002},  // the same as both ways: top-bottom wins
      {plain, 3},
      {mirrored(plain, true, false), 0x4003},
      {mirrored(plain, true, true), 0xC003},
  };
  for (const auto& step : steps) EXPECT_EQ(wordFor(&dictionary, step.tile), step.word);
  EXPECT_EQ(dictionary.pattern(3), plain);

  // Forgetting patterns 2 and 3 leaves the dictionary as it was before them.
  dictionary.truncate(2);
  EXPECT_EQ(dictionary.count(), 2);
  EXPECT_EQ(wordFor(&dictionary, mirrored(plain, true, true)), 2);
  EXPECT_EQ(wordFor(&dictionary, full), 1);
  EXPECT_EQ(wordFor(&dictionary, lr_symmetric), 3);
}

}  // namespace
}  // namespace tessarn
