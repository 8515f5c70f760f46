// Converts one rectangle of an image into map words, tile by tile.
//
// The rectangle is walked in 8x8 tiles: tile rows from the top (y, y + 8, ...
// while below y + height), tiles left to right within a row (x, x + 8, ...
// while left of x + width). That order fixes both the order of the map words
// and the numbering of new patterns. The last tile column and row always
// cover eight pixels, even where the rectangle ends sooner.
//
// Tiles are encoded by the job's colours (tile_encoder.h), and each tile's
// map word comes from the dictionary and goes to the sink.

#ifndef TESSARN_TILES_REGION_TILING_H_
#define TESSARN_TILES_REGION_TILING_H_

#include <cstdint>

#include "image/pixel_grid.h"
#include "tiles/pattern_dictionary.h"
#include "tiles/tile_encoder.h"

namespace tessarn {

struct Rectangle {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Tiles along a side of a rectangle: (pixels + 7) / 8, none for a side of 0
// or less.
int64_t tilesFor(int32_t pixels);

// The image rows the walk reads pixels from: [first, last), empty when the
// rectangle has no tiles. Not clipped to the image.
struct RowSpan {
  int64_t first = 0;
  int64_t last = 0;
};
RowSpan rowsCovered(const Rectangle& rectangle);

// Where the map words go, one tile row at a time: beginRow, the row's words
// in one or more pieces, endRow.
class MapWordSink {
 public:
  virtual ~MapWordSink() = default;
  virtual void beginRow() = 0;
  virtual void writeWords(const uint16_t* words, int count) = 0;
  virtual void endRow() = 0;
};

enum class TilingResult {
  kDone,
  kDictionaryFull,  // a tile needed a new pattern and none fits; the words before it are written
  kRowsFailed,      // the grid's rows never came; the words so far are written
};

// Tiles the rectangle, counting the tiles' unnamed pixels into `*unnamed`
// if it is not null. With `encode_on_thread`, the tiles are encoded on a
// thread of their own (encoding_thread.h), where one can be had, while this
// one looks them up; the words are the same either way.
TilingResult tileRegion(const Rectangle& rectangle, const int32_t (&colour)[4], const PixelGrid& grid,
                        PatternDictionary* dictionary, MapWordSink* sink, bool encode_on_thread = false,
                        UnnamedPixels* unnamed = nullptr);

}  // namespace tessarn

#endif  // TESSARN_TILES_REGION_TILING_H_
