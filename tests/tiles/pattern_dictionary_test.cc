// The dictionary's rules on worked tiles: a tile maps to the lowest-numbered
// pattern it equals, in the first orientation that matches, and patterns
// taken back are forgotten.

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "tiles/pattern_dictionary.h"

namespace tessarn {
namespace {

// A tile of colour 0 but for the given pixels ((x, y), colour 1 unless
// `colour` says).
Pattern tileWith(std::initializer_list<std::pair<int, int>> pixels, int colour = 1) {
  Pattern tile;
  for (const auto& [x, y] : pixels) tile.setColour(x, y, colour);
  return tile;
}

TEST(PatternDictionary, MapsEachTileToTheFirstPatternThatMatches) {
  PatternDictionary dictionary;  // the classic settings: both mirrorings, numbered from 0
  const auto expect_word = [&](const Pattern& tile, uint16_t expected) {
    uint16_t word = 0xFFFF;
    ASSERT_TRUE(dictionary.lookupOrAdd(tile, &word)) << "the tile of word " << expected;
    EXPECT_EQ(word, expected);
  };
  expect_word(Pattern{}, 0);                     // the blank pattern it starts with
  expect_word(tileWith({{0, 0}}), 1);            // new
  expect_word(tileWith({{7, 0}}), 0x4001);       // its mirror images
  expect_word(tileWith({{0, 7}}), 0x8001);
  expect_word(tileWith({{7, 7}}), 0xC001);
  expect_word(tileWith({{0, 0}, {7, 0}}), 2);    // the same mirrored left-right
  expect_word(tileWith({{0, 7}, {7, 7}}), 0x8002);  // top-bottom before both ways
  expect_word(tileWith({{0, 0}}, 2), 3);         // other colours, another pattern
  // Taken back, pattern 3 is new again; the others are still found.
  dictionary.truncate(3);
  expect_word(tileWith({{0, 0}}, 2), 3);
  expect_word(tileWith({{7, 7}}), 0xC001);
  EXPECT_EQ(dictionary.count(), 4);
}

}  // namespace
}  // namespace tessarn
