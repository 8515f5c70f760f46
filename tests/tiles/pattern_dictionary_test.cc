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
  const std::pair<Pattern, uint16_t> cases[] = {
      {Pattern{}, 0},                      // the blank pattern it starts with
      {tileWith({{0, 0}}), 1},             // new
      {tileWith({{7, 0}}), 0x4001},        // its mirror images
      {tileWith({{0, 7}}), 0x8001},
      {tileWith({{7, 7}}), 0xC001},
      {tileWith({{0, 0}, {7, 0}}), 2},     // the same mirrored left-right
      {tileWith({{0, 7}, {7, 7}}), 0x8002},  // top-bottom before both ways
      {tileWith({{0, 0}}, 2), 3},          // other colours, another pattern
  };
  uint16_t word = 0xFFFF;
  for (const auto& [tile, expected] : cases) {
    ASSERT_TRUE(dictionary.lookupOrAdd(tile, &word));
    EXPECT_EQ(word, expected);
  }
  // Taken back, pattern 3 is new again; the others are still found.
  dictionary.truncate(3);
  for (const auto& [tile, expected] : {cases[7], cases[4]}) {
    ASSERT_TRUE(dictionary.lookupOrAdd(tile, &word));
    EXPECT_EQ(word, expected);
  }
  EXPECT_EQ(dictionary.count(), 4);
}

}  // namespace
}  // namespace tessarn
