#include "tiles/region_tiling.h"

namespace tessarn {

ColourTable makeColourTable(const int32_t (&colour)[4]) {
  ColourTable table{};
  // From the highest colour number down, so a palette index listed twice
  // ends up with the lower number.
  for (int k = 3; k >= 0; --k) {
    if (colour[k] >= 0 && colour[k] <= 255) {
      table[colour[k]] = static_cast<uint16_t>((k & 1) | (k >> 1) << 8);
    }
  }
  return table;
}

Pattern encodeTile(const PixelGrid& grid, const ColourTable& colours, int64_t left, int64_t top) {
  Pattern tile;
  const bool inside = grid.contains(left, top) && grid.contains(left + 7, top + 7);
  for (int r = 0; r < 8; ++r) {
    uint16_t word = 0;
    if (inside && grid.bitCount == 8) {
      const uint8_t* row = grid.topRow + grid.pixelOffset(left, top + r);
      for (int i = 0; i < 8; ++i) word = static_cast<uint16_t>(word << 1 | colours[row[i]]);
    } else {
      for (int i = 0; i < 8; ++i) {
        int64_t px = left + i;
        int64_t py = top + r;
        uint16_t bits = grid.contains(px, py) ? colours[grid.index(px, py)] : 0;
        word = static_cast<uint16_t>(word << 1 | bits);
      }
    }
    tile[r] = word;
  }
  return tile;
}

bool tileRegion(const JobRecord& job, const PixelGrid& grid, PatternDictionary* dictionary,
                OutputFiles* outputs) {
  const ColourTable colours = makeColourTable(job.colour);
  // 64-bit bounds: x + width and the tile positions cannot overflow.
  const int64_t right = int64_t{job.x} + job.width;
  const int64_t bottom = int64_t{job.y} + job.height;
  for (int64_t top = job.y; top < bottom; top += 8) {
    outputs->beginMapRow();
    for (int64_t left = job.x; left < right; left += 8) {
      uint16_t map_word;
      if (!dictionary->lookupOrAdd(encodeTile(grid, colours, left, top), &map_word)) {
        return false;
      }
      outputs->writeMapWord(map_word);
    }
    outputs->endMapRow();
  }
  outputs->endMapArray(job.name, job.width, job.height);
  return true;
}

}  // namespace tessarn
