// Full-colour art (--colours auto): the run reads every job's tiles as
// colours first, chooses one set of palettes for all its jobs (a game shows
// them together), orders each palette's colours so that tiles of one shape
// in different colours share a pattern, and then converts the jobs in
// order, each tile in a palette that holds all its colours.
//
// A pixel's colour is its value in the run's colour format (two colours
// the machine cannot tell apart are one); pixels of alpha 0, and of the
// transparent colour's value, are colour 0 of every palette, whose value is
// the transparent colour's, or black's. A palette holds 2^bits - 1 colours
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
#include <vector>

#include "colours/palette_packing.h"
#include "image/bitmap_image.h"
#include "image/colour_image.h"
#include "joblist/job_record.h"
#include "messages/failure.h"
#include "run/run_observer.h"
#include "run/run_state.h"

namespace tessarn {

class FullColourRun {
 public:
  explicit FullColourRun(RunState* run) : run_(run) {}

  // Reads the run's current job, number `number`, as colours. False if its
  // bitmap is missing or memory ran out: the run reads no more jobs (and
  // ends at that job).
  bool analyse(int64_t number);
  // Chooses the palettes for the jobs read, and their colours' order.
  void choosePalettes();
  const ChosenPalettes& chosen() const { return chosen_; }

  size_t jobs() const { return jobs_.size(); }
  const JobRecord& record(size_t i) const { return jobs_[i].record; }
  // Converts job `i` (in list order), which must be the run's current job;
  // false, with `*failure` set, as convertJob() is.
  bool convert(size_t i, JobSummary* summary, Failure* failure);

 private:
  // A tile as read: the colours of its pixels, as the index of its set of
  // colours and, for each pixel, 0 for colour 0 or 1 + its colour's place
  // in the set.
  struct Tile {
    uint32_t set = 0;
    uint32_t unit = 0;  // the set its palette must hold: its own, or its 16x16 area's
    std::array<uint8_t, 64> pixels{};
  };
  struct Job {
    JobRecord record;
    int64_t number = 0;
    std::optional<Failure> failure;
    int64_t tilesWide = 0;
    std::vector<Tile> tiles;  // in walk order
  };

  // The set of these colours, sorted and distinct.
  uint32_t setOf(std::vector<uint32_t> colours);
  bool readTiles(Job* job, const BitmapImage& image, Failure* failure);
  // nes: each tile's unit is its area's colours together; false, with
  // `*failure` set, if an area has more than a palette holds.
  bool joinAreas(Job* job, Failure* failure);
  // A pixel's colour value, or kClear for colour 0.
  uint32_t valueOf(const ColourPixel& pixel) const;
  // The palettes for the units of jobs [0, end) that converted so far.
  PaletteChoice packJobs(size_t end) const;
  void orderColours(const PaletteChoice& choice);

  RunState* run_;
  std::vector<Job> jobs_;
  std::map<std::vector<uint32_t>, uint32_t> setIndex_;
  std::vector<ColourSet> sets_;
  std::vector<int> paletteOfSet_;               // of every set that is a unit's
  std::vector<std::map<uint32_t, int>> slots_;  // per palette: each colour's slot
  ChosenPalettes chosen_;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_FULL_COLOUR_H_
