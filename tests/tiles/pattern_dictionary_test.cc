#include "tiles/pattern_dictionary.h"

#include <random>

#include <gtest/gtest.h>

namespace tessarn {
namespace {

TEST(MirrorRowTest, ReversesEachByteOnItsOwn) {
  EXPECT_EQ(mirrorRow(0x0180), 0x8001);
  EXPECT_EQ(mirrorRow(0x1234), 0x482C);
  EXPECT_EQ(mirrorRow(0xC0A0), 0x0305);
}

// The obviously correct search: every pattern in order, every orientation.
uint16_t scanFor(const std::vector<Pattern>& patterns, const Pattern& tile) {
  for (size_t n = 0; n < patterns.size(); ++n) {
    const Pattern& p = patterns[n];
    auto all = [&](auto row_matches) {
      for (int r = 0; r < 8; ++r) {
        if (!row_matches(r)) return false;
      }
      return true;
    };
    uint16_t number = static_cast<uint16_t>(n);
    if (all([&](int r) { return p[r] == tile[r]; })) return number;
    if (all([&](int r) { return mirrorRow(p[r]) == tile[r]; })) return number | 0x4000;
    if (all([&](int r) { return p[7 - r] == tile[r]; })) return number | 0x8000;
    if (all([&](int r) { return mirrorRow(p[7 - r]) == tile[r]; })) return number | 0xC000;
  }
  return 0xFFFF;  // not found
}

Pattern mirrored(Pattern p, bool left_right, bool top_bottom) {
  Pattern out;
  for (int r = 0; r < 8; ++r) {
    uint16_t row = p[top_bottom ? 7 - r : r];
    out[r] = left_right ? mirrorRow(row) : row;
  }
  return out;
}

TEST(PatternDictionaryTest, TieBreaks) {
  PatternDictionary dictionary;
  uint16_t word;
  ASSERT_TRUE(dictionary.lookupOrAdd(Pattern{}, &word));
  EXPECT_EQ(word, 0x0000);  // blank is pattern 0

  const Pattern full = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  ASSERT_TRUE(dictionary.lookupOrAdd(full, &word));
  EXPECT_EQ(word, 1);
  ASSERT_TRUE(dictionary.lookupOrAdd(full, &word));
  EXPECT_EQ(word, 1);  // symmetric every way: unmirrored wins

  const Pattern lr_symmetric = {0x8181, 0x4242, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(dictionary.lookupOrAdd(lr_symmetric, &word));
  EXPECT_EQ(word, 2);
  ASSERT_TRUE(dictionary.lookupOrAdd(mirrored(lr_symmetric, false, true), &word));
  EXPECT_EQ(word, 0x8002);  // its top-bottom mirror equals its both-ways mirror

  const Pattern plain = {0x0180, 0x1234, 0x0001, 0, 0, 0, 0, 0x8000};
  ASSERT_TRUE(dictionary.lookupOrAdd(plain, &word));
  EXPECT_EQ(word, 3);
  ASSERT_TRUE(dictionary.lookupOrAdd(mirrored(plain, true, false), &word));
  EXPECT_EQ(word, 0x4003);
  ASSERT_TRUE(dictionary.lookupOrAdd(mirrored(plain, true, true), &word));
  EXPECT_EQ(word, 0xC003);
  EXPECT_EQ(dictionary.count(), 4);
  EXPECT_EQ(dictionary.pattern(3), plain);
}

// Tiles from a tiny alphabet of rows, so that mirror matches are frequent.
TEST(PatternDictionaryTest, AgreesWithAPlainScan) {
  std::mt19937 random(12345);
  // 0x0180 and 0x8001 mirror each other; 10,000 tiles stay under the limit.
  const uint16_t rows[] = {0x0000, 0x0180, 0x8001, 0x3C00};
  PatternDictionary dictionary;
  std::vector<Pattern> reference = {Pattern{}};
  for (int i = 0; i < 10000; ++i) {
    Pattern tile;
    for (uint16_t& row : tile) row = rows[random() % 4];
    uint16_t expected = scanFor(reference, tile);
    if (expected == 0xFFFF) {
      expected = static_cast<uint16_t>(reference.size());
      reference.push_back(tile);
    }
    uint16_t word;
    ASSERT_TRUE(dictionary.lookupOrAdd(tile, &word));
    ASSERT_EQ(word, expected) << "tile " << i;
  }
  EXPECT_EQ(dictionary.count(), static_cast<int>(reference.size()));
}

TEST(PatternDictionaryTest, HoldsAtMost16384Patterns) {
  PatternDictionary dictionary;
  uint16_t word = 0;
  // Rows 0 and 1 carry the number; row 7 = 1 keeps every tile asymmetric.
  auto tile = [](int n) {
    return Pattern{static_cast<uint16_t>(n), static_cast<uint16_t>(n >> 16), 0, 0, 0, 0, 0, 1};
  };
  for (int n = 1; n < PatternDictionary::kMaxPatterns; ++n) {
    ASSERT_TRUE(dictionary.lookupOrAdd(tile(n), &word));
    ASSERT_EQ(word, n);
  }
  EXPECT_EQ(dictionary.count(), PatternDictionary::kMaxPatterns);
  EXPECT_FALSE(dictionary.lookupOrAdd(tile(PatternDictionary::kMaxPatterns), &word));
  EXPECT_EQ(dictionary.count(), PatternDictionary::kMaxPatterns);
  ASSERT_TRUE(dictionary.lookupOrAdd(mirrored(tile(16383), false, true), &word));
  EXPECT_EQ(word, 0x8000 | 16383);
}

}  // namespace
}  // namespace tessarn
