// A map cell (tiles/map_word.h) as a machine's map entry, and the bits of
// an entry that --attributes may set.
//
// An entry holds the pattern number in the bits the machine gives it, the
// mirror bits the run allows at the machine's places, the cell's palette in
// the machine's palette field, and the job's attribute bits; the attribute
// bits must be none of the others (bits a number below the run's limit can
// use, allowed mirror bits, the palette field). gbc's entry is a byte, and
// its attribute byte takes the mirror bits, the palette, bit 3 for numbers
// 256-511 and the attribute bits. nes's entry is a byte, and a map's
// attribute table (one byte a 32x32 block, blocks row by row: bits 0-1 its
// top-left 16x16 area, 2-3 top-right, 4-5 bottom-left, 6-7 bottom-right, 0
// for areas outside the map) holds each area's palette: that of its first
// tile not of colour 0 only, or the job's. gb and the one-byte maps of 8-bit
// machines hold the number's low bits alone.

#ifndef TESSARN_TARGET_MAP_ENTRY_H_
#define TESSARN_TARGET_MAP_ENTRY_H_

#include <cstdint>
#include <vector>

#include "target/target.h"
#include "tiles/map_word.h"

namespace tessarn {

class EntryFormat {
 public:
  EntryFormat(const Target& target, const MapWordLayout& layout);

  // The bits --attributes may set: of the 16-bit entry, or of gbc's
  // attribute byte; 0 where it may set none (a byte entry, or every bit
  // taken).
  uint16_t freeBits() const { return freeBits_; }
  // The bits a number below the limit can use (gbc: bit 3 for numbers
  // 256-511), the allowed mirror bits and the palette field, in the same
  // place; all of them.
  uint16_t numberBits() const { return numberBits_; }
  uint16_t mirrorBits() const { return entryMirrorBits_; }
  uint16_t paletteBits() const { return paletteBits_; }
  uint16_t takenBits() const { return static_cast<uint16_t>(numberBits_ | entryMirrorBits_ | paletteBits_); }

  // The entry: a 16-bit word, or a byte. (Defined here, where every cell's
  // writer can have it inlined.)
  uint16_t entry(MapCell cell, uint16_t attributes) const {
    const unsigned number = static_cast<unsigned>(patternNumberOf(cell.word)) & numberMask_;
    return static_cast<uint16_t>(number | orientationBits_[orientationOf(cell.word)] |
                                 (cell.palette & paletteMask_) << paletteShift_ | (attributes & attributeMask_));
  }
  // gbc's attribute byte.
  uint8_t attributeByte(MapCell cell, uint16_t attributes) const;

 private:
  const Target& target_;
  // How entry() makes an entry: the number's bits kept, the entry's bits
  // for each orientation, the palette's mask and place, the attribute bits
  // kept (none for a byte entry: gbc's go to its attribute byte).
  unsigned numberMask_ = 0xFF;
  uint16_t orientationBits_[4] = {};
  unsigned paletteMask_ = 0;
  int paletteShift_ = 0;
  unsigned attributeMask_ = 0;
  uint16_t numberBits_ = 0;
  uint16_t entryMirrorBits_ = 0;
  uint16_t paletteBits_ = 0;
  uint16_t freeBits_ = 0;
};

// nes's attribute table of a map `tiles_wide` x `tiles_high` cells, row by
// row; `job_palette` for areas of colour 0 only.
std::vector<uint8_t> areaTable(const std::vector<MapCell>& cells, int64_t tiles_wide, int64_t tiles_high,
                               int job_palette);

}  // namespace tessarn

#endif  // TESSARN_TARGET_MAP_ENTRY_H_
