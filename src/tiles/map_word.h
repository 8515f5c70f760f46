// A map word: the 16-bit cell of a map that names a pattern and how it is
// drawn. Bits 0-13 hold the pattern's number, bit 14 (0x4000) says it is
// drawn mirrored left-right, bit 15 (0x8000) mirrored top-bottom.
//
// A run can fit its words to the hardware they are for (MapWordLayout):
// patterns are numbered from a first number below a limit, so a number only
// ever uses the bits that the limit leaves it; mirroring may be restricted,
// which frees mirror bits; and bits that neither the number nor an allowed
// mirror bit can use may carry attributes (a palette, a priority), ORed into
// every word of a job as it is written out. Words inside the run never hold
// attributes, so they decode with the functions here alone.

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

// Which mirror images of a pattern count as the same pattern.
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
    return kMirrorBits;
  }
  // The bits that a number below the limit can use: with a limit of 1024,
  // bits 0-9.
  uint16_t numberBits() const {
    return static_cast<uint16_t>((1u << std::bit_width(static_cast<unsigned>(patternLimit - 1))) - 1);
  }
  // Whether attribute bits leave the number's and the mirror bits alone.
  bool leavesRoomFor(uint16_t attributes) const {
    return (attributes & (numberBits() | mirrorBits())) == 0;
  }
};

}  // namespace tessarn

#endif  // TESSARN_TILES_MAP_WORD_H_
