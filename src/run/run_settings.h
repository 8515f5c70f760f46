// How a run is to be run, beyond its files: what the options ask of it,
// read once before the run and never changed.

#ifndef TESSARN_RUN_RUN_SETTINGS_H_
#define TESSARN_RUN_RUN_SETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/palette.h"
#include "image/row_ring.h"
#include "messages/messages.h"
#include "outputs/c_library.h"
#include "target/target.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

class RunObserver;

// A value for every job, or for the jobs of one name: attribute bits
// (--attributes), a palette number (--palette).
struct JobRule {
  bool everyJob = true;
  std::string jobName;  // if not everyJob
  uint16_t value = 0;
};

// The bits that the rules OR into the map entries of a job of this name.
uint16_t attributesFor(const std::vector<JobRule>& rules, const std::string& job_name);
// The palette the rules give a job of this name: the last rule that names
// it, else the last for every job, else 0.
int paletteFor(const std::vector<JobRule>& rules, const std::string& job_name);

// How a job's pixels become colour numbers: by the job's colours or their
// indices (tiles/tile_encoder.h), or by palettes the run chooses for
// full-colour art (full_colour.h).
enum class ColourMode { kMapped, kDirect, kAuto };

struct RunSettings {
  MessageLanguage language = MessageLanguage::kShiftJis;
  RunObserver* observer = nullptr;  // nobody watching
  const Target* target = &classicTarget();
  ColourMode colours = ColourMode::kMapped;
  // The format each job's palettes are written in after its map; kNone for
  // none.
  ColourFormat paletteFormat = ColourFormat::kNone;
  // Full-colour art: the format colours are told apart in, the colour that
  // is colour 0 (besides pixels of alpha 0), and the palettes the run may
  // have at most (the target's; classic's is --palette-count).
  ColourFormat autoFormat = ColourFormat::kRgb888;
  std::optional<Rgb> transparent;
  int autoPalettes = 1;
  DictionarySettings patterns;
  std::vector<JobRule> attributes;
  std::vector<JobRule> palettes;
  CLibrarySettings library;  // the C library to write too, if any
  // How images' rows are read or decoded: into at most about `rowBudget`
  // bytes of memory (a ring, where they take more), and with `threads` 2,
  // on a thread of their own while the tiling takes them, for images of at
  // least `threadBytes` bytes of rows (for fewer, starting a thread costs
  // more than it saves).
  int threads = 1;
  size_t rowBudget = RowRing::kDefaultBudget;
  uint64_t threadBytes = uint64_t{1} << 20;
};

// The threads a run may use: 2 where the process may run on two processors
// or more, 1 otherwise or if `setting` (TESSARN_THREADS, if set) is "1".
int threadsToUse(const char* setting);

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_SETTINGS_H_
