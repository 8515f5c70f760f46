// Converts one job's rectangle into map words, tile by tile.
//
// The rectangle is walked in 8x8 tiles: tile rows from the top (y, y + 8, ...
// while below y + height), tiles left to right within a row (x, x + 8, ...
// while left of x + width). That order fixes both the order of the map words
// and the numbering of new patterns. The last tile column and row always
// cover eight pixels, even where the rectangle ends sooner.
//
// A pixel's colour number is the smallest k with colour[k] equal to its
// palette index, or 0 if none is; a pixel outside the image is colour 0. Each
// tile row becomes a row word (see pattern_dictionary.h), and each tile's map
// word comes from the dictionary and goes to the outputs, inside the job's
// map block.

#ifndef TESSARN_TILES_REGION_TILING_H_
#define TESSARN_TILES_REGION_TILING_H_

#include <cstdint>

#include "bitmap/bitmap_image.h"
#include "run/job_record.h"
#include "run/output_files.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// Writes the job's map rows, closing line and size macros. False if a tile
// needed a new pattern and the dictionary is full; the words before it have
// been written.
bool tileRegion(const JobRecord& job, const PixelGrid& grid, PatternDictionary* dictionary,
                OutputFiles* outputs);

}  // namespace tessarn

#endif  // TESSARN_TILES_REGION_TILING_H_
