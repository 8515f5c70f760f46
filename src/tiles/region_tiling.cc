#include "tiles/region_tiling.h"

#include <algorithm>

#include "tiles/encoding_thread.h"
#include "tiles/tile_encoder.h"

namespace tessarn {

int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

RowSpan rowsCovered(const Rectangle& rectangle) {
  if (tilesFor(rectangle.width) == 0) return {rectangle.y, rectangle.y};
  return {rectangle.y, rectangle.y + 8 * tilesFor(rectangle.height)};
}

namespace {

constexpr int kBatch = 32;

// Looks up encoded tiles and writes their words. What a batch's lookups
// will read in the dictionary is prefetched in two rounds (the index slots,
// then the keys they name), so that the cache misses overlap instead of
// coming one after another. False, the words before written, if a tile
// needs a pattern and none fits.
bool lookUp(const Pattern* tiles, const uint64_t* hashes, int count, PatternDictionary* dictionary,
            MapWordSink* sink) {
  uint16_t words[kBatch];
  for (int done = 0; done < count; done += kBatch) {
    const int n = std::min(kBatch, count - done);
    for (int i = 0; i < n; ++i) dictionary->prefetchSlot(hashes[done + i]);
    for (int i = 0; i < n; ++i) dictionary->prefetchKey(hashes[done + i]);
    for (int i = 0; i < n; ++i) {
      if (!dictionary->lookupOrAdd(tiles[done + i], hashes[done + i], &words[i])) {
        sink->writeWords(words, i);
        return false;
      }
    }
    sink->writeWords(words, n);
  }
  return true;
}

// The tiles encoded on a thread of their own; false if none can be had.
bool tileWithThread(const Rectangle& rectangle, const TileEncoder& encoder, const PixelGrid& grid,
                    PatternDictionary* dictionary, MapWordSink* sink, UnnamedPixels* unnamed, TilingResult* result) {
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
    if (!lookUp(piece->tiles, piece->hashes, piece->count, dictionary, sink)) {
      *result = TilingResult::kDictionaryFull;
      break;
    }
    if (piece->firstTile + piece->count == tiles_wide) sink->endRow();
  }
  return true;
}

}  // namespace

TilingResult tileRegion(const Rectangle& rectangle, const int32_t (&colour)[4], const PixelGrid& grid,
                        PatternDictionary* dictionary, MapWordSink* sink, bool encode_on_thread,
                        UnnamedPixels* unnamed) {
  const TileEncoder encoder(grid, colour);
  // 64-bit positions: x + width and the tile positions cannot overflow.
  const int64_t tiles_wide = tilesFor(rectangle.width);
  const int64_t tiles_high = tilesFor(rectangle.height);
  TilingResult result;
  if (encode_on_thread && tiles_wide > 0 &&
      tileWithThread(rectangle, encoder, grid, dictionary, sink, unnamed, &result)) {
    return result;
  }
  Pattern batch[kBatch];
  uint64_t hashes[kBatch];
  for (int64_t tile_row = 0; tile_row < tiles_high; ++tile_row) {
    const int64_t top = rectangle.y + 8 * tile_row;
    if (grid.feed != nullptr && tiles_wide > 0 && !grid.feed->waitForRows(top, top + 8)) {
      return TilingResult::kRowsFailed;
    }
    sink->beginRow();
    for (int64_t done = 0; done < tiles_wide;) {
      const int count = static_cast<int>(std::min<int64_t>(kBatch, tiles_wide - done));
      encoder.encode(rectangle.x + 8 * done, top, count, batch, hashes, unnamed);
      if (!lookUp(batch, hashes, count, dictionary, sink)) return TilingResult::kDictionaryFull;
      done += count;
    }
    sink->endRow();
  }
  return TilingResult::kDone;
}

}  // namespace tessarn
