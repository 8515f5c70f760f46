// A map word: how the run names a tile's pattern and how it is drawn, in 16
// bits. Bits 0-13 hold the pattern's number, bit 14 (0x4000) says it is
// drawn mirrored left-right, bit 15 (0x8000) mirrored top-bottom. (The
// classic map entry is this word; other machines' entries are made from it
// at the output edge, target/map_entry.h.) A map cell is a word and the
// palette the tile is drawn in.
//
// A run numbers its patterns from a first number below a limit, so a
// number only ever uses the bits that the limit leaves it, and may restrict
// which mirror images count as the same pattern (MapWordLayout).

#ifndef TESSARN_TILES_MAP_WORD_H_
#define TESSARN_TILES_MAP_WORD_H_

#include <bit>
#include <cstdint>

namespace tessarn {

constexpr uint16_t kMirrorLeftRight = 0x4000;
constexpr uint16_t kMirrorTopBottom = 0x8000;
constexpr uint16_t kMirrorBits = kMirrorLeftRight | kMirrorTopBottom;
// Pattern numbers 0 to 16383: the bits below the mirror bits.
constexpr int kPatternNumbers = 16384;

inline int patternNumberOf(uint16_t word) { return word & (kPatternNumbers - 1); }
inline bool mirroredLeftRight(uint16_t word) { return (word & kMirrorLeftRight) != 0; }
inline bool mirroredTopBottom(uint16_t word) { return (word & kMirrorTopBottom) != 0; }
// A word's orientation 0-3, its mirror bits shifted down (bit 0 left-right,
// bit 1 top-bottom), and back.
inline int orientationOf(uint16_t word) { return word >> 14; }
inline uint16_t mirrorBitsOf(int orientation) { return static_cast<uint16_t>(orientation << 14); }

// A map cell inside the run.
struct MapCell {
  uint16_t word = 0;
  uint8_t palette = 0;
  bool blank = false;  // every pixel colour 0: it takes its 16x16 area's palette
};

// Which mirror images count as the same pattern.
enum class MirrorMode { kBoth, kLeftRight, kTopBottom, kNone };

struct MapWordLayout {
  int firstPattern = 0;               // the number of the run's first pattern
  int patternLimit = kPatternNumbers;  // no pattern is numbered this or higher
  MirrorMode mirror = MirrorMode::kBoth;

  // The mirror bits a word may carry.
  uint16_t mirrorBits() const {
    switch (mirror) {
      case MirrorMode::kBoth:
        return kMirrorBits;
      case MirrorMode::kLeftRight:
        return kMirrorLeftRight;
      case MirrorMode::kTopBottom:
        return kMirrorTopBottom;
      case MirrorMode::kNone:
        return 0;
    }
    return kMirrorBits;  // not reached: every mode is listed
  }
};

}  // namespace tessarn

#endif  // TESSARN_TILES_MAP_WORD_H_
