// What a run tells whoever follows it. The views a user can ask for (a
// report of the jobs, preview images) watch a run through this; the run
// knows nothing of them, and with nobody watching it does nothing extra.

#ifndef TESSARN_RUN_RUN_OBSERVER_H_
#define TESSARN_RUN_RUN_OBSERVER_H_

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/palette.h"
#include "joblist/job_record.h"
#include "messages/failure.h"
#include "tiles/pattern_dictionary.h"
#include "tiles/tile_encoder.h"

namespace tessarn {

// A job as its observers hear of it: made by the run driver, filled in by
// the job's conversion.
struct JobSummary {
  int64_t number = 0;  // the job's place in the list, from 1
  const JobRecord* job = nullptr;
  // Why the job was skipped or ended the run; none for a converted job.
  std::optional<Failure> failure;
  int64_t tilesWide = 0;
  int64_t tilesHigh = 0;
  int newPatterns = 0;
  // If the observer wants counts:
  int64_t tilesWritten = 0;  // map cells written: every tile of a converted job
  int64_t mirrored = 0;      // of those, the cells drawn mirrored
  // The cells written, row by row, if the observer wants them.
  std::optional<std::vector<MapCell>> mapCells;
  // The colours of the job's bitmap, if the observer wants them.
  std::optional<Palette> palette;
  // Its palettes, colour values in the run's palette format, where they
  // are written.
  std::vector<std::vector<uint32_t>> palettes;
  // If the observer wants warnings (job_warnings.h says what they are):
  UnnamedPixels unnamedPixels;     // of the tiles read
  bool runLengthCutShort = false;  // the image's run-length data ends early
};

// The palettes a run of full-colour art chose (full_colour.h): each
// palette's colour values, colour 0 first, then its slots (an unused slot
// black's value); the fewest any choice could do with; whether the count is
// known to be the fewest; and the patterns the colours' order saved.
struct ChosenPalettes {
  std::vector<std::vector<uint32_t>> palettes;
  int lowerBound = 0;
  bool proven = false;
  int patternsSaved = 0;
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // What a job's summary is to hold besides its size and the patterns it
  // added: the count of its words and of those mirrored, its map words (for
  // a job of this many tiles), its bitmap's colours, its warnings. None by default: each
  // costs the run work on every job.
  virtual bool wantsCounts() const { return false; }
  virtual bool wantsMapCells(int64_t /*tiles*/) const { return false; }
  virtual bool wantsPalette() const { return false; }
  virtual bool wantsWarnings() const { return false; }
  // A job is done with; the dictionary holds every pattern so far.
  virtual void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) = 0;
  // A run of full-colour art chose its palettes, before its first job.
  virtual void palettesChosen(const ChosenPalettes& /*chosen*/) {}
  // The run is over, complete or not; the dictionary holds every pattern.
  virtual void runFinished(const PatternDictionary& dictionary) = 0;
};

// Several observers as one, told in the order they were added.
class ObserverList : public RunObserver {
 public:
  void add(RunObserver* observer) { observers_.push_back(observer); }
  bool empty() const { return observers_.empty(); }

  bool wantsCounts() const override {
    return std::any_of(observers_.begin(), observers_.end(), [](RunObserver* o) { return o->wantsCounts(); });
  }
  bool wantsMapCells(int64_t tiles) const override {
    return std::any_of(observers_.begin(), observers_.end(), [&](RunObserver* o) { return o->wantsMapCells(tiles); });
  }
  bool wantsPalette() const override {
    return std::any_of(observers_.begin(), observers_.end(), [](RunObserver* o) { return o->wantsPalette(); });
  }
  bool wantsWarnings() const override {
    return std::any_of(observers_.begin(), observers_.end(), [](RunObserver* o) { return o->wantsWarnings(); });
  }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override {
    for (RunObserver* observer : observers_) observer->jobFinished(summary, dictionary);
  }
  void palettesChosen(const ChosenPalettes& chosen) override {
    for (RunObserver* observer : observers_) observer->palettesChosen(chosen);
  }
  void runFinished(const PatternDictionary& dictionary) override {
    for (RunObserver* observer : observers_) observer->runFinished(dictionary);
  }

 private:
  std::vector<RunObserver*> observers_;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_OBSERVER_H_
