#include "target/pattern_format.h"

#include <algorithm>

namespace tessarn {
namespace {

// The byte of bit plane `plane` in row `row`.
uint8_t planeByte(const Pattern& pattern, int plane, int row) {
  return static_cast<uint8_t>(pattern.rowWord(plane / 2, row) >> (8 * (plane % 2)));
}

void setPlaneByte(Pattern* pattern, int plane, int row, uint8_t byte) {
  const uint16_t word = pattern->rowWord(plane / 2, row);
  const int shift = 8 * (plane % 2);
  pattern->setRowWord(plane / 2, row, static_cast<uint16_t>((word & ~(0xFF << shift)) | byte << shift));
}

// Where the byte of `plane` in `row` goes in a layout of planes: the same
// place for laying out and for reading back.
int planeOffset(const Target& target, int plane, int row) {
  const int bits = target.bitsPerPixel;
  switch (target.layout) {
    case PatternLayout::kPlanePairs:
      return 16 * (plane / 2) + 2 * row + plane % 2;
    case PatternLayout::kPlanesApart:
      return 8 * plane + row;
    case PatternLayout::kPlanesInRow:
      return bits * row + plane;
    case PatternLayout::kNibblesHighFirst:
    case PatternLayout::kNibblesLowFirst:
    case PatternLayout::kBytePerPixel:
      break;
  }
  return -1;  // not a layout of planes
}

bool planar(const Target& target) { return planeOffset(target, 0, 0) >= 0; }

// Where pixel (x, y) goes in a layout of pixels, and at which shift.
int pixelOffset(const Target& target, int x, int y, int* shift) {
  switch (target.layout) {
    case PatternLayout::kNibblesHighFirst:
      *shift = x % 2 == 0 ? 4 : 0;
      return 4 * y + x / 2;
    case PatternLayout::kNibblesLowFirst:
      *shift = x % 2 == 0 ? 0 : 4;
      return 4 * y + x / 2;
    case PatternLayout::kBytePerPixel:
    case PatternLayout::kPlanePairs:
    case PatternLayout::kPlanesApart:
    case PatternLayout::kPlanesInRow:
      break;
  }
  *shift = 0;
  return 8 * y + x;
}

}  // namespace

void layOutPattern(const Target& target, const Pattern& pattern, uint8_t* out) {
  const int bits = target.bitsPerPixel;
  if (planar(target)) {
    for (int plane = 0; plane < bits; ++plane) {
      for (int row = 0; row < 8; ++row) out[planeOffset(target, plane, row)] = planeByte(pattern, plane, row);
    }
    return;
  }
  for (int i = 0; i < target.patternBytes(); ++i) out[i] = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      int shift;
      const int at = pixelOffset(target, x, y, &shift);
      out[at] = static_cast<uint8_t>(out[at] | pattern.colourAt(x, y, bits) << shift);
    }
  }
}

Pattern readPattern(const Target& target, const uint8_t* bytes) {
  const int bits = target.bitsPerPixel;
  Pattern pattern;
  if (planar(target)) {
    for (int plane = 0; plane < bits; ++plane) {
      for (int row = 0; row < 8; ++row) setPlaneByte(&pattern, plane, row, bytes[planeOffset(target, plane, row)]);
    }
    return pattern;
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      int shift;
      const int at = pixelOffset(target, x, y, &shift);
      pattern.setColour(x, y, bytes[at] >> shift & ((1 << bits) - 1));
    }
  }
  return pattern;
}

int patternValues(const Target& target, const Pattern& pattern, uint16_t* values) {
  if (target.isClassic()) {
    for (int r = 0; r < 8; ++r) values[r] = pattern.rowWord(0, r);
    return 8;
  }
  uint8_t bytes[kMaxPatternWords * 8];
  layOutPattern(target, pattern, bytes);
  std::copy(bytes, bytes + target.patternBytes(), values);
  return target.patternBytes();
}

}  // namespace tessarn
