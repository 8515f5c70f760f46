#include "views/preview_images.h"

#include <algorithm>
#include <cassert>

#include "image/png_writer.h"
#include "outputs/c_names.h"

namespace tessarn {
namespace {

constexpr int64_t kMaxPixels = int64_t{1} << 28;
constexpr int kPatternsPerRow = 16;
constexpr size_t kMaxNameBytes = 64;

// Colour numbers 0 to 3 as greys, black to white.
Rgb greyOf(int colour) {
  const uint8_t v = static_cast<uint8_t>(colour * 85);
  return {v, v, v};
}

const std::array<Rgb, 4> kGreys = {greyOf(0), greyOf(1), greyOf(2), greyOf(3)};

// The colour numbers of pattern row `r` of a tile drawn with `map_word`.
void paintTileRow(const PatternDictionary& dictionary, uint16_t map_word, int r, uint8_t* out) {
  const bool left_right = mirroredLeftRight(map_word);
  const uint16_t row = dictionary.patternOf(map_word)[mirroredTopBottom(map_word) ? 7 - r : r];
  for (int i = 0; i < 8; ++i) {
    const int bit = left_right ? i : 7 - i;
    out[i] = static_cast<uint8_t>((row >> bit & 1) | (row >> (bit + 8) & 1) << 1);
  }
}

}  // namespace

std::string PreviewImages::imageName(int64_t number, const std::string& job_name) {
  std::string name = std::to_string(number);
  if (name.size() < 3) name.insert(0, 3 - name.size(), '0');
  name += '-';
  name += cleanedName(std::string_view(job_name).substr(0, kMaxNameBytes), '-');
  return name + ".png";
}

bool PreviewImages::wantsMapWords(int64_t tiles) const { return tiles * 64 <= kMaxPixels; }

void PreviewImages::jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) {
  if (summary.failure) return;
  const int64_t tiles = summary.tilesWide * summary.tilesHigh;
  if (tiles == 0) return;
  const std::string name = imageName(summary.number, summary.job->name);
  // Too large to draw, whatever other observers wanted of the words.
  if (!wantsMapWords(tiles)) {
    failures_.push_back(name + ": a map of " + std::to_string(summary.tilesWide * 8) + " x " +
                        std::to_string(summary.tilesHigh * 8) +
                        " pixels is too large to draw (at most 2^28 pixels)");
    return;
  }
  std::array<Rgb, 4> palette = kGreys;
  for (int k = 0; summary.palette && k < 4; ++k) {
    palette[k] = summary.palette->colourOf(summary.job->colour[k], kGreys[k]);
  }
  assert(summary.mapWords.has_value());
  const std::vector<uint16_t>& words = *summary.mapWords;
  const int64_t wide = summary.tilesWide;
  std::string error;
  auto paint = [&](int64_t y, uint8_t* row) {
    for (int64_t t = 0; t < wide; ++t) {
      paintTileRow(dictionary, words[static_cast<size_t>(y / 8 * wide + t)], static_cast<int>(y % 8),
                   row + 8 * t);
    }
  };
  if (!writeIndexedPng(files_, name, wide * 8, summary.tilesHigh * 8, palette, paint, &error)) {
    failures_.push_back(error);
  }
}

void PreviewImages::runFinished(const PatternDictionary& dictionary) {
  const int count = dictionary.count();
  const int64_t rows = (count + kPatternsPerRow - 1) / kPatternsPerRow;
  auto paint = [&](int64_t y, uint8_t* row) {
    for (int i = 0; i < kPatternsPerRow; ++i) {
      const int64_t n = y / 8 * kPatternsPerRow + i;
      if (n < count) {
        const auto number = static_cast<uint16_t>(dictionary.layout().firstPattern + n);
        paintTileRow(dictionary, number, static_cast<int>(y % 8), row + 8 * i);
      } else {
        std::fill(row + 8 * i, row + 8 * i + 8, 0);
      }
    }
  };
  std::string error;
  if (!writeIndexedPng(files_, "patterns.png", 8 * kPatternsPerRow, rows * 8, kGreys, paint, &error)) {
    failures_.push_back(error);
  }
}

}  // namespace tessarn
