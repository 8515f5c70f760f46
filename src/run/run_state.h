// Everything a run keeps from its start to its end, in one object that is
// passed to the operations: the current job, the outputs, the pattern
// dictionary, and whoever watches. A test or fuzzer makes one over files in
// memory and drives the run's parts directly.

#ifndef TESSARN_RUN_RUN_STATE_H_
#define TESSARN_RUN_RUN_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap/palette.h"
#include "io/file_system.h"
#include "run/job_record.h"
#include "run/messages.h"
#include "run/output_files.h"
#include "run/run_observer.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// Bits ORed into the map words of every job, or of the jobs of one name.
struct AttributeRule {
  bool everyJob = true;
  std::string jobName;  // if not everyJob
  uint16_t bits = 0;
};

// The bits that the rules OR into the map words of a job of this name.
uint16_t attributesFor(const std::vector<AttributeRule>& rules, const std::string& job_name);

// How a run is to be run, beyond its files.
struct RunSettings {
  MessageLanguage language = MessageLanguage::kShiftJis;
  RunObserver* observer = nullptr;  // nobody watching
  DictionarySettings patterns;
  std::vector<AttributeRule> attributes;
  CLibrarySettings library;  // the C library to write too, if any
  // Threads the run may use: 1, or 2 for reading or decoding a big image's
  // rows on a thread of their own while the tiling takes them.
  int threads = 1;
};

struct RunState {
  RunState(FileSystem* files, const RunSettings& settings)
      : files(files),
        outputs(files, settings.library),
        dictionary(settings.patterns),
        attributes(settings.attributes),
        observer(settings.observer),
        threads(settings.threads) {}

  FileSystem* files;
  JobRecord job;
  OutputFiles outputs;
  PatternDictionary dictionary;
  std::vector<AttributeRule> attributes;
  RunObserver* observer;
  int threads;
  // The current job's, kept only with an observer.
  JobSummary summary;
  std::vector<uint16_t> jobWords;
  Palette jobPalette;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_STATE_H_
