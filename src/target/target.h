// The tile machines tessarn writes for, one row of data each: how a
// pattern's bytes are laid out, what a map entry is and where its fields
// go. The pattern encoder, the entry writer, the tables and the previews all
// read their rules from here.
//
// Every pattern is 8x8 pixels of 2, 4 or 8 bits. Inside the run a pattern
// is its colour numbers (tiles/pattern.h); only the output edge lays it out
// as the machine wants (pattern_format.h). A map cell is a pattern number,
// an orientation and a palette until it is written as the machine's entry
// (map_entry.h).
//
//   target       bits  pattern bytes             entry          number  lr/tb   palette  limit
//   classic      2     16 planes 0/1 rows         word           0-13    14/15   -        16384
//   gb           2     as classic                 byte           0-7     -       -        256
//   gbc          2     as classic                 byte + attr    0-7,a3  a5/a6   a0-2     512
//   nes          2     16 plane 0, then plane 1   byte + table   0-7     -       areas    256
//   snes-2bpp    2     as classic                 word           0-9     14/15   10-12    1024
//   snes-4bpp    4     32 planes 0/1, then 2/3    word           0-9     14/15   10-12    1024
//   snes-8bpp    8     64 planes 0/1 .. 6/7       word           0-9     14/15   -        1024
//   snes-mode7   8     64 a byte a pixel          byte           0-7     -       -        256
//   gba-affine   8     64 a byte a pixel          byte           0-7     -       -        256
//   pce          4     as snes-4bpp               word           0-11    -       12-15    4096
//   md           4     32 nibbles, left high      word (BE)      0-10    11/12   13-14    2048
//   sms, gg      4     32 planes 0-3 of each row  word           0-8     9/10    11       512
//   gba-4bpp     4     32 nibbles, left low       word           0-9     10/11   12-15    1024
//   gba-8bpp     8     64 a byte a pixel          word           0-9     10/11   -        1024
//
// (gbc's bits marked "a" are in the attribute byte; priority bits, where a
// machine has one, are free bits that --attributes may set.)

#ifndef TESSARN_TARGET_TARGET_H_
#define TESSARN_TARGET_TARGET_H_

#include <string>
#include <string_view>

namespace tessarn {

// How a pattern's colour numbers are laid out in bytes.
enum class PatternLayout {
  kPlanePairs,        // each pair of planes (0/1, then 2/3, ...): 8 rows, a byte of each plane a row
  kPlanesApart,       // rows 0-7 of plane 0, then rows 0-7 of plane 1
  kPlanesInRow,       // each row: a byte of plane 0, 1, 2 and 3
  kNibblesHighFirst,  // each row: 4 bytes, two pixels a byte, the left one in the high nibble
  kNibblesLowFirst,   // each row: 4 bytes, two pixels a byte, the left one in the low nibble
  kBytePerPixel,      // each row: 8 bytes, a pixel a byte
};

// What a map entry is.
enum class EntryKind {
  kWord,              // 16 bits, little-endian in binary
  kWordBigEndian,     // 16 bits, big-endian in binary
  kByte,              // the pattern number's low 8 bits
  kByteAndAttribute,  // a byte, and an attribute byte a cell in a map of its own
  kByteAndAreaTable,  // a byte, and an attribute table of 16x16 areas (2 bits each)
};

// How a machine stores a colour (target/colour_format.h).
enum class ColourFormat { kNone, kBgr555, kMd, kPce, kGg, kSms, kGb, kNes, kRgb888 };

struct Target {
  const char* name;
  int bitsPerPixel;  // 2, 4 or 8
  PatternLayout layout;
  EntryKind entry;
  int patternLimit;  // the default limit, and the most
  // Bit positions in the entry (in the attribute byte for kByteAndAttribute);
  // -1 where the machine has none.
  int leftRightBit;
  int topBottomBit;
  int paletteShift;
  int paletteBits;  // 0: no palette field (for kByteAndAreaTable, the areas' 2 bits)
  int bankBit;      // kByteAndAttribute: the bit for pattern numbers 256-511
  ColourFormat colourFormat;  // kNone: classic, which has none of its own

  // Today's tool: its outputs keep their classic forms (unsigned short
  // tables, no PCG_SIZE).
  bool isClassic() const;
  bool canMirror() const { return leftRightBit >= 0; }
  bool hasPaletteField() const { return paletteBits > 0; }
  int paletteCount() const { return 1 << paletteBits; }
  // Bytes of one pattern.
  int patternBytes() const { return 8 * bitsPerPixel; }
  // Whether entries are bytes (else 16-bit words).
  bool byteEntries() const {
    return entry == EntryKind::kByte || entry == EntryKind::kByteAndAttribute || entry == EntryKind::kByteAndAreaTable;
  }
  // Whether each map has an attribute map after it.
  bool hasAttributeMap() const {
    return entry == EntryKind::kByteAndAttribute || entry == EntryKind::kByteAndAreaTable;
  }
};

// The target of that name, or null.
const Target* findTarget(std::string_view name);
// The default: today's tool.
const Target& classicTarget();
// Every target's name, in the table's order, separated by ", ".
std::string targetNames();

}  // namespace tessarn

#endif  // TESSARN_TARGET_TARGET_H_
