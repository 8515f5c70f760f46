// How a run is to be run, beyond its files: what the options ask of it,
// read once before the run and never changed.

#ifndef TESSARN_RUN_RUN_SETTINGS_H_
#define TESSARN_RUN_RUN_SETTINGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/row_ring.h"
#include "messages/messages.h"
#include "outputs/c_library.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

class RunObserver;

// Bits ORed into the map words of every job, or of the jobs of one name.
struct AttributeRule {
  bool everyJob = true;
  std::string jobName;  // if not everyJob
  uint16_t bits = 0;
};

// The bits that the rules OR into the map words of a job of this name.
uint16_t attributesFor(const std::vector<AttributeRule>& rules, const std::string& job_name);

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

// The threads a run may use: 2 where the process may run on two processors
// or more, 1 otherwise or if `setting` (TESSARN_THREADS, if set) is "1".
int threadsToUse(const char* setting);

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_SETTINGS_H_
