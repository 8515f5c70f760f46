#include "run/full_colour.h"

#include <algorithm>
#include <bit>
#include <cstring>
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

// 64 bytes hashed a word at a time: each word multiplied by an odd constant
// and folded in, the high bits (which every input bit reaches) mixed down.
struct ArrayHash {
  size_t operator()(const std::array<uint8_t, 64>& a) const {
    uint64_t h = 0;
    for (size_t i = 0; i < 64; i += 8) {
      uint64_t word;
      std::memcpy(&word, a.data() + i, 8);
      h = (h ^ word) * 0x9E3779B97F4A7C15u;
      h ^= h >> 32;
    }
    return static_cast<size_t>(h);
  }
};

// An indexed picture's tiles by their indices (eight rows of eight bytes,
// a word each), for one job: most tiles repeat, and their indices are a
// quarter of their colour values' bytes to hash and compare. Open
// addressing over 2^k slots, at most half of them used.
class TilesByIndices {
 public:
  struct Entry {
    uint64_t rows[8];
    uint32_t tile;  // the distinct tile
    bool used;
  };

  TilesByIndices() : slots_(1024) {}
  // The entry of these rows: added (its tile for the caller to set) if
  // `*added`.
  Entry* find(const uint64_t (&rows)[8], bool* added) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    Entry* entry = place(rows);
    *added = !entry->used;
    if (*added) {
      std::copy_n(rows, 8, entry->rows);
      entry->used = true;
      ++used_;
    }
    return entry;
  }

 private:
  static uint64_t hashOf(const uint64_t (&rows)[8]) {
    // Each row multiplied by its own odd constant (the products are
    // independent, so they overlap), folded together and mixed down.
    constexpr uint64_t kOdd[8] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u, 0xD6E8FEB86659FD93u,
                                  0xFF51AFD7ED558CCDu, 0xC4CEB9FE1A85EC53u, 0x94D049BB133111EBu, 0xBF58476D1CE4E5B9u};
    uint64_t h = 0;
    for (int r = 0; r < 8; ++r) h ^= std::rotl(rows[r] * kOdd[r], 8 * r);
    h *= kOdd[0];
    return h ^ h >> 32;
  }
  // The slot holding these rows, or the empty one where they would go.
  Entry* place(const uint64_t (&rows)[8]) {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hashOf(rows) & mask;; i = (i + 1) & mask) {
      Entry& entry = slots_[i];
      if (!entry.used) return &entry;
      uint64_t differ = 0;  // all eight compared, without a branch each
      for (int r = 0; r < 8; ++r) differ |= rows[r] ^ entry.rows[r];
      if (differ == 0) return &entry;
    }
  }
  void grow() {
    std::vector<Entry> old(slots_.size() * 2);
    old.swap(slots_);
    for (const Entry& entry : old) {
      if (entry.used) *place(entry.rows) = entry;
    }
  }

  std::vector<Entry> slots_;
  size_t used_ = 0;
};

}  // namespace

size_t FullColourRun::TileHash::operator()(const TileValues& values) const {
  uint64_t h = 0;
  for (uint32_t v : values) h = (h ^ v) * 0x9E3779B97F4A7C15u;
  return static_cast<size_t>(h ^ h >> 29);
}

uint32_t FullColourRun::setOf(std::vector<uint32_t> colours) {
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  const auto [at, added] = setIndex_.try_emplace(colours, static_cast<uint32_t>(sets_.size()));
  if (added) sets_.push_back({std::move(colours), 1});
  return at->second;
}

bool FullColourRun::distinctTile(const TileValues& values, uint32_t* tile, size_t* colours) {
  const auto known = distinctIndex_.find(values);
  if (known != distinctIndex_.end()) {
    *tile = known->second;
    return true;
  }
  std::vector<uint32_t> set;
  for (uint32_t v : values) {
    if (v != kClear && std::find(set.begin(), set.end(), v) == set.end()) set.push_back(v);
  }
  *colours = set.size();
  if (static_cast<int>(set.size()) > capacity_) return false;
  std::sort(set.begin(), set.end());
  DistinctTile distinct;
  for (size_t i = 0; i < 64; ++i) {
    distinct.pixels[i] = values[i] == kClear ? 0 : static_cast<uint8_t>(1 + (std::lower_bound(set.begin(), set.end(), values[i]) - set.begin()));
  }
  distinct.set = setOf(std::move(set));
  *tile = static_cast<uint32_t>(distinct_.size());
  distinct_.push_back(distinct);
  distinctIndex_.emplace(values, *tile);
  return true;
}

bool FullColourRun::analyse() {
  Job& job = jobs_.emplace_back();
  job.record = run_->job();
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
  const RunSettings& settings = run_->settings();
  ColourImage colours;
  if (!checkImageProblem(colours.open(image), record.bitmapName, failure)) return false;
  // nes's colours are the indices of art drawn on its master palette.
  if (settings.autoFormat == ColourFormat::kNes && !colours.indexed()) {
    return checkImageProblem(ImageProblem::kNotIndexed, record.bitmapName, failure);
  }
  // A colour's value, kClear for colour 0; an indexed image's worked out
  // once for each index.
  const uint32_t transparent =
      settings.transparent ? colourValue(settings.autoFormat, *settings.transparent, -1) : kClear;
  // nes's values are indices, which say nothing of the colour: there the
  // transparent colour is told by the palette's colour, and colour 0's value
  // is the first index of it the run meets.
  const bool by_index = settings.autoFormat == ColourFormat::kNes;
  const auto value = [&](Rgb colour, uint8_t alpha, int index) {
    const uint32_t v = colourValue(settings.autoFormat, colour, index);
    const bool clear = by_index ? settings.transparent && colour == *settings.transparent : v == transparent;
    return alpha == 0 || clear ? kClear : v;
  };
  std::array<uint32_t, 256> of_index{};
  for (int i = 0; colours.indexed() && i < 256; ++i) {
    const Rgb colour = colours.palette().colourOf(i, Rgb{});
    of_index[static_cast<size_t>(i)] = value(colour, colours.alphaOf(static_cast<uint8_t>(i)), i);
    if (by_index && settings.transparent && colour == *settings.transparent && colours.palette().has(i) &&
        !transparentIndex_) {
      transparentIndex_ = static_cast<uint32_t>(i);
    }
  }
  const bool indexed = colours.indexed();
  const int64_t wide = job->tilesWide;
  const int64_t high = tilesFor(record.height);
  const int64_t span = 8 * wide;
  // Columns [from, to) of the rectangle are the image's; pixels outside it
  // are colour 0.
  const int64_t from = std::max<int64_t>(0, -int64_t{record.x});
  const int64_t to = std::clamp<int64_t>(colours.width() - record.x, from, span);
  // One band of 8 rows at a time, as indices or as values, and which of its
  // rows the image has given.
  std::vector<uint8_t> index_band(indexed ? static_cast<size_t>(span * 8) : 0);
  std::vector<uint32_t> value_band(indexed ? 0 : static_cast<size_t>(span * 8));
  std::array<bool, 8> given{};
  int64_t band_row = 0;
  TilesByIndices by_indices;
  std::optional<Failure> too_many;
  job->tiles.reserve(static_cast<size_t>(wide * high));
  const auto add_tile = [&](const TileValues& values, int64_t column) {
    uint32_t tile = 0;
    size_t count = 0;
    if (!distinctTile(values, &tile, &count)) {
      too_many = Failure{MessageId::kTooManyColours, record.bitmapName,
                         {record.x + 8 * column, record.y + 8 * band_row, static_cast<int64_t>(count), capacity_}};
    }
    return tile;
  };
  const auto pixel_value = [&](int r, int64_t x) {
    if (!given[static_cast<size_t>(r)] || x < from || x >= to) return kClear;
    const size_t at = static_cast<size_t>(r * span + x);
    return indexed ? of_index[index_band[at]] : value_band[at];
  };
  const auto flush = [&] {
    const bool all_given = std::all_of(given.begin(), given.end(), [](bool g) { return g; });
    TileValues values;
    for (int64_t column = 0; column < wide && !too_many; ++column) {
      const int64_t x0 = 8 * column;
      if (indexed && all_given && x0 >= from && x0 + 8 <= to) {
        uint64_t rows[8];
        for (int r = 0; r < 8; ++r) std::memcpy(&rows[r], index_band.data() + r * span + x0, 8);
        bool added;
        TilesByIndices::Entry* known = by_indices.find(rows, &added);
        if (added) {
          const auto* indices = reinterpret_cast<const uint8_t*>(rows);
          for (size_t k = 0; k < 64; ++k) values[k] = of_index[indices[k]];
          known->tile = add_tile(values, column);
        }
        job->tiles.push_back(known->tile);
        continue;
      }
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) values[static_cast<size_t>(8 * r + c)] = pixel_value(r, x0 + c);
      }
      job->tiles.push_back(add_tile(values, column));
    }
    given = {};
    ++band_row;
  };
  const auto take_row = [&](int64_t y, const uint8_t* pixels) {
    while (y >= record.y + 8 * (band_row + 1)) flush();
    const int64_t r = y - record.y - 8 * band_row;
    given[static_cast<size_t>(r)] = true;
    const int64_t x0 = record.x;
    if (indexed) {
      std::copy(pixels + x0 + from, pixels + x0 + to, index_band.data() + r * span + from);
      return;
    }
    uint32_t* row = value_band.data() + r * span;
    for (int64_t x = from; x < to; ++x) {
      const uint8_t* rgba = pixels + 4 * (x0 + x);
      row[x] = value({rgba[0], rgba[1], rgba[2]}, rgba[3], -1);
    }
  };
  const ImageProblem problem = colours.readRows(record.y, record.y + 8 * high, take_row);
  if (!checkImageProblem(problem, record.bitmapName, failure)) return false;
  job->runLengthCutShort = colours.runLengthCutShort();
  if (by_index) job->palette = colours.palette();
  while (band_row < high && !too_many) flush();
  if (too_many) {
    *failure = *too_many;
    return false;
  }
  countTiles(job);
  return true;
}

void FullColourRun::countTiles(Job* job) {
  uses_.resize(distinct_.size());
  for (uint32_t tile : job->tiles) {
    if (uses_[tile]++ == 0) job->counts.emplace_back(tile, 0);
  }
  for (auto& [tile, count] : job->counts) {
    count = uses_[tile];
    uses_[tile] = 0;
  }
}

bool FullColourRun::joinAreas(Job* job, Failure* failure) {
  const int64_t wide = job->tilesWide;
  const int64_t high = wide == 0 ? 0 : static_cast<int64_t>(job->tiles.size()) / wide;
  job->units.assign(job->tiles.size(), 0);
  for (int64_t ay = 0; 2 * ay < high; ++ay) {
    for (int64_t ax = 0; 2 * ax < wide; ++ax) {
      std::vector<uint32_t> colours;
      std::vector<size_t> tiles;
      for (int64_t y = 2 * ay; y < std::min(high, 2 * ay + 2); ++y) {
        for (int64_t x = 2 * ax; x < std::min(wide, 2 * ax + 2); ++x) {
          tiles.push_back(static_cast<size_t>(y * wide + x));
          const ColourSet& set = sets_[distinct_[job->tiles[tiles.back()]].set];
          colours.insert(colours.end(), set.colours.begin(), set.colours.end());
        }
      }
      const uint32_t unit = setOf(colours);
      if (static_cast<int>(sets_[unit].colours.size()) > capacity_) {
        *failure = {MessageId::kAreaTooManyColours, job->record.bitmapName,
                    {job->record.x + 16 * ax, job->record.y + 16 * ay, static_cast<int64_t>(sets_[unit].colours.size()),
                     capacity_}};
        return false;
      }
      for (size_t tile : tiles) job->units[tile] = unit;
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
    for (size_t t = 0; t < jobs_[j].tiles.size(); ++t) {
      const uint32_t unit = unitOf(jobs_[j], t);
      int& u = unitOfSet[unit];
      if (u < 0) {
        u = static_cast<int>(units.size());
        units.push_back({sets_[unit].colours, 0});
      }
      ++units[static_cast<size_t>(u)].weight;
    }
  }
  PaletteChoice choice = tessarn::choosePalettes(units, capacity_, run_->settings().autoPalettes);
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
        const std::vector<uint32_t>& colours = sets_[unitOf(job, first)].colours;
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
  // Each tile drawn differently once in each unit, and how many tiles are so.
  // Most tiles' unit is their own set: those are counted by tile alone.
  std::vector<uint64_t> in_own_set(distinct_.size());
  std::unordered_map<uint64_t, uint64_t> in_areas;  // unit << 32 | tile
  for (const Job& job : jobs_) {
    if (job.failure) continue;
    if (job.units.empty()) {
      for (const auto& [tile, count] : job.counts) in_own_set[tile] += count;
      continue;
    }
    for (size_t t = 0; t < job.tiles.size(); ++t) {
      const uint32_t tile = job.tiles[t];
      const uint32_t unit = unitOf(job, t);
      if (unit == distinct_[tile].set) {
        ++in_own_set[tile];
      } else {
        ++in_areas[uint64_t{unit} << 32 | tile];
      }
    }
  }
  std::vector<std::pair<uint64_t, uint64_t>> distinct(in_areas.begin(), in_areas.end());
  for (uint32_t tile = 0; tile < in_own_set.size(); ++tile) {
    if (in_own_set[tile] != 0) distinct.emplace_back(uint64_t{distinct_[tile].set} << 32 | tile, in_own_set[tile]);
  }
  // In order, so that the shapes are numbered the same on every machine.
  std::sort(distinct.begin(), distinct.end());
  // Its shape: the pixels relabelled, in the orientation (of those the run
  // matches patterns in) that makes them least, and its colours by class.
  const uint16_t mirrors = settings.patterns.layout.mirrorBits();
  std::unordered_map<std::array<uint8_t, 64>, uint32_t, ArrayHash> shapes;
  std::map<std::tuple<int, uint32_t, std::vector<uint32_t>>, uint64_t> colourings;
  std::vector<uint8_t> classes, best_classes;
  for (const auto& [key, count] : distinct) {
    const auto unit = static_cast<uint32_t>(key >> 32);
    const auto tile = static_cast<uint32_t>(key);
    const std::array<uint8_t, 64>& pixels = distinct_[tile].pixels;
    const uint32_t set = distinct_[tile].set;
    std::array<uint8_t, 64> best{};
    for (int o = 0; o < 4; ++o) {
      if ((mirrorBitsOf(o) & ~mirrors) != 0) continue;
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
  const ColourOrder order = tessarn::orderColours(choice.palettes, capacity_, list);
  chosen_.patternsSaved = order.patternsSaved;
  // Each palette: colour 0, then its slots; an unused slot black.
  const uint32_t black = colourValue(settings.autoFormat, Rgb{}, -1);
  const uint32_t zero = !settings.transparent ? black
                        : transparentIndex_   ? *transparentIndex_
                                              : colourValue(settings.autoFormat, *settings.transparent, -1);
  chosen_.palettes.clear();
  slots_.assign(order.slots.size(), {});
  paletteCount_ = std::max<size_t>(1, order.slots.size());
  encodedAt_.assign(distinct_.size() * paletteCount_, 0);
  for (size_t p = 0; p < order.slots.size(); ++p) {
    std::vector<uint32_t>& palette = chosen_.palettes.emplace_back(static_cast<size_t>(capacity_ + 1), black);
    palette[0] = zero;
    for (size_t s = 0; s < order.slots[p].size(); ++s) {
      if (order.slots[p][s] == kNoColour) continue;
      palette[s + 1] = order.slots[p][s];
      slots_[p][order.slots[p][s]] = static_cast<int>(s + 1);
    }
  }
}

const FullColourRun::EncodedTile& FullColourRun::encodeTile(uint32_t tile, int palette, const TileEncoder& encoder,
                                                            uint8_t* pixels) {
  // The tile's pixels as palette * 2^bits + colour number, encoded.
  const int bits = run_->settings().target->bitsPerPixel;
  const DistinctTile& distinct = distinct_[tile];
  const std::vector<uint32_t>& colours = sets_[distinct.set].colours;
  const std::map<uint32_t, int>& slots = slots_[static_cast<size_t>(palette)];
  for (size_t k = 0; k < 64; ++k) {
    const uint8_t local = distinct.pixels[k];
    pixels[k] = local == 0 ? 0 : static_cast<uint8_t>(palette * (1 << bits) + slots.at(colours[local - 1u]));
  }
  EncodedTile& encoded = encoded_.emplace_back();
  encoder.encode(0, 0, 1, encoded.words, &encoded.hash, &encoded.palette);
  encodedAt_[tile * paletteCount_ + static_cast<size_t>(palette)] = static_cast<uint32_t>(encoded_.size());
  return encoded;
}

bool FullColourRun::convert(size_t i, JobSummary* summary, Failure* failure) {
  const Job& job = jobs_[i];
  if (job.failure) {
    *failure = *job.failure;
    return false;
  }
  // Each tile is drawn the same way wherever it is in the same palette, so
  // it is encoded once (from an 8x8 grid of its colour numbers) and its
  // words taken again where it repeats.
  class ChosenTiles : public TileSource {
   public:
    ChosenTiles(FullColourRun* run, const Job& job, const TileColouring& colouring)
        : run_(run), job_(job), encoder_(grid_, colouring) {
      grid_.rows = pixels_;
      grid_.rowStep = 8;
      grid_.width = grid_.height = 8;
    }
    void encode(int64_t row, int64_t first, int count, uint64_t* tiles, uint64_t* hashes,
                TilePalette* palettes) override {
      const size_t words = static_cast<size_t>(encoder_.tileWords());
      for (int k = 0; k < count; ++k) {
        const size_t t = static_cast<size_t>(row * job_.tilesWide + first + k);
        const EncodedTile& tile =
            run_->encodedTile(job_.tiles[t], run_->paletteOfSet_[run_->unitOf(job_, t)], encoder_, pixels_);
        std::copy_n(tile.words, words, tiles + static_cast<size_t>(k) * words);
        hashes[k] = tile.hash;
        palettes[k] = tile.palette;
      }
    }

   private:
    FullColourRun* run_;
    const Job& job_;
    uint8_t pixels_[64] = {};
    PixelGrid grid_;
    const TileEncoder encoder_;
  };
  const TilingRules rules =
      chosenColourRules(*run_, std::max<int>(1, static_cast<int>(chosen_.palettes.size())));
  ChosenTiles tiles(this, job, rules.colouring);
  summary->runLengthCutShort = job.runLengthCutShort;
  summary->palette = job.palette;
  return convertChosenColours(run_, summary, rules, &tiles, failure);
}

}  // namespace tessarn
