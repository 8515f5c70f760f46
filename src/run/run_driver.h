// The whole run: reads the job list tessarn.txt, converts each job in order,
// and finishes output.txt (and the current binary output) with the table of
// every pattern the run found.
//
// Exit statuses:
//   0    a complete run
//   28   the job list cannot be opened; nothing is created
//   -1   the run ended early (output.txt or a binary output cannot be
//        created, a bitmap is missing, more than 16,384 patterns, out of
//        memory) or an output could not be written whole
// A run that ends early keeps everything written so far but gets no pattern
// table. A bitmap that is rejected skips its job, and the run goes on.
//
// The run's state (the current job, the outputs, the dictionary) lives in one
// RunState object, and every file goes through a FileSystem, so a whole run can be
// driven in memory.

#ifndef TESSARN_RUN_RUN_DRIVER_H_
#define TESSARN_RUN_RUN_DRIVER_H_

#include "run/file_system.h"
#include "run/job_record.h"
#include "run/messages.h"
#include "run/output_files.h"
#include "run/run_observer.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;
// A complete run that skipped a job, under --strict.
constexpr int kExitSkipped = 1;
// The length of the missing-job-list message, line end counted as one byte.
constexpr int kExitJobListMissing = 28;

// How a run is to be run, beyond its files.
struct RunSettings {
  MessageLanguage language = MessageLanguage::kShiftJis;
  RunObserver* observer = nullptr;  // nobody watching
};

struct RunState {
  RunState(FileSystem* files, WriteStream* console_stream, const RunSettings& settings = {})
      : files(files),
        console(console_stream, settings.language),
        outputs(files, &console),
        observer(settings.observer) {}

  // Reports a message and, for the observer, remembers it as what became of
  // the current job.
  void report(MessageId id, std::string_view name = {});
  // The current job's palette, for the observer.
  void setPalette(const Palette& palette);

  FileSystem* files;
  Console console;
  JobRecord job;
  OutputFiles outputs;
  PatternDictionary dictionary;
  RunObserver* observer;
  // Of the current job, kept only with an observer.
  JobSummary summary;
  std::vector<uint16_t> jobWords;
  Palette jobPalette;
};

// Loads, checks and converts the run's current job.
JobOutcome convertJob(RunState* run);

// The whole run; returns the exit status.
int runMain(FileSystem* files, WriteStream* console, const RunSettings& settings = {});

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_DRIVER_H_
