#include "tiles/tile_encoder.h"

// SSE2 where the machine has it, unless the build asks for the portable
// encoder (which the machines without SSE2 use).
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(TESSARN_PORTABLE_ENCODER)
#include <emmintrin.h>
#define TESSARN_HAVE_SSE2 1
#endif

#include <algorithm>
#include <cstdlib>

namespace tessarn {
namespace {

// The palettes the pixels of one tile name, direct colours, pixel by pixel.
class PaletteVote {
 public:
  explicit PaletteVote(int bits) : bits_(bits) {}
  void add(int index) {
    if ((index & ((1 << bits_) - 1)) == 0) return;  // colour 0 does not choose
    const int palette = index >> bits_;
    if (first_ < 0) first_ = palette;
    two_ = two_ || palette != first_;
  }
  TilePalette result(int job_palette) const {
    if (first_ < 0) return {static_cast<uint8_t>(job_palette), true, false};
    return {static_cast<uint8_t>(first_), false, two_};
  }

 private:
  int bits_;
  int first_ = -1;
  bool two_ = false;
};

// A tile of direct colours, from the palette index of each of its pixels
// (-1 outside the image, as index 0).
template <typename IndexAt>
Pattern encodeDirect(const TileColours& colours, IndexAt index_at, TilePalette* palette) {
  const int bits = colours.colouring.bitsPerPixel;
  PaletteVote vote(bits);
  Pattern tile;
  for (int r = 0; r < 8; ++r) {
    for (int i = 0; i < 8; ++i) {
      const int index = std::max(index_at(i, r), 0);
      tile.setColour(i, r, index & ((1 << bits) - 1));
      vote.add(index);
    }
  }
  *palette = vote.result(colours.colouring.palette);
  return tile;
}

// A tile of mapped colours, from the palette index of each of its pixels
// (-1 outside the image, colour 0).
template <typename IndexAt>
Pattern encodeMapped(const TileColours& colours, IndexAt index_at) {
  Pattern tile;
  for (int r = 0; r < 8; ++r) {
    uint16_t word = 0;
    for (int i = 0; i < 8; ++i) {
      const int index = index_at(i, r);
      word = static_cast<uint16_t>(word << 1 | (index < 0 ? 0 : colours.planes[static_cast<size_t>(index)]));
    }
    tile.setRowWord(0, r, word);
  }
  return tile;
}

// Any tile, pixel by pixel.
Pattern encodeAnywhere(const PixelGrid& grid, const TileColours& colours, int64_t left, int64_t top,
                       TilePalette* palette) {
  const auto index_at = [&](int i, int r) {
    return grid.contains(left + i, top + r) ? int{grid.index(left + i, top + r)} : -1;
  };
  if (colours.colouring.direct) return encodeDirect(colours, index_at, palette);
  *palette = {static_cast<uint8_t>(colours.colouring.palette), false, false};
  return encodeMapped(colours, index_at);
}

// The unnamed pixels of a tile inside the grid (rarely asked for: through
// the table).
uint64_t unnamedInside(const TileColours& colours, const uint8_t* top_left, ptrdiff_t row_step) {
  uint64_t mask = 0;
  for (int r = 0; r < 8; ++r) {
    for (int i = 0; i < 8; ++i) mask |= uint64_t{!colours.named[top_left[r * row_step + i]]} << (8 * r + i);
  }
  return mask;
}

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

#ifdef TESSARN_HAVE_SSE2

// Reverses the order of the eight bytes in each 64-bit half. movemask puts
// the first byte in bit 0, and a plane's byte wants the leftmost pixel in
// bit 7.
__m128i reverseEachHalf(__m128i x) {
  x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0x1B), 0x1B);
  return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
}

// Two rows of a tile, 16 pixels, each half reversed.
__m128i loadRows(const uint8_t* row, ptrdiff_t row_step) {
  return reverseEachHalf(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + row_step))));
}

// Planes 2k and 2k+1, a byte a row, interleaved into the row words of
// pair k: words 2k and 2k+1 of `out`.
void storePlanePair(uint64_t even, uint64_t odd, int pair, uint64_t* out) {
  const __m128i rows = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(even)),
                                         _mm_cvtsi64_si128(static_cast<long long>(odd)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * pair), rows);
}

// The 16 bytes of `x` combined into one by `op` (OR or AND), halving.
template <typename Op>
int foldBytes(__m128i x, Op op) {
  x = op(x, _mm_srli_si128(x, 8));
  x = op(x, _mm_srli_si128(x, 4));
  x = op(x, _mm_srli_si128(x, 2));
  x = op(x, _mm_srli_si128(x, 1));
  return _mm_cvtsi128_si32(x) & 0xFF;
}

// Encodes tiles inside an 8-bit image two rows (16 pixels) at a time.
class InsideEncoder {
 public:
  explicit InsideEncoder(const TileColours& colours) : colours_(colours) {
    for (int k = 1; k < 4; ++k) {
      index_[k] = _mm_set1_epi8(static_cast<char>(colours.index[k]));
      selects_[k] = _mm_set1_epi8(colours.selects[k] ? -1 : 0);
    }
    const int bits = colours.colouring.bitsPerPixel;
    colourMask_ = _mm_set1_epi8(static_cast<char>((1 << bits) - 1));
  }

  // Writes the tile's words to `out`: the colouring's, made for each.
  template <bool kDirect, int kBits>
  void encode(const uint8_t* top_left, ptrdiff_t row_step, uint64_t* out, TilePalette* palette) const {
    if constexpr (kDirect) {
      encodeDirect<kBits>(top_left, row_step, out, palette);
    } else {
      *palette = {static_cast<uint8_t>(colours_.colouring.palette), false, false};
      encodeMapped(top_left, row_step, out);
      // Colours 0-3 at any depth: the planes above are 0.
      for (int k = 2; k < kBits; ++k) out[k] = 0;
    }
  }

  uint64_t unnamed(const uint8_t* top_left, ptrdiff_t row_step) const {
    return unnamedInside(colours_, top_left, row_step);
  }

 private:
  // The pixels are compared with the palette indices of colours 1 to 3, and
  // movemask collects the two bit planes. Colours that select nothing are
  // masked off, so the three matches never overlap.
  void encodeMapped(const uint8_t* top_left, ptrdiff_t row_step, uint64_t* out) const {
    uint64_t plane0 = 0;
    uint64_t plane1 = 0;
    for (int r = 0; r < 8; r += 2) {
      const __m128i pixels = loadRows(top_left + r * row_step, row_step);
      const __m128i is1 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[1]), selects_[1]);
      const __m128i is2 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[2]), selects_[2]);
      const __m128i is3 = _mm_and_si128(_mm_cmpeq_epi8(pixels, index_[3]), selects_[3]);
      plane0 |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(is1, is3)))} << (8 * r);
      plane1 |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(is2, is3)))} << (8 * r);
    }
    storePlanePair(plane0, plane1, 0, out);
  }

  // Plane p of 16 pixels is bit p of every byte: shifted up to bit 7, where
  // movemask takes it (a 16-bit shift carries the low byte's bits only into
  // the high byte's lower bits). The palette is the bits above the colour:
  // ORed and ANDed over the pixels that are not colour 0, the two agree
  // when every such pixel names the same one.
  template <int kBits>
  void encodeDirect(const uint8_t* top_left, ptrdiff_t row_step, uint64_t* out, TilePalette* palette) const {
    __m128i rows[4];
    for (int i = 0; i < 4; ++i) rows[i] = loadRows(top_left + 2 * i * row_step, row_step);
    for (int k = 0; k < kBits / 2; ++k) {
      uint64_t even = 0;
      uint64_t odd = 0;
      for (int i = 0; i < 4; ++i) {
        even |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(rows[i], 7 - 2 * k)))} << (16 * i);
        odd |= uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(_mm_slli_epi16(rows[i], 6 - 2 * k)))} << (16 * i);
      }
      storePlanePair(even, odd, k, out);
    }
    // Bytes of colour 0: all of them makes a tile of colour 0 only.
    __m128i zeros = _mm_set1_epi8(-1);
    __m128i any = _mm_setzero_si128();
    __m128i all = _mm_set1_epi8(-1);
    for (int i = 0; i < 4; ++i) {
      const __m128i zero = _mm_cmpeq_epi8(_mm_and_si128(rows[i], colourMask_), _mm_setzero_si128());
      zeros = _mm_and_si128(zeros, zero);
      if (kBits < 8) {
        const __m128i above = _mm_andnot_si128(colourMask_, rows[i]);
        any = _mm_or_si128(any, _mm_andnot_si128(zero, above));
        all = _mm_and_si128(all, _mm_or_si128(zero, above));
      }
    }
    if (_mm_movemask_epi8(zeros) == 0xFFFF) {
      *palette = {static_cast<uint8_t>(colours_.colouring.palette), true, false};
    } else if (kBits == 8) {
      *palette = {0, false, false};  // no palette above the colour
    } else {
      // Lambdas, not the intrinsics themselves: an intrinsic has no
      // out-of-line definition to take the address of in an unoptimised build.
      const int or_all = foldBytes(any, [](__m128i a, __m128i b) { return _mm_or_si128(a, b); });
      const int and_all = foldBytes(all, [](__m128i a, __m128i b) { return _mm_and_si128(a, b); });
      *palette = {static_cast<uint8_t>(or_all >> (kBits % 8)), false, or_all != and_all};
    }
  }

  const TileColours& colours_;
  __m128i index_[4];
  __m128i selects_[4];
  __m128i colourMask_;
};

#else

// Encodes tiles inside an 8-bit image, pixel by pixel.
class InsideEncoder {
 public:
  explicit InsideEncoder(const TileColours& colours) : colours_(colours) {}

  // Writes the tile's words to `out`.
  template <bool kDirect, int kBits>
  void encode(const uint8_t* top_left, ptrdiff_t row_step, uint64_t* out, TilePalette* palette) const {
    const auto index_at = [&](int i, int r) { return int{top_left[r * row_step + i]}; };
    Pattern tile;
    if (colours_.colouring.direct) {
      tile = encodeDirect(colours_, index_at, palette);
    } else {
      *palette = {static_cast<uint8_t>(colours_.colouring.palette), false, false};
      tile = encodeMapped(colours_, index_at);
    }
    std::copy(tile.words.begin(), tile.words.begin() + colours_.colouring.bitsPerPixel, out);
  }

  uint64_t unnamed(const uint8_t* top_left, ptrdiff_t row_step) const {
    return unnamedInside(colours_, top_left, row_step);
  }

 private:
  const TileColours& colours_;
};

#endif

TileColours makeTileColours(const TileColouring& colouring) {
  TileColours colours{};
  colours.colouring = colouring;
  const int32_t* colour = colouring.colour;
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

TileEncoder::TileEncoder(const PixelGrid& grid, const TileColouring& colouring)
    : grid_(grid), colours_(makeTileColours(colouring)) {}

namespace {

// The tiles of one call to TileEncoder::encode, made for each colouring so
// that the inner loop decides nothing.
template <bool kDirect, int kBits>
void encodeTiles(const PixelGrid& grid, const TileColours& colours, int64_t left, int64_t top, int count,
                 uint64_t* tiles, uint64_t* hashes, TilePalette* palettes, UnnamedPixels* unnamed) {
  const InsideEncoder inside(colours);
  const bool rows_inside = grid.bitCount == 8 && top >= 0 && top <= grid.height - 8;
  for (int i = 0; i < count; ++i, tiles += kBits) {
    const int64_t x = left + 8 * i;
    const bool tile_inside = rows_inside && x >= 0 && x <= grid.width - 8;
    if (tile_inside) {
      inside.encode<kDirect, kBits>(grid.row(top) + x, grid.rowStep, tiles, &palettes[i]);
    } else {
      const Pattern tile = encodeAnywhere(grid, colours, x, top, &palettes[i]);
      std::copy(tile.words.begin(), tile.words.begin() + kBits, tiles);
    }
    hashes[i] = PatternDictionary::hashOf(tiles, kBits);
    if (unnamed != nullptr) {
      unnamed->add(tile_inside ? inside.unnamed(grid.row(top) + x, grid.rowStep) : unnamedAnywhere(grid, colours, x, top),
                   x, top);
    }
  }
}

template <bool kDirect>
void encodeTilesOf(int bits, const PixelGrid& grid, const TileColours& colours, int64_t left, int64_t top, int count,
                   uint64_t* tiles, uint64_t* hashes, TilePalette* palettes, UnnamedPixels* unnamed) {
  switch (bits) {
    case 2:
      return encodeTiles<kDirect, 2>(grid, colours, left, top, count, tiles, hashes, palettes, unnamed);
    case 4:
      return encodeTiles<kDirect, 4>(grid, colours, left, top, count, tiles, hashes, palettes, unnamed);
    case 8:
      return encodeTiles<kDirect, 8>(grid, colours, left, top, count, tiles, hashes, palettes, unnamed);
  }
  std::abort();  // patterns are of 2, 4 or 8 bits a pixel
}

}  // namespace

void TileEncoder::encode(int64_t left, int64_t top, int count, uint64_t* tiles, uint64_t* hashes,
                         TilePalette* palettes, UnnamedPixels* unnamed) const {
  const int bits = colours_.colouring.bitsPerPixel;
  if (colours_.colouring.direct) {
    encodeTilesOf<true>(bits, grid_, colours_, left, top, count, tiles, hashes, palettes, unnamed);
  } else {
    encodeTilesOf<false>(bits, grid_, colours_, left, top, count, tiles, hashes, palettes, unnamed);
  }
}

}  // namespace tessarn
