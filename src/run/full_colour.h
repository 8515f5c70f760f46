// Full-colour art (--colours auto): the run reads every job's tiles as
// colours first, chooses one set of palettes for all its jobs (a game shows
// them together), orders each palette's colours so that tiles of one shape
// in different colours share a pattern, and then converts the jobs in
// order, each tile in a palette that holds all its colours.
//
// A pixel's colour is its value in the run's colour format (two colours
// the machine cannot tell apart are one); pixels of alpha 0, and of the
// transparent colour's value, are colour 0 of every palette, whose value is
// the transparent colour's, or black's (nes, whose values are indices: of
// the transparent colour, and colour 0's value its first index met). A palette holds 2^bits - 1 colours
// besides colour 0, and the run may have as many as the machine has (nes:
// one palette a 16x16 area, which must hold its tiles' colours together).
// The palettes are the fewest that colours/palette_packing.h finds.
//
// A tile of more colours than a palette holds skips its job, as does a job
// whose tiles need, with those of the jobs converted before it, more
// palettes than the run may have: the first of its tiles that the palettes
// of the jobs before could not hold is named, with the count.

#ifndef TESSARN_RUN_FULL_COLOUR_H_
#define TESSARN_RUN_FULL_COLOUR_H_

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "colours/palette_packing.h"
#include "image/bitmap_image.h"
#include "image/colour_image.h"
#include "joblist/job_record.h"
#include "messages/failure.h"
#include "run/run_observer.h"
#include "run/run_state.h"
#include "tiles/tile_encoder.h"

namespace tessarn {

class FullColourRun {
 public:
  explicit FullColourRun(RunState* run)
      : run_(run), capacity_((1 << run->settings().target->bitsPerPixel) - 1) {}

  // Reads the run's current job as colours. False if its bitmap is missing
  // or memory ran out: the run reads no more jobs (and ends at that job).
  bool analyse();
  // Chooses the palettes for the jobs read, and their colours' order.
  void choosePalettes();
  const ChosenPalettes& chosen() const { return chosen_; }

  size_t jobs() const { return jobs_.size(); }
  const JobRecord& record(size_t i) const { return jobs_[i].record; }
  // Converts job `i` (in list order), which must be the run's current job;
  // false, with `*failure` set, as convertJob() is.
  bool convert(size_t i, JobSummary* summary, Failure* failure);

 private:
  // A tile as read, each drawn differently once for the run: the index of
  // its set of colours, and for each pixel 0 for colour 0 or 1 + its
  // colour's place in the set.
  struct DistinctTile {
    uint32_t set = 0;
    std::array<uint8_t, 64> pixels{};
  };
  struct Job {
    JobRecord record;
    std::optional<Failure> failure;
    int64_t tilesWide = 0;
    std::vector<uint32_t> tiles;  // distinct tiles, in walk order
    std::vector<uint32_t> units;  // nes: each tile's area's set (else each tile's own)
    std::vector<std::pair<uint32_t, uint64_t>> counts;  // each distinct tile it holds, and how often
    bool runLengthCutShort = false;                     // its image's run-length data ends early
    std::optional<Palette> palette;                     // nes: its image's, whose indices the values are
  };
  // A tile's colour values, kClear for colour 0: the key of a distinct tile.
  using TileValues = std::array<uint32_t, 64>;
  struct TileHash {
    size_t operator()(const TileValues& values) const;
  };

  // The set of these colours, sorted and distinct.
  uint32_t setOf(std::vector<uint32_t> colours);
  // The distinct tile of these values; false, with the count, if it has
  // more colours than a palette holds.
  bool distinctTile(const TileValues& values, uint32_t* tile, size_t* colours);
  bool readTiles(Job* job, const BitmapImage& image, Failure* failure);
  void countTiles(Job* job);
  // nes: each tile's unit is its area's colours together; false, with
  // `*failure` set, if an area has more than a palette holds.
  bool joinAreas(Job* job, Failure* failure);
  uint32_t unitOf(const Job& job, size_t tile) const {
    return job.units.empty() ? distinct_[job.tiles[tile]].set : job.units[tile];
  }
  // The palettes for the units of jobs [0, end) that convert so far.
  PaletteChoice packJobs(size_t end) const;
  void orderColours(const PaletteChoice& choice);
  // A distinct tile in a palette, encoded: its pixels palette * 2^bits +
  // colour number (0 for colour 0), set into `pixels` (the grid that
  // `encoder` reads) and encoded the first time it is asked for.
  struct EncodedTile {
    uint64_t words[kMaxPatternWords];
    uint64_t hash;
    TilePalette palette;
  };
  const EncodedTile& encodedTile(uint32_t tile, int palette, const TileEncoder& encoder, uint8_t* pixels) {
    const uint32_t at = encodedAt_[tile * paletteCount_ + static_cast<size_t>(palette)];
    return at != 0 ? encoded_[at - 1] : encodeTile(tile, palette, encoder, pixels);
  }
  const EncodedTile& encodeTile(uint32_t tile, int palette, const TileEncoder& encoder, uint8_t* pixels);

  RunState* run_;
  int capacity_;  // colours a palette holds besides colour 0
  std::vector<Job> jobs_;
  std::map<std::vector<uint32_t>, uint32_t> setIndex_;
  std::vector<ColourSet> sets_;
  std::unordered_map<TileValues, uint32_t, TileHash> distinctIndex_;
  std::vector<DistinctTile> distinct_;
  std::vector<uint64_t> uses_;  // countTiles()'s, all 0 between jobs
  std::vector<int> paletteOfSet_;               // of every set that is a unit's
  std::vector<std::map<uint32_t, int>> slots_;  // per palette: each colour's slot
  // encodedTile(): for each distinct tile and palette, 1 + its place in
  // encoded_ (0 until encoded).
  std::vector<uint32_t> encodedAt_;
  size_t paletteCount_ = 1;
  std::vector<EncodedTile> encoded_;
  ChosenPalettes chosen_;
  std::optional<uint32_t> transparentIndex_;  // nes: the transparent colour's first index met
};

}  // namespace tessarn

#endif  // TESSARN_RUN_FULL_COLOUR_H_
