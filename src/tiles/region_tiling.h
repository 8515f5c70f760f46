// Converts one rectangle of an image into map cells, tile by tile.
//
// The rectangle is walked in 8x8 tiles: tile rows from the top (y, y + 8, ...
// while below y + height), tiles left to right within a row (x, x + 8, ...
// while left of x + width). That order fixes both the order of the map
// cells and the numbering of new patterns. The last tile column and row
// always cover eight pixels, even where the rectangle ends sooner.
//
// Tiles are encoded by the job's colouring (tile_encoder.h), and each
// tile's map word comes from the dictionary and goes to the sink with its
// palette. With direct colours each tile's palette is checked first, in walk
// order, before its lookup: a tile whose pixels name two palettes, a
// palette past the highest the machine holds, or (where the machine takes
// one palette a 16x16 area, 2x2 tiles from the rectangle's top-left) an
// area whose tiles name two (tiles of colour 0 only take their area's)
// stop the tiling there.

#ifndef TESSARN_TILES_REGION_TILING_H_
#define TESSARN_TILES_REGION_TILING_H_

#include <cstdint>

#include "image/pixel_grid.h"
#include "tiles/map_word.h"
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
// What the map's size macros (W_NAME, H_NAME) say of a side: (pixels + 7) / 8
// truncated toward zero as C divides, which for a side of -9 or less is
// below zero where tilesFor() is 0 (as the macros have always said).
int64_t sizeMacroTiles(int32_t pixels);

// The image rows the walk reads pixels from: [first, last), empty when the
// rectangle has no tiles. Not clipped to the image.
struct RowSpan {
  int64_t first = 0;
  int64_t last = 0;
};
RowSpan rowsCovered(const Rectangle& rectangle);

// Where the map cells go, one tile row at a time: beginRow, the row's cells
// in one or more pieces, endRow.
class MapCellSink {
 public:
  virtual ~MapCellSink() = default;
  virtual void beginRow() = 0;
  virtual void writeCells(const MapCell* cells, int count) = 0;
  virtual void endRow() = 0;
};

// How the tiles of a rectangle are made and checked.
struct TilingRules {
  TileColouring colouring;
  int highestPalette = 255;    // direct colours: the highest a tile may be in
  bool areaPalettes = false;   // direct colours: one palette a 16x16 area
};

// Why direct colours stopped the tiling, and where: the image pixel of the
// failing tile's or area's top-left corner.
struct PaletteProblem {
  enum Kind { kTwoPalettes, kPaletteTooHigh, kAreaTwoPalettes } kind = kTwoPalettes;
  int64_t x = 0;
  int64_t y = 0;
  int palette = 0;  // kPaletteTooHigh: the tile's
};

enum class TilingResult {
  kDone,
  kDictionaryFull,  // a tile needed a new pattern and none fits; the cells before it are written
  kRowsFailed,      // the grid's rows never came; the cells so far are written
  kPaletteFailed,   // a tile's or an area's palette broke the rules; the cells before it are written
};

// Tiles the rectangle, counting the tiles' unnamed pixels into `*unnamed`
// if it is not null; `*problem` says what a kPaletteFailed result met.
// With `encode_on_thread`, the tiles are encoded on a thread of their own
// (encoding_thread.h), where one can be had, while this one looks them up;
// the cells are the same either way.
TilingResult tileRegion(const Rectangle& rectangle, const TilingRules& rules, const PixelGrid& grid,
                        PatternDictionary* dictionary, MapCellSink* sink, bool encode_on_thread,
                        UnnamedPixels* unnamed, PaletteProblem* problem);

// Tiles that come encoded (as a TileEncoder by the rules' colouring would
// give them) from elsewhere than a grid's pixels: tiles drawn the same way
// again and again need to be encoded only once.
class TileSource {
 public:
  virtual ~TileSource() = default;
  // Called as tile row `row` starts; false if its pixels never came (the
  // tiling stops).
  virtual bool startRow(int64_t) { return true; }
  // Tiles [first, first + count) of tile row `row` (from the rectangle's
  // top-left), as TileEncoder::encode gives them.
  virtual void encode(int64_t row, int64_t first, int count, uint64_t* tiles, uint64_t* hashes,
                      TilePalette* palettes) = 0;
};

// Tiles the rectangle as tileRegion does, its tiles from `source`.
TilingResult tileEncoded(const Rectangle& rectangle, const TilingRules& rules, TileSource* source,
                         PatternDictionary* dictionary, MapCellSink* sink, PaletteProblem* problem);

}  // namespace tessarn

#endif  // TESSARN_TILES_REGION_TILING_H_
