#include "tiles/region_tiling.h"

#include <algorithm>

#include "tiles/tile_encoder.h"

namespace tessarn {

int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

RowSpan rowsCovered(const Rectangle& rectangle) {
  if (tilesFor(rectangle.width) == 0) return {rectangle.y, rectangle.y};
  return {rectangle.y, rectangle.y + 8 * tilesFor(rectangle.height)};
}

TilingResult tileRegion(const Rectangle& rectangle, const int32_t (&colour)[4], const PixelGrid& grid,
                        PatternDictionary* dictionary, MapWordSink* sink) {
  const TileEncoder encoder(grid, colour);
  // 64-bit positions: x + width and the tile positions cannot overflow.
  const int64_t tiles_wide = tilesFor(rectangle.width);
  const int64_t tiles_high = tilesFor(rectangle.height);
  // Tiles are encoded a batch ahead of their lookups, and what the batch's
  // lookups will read in the dictionary is prefetched in two rounds (index
  // slots while encoding, then the keys they name), so that the cache misses
  // overlap instead of coming one after another.
  constexpr int kBatch = 32;
  Pattern batch[kBatch];
  uint64_t hashes[kBatch];
  uint16_t words[kBatch];
  for (int64_t tile_row = 0; tile_row < tiles_high; ++tile_row) {
    const int64_t top = rectangle.y + 8 * tile_row;
    if (grid.feed != nullptr && tiles_wide > 0 && !grid.feed->waitForRows(top, top + 8)) {
      return TilingResult::kRowsFailed;
    }
    sink->beginRow();
    for (int64_t done = 0; done < tiles_wide;) {
      const int count = static_cast<int>(std::min<int64_t>(kBatch, tiles_wide - done));
      encoder.encode(rectangle.x + 8 * done, top, count, batch, hashes);
      for (int i = 0; i < count; ++i) dictionary->prefetchSlot(hashes[i]);
      for (int i = 0; i < count; ++i) dictionary->prefetchKey(hashes[i]);
      for (int i = 0; i < count; ++i) {
        if (!dictionary->lookupOrAdd(batch[i], hashes[i], &words[i])) {
          sink->writeWords(words, i);
          return TilingResult::kDictionaryFull;
        }
      }
      sink->writeWords(words, count);
      done += count;
    }
    sink->endRow();
  }
  return TilingResult::kDone;
}

}  // namespace tessarn
