#include "views/preview_images.h"

#include <algorithm>
#include <cassert>

#include "image/pixel_grid.h"
#include "image/png_writer.h"
#include "outputs/c_names.h"
#include "target/colour_format.h"

namespace tessarn {
namespace {

constexpr int kPatternsPerRow = 16;
constexpr size_t kMaxNameBytes = 64;

// Colour numbers of `bits` bits as greys, black to white.
std::vector<Rgb> greys(int bits) {
  std::vector<Rgb> palette;
  const int top = (1 << bits) - 1;
  for (int v = 0; v <= top; ++v) {
    const auto grey = static_cast<uint8_t>(v * 255 / top);
    palette.push_back({grey, grey, grey});
  }
  return palette;
}

// The colour numbers of row `r` of a tile drawn with `map_word`.
void paintTileRow(const PatternDictionary& dictionary, uint16_t map_word, int r, uint8_t* out) {
  const Pattern drawn = dictionary.drawnAs(map_word);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(drawn.colourAt(i, r, dictionary.bitsPerPixel()));
}

}  // namespace

std::string PreviewImages::imageName(int64_t number, const std::string& job_name) {
  std::string name = std::to_string(number);
  if (name.size() < 3) name.insert(0, 3 - name.size(), '0');
  name += '-';
  name += cleanedName(std::string_view(job_name).substr(0, kMaxNameBytes), '-');
  return name + ".png";
}

bool PreviewImages::wantsMapCells(int64_t tiles) const { return tiles * 64 <= kMaxHeldPixels; }

void PreviewImages::jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) {
  if (summary.failure) return;
  const int64_t tiles = summary.tilesWide * summary.tilesHigh;
  if (tiles == 0) return;
  const std::string name = imageName(summary.number, summary.job->name);
  // Too large to draw, whatever other observers wanted of the cells.
  if (!wantsMapCells(tiles)) {
    failures_.push_back(name + ": a map of " + std::to_string(summary.tilesWide * 8) + " x " +
                        std::to_string(summary.tilesHigh * 8) +
                        " pixels is too large to draw (at most 2^28 pixels)");
    return;
  }
  // Mapped colours: four entries, the job's colours; direct colours: the
  // bitmap's entries, palette by palette.
  const bool direct = colours_ != ColourMode::kMapped;
  const int bits = dictionary.bitsPerPixel();
  const std::vector<Rgb> fallback = greys(direct ? bits : 2);
  std::vector<Rgb> palette;
  for (int k = 0; k < (direct ? 256 : 4); ++k) {
    const Rgb grey = fallback[static_cast<size_t>(k) % fallback.size()];
    const size_t chosen = static_cast<size_t>(k >> bits);
    if (colours_ == ColourMode::kAuto) {
      if (chosen >= chosen_.size()) {
        palette.push_back(grey);
        continue;
      }
      const uint32_t value = chosen_[chosen][static_cast<size_t>(k % (1 << bits))];
      // nes's values are indices into the art's own palette.
      const bool index = format_ == ColourFormat::kNes && summary.palette && value < 256;
      palette.push_back(shownColour(format_, value, index ? summary.palette->colourOf(static_cast<int32_t>(value), grey) : grey));
      continue;
    }
    // Written palettes give an index the image's palette has not black;
    // previews alone draw it grey, as they always have.
    const int32_t index = direct ? k : summary.job->colour[k];
    const Rgb missing = format_ == ColourFormat::kNone ? grey : Rgb{};
    const Rgb colour = summary.palette ? summary.palette->colourOf(index, missing) : grey;
    palette.push_back(format_ == ColourFormat::kNone ? colour : shownColour(format_, colourValue(format_, colour, index), colour));
  }
  assert(summary.mapCells.has_value());
  const std::vector<MapCell>& cells = *summary.mapCells;
  const int64_t wide = summary.tilesWide;
  auto paint = [&](int64_t y, uint8_t* row) {
    for (int64_t t = 0; t < wide; ++t) {
      const MapCell& cell = cells[static_cast<size_t>(y / 8 * wide + t)];
      uint8_t* out = row + 8 * t;
      paintTileRow(dictionary, cell.word, static_cast<int>(y % 8), out);
      if (direct) {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(cell.palette << bits | out[i]);
      }
    }
  };
  std::string error;
  if (!writeIndexedPng(files_, name, wide * 8, summary.tilesHigh * 8, direct ? 8 : 2, palette, paint, &error)) {
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
  const int bits = dictionary.bitsPerPixel();
  std::string error;
  if (!writeIndexedPng(files_, "patterns.png", 8 * kPatternsPerRow, rows * 8, bits, greys(bits), paint, &error)) {
    failures_.push_back(error);
  }
}

}  // namespace tessarn
