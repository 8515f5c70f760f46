#include "tiles/region_tiling.h"

#include <algorithm>
#include <vector>

#include "tiles/encoding_thread.h"

namespace tessarn {

int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }
int64_t sizeMacroTiles(int32_t pixels) { return (int64_t{pixels} + 7) / 8; }

RowSpan rowsCovered(const Rectangle& rectangle) {
  if (tilesFor(rectangle.width) == 0) return {rectangle.y, rectangle.y};
  return {rectangle.y, rectangle.y + 8 * tilesFor(rectangle.height)};
}

namespace {

constexpr int kBatch = 32;

// The palette rules of direct colours, tile by tile in walk order.
class PaletteCheck {
 public:
  PaletteCheck(const Rectangle& rectangle, const TilingRules& rules)
      : rectangle_(rectangle), rules_(rules), areas_(rules.areaPalettes ? (tilesFor(rectangle.width) + 1) / 2 : 0) {}

  bool active() const { return rules_.colouring.direct; }

  // False, with `*problem` set, if tile `column` of tile row `row` breaks a
  // rule.
  bool check(int64_t row, int64_t column, const TilePalette& palette, PaletteProblem* problem) {
    const int64_t x = rectangle_.x + 8 * column;
    const int64_t y = rectangle_.y + 8 * row;
    // A new row of areas starts every second tile row.
    if (row % 2 == 0 && column == 0) std::fill(areas_.begin(), areas_.end(), -1);
    if (palette.twoPalettes) {
      *problem = {PaletteProblem::kTwoPalettes, x, y, 0};
      return false;
    }
    if (palette.number > rules_.highestPalette) {
      *problem = {PaletteProblem::kPaletteTooHigh, x, y, palette.number};
      return false;
    }
    if (!rules_.areaPalettes || palette.blank) return true;
    int& area = areas_[static_cast<size_t>(column / 2)];
    if (area < 0) area = palette.number;
    if (area == palette.number) return true;
    *problem = {PaletteProblem::kAreaTwoPalettes, rectangle_.x + 16 * (column / 2), rectangle_.y + 16 * (row / 2), 0};
    return false;
  }

 private:
  const Rectangle& rectangle_;
  const TilingRules& rules_;
  std::vector<int> areas_;  // the palette of each area of the current row of areas, -1 if none yet
};

// Looks up encoded tiles (the first of them tile `column` of tile row
// `row`) and writes their cells. What a batch's lookups will read in the
// dictionary is prefetched in two rounds (the index slots, then the keys
// they name), so that the cache misses overlap instead of coming one after
// another. Stops, the cells before written, at a tile whose palette breaks
// the rules, or that needs a pattern when none fits.
template <bool kChecked>
TilingResult lookUpChecked(const uint64_t* tiles, const uint64_t* hashes, const TilePalette* palettes, int count,
                           int64_t row, int64_t column, PaletteCheck* check, PatternDictionary* dictionary,
                           MapCellSink* sink, PaletteProblem* problem) {
  const int words = dictionary->bitsPerPixel();
  MapCell cells[kBatch];
  for (int done = 0; done < count; done += kBatch) {
    const int n = std::min(kBatch, count - done);
    for (int i = 0; i < n; ++i) dictionary->prefetchSlot(hashes[done + i]);
    for (int i = 0; i < n; ++i) dictionary->prefetchKey(hashes[done + i]);
    for (int i = 0; i < n; ++i) {
      const TilePalette& palette = palettes[done + i];
      if (kChecked && !check->check(row, column + done + i, palette, problem)) {
        sink->writeCells(cells, i);
        return TilingResult::kPaletteFailed;
      }
      uint16_t word;
      if (!dictionary->lookupOrAdd(tiles + static_cast<size_t>(done + i) * words, hashes[done + i], &word)) {
        sink->writeCells(cells, i);
        return TilingResult::kDictionaryFull;
      }
      cells[i] = {word, palette.number, palette.blank};
    }
    sink->writeCells(cells, n);
  }
  return TilingResult::kDone;
}

// (Made twice, so that mapped colours, checked for nothing, pay nothing.)
TilingResult lookUp(const uint64_t* tiles, const uint64_t* hashes, const TilePalette* palettes, int count,
                    int64_t row, int64_t column, PaletteCheck* check, PatternDictionary* dictionary,
                    MapCellSink* sink, PaletteProblem* problem) {
  return check->active() ? lookUpChecked<true>(tiles, hashes, palettes, count, row, column, check, dictionary, sink,
                                               problem)
                         : lookUpChecked<false>(tiles, hashes, palettes, count, row, column, check, dictionary,
                                                sink, problem);
}

// The tiles encoded on a thread of their own; false if none can be had.
bool tileWithThread(const Rectangle& rectangle, const TileEncoder& encoder, const PixelGrid& grid,
                    PaletteCheck* check, PatternDictionary* dictionary, MapCellSink* sink, UnnamedPixels* unnamed,
                    PaletteProblem* problem, TilingResult* result) {
  const int64_t tiles_wide = tilesFor(rectangle.width);
  EncodingThread encoding(encoder, grid, rectangle.x, rectangle.y, tiles_wide, tilesFor(rectangle.height),
                          unnamed != nullptr);
  if (!encoding.start()) return false;
  *result = TilingResult::kDone;
  for (const EncodingThread::Piece* piece; (piece = encoding.next()) != nullptr; encoding.release()) {
    if (piece->rowsFailed) {
      *result = TilingResult::kRowsFailed;
      break;
    }
    if (unnamed != nullptr) unnamed->add(piece->unnamed);
    if (piece->firstTile == 0) sink->beginRow();
    *result = lookUp(piece->tiles, piece->hashes, piece->palettes, piece->count, piece->tileRow, piece->firstTile,
                     check, dictionary, sink, problem);
    if (*result != TilingResult::kDone) break;
    if (piece->firstTile + piece->count == tiles_wide) sink->endRow();
  }
  return true;
}

// A grid's tiles, encoded as they are asked for.
class GridTiles final : public TileSource {
 public:
  GridTiles(const TileEncoder& encoder, const PixelGrid& grid, const Rectangle& rectangle, UnnamedPixels* unnamed)
      : encoder_(encoder), grid_(grid), rectangle_(rectangle), unnamed_(unnamed) {}
  bool startRow(int64_t row) override {
    const int64_t top = rectangle_.y + 8 * row;
    return grid_.feed == nullptr || grid_.feed->waitForRows(top, top + 8);
  }
  void encode(int64_t row, int64_t first, int count, uint64_t* tiles, uint64_t* hashes,
              TilePalette* palettes) override {
    encoder_.encode(rectangle_.x + 8 * first, rectangle_.y + 8 * row, count, tiles, hashes, palettes, unnamed_);
  }

 private:
  const TileEncoder& encoder_;
  const PixelGrid& grid_;
  const Rectangle rectangle_;
  UnnamedPixels* unnamed_;
};

// The walk on this thread: each tile row's tiles in batches, looked up in
// order, each row between beginRow and endRow.
TilingResult tileInWalkOrder(const Rectangle& rectangle, TileSource* source, PaletteCheck* check,
                             PatternDictionary* dictionary, MapCellSink* sink, PaletteProblem* problem) {
  // 64-bit positions: x + width and the tile positions cannot overflow.
  const int64_t tiles_wide = tilesFor(rectangle.width);
  const int64_t tiles_high = tilesFor(rectangle.height);
  uint64_t batch[kBatch * kMaxPatternWords];
  uint64_t hashes[kBatch];
  TilePalette palettes[kBatch];
  for (int64_t tile_row = 0; tile_row < tiles_high; ++tile_row) {
    if (tiles_wide > 0 && !source->startRow(tile_row)) return TilingResult::kRowsFailed;
    sink->beginRow();
    for (int64_t done = 0; done < tiles_wide;) {
      const int count = static_cast<int>(std::min<int64_t>(kBatch, tiles_wide - done));
      source->encode(tile_row, done, count, batch, hashes, palettes);
      const TilingResult result = lookUp(batch, hashes, palettes, count, tile_row, done, check, dictionary, sink,
                                         problem);
      if (result != TilingResult::kDone) return result;
      done += count;
    }
    sink->endRow();
  }
  return TilingResult::kDone;
}

}  // namespace

TilingResult tileRegion(const Rectangle& rectangle, const TilingRules& rules, const PixelGrid& grid,
                        PatternDictionary* dictionary, MapCellSink* sink, bool encode_on_thread,
                        UnnamedPixels* unnamed, PaletteProblem* problem) {
  const TileEncoder encoder(grid, rules.colouring);
  PaletteCheck check(rectangle, rules);
  TilingResult result;
  if (encode_on_thread && tilesFor(rectangle.width) > 0 &&
      tileWithThread(rectangle, encoder, grid, &check, dictionary, sink, unnamed, problem, &result)) {
    return result;
  }
  // On this thread: each tile row's pixels are waited for as it starts.
  GridTiles tiles(encoder, grid, rectangle, unnamed);
  return tileInWalkOrder(rectangle, &tiles, &check, dictionary, sink, problem);
}

TilingResult tileEncoded(const Rectangle& rectangle, const TilingRules& rules, TileSource* source,
                         PatternDictionary* dictionary, MapCellSink* sink, PaletteProblem* problem) {
  PaletteCheck check(rectangle, rules);
  return tileInWalkOrder(rectangle, source, &check, dictionary, sink, problem);
}

}  // namespace tessarn
