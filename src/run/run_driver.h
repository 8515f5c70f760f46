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
#include "tiles/pattern_dictionary.h"

namespace tessarn {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;
// The length of the missing-job-list message, line end counted as one byte.
constexpr int kExitJobListMissing = 28;

struct RunState {
  RunState(FileSystem* files, WriteStream* console_stream)
      : files(files), console(console_stream), outputs(files, &console) {}

  FileSystem* files;
  Console console;
  JobRecord job;
  OutputFiles outputs;
  PatternDictionary dictionary;
};

enum class JobOutcome {
  kConverted,  // the map block is written
  kSkipped,    // the bitmap was rejected; its message is written
  kRunEnds,    // the run must end at once; its message is written
};

// Loads, checks and converts the run's current job.
JobOutcome convertJob(RunState* run);

// The whole run; returns the exit status.
int runMain(FileSystem* files, WriteStream* console);

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_DRIVER_H_
