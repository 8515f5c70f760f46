// Encodes 8x8 tiles of an image into patterns (pattern.h), as a job's
// colouring says:
//
//   mapped  a pixel's colour number is the smallest k with colour[k] equal
//           to its palette index, or 0 if none is (at every depth: the
//           patterns then use colours 0-3); every tile is in the job's
//           palette.
//   direct  a pixel's colour number is its palette index modulo 2^bits, and
//           the index divided by 2^bits is the tile's palette. Pixels of
//           colour 0 do not choose it: a tile of colour 0 only is in the
//           job's palette, and a tile whose other pixels name two palettes
//           is marked so.
//
// A pixel outside the image is colour 0 (with direct colours: index 0).
// Tiles inside an image of a byte a
// pixel are encoded with SSE2 where the machine has it, the others pixel by
// pixel. An encoder only reads: tiles may be encoded on any thread.

#ifndef TESSARN_TILES_TILE_ENCODER_H_
#define TESSARN_TILES_TILE_ENCODER_H_

#include <array>
#include <bit>
#include <cstdint>

#include "image/pixel_grid.h"
#include "tiles/pattern.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// How a job's pixels become colour numbers and palettes.
struct TileColouring {
  bool direct = false;
  int32_t colour[4] = {0, 1, 2, 3};  // mapped: the palette indices of colours 0-3
  int bitsPerPixel = 2;              // of the patterns: 2, 4 or 8
  int palette = 0;                   // the job's palette (0-255)
};

// What a tile's pixels say of its palette.
struct TilePalette {
  uint8_t number = 0;
  bool blank = false;         // every pixel is colour 0
  bool twoPalettes = false;   // direct: its pixels name more than one palette
};

// Pixels whose palette index none of a job's colours names (they become
// colour 0): how many, and the first in reading order, the topmost and
// then the leftmost. Pixels outside the image are not counted.
struct UnnamedPixels {
  int64_t count = 0;
  int64_t x = 0;
  int64_t y = 0;

  // Adds the pixels of the 8x8 block at (left, top) whose bits are set in
  // `mask` (bit 8r + i for pixel i of row r).
  void add(uint64_t mask, int64_t left, int64_t top);
  void add(const UnnamedPixels& other);
};

// A job's colouring, prepared for encoding.
struct TileColours {
  TileColouring colouring;
  // Mapped: for each palette index, its colour number spread over the two
  // bit planes, bit 0 and bit 8.
  std::array<uint16_t, 256> planes;
  // Mapped, colours 1 to 3: the palette index that gets that colour number,
  // and whether there is one (a colour outside 0-255, or listed again after
  // a lower colour, selects nothing).
  uint8_t index[4];
  bool selects[4];
  // Whether any colour names the palette index.
  std::array<bool, 256> named;
};

class TileEncoder {
 public:
  TileEncoder(const PixelGrid& grid, const TileColouring& colouring);

  // The `count` tiles from (left, top) rightwards, into `tiles`, each its
  // first bitsPerPixel words of a Pattern, one after another; with their
  // hashes (PatternDictionary::hashOf) into `hashes`, their palettes into
  // `palettes`, and their unnamed pixels into `*unnamed` if it is not null.
  // The rows they cover must be in the grid.
  void encode(int64_t left, int64_t top, int count, uint64_t* tiles, uint64_t* hashes, TilePalette* palettes,
              UnnamedPixels* unnamed = nullptr) const;
  // Words a tile takes.
  int tileWords() const { return colours_.colouring.bitsPerPixel; }

 private:
  const PixelGrid& grid_;
  const TileColours colours_;
};

}  // namespace tessarn

#endif  // TESSARN_TILES_TILE_ENCODER_H_
