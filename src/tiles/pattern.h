// A pattern, or a tile before it is one: 8x8 colour numbers of 2, 4 or 8
// bits, held as bit planes taken two at a time. Planes 2k and 2k+1 make
// eight row words, top row first: a row word's low byte is plane 2k, its
// high byte plane 2k+1, the leftmost pixel in each byte's top bit (so a
// pattern of 2 bits is eight row words, as the classic table writes it).
// The row words go four to a 64-bit word, row 0 in the low bits: words 2k
// and 2k+1 hold rows 0-3 and 4-7 of planes 2k and 2k+1. A pattern of b bits
// a pixel uses b words; the others are 0.
//
// Mirroring works on whole words: left-right reverses the bits of every
// byte, top-bottom the order of the rows.

#ifndef TESSARN_TILES_PATTERN_H_
#define TESSARN_TILES_PATTERN_H_

#include <array>
#include <cstdint>

namespace tessarn {

constexpr int kMaxPatternWords = 8;

struct Pattern {
  std::array<uint64_t, kMaxPatternWords> words{};

  bool operator==(const Pattern& other) const = default;

  // Row word `row` (0-7) of planes 2 * `pair` and 2 * `pair` + 1.
  uint16_t rowWord(int pair, int row) const {
    return static_cast<uint16_t>(words[2 * pair + row / 4] >> (16 * (row % 4)));
  }
  void setRowWord(int pair, int row, uint16_t word) {
    uint64_t& w = words[2 * pair + row / 4];
    const int shift = 16 * (row % 4);
    w = (w & ~(uint64_t{0xFFFF} << shift)) | uint64_t{word} << shift;
  }
  // The colour number of pixel (x, y), both 0-7, y from the top.
  int colourAt(int x, int y, int bits) const {
    int colour = 0;
    for (int pair = 0; 2 * pair < bits; ++pair) {
      const uint16_t row = rowWord(pair, y);
      colour |= ((row >> (7 - x) & 1) | (row >> (15 - x) & 1) << 1) << (2 * pair);
    }
    return colour;
  }
  // Sets pixel (x, y), which must be 0 so far, to `colour`.
  void setColour(int x, int y, int colour) {
    for (int pair = 0; 2 * pair < kMaxPatternWords && colour >> (2 * pair) != 0; ++pair) {
      const int bits = colour >> (2 * pair) & 3;
      setRowWord(pair, y, static_cast<uint16_t>(rowWord(pair, y) | (bits & 1) << (7 - x) | (bits >> 1) << (15 - x)));
    }
  }
};

// Reverses the bits of every byte: each row mirrored left-right.
inline uint64_t reverseBitsInBytes(uint64_t x) {
  x = (x >> 1 & 0x5555555555555555u) | (x & 0x5555555555555555u) << 1;
  x = (x >> 2 & 0x3333333333333333u) | (x & 0x3333333333333333u) << 2;
  return (x >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (x & 0x0F0F0F0F0F0F0F0Fu) << 4;
}

// Reverses the order of the four 16-bit rows of a word.
inline uint64_t reverseRows(uint64_t x) {
  x = x >> 32 | x << 32;
  return (x >> 16 & 0x0000FFFF0000FFFFu) | (x & 0x0000FFFF0000FFFFu) << 16;
}

// The first `words` words of `in`, mirrored as asked, into `out`.
inline void mirrorWords(const uint64_t* in, int words, bool left_right, bool top_bottom, uint64_t* out) {
  for (int k = 0; k < words; k += 2) {
    const uint64_t top = top_bottom ? reverseRows(in[k + 1]) : in[k];
    const uint64_t bottom = top_bottom ? reverseRows(in[k]) : in[k + 1];
    out[k] = left_right ? reverseBitsInBytes(top) : top;
    out[k + 1] = left_right ? reverseBitsInBytes(bottom) : bottom;
  }
}

}  // namespace tessarn

#endif  // TESSARN_TILES_PATTERN_H_
