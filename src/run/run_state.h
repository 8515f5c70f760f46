// Everything a run keeps from its start to its end, in one object that the
// run driver makes and passes to the operations: the current job, the
// outputs, the pattern dictionary, the memory for images' rows, and whoever
// watches (whom the driver alone tells of each job).

#ifndef TESSARN_RUN_RUN_STATE_H_
#define TESSARN_RUN_RUN_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/palette.h"
#include "image/row_ring.h"
#include "io/file_system.h"
#include "joblist/job_record.h"
#include "messages/messages.h"
#include "outputs/output_files.h"
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
  // How images' rows are read or decoded: into at most about `rowBudget`
  // bytes of memory (a ring, where they take more), and with `threads` 2,
  // on a thread of their own while the tiling takes them, for images of at
  // least `threadBytes` bytes of rows (for fewer, starting a thread costs
  // more than it saves).
  int threads = 1;
  size_t rowBudget = RowRing::kDefaultBudget;
  uint64_t threadBytes = uint64_t{1} << 20;
};

struct RunState {
  RunState(FileSystem* files, const RunSettings& settings)
      : files(files),
        outputs(files, settings.library),
        dictionary(settings.patterns),
        attributes(settings.attributes),
        observer(settings.observer),
        threads(settings.threads),
        rowBudget(settings.rowBudget),
        threadBytes(settings.threadBytes) {}

  FileSystem* files;
  JobRecord job;
  OutputFiles outputs;
  PatternDictionary dictionary;
  std::vector<AttributeRule> attributes;
  RunObserver* observer;
  int threads;
  size_t rowBudget;
  uint64_t threadBytes;
  RowStorage rowStorage;  // kept from job to job
};

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_STATE_H_
