#include "target/map_entry.h"

#include <bit>

namespace tessarn {
namespace {

uint16_t bitAt(int position) { return position < 0 ? 0 : static_cast<uint16_t>(1u << position); }

// The bits numbers below `limit` use: with a limit of 1024, bits 0-9.
uint16_t numberBitsBelow(int limit) {
  return static_cast<uint16_t>((1u << std::bit_width(static_cast<unsigned>(limit - 1))) - 1);
}

}  // namespace

EntryFormat::EntryFormat(const Target& target, const MapWordLayout& layout) : target_(target) {
  const uint16_t run_mirrors = layout.mirrorBits();
  entryMirrorBits_ = static_cast<uint16_t>(((run_mirrors & kMirrorLeftRight) ? bitAt(target.leftRightBit) : 0) |
                                           ((run_mirrors & kMirrorTopBottom) ? bitAt(target.topBottomBit) : 0));
  if (target.paletteShift >= 0) {
    paletteBits_ = static_cast<uint16_t>((target.paletteCount() - 1) << target.paletteShift);
  }
  switch (target.entry) {
    case EntryKind::kWord:
    case EntryKind::kWordBigEndian:
      numberBits_ = numberBitsBelow(layout.patternLimit);
      freeBits_ = static_cast<uint16_t>(~takenBits());
      // (The dictionary gives mirror bits only where the run allows them.)
      numberMask_ = kPatternNumbers - 1;
      for (int o = 0; o < 4; ++o) {
        orientationBits_[o] = static_cast<uint16_t>(((o & 1) ? bitAt(target.leftRightBit) : 0) |
                                                    ((o & 2) ? bitAt(target.topBottomBit) : 0));
      }
      if (target.paletteShift >= 0) {
        paletteMask_ = static_cast<unsigned>(target.paletteCount() - 1);
        paletteShift_ = target.paletteShift;
      }
      attributeMask_ = 0xFFFF;
      break;
    case EntryKind::kByteAndAttribute:
      numberBits_ = layout.patternLimit > 256 ? bitAt(target.bankBit) : 0;
      freeBits_ = static_cast<uint16_t>(~takenBits() & 0xFF);
      break;
    case EntryKind::kByte:
    case EntryKind::kByteAndAreaTable:
      break;
  }
}

uint8_t EntryFormat::attributeByte(MapCell cell, uint16_t attributes) const {
  unsigned byte = cell.palette | attributes;
  if (patternNumberOf(cell.word) >= 256) byte |= bitAt(target_.bankBit);
  if (mirroredLeftRight(cell.word)) byte |= bitAt(target_.leftRightBit);
  if (mirroredTopBottom(cell.word)) byte |= bitAt(target_.topBottomBit);
  return static_cast<uint8_t>(byte);
}

std::vector<uint8_t> areaTable(const std::vector<MapCell>& cells, int64_t tiles_wide, int64_t tiles_high,
                               int job_palette) {
  const int64_t areas_wide = (tiles_wide + 1) / 2;
  const int64_t areas_high = (tiles_high + 1) / 2;
  // Each area's palette: that of its first tile not of colour 0 only.
  std::vector<int> palettes(static_cast<size_t>(areas_wide * areas_high), -1);
  for (int64_t row = 0; row < tiles_high; ++row) {
    for (int64_t column = 0; column < tiles_wide; ++column) {
      const MapCell& cell = cells[static_cast<size_t>(row * tiles_wide + column)];
      int& area = palettes[static_cast<size_t>(row / 2 * areas_wide + column / 2)];
      if (area < 0 && !cell.blank) area = cell.palette;
    }
  }
  const int64_t blocks_wide = (areas_wide + 1) / 2;
  const int64_t blocks_high = (areas_high + 1) / 2;
  std::vector<uint8_t> table(static_cast<size_t>(blocks_wide * blocks_high), 0);
  for (int64_t ay = 0; ay < areas_high; ++ay) {
    for (int64_t ax = 0; ax < areas_wide; ++ax) {
      const int palette = palettes[static_cast<size_t>(ay * areas_wide + ax)];
      const int quadrant = static_cast<int>(ay % 2 * 2 + ax % 2);
      uint8_t& block = table[static_cast<size_t>(ay / 2 * blocks_wide + ax / 2)];
      block = static_cast<uint8_t>(block | ((palette < 0 ? job_palette : palette) & 3) << (2 * quadrant));
    }
  }
  return table;
}

}  // namespace tessarn
