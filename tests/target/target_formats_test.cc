// The machines' pattern bytes, map entries and attribute tables, pinned by
// worked examples written out by hand.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "target/colour_format.h"
#include "target/map_entry.h"
#include "target/pattern_format.h"

namespace tessarn {
namespace {

// A pattern whose row 0 is `row0` and row 1 `row1`, colours as numbers.
Pattern patternOf(const std::vector<int>& row0, const std::vector<int>& row1 = {}) {
  Pattern pattern;
  for (int x = 0; x < 8; ++x) {
    pattern.setColour(x, 0, row0[static_cast<size_t>(x)]);
    if (!row1.empty()) pattern.setColour(x, 1, row1[static_cast<size_t>(x)]);
  }
  return pattern;
}

std::vector<uint8_t> bytesOf(const char* target, const Pattern& pattern) {
  const Target* t = findTarget(target);
  std::vector<uint8_t> bytes(static_cast<size_t>(t->patternBytes()));
  layOutPattern(*t, pattern, bytes.data());
  return bytes;
}

TEST(TargetFormats, PatternBytes) {
  // Colours 1 to 8 are planes AA 66 1E 01.
  const Pattern ramp = patternOf({1, 2, 3, 4, 5, 6, 7, 8});
  struct Case {
    const char* target;
    std::vector<size_t> at;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"snes-4bpp", {0, 1, 16, 17}, {0xAA, 0x66, 0x1E, 0x01}},
      {"pce", {0, 1, 16, 17}, {0xAA, 0x66, 0x1E, 0x01}},
      {"sms", {0, 1, 2, 3}, {0xAA, 0x66, 0x1E, 0x01}},
      {"md", {0, 1, 2, 3}, {0x12, 0x34, 0x56, 0x78}},
      {"gba-4bpp", {0, 1, 2, 3}, {0x21, 0x43, 0x65, 0x87}},
      {"gba-8bpp", {0, 1, 2, 7, 8}, {1, 2, 3, 8, 0}},
      {"snes-mode7", {0, 7}, {1, 8}},
      {"snes-8bpp", {0, 1, 16, 17, 32, 48}, {0xAA, 0x66, 0x1E, 0x01, 0, 0}},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = bytesOf(c.target, ramp);
    for (size_t i = 0; i < c.at.size(); ++i) EXPECT_EQ(bytes[c.at[i]], c.bytes[i]) << c.target << " byte " << c.at[i];
  }
  // Colours 3 0 0 0 0 0 0 1: classic bytes 81 80; nes bytes 0 and 8.
  const Pattern ends = patternOf({3, 0, 0, 0, 0, 0, 0, 1});
  EXPECT_EQ(bytesOf("classic", ends), (std::vector<uint8_t>{0x81, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytesOf("nes", ends), (std::vector<uint8_t>{0x81, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

// Every target reads back what it lays out.
TEST(TargetFormats, PatternBytesReadBack) {
  std::mt19937 random(7);
  for (const char* name : {"classic", "gb", "gbc", "nes", "snes-2bpp", "snes-4bpp", "snes-8bpp", "snes-mode7",
                           "gba-affine", "pce", "md", "sms", "gg", "gba-4bpp", "gba-8bpp"}) {
    const Target& target = *findTarget(name);
    Pattern pattern;
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) pattern.setColour(x, y, static_cast<int>(random() % (1u << target.bitsPerPixel)));
    }
    EXPECT_EQ(readPattern(target, bytesOf(name, pattern).data()), pattern) << name;
  }
}

TEST(TargetFormats, MapEntries) {
  const MapCell left_right{static_cast<uint16_t>(5 | kMirrorLeftRight), 3, false};
  struct Case {
    const char* target;
    MapCell cell;
    uint16_t entry;
  };
  const Case cases[] = {
      {"snes-2bpp", left_right, 0x4C05}, {"snes-4bpp", left_right, 0x4C05}, {"snes-8bpp", {0x4005, 0, false}, 0x4005},
      {"md", left_right, 0x6805},        {"gba-4bpp", left_right, 0x3405},  {"gbc", left_right, 0x05},
      {"sms", {0x4005, 1, false}, 0x0A05}, {"pce", {5, 3, false}, 0x3005},   {"classic", {0xC105, 0, false}, 0xC105},
      {"gb", {0x0105, 0, false}, 0x05},
  };
  for (const Case& c : cases) {
    const Target& target = *findTarget(c.target);
    EXPECT_EQ(EntryFormat(target, {0, target.patternLimit, MirrorMode::kBoth}).entry(c.cell, 0), c.entry) << c.target;
  }
  const Target& gbc = *findTarget("gbc");
  EXPECT_EQ(EntryFormat(gbc, {0, 512, MirrorMode::kBoth}).attributeByte(left_right, 0), 0x23);
  EXPECT_EQ(EntryFormat(gbc, {0, 512, MirrorMode::kBoth}).attributeByte({0x8105, 2, false}, 0x80), 0xCA);
}

// nes's attribute table: areas of 2x2 cells, 2 bits each in a byte a 2x2
// areas; an area takes its first cell not of colour 0 only, else the job's
// palette; areas outside the map are 0.
TEST(TargetFormats, AreaTable) {
  // 5 x 3 cells: areas 3 x 2, blocks 2 x 1.
  std::vector<MapCell> cells(15, MapCell{0, 0, true});
  const auto set = [&](int x, int y, uint8_t palette) { cells[static_cast<size_t>(y * 5 + x)] = {1, palette, false}; };
  set(1, 0, 1);  // area (0, 0), after a blank cell
  set(0, 1, 3);  // the same area, its first non-blank taken
  set(3, 1, 2);  // area (1, 0)
  set(4, 2, 3);  // area (2, 1)
  // Block 0: areas (0,0)=1, (1,0)=2, (0,1)=job 2, (1,1)=job 2. Block 1:
  // area (2,0)=job 2, (2,1)=3, the others outside.
  EXPECT_EQ(areaTable(cells, 5, 3, 2), (std::vector<uint8_t>{1 | 2 << 2 | 2 << 4 | 2 << 6, 2 | 3 << 4}));
  EXPECT_EQ(areaTable(std::vector<MapCell>(32 * 30), 32, 30, 0).size(), 64u);
}

// Each colour format, worked by hand for (255, 128, 64), and how the
// machine shows its value again.
TEST(TargetFormats, ColourFormats) {
  const Rgb colour{255, 128, 64};
  struct Case {
    const char* name;
    uint32_t value;
    std::vector<uint16_t> written;  // of the palette {colour, white}
    Rgb shown;
  };
  const Case cases[] = {
      {"snes-4bpp", 0x221F, {0x221F, 0x7FFF}, {255, 132, 66}},
      {"md", 0x048E, {0x048E, 0x0EEE}, {255, 146, 73}},
      {"pce", 0x13A, {0x13A, 0x1FF}, {255, 146, 73}},
      {"gg", 0x48F, {0x48F, 0xFFF}, {255, 136, 68}},
      {"sms", 0x1B, {0x1B, 0x3F}, {255, 170, 85}},
      {"gb", 1, {0x01}, {170, 170, 170}},  // a shade: 3 - 158 * 4 / 256
      {"nes", 9, {9, 9}, colour},          // the image's index
      {"rgb888", 0xFF8040, {0xFF, 0x80, 0x40, 0xFF, 0xFF, 0xFF}, colour},
  };
  for (const Case& c : cases) {
    ColourFormat format;
    ASSERT_TRUE(findColourFormat(c.name, &format)) << c.name;
    EXPECT_EQ(colourValue(format, colour, 9), c.value) << c.name;
    EXPECT_EQ(paletteValues(format, {c.value, colourValue(format, {255, 255, 255}, 9)}), c.written) << c.name;
    EXPECT_EQ(shownColour(format, c.value, colour), c.shown) << c.name;
  }
  // gb: a byte a palette of four shades, colour 0 in its low bits.
  EXPECT_EQ(paletteValues(ColourFormat::kGb, {0, 1, 1, 3}), (std::vector<uint16_t>{0xD4}));
  ColourFormat none;
  EXPECT_FALSE(findColourFormat("classic", &none));
}

}  // namespace
}  // namespace tessarn
