#include "run/full_colour.h"

#include <algorithm>
#include <new>
#include <tuple>
#include <unordered_map>

#include "colours/colour_order.h"
#include "run/job_conversion.h"
#include "target/colour_format.h"
#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

// A pixel of colour 0.
constexpr uint32_t kClear = 0xFFFFFFFF;

// A tile's pixels, orientated: mirrored left-right and/or top-bottom.
std::array<uint8_t, 64> orientated(const std::array<uint8_t, 64>& pixels, int orientation) {
  std::array<uint8_t, 64> out{};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const int from_x = (orientation & 1) ? 7 - x : x;
      const int from_y = (orientation & 2) ? 7 - y : y;
      out[static_cast<size_t>(8 * y + x)] = pixels[static_cast<size_t>(8 * from_y + from_x)];
    }
  }
  return out;
}

// The pixels relabelled by first appearance (each class of one colour
// numbered in the order it is met), and each class's label as it was.
std::array<uint8_t, 64> relabelled(const std::array<uint8_t, 64>& pixels, std::vector<uint8_t>* classes) {
  std::array<int, 256> label;
  label.fill(-1);
  std::array<uint8_t, 64> out{};
  classes->clear();
  for (size_t i = 0; i < 64; ++i) {
    int& l = label[pixels[i]];
    if (l < 0) {
      l = static_cast<int>(classes->size());
      classes->push_back(pixels[i]);
    }
    out[i] = static_cast<uint8_t>(l);
  }
  return out;
}

struct ArrayHash {
  size_t operator()(const std::array<uint8_t, 64>& a) const {
    uint64_t h = 0xCBF29CE484222325u;
    for (uint8_t b : a) h = (h ^ b) * 0x100000001B3u;
    return static_cast<size_t>(h);
  }
};

}  // namespace

uint32_t FullColourRun::setOf(std::vector<uint32_t> colours) {
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  const auto [at, added] = setIndex_.try_emplace(colours, static_cast<uint32_t>(sets_.size()));
  if (added) sets_.push_back({std::move(colours), 1});
  return at->second;
}

uint32_t FullColourRun::valueOf(const ColourPixel& pixel) const {
  const RunSettings& settings = run_->settings();
  if (pixel.alpha == 0) return kClear;
  const uint32_t value = colourValue(settings.autoFormat, pixel.colour, pixel.index);
  if (settings.transparent && value == colourValue(settings.autoFormat, *settings.transparent, -1)) return kClear;
  return value;
}

bool FullColourRun::analyse(int64_t number) {
  Job& job = jobs_.emplace_back();
  job.record = run_->job();
  job.number = number;
  job.tilesWide = tilesFor(job.record.width);
  BitmapImage image;
  Failure failure;
  try {
    if (loadBitmap(run_->files(), job.record.bitmapName, &image) != ReadStatus::kOk) {
      job.failure = Failure{MessageId::kBitmapMissing, job.record.bitmapName};
    } else if (!readTiles(&job, image, &failure) ||
               (run_->settings().target->entry == EntryKind::kByteAndAreaTable && !joinAreas(&job, &failure))) {
      job.failure = failure;
    }
  } catch (const std::bad_alloc&) {
    job.tiles.clear();
    job.failure = Failure{MessageId::kOutOfMemory, {}};
  }
  return !job.failure || effectOf(job.failure->message) != FailureEffect::kEndsRun;
}

bool FullColourRun::readTiles(Job* job, const BitmapImage& image, Failure* failure) {
  const JobRecord& record = job->record;
  ColourImage colours;
  if (!checkImageProblem(colours.open(image), record.bitmapName, failure)) return false;
  const int capacity = (1 << run_->settings().target->bitsPerPixel) - 1;
  const int64_t wide = job->tilesWide;
  const int64_t high = tilesFor(record.height);
  const int64_t span = 8 * wide;
  // One band of 8 rows at a time; pixels outside the image are colour 0.
  std::vector<uint32_t> band(static_cast<size_t>(span * 8), kClear);
  int64_t band_row = 0;
  std::optional<Failure> too_many;
  const auto flush = [&] {
    for (int64_t column = 0; column < wide; ++column) {
      std::vector<uint32_t> values;
      for (int r = 0; r < 8; ++r) {
        const uint32_t* row = band.data() + r * span + 8 * column;
        for (int i = 0; i < 8; ++i) {
          if (row[i] != kClear && std::find(values.begin(), values.end(), row[i]) == values.end()) values.push_back(row[i]);
        }
      }
      std::sort(values.begin(), values.end());
      if (static_cast<int>(values.size()) > capacity && !too_many) {
        too_many = Failure{MessageId::kTooManyColours, record.bitmapName,
                           {record.x + 8 * column, record.y + 8 * band_row, static_cast<int64_t>(values.size()), capacity}};
      }
      Tile& tile = job->tiles.emplace_back();
      for (int r = 0; r < 8; ++r) {
        for (int i = 0; i < 8; ++i) {
          const uint32_t value = band[static_cast<size_t>(r * span + 8 * column + i)];
          const auto at = std::lower_bound(values.begin(), values.end(), value);
          tile.pixels[static_cast<size_t>(8 * r + i)] = value == kClear ? 0 : static_cast<uint8_t>(1 + (at - values.begin()));
        }
      }
      tile.set = tile.unit = setOf(std::move(values));
    }
    std::fill(band.begin(), band.end(), kClear);
    ++band_row;
  };
  const auto take_row = [&](int64_t y, const ColourPixel* pixels) {
    while (y >= record.y + 8 * (band_row + 1)) flush();
    uint32_t* row = band.data() + (y - record.y - 8 * band_row) * span;
    for (int64_t x = std::max<int64_t>(0, -int64_t{record.x}); x < span && record.x + x < colours.width(); ++x) {
      row[x] = valueOf(pixels[record.x + x]);
    }
  };
  const ImageProblem problem = colours.readRows(record.y, record.y + 8 * high, take_row);
  if (!checkImageProblem(problem, record.bitmapName, failure)) return false;
  // nes's colours are the indices of art drawn on its master palette.
  if (run_->settings().autoFormat == ColourFormat::kNes && !colours.indexed()) {
    return checkImageProblem(ImageProblem::kNotIndexed, record.bitmapName, failure);
  }
  while (band_row < high) flush();
  if (too_many) *failure = *too_many;
  return !too_many;
}

bool FullColourRun::joinAreas(Job* job, Failure* failure) {
  const int capacity = (1 << run_->settings().target->bitsPerPixel) - 1;
  const int64_t wide = job->tilesWide;
  const int64_t high = wide == 0 ? 0 : static_cast<int64_t>(job->tiles.size()) / wide;
  for (int64_t ay = 0; 2 * ay < high; ++ay) {
    for (int64_t ax = 0; 2 * ax < wide; ++ax) {
      std::vector<uint32_t> colours;
      std::vector<Tile*> tiles;
      for (int64_t y = 2 * ay; y < std::min(high, 2 * ay + 2); ++y) {
        for (int64_t x = 2 * ax; x < std::min(wide, 2 * ax + 2); ++x) {
          Tile& tile = job->tiles[static_cast<size_t>(y * wide + x)];
          tiles.push_back(&tile);
          colours.insert(colours.end(), sets_[tile.set].colours.begin(), sets_[tile.set].colours.end());
        }
      }
      const uint32_t unit = setOf(colours);
      if (static_cast<int>(sets_[unit].colours.size()) > capacity) {
        *failure = {MessageId::kAreaTooManyColours, job->record.bitmapName,
                    {job->record.x + 16 * ax, job->record.y + 16 * ay, static_cast<int64_t>(sets_[unit].colours.size()),
                     capacity}};
        return false;
      }
      for (Tile* tile : tiles) tile->unit = unit;
    }
  }
  return true;
}

PaletteChoice FullColourRun::packJobs(size_t end) const {
  // Each unit set once, in the order first met.
  std::vector<ColourSet> units;
  std::vector<int> unitOfSet(sets_.size(), -1);
  for (size_t j = 0; j < end; ++j) {
    if (jobs_[j].failure) continue;
    for (const Tile& tile : jobs_[j].tiles) {
      int& u = unitOfSet[tile.unit];
      if (u < 0) {
        u = static_cast<int>(units.size());
        units.push_back({sets_[tile.unit].colours, 0});
      }
      ++units[static_cast<size_t>(u)].weight;
    }
  }
  const int capacity = (1 << run_->settings().target->bitsPerPixel) - 1;
  PaletteChoice choice = tessarn::choosePalettes(units, capacity, run_->settings().autoPalettes);
  // Back to the sets: the palette of each set that is a unit.
  std::vector<int> of_set(sets_.size(), 0);
  for (size_t s = 0; s < sets_.size(); ++s) {
    if (unitOfSet[s] >= 0 && static_cast<size_t>(unitOfSet[s]) < choice.paletteOfSet.size()) {
      of_set[s] = choice.paletteOfSet[static_cast<size_t>(unitOfSet[s])];
    }
  }
  choice.paletteOfSet = std::move(of_set);
  return choice;
}

void FullColourRun::choosePalettes() {
  PaletteChoice choice = packJobs(jobs_.size());
  if (choice.problem == PackingProblem::kTooManyPalettes) {
    // The jobs in list order, each kept if the palettes still fit with it.
    PaletteChoice kept = packJobs(0);
    for (size_t j = 0; j < jobs_.size(); ++j) {
      if (jobs_[j].failure) continue;
      PaletteChoice with = packJobs(j + 1);
      if (with.problem != PackingProblem::kTooManyPalettes) {
        kept = std::move(with);
        continue;
      }
      // The first tile that the palettes of the jobs before cannot hold.
      const Job& job = jobs_[j];
      size_t first = 0;
      for (; first + 1 < job.tiles.size(); ++first) {
        const std::vector<uint32_t>& colours = sets_[job.tiles[first].unit].colours;
        const auto holds = [&](const std::vector<uint32_t>& palette) {
          return std::includes(palette.begin(), palette.end(), colours.begin(), colours.end());
        };
        if (std::none_of(kept.palettes.begin(), kept.palettes.end(), holds)) break;
      }
      const int64_t column = job.tilesWide == 0 ? 0 : static_cast<int64_t>(first) % job.tilesWide;
      const int64_t row = job.tilesWide == 0 ? 0 : static_cast<int64_t>(first) / job.tilesWide;
      const int needed = std::max(static_cast<int>(with.palettes.size()), with.lowerBound);
      jobs_[j].failure = Failure{MessageId::kTooManyPalettes, job.record.bitmapName,
                                 {job.record.x + 8 * column, job.record.y + 8 * row, needed,
                                  run_->settings().autoPalettes}};
    }
    choice = packJobs(jobs_.size());
  }
  paletteOfSet_ = choice.paletteOfSet;
  chosen_.lowerBound = choice.lowerBound;
  chosen_.proven = choice.provenMinimal;
  orderColours(choice);
}

void FullColourRun::orderColours(const PaletteChoice& choice) {
  const RunSettings& settings = run_->settings();
  const int capacity = (1 << settings.target->bitsPerPixel) - 1;
  // Each tile drawn differently once: its colour set and pixels, and how
  // many tiles are so.
  std::map<std::tuple<uint32_t, uint32_t, std::array<uint8_t, 64>>, uint64_t> distinct;
  for (const Job& job : jobs_) {
    if (job.failure) continue;
    for (const Tile& tile : job.tiles) ++distinct[{tile.unit, tile.set, tile.pixels}];
  }
  // Its shape: the pixels relabelled, in the orientation (of those the run
  // matches patterns in) that makes them least, and its colours by class.
  const uint16_t mirrors = settings.patterns.layout.mirrorBits();
  std::unordered_map<std::array<uint8_t, 64>, uint32_t, ArrayHash> shapes;
  std::map<std::tuple<int, uint32_t, std::vector<uint32_t>>, uint64_t> colourings;
  std::vector<uint8_t> classes, best_classes;
  for (const auto& [key, count] : distinct) {
    const auto& [unit, set, pixels] = key;
    std::array<uint8_t, 64> best{};
    for (int o = 0; o < 4; ++o) {
      if ((o << 14 & ~mirrors) != 0) continue;
      const std::array<uint8_t, 64> shape = relabelled(orientated(pixels, o), &classes);
      if (o == 0 || shape < best) {
        best = shape;
        best_classes = classes;
      }
    }
    std::vector<uint32_t> class_colours;
    for (uint8_t local : best_classes) class_colours.push_back(local == 0 ? kNoColour : sets_[set].colours[local - 1u]);
    const uint32_t shape = shapes.try_emplace(best, static_cast<uint32_t>(shapes.size())).first->second;
    colourings[{choice.paletteOfSet[unit], shape, class_colours}] += count;
  }
  std::vector<Colouring> list;
  for (const auto& [key, count] : colourings) {
    list.push_back({std::get<0>(key), std::get<1>(key), std::get<2>(key), count});
  }
  const ColourOrder order = tessarn::orderColours(choice.palettes, capacity, list);
  chosen_.patternsSaved = order.patternsSaved;
  // Each palette: colour 0, then its slots; an unused slot black.
  const uint32_t black = colourValue(settings.autoFormat, Rgb{}, -1);
  const uint32_t zero = settings.transparent ? colourValue(settings.autoFormat, *settings.transparent, -1) : black;
  chosen_.palettes.clear();
  slots_.assign(order.slots.size(), {});
  for (size_t p = 0; p < order.slots.size(); ++p) {
    std::vector<uint32_t>& palette = chosen_.palettes.emplace_back(static_cast<size_t>(capacity + 1), black);
    palette[0] = zero;
    for (size_t s = 0; s < order.slots[p].size(); ++s) {
      if (order.slots[p][s] == kNoColour) continue;
      palette[s + 1] = order.slots[p][s];
      slots_[p][order.slots[p][s]] = static_cast<int>(s + 1);
    }
  }
}

bool FullColourRun::convert(size_t i, JobSummary* summary, Failure* failure) {
  const Job& job = jobs_[i];
  if (job.failure) {
    *failure = *job.failure;
    return false;
  }
  // The rectangle's tiles as palette * 2^bits + colour number.
  const int bits = run_->settings().target->bitsPerPixel;
  const int64_t wide = job.tilesWide;
  const int64_t high = wide == 0 ? 0 : static_cast<int64_t>(job.tiles.size()) / wide;
  std::vector<uint8_t> pixels(static_cast<size_t>(wide * 8 * high * 8));
  for (size_t t = 0; t < job.tiles.size(); ++t) {
    const Tile& tile = job.tiles[t];
    const int palette = paletteOfSet_[tile.unit];
    uint8_t number[256] = {};
    for (size_t c = 0; c < sets_[tile.set].colours.size(); ++c) {
      number[c + 1] = static_cast<uint8_t>(palette * (1 << bits) + slots_[static_cast<size_t>(palette)].at(sets_[tile.set].colours[c]));
    }
    const int64_t left = static_cast<int64_t>(t) % wide * 8;
    const int64_t top = static_cast<int64_t>(t) / wide * 8;
    for (int k = 0; k < 64; ++k) {
      pixels[static_cast<size_t>((top + k / 8) * wide * 8 + left + k % 8)] = number[tile.pixels[static_cast<size_t>(k)]];
    }
  }
  PixelGrid grid;
  grid.rows = pixels.data();
  grid.rowStep = static_cast<ptrdiff_t>(wide * 8);
  grid.width = wide * 8;
  grid.height = high * 8;
  return convertChosenColours(run_, summary, grid, std::max<int>(1, static_cast<int>(chosen_.palettes.size())),
                              failure);
}

}  // namespace tessarn
