#include "tiles/tile_encoder.h"

// SSE2 where the machine has it, unless the build asks for the portable
// encoder (which the machines without SSE2 use).
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(TESSARN_PORTABLE_ENCODER)
#include <emmintrin.h>
#define TESSARN_HAVE_SSE2 1
#endif

#include <algorithm>

namespace tessarn {
namespace {


// Any tile's unnamed pixels, pixel by pixel.
uint64_t unnamedAnywhere(const PixelGrid& grid, const TileColours& colours, int64_t left, int64_t top) {
  uint64_t mask = 0;
  for (int r = 0; r < 8; ++r) {
    for (int i = 0; i < 8; ++i) {
      const bool unnamed = grid.contains(left + i, top + r) && !colours.named[grid.index(left + i, top + r)];
      mask |= uint64_t{unnamed} << (8 * r + i);
    }
  }
  return mask;
}

// Any tile: pixel by pixel, outside pixels colour 0.
Pattern encodeAnywhere(const PixelGrid& grid, const TileColours& colours, int64_t left,
                       int64_t top) {
  Pattern tile;
  for (int r = 0; r < 8; ++r) {
    uint16_t word = 0;
    for (int i = 0; i < 8; ++i) {
      int64_t px = left + i;
      int64_t py = top + r;
      uint16_t bits = grid.contains(px, py) ? colours.planes[grid.index(px, py)] : 0;
      word = static_cast<uint16_t>(word << 1 | bits);
    }
    tile[r] = word;
  }
  return tile;
}

#ifdef TESSARN_HAVE_SSE2

// Reverses the order of the eight bytes in each 64-bit half. movemask puts
// the first byte in bit 0, and a row word wants the leftmost pixel in bit 7.
__m128i reverseEachHalf(__m128i x) {
  x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0x1B), 0x1B);
  return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
}

// Encodes tiles inside an 8-bit image two rows (16 pixels) at a time: the
// pixels are compared with the palette indices of colours 1 to 3, and
// movemask collects the two bit planes. Colours that select nothing are
// masked off, so the three matches never overlap.
class InsideEncoder {
 public:
  explicit InsideEncoder(const TileColours& colours) : colours_(colours) {
    for (int k = 1; k < 4; ++k) {
      index_[k] = _mm_set1_epi8(static_cast<char>(colours.index[k]));
      selects_[k] = _mm_set1_epi8(colours.selects[k] ? -1 : 0);
    }
  }

  // Rarely asked for: through the table.
  uint64_t unnamed(const uint8_t* top_left, ptrdiff_t row_step) const {
    uint64_t mask = 0;
    for (int r = 0; r < 8; ++r) {
      for (int i = 0; i < 8; ++i) mask |= uint64_t{!colours_.named[top_left[r * row_step + i]]} << (8 * r + i);
    }
    return mask;
  }

  Pattern encode(const uint8_t* top_left, ptrdiff_t row_step) const {
    uint64_t plane0 = 0;
    uint64_t plane1 = 0;
    for (int r = 0; r < 8; r += 2) {
      const uint8_t* row = top_left + r * row_step;
      __m128i pixels = reverseEachHalf(
          _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)),
                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + row_step))));
      __m128i is1 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[1]), selects_[1]);
      __m128i is2 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[2]), selects_[2]);
      __m128i is3 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[3]), selects_[3]);
      uint64_t bits0 = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(is1, is3)));
      uint64_t bits1 = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(is2, is3)));
      plane0 |= bits0 << (8 * r);
      plane1 |= bits1 << (8 * r);
    }
    // Interleaving the planes' bytes gives the eight row words.
    __m128i rows = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(plane0)),
                                     _mm_cvtsi64_si128(static_cast<long long>(plane1)));
    Pattern tile;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(tile.data()), rows);
    return tile;
  }

 private:
  const TileColours& colours_;
  __m128i index_[4];
  __m128i selects_[4];
};

#else

// Encodes tiles inside an 8-bit image through the colour table.
class InsideEncoder {
 public:
  explicit InsideEncoder(const TileColours& colours) : colours_(colours) {}

  Pattern encode(const uint8_t* top_left, ptrdiff_t row_step) const {
    Pattern tile;
    for (int r = 0; r < 8; ++r) {
      const uint8_t* row = top_left + r * row_step;
      uint16_t word = 0;
      for (int i = 0; i < 8; ++i) word = static_cast<uint16_t>(word << 1 | colours_.planes[row[i]]);
      tile[r] = word;
    }
    return tile;
  }

  uint64_t unnamed(const uint8_t* top_left, ptrdiff_t row_step) const {
    uint64_t mask = 0;
    for (int r = 0; r < 8; ++r) {
      for (int i = 0; i < 8; ++i) mask |= uint64_t{!colours_.named[top_left[r * row_step + i]]} << (8 * r + i);
    }
    return mask;
  }

 private:
  const TileColours& colours_;
};

#endif

TileColours makeTileColours(const int32_t (&colour)[4]) {
  TileColours colours{};
  // From the highest colour number down, so a palette index listed twice
  // ends up with the lower number.
  for (int k = 3; k >= 0; --k) {
    if (colour[k] >= 0 && colour[k] <= 255) {
      colours.planes[colour[k]] = static_cast<uint16_t>((k & 1) | (k >> 1) << 8);
    }
  }
  for (int k = 0; k < 4; ++k) {
    colours.index[k] = static_cast<uint8_t>(colour[k] & 0xFF);
    bool in_range = colour[k] >= 0 && colour[k] <= 255;
    colours.selects[k] = in_range && colours.planes[colour[k]] == ((k & 1) | (k >> 1) << 8);
    if (in_range) colours.named[colour[k]] = true;
  }
  return colours;
}

}  // namespace

TileEncoder::TileEncoder(const PixelGrid& grid, const int32_t (&colour)[4])
    : grid_(grid), colours_(makeTileColours(colour)) {}

void UnnamedPixels::add(uint64_t mask, int64_t left, int64_t top) {
  if (mask == 0) return;
  const int first = std::countr_zero(mask);
  add({std::popcount(mask), left + first % 8, top + first / 8});
}

void UnnamedPixels::add(const UnnamedPixels& other) {
  if (other.count == 0) return;
  if (count == 0 || other.y < y || (other.y == y && other.x < x)) {
    x = other.x;
    y = other.y;
  }
  count += other.count;
}

void TileEncoder::encode(int64_t left, int64_t top, int count, Pattern* tiles, uint64_t* hashes,
                         UnnamedPixels* unnamed) const {
  const InsideEncoder inside(colours_);
  const bool rows_inside = grid_.bitCount == 8 && top >= 0 && top <= grid_.height - 8;
  for (int i = 0; i < count; ++i) {
    const int64_t x = left + 8 * i;
    const bool tile_inside = rows_inside && x >= 0 && x <= grid_.width - 8;
    tiles[i] = tile_inside ? inside.encode(grid_.row(top) + x, grid_.rowStep) : encodeAnywhere(grid_, colours_, x, top);
    hashes[i] = PatternDictionary::hashOf(tiles[i]);
    if (unnamed != nullptr) {
      unnamed->add(tile_inside ? inside.unnamed(grid_.row(top) + x, grid_.rowStep)
                               : unnamedAnywhere(grid_, colours_, x, top),
                   x, top);
    }
  }
}

}  // namespace tessarn
