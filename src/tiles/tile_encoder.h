// Encodes 8x8 tiles of an image into patterns, by a job's four colours.
//
// A pixel's colour number is the smallest k with colour[k] equal to its
// palette index, or 0 if none is; a pixel outside the image is colour 0.
// Each tile row becomes a row word (see pattern_dictionary.h). Tiles inside
// an image of a byte a pixel are encoded with SSE2 where the machine has it,
// the others pixel by pixel. An encoder only reads: tiles may be encoded on
// any thread.

#ifndef TESSARN_TILES_TILE_ENCODER_H_
#define TESSARN_TILES_TILE_ENCODER_H_

#include <array>
#include <cstdint>

#include "image/pixel_grid.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// A job's colours, prepared for encoding.
struct TileColours {
  // For each palette index, its colour number spread over the two bit
  // planes: bit 0 and bit 8.
  std::array<uint16_t, 256> planes;
  // For colours 1 to 3: the palette index that gets that colour number, and
  // whether there is one (a colour outside 0-255, or listed again after a
  // lower colour, selects nothing).
  uint8_t index[4];
  bool selects[4];
};

class TileEncoder {
 public:
  TileEncoder(const PixelGrid& grid, const int32_t (&colour)[4]);

  // The `count` tiles from (left, top) rightwards, into `tiles`, with their
  // hashes (PatternDictionary::hashOf) into `hashes`. The rows they cover
  // must be in the grid.
  void encode(int64_t left, int64_t top, int count, Pattern* tiles, uint64_t* hashes) const;

 private:
  const PixelGrid& grid_;
  const TileColours colours_;
};

}  // namespace tessarn

#endif  // TESSARN_TILES_TILE_ENCODER_H_
