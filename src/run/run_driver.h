// The whole run: reads the job list tessarn.txt, converts each job in order,
// and finishes output.txt (and the current binary output) with the table of
// every pattern the run found. It alone reports failures (on the console, in
// the run's language) and picks the exit status.

#ifndef TESSARN_RUN_RUN_DRIVER_H_
#define TESSARN_RUN_RUN_DRIVER_H_

#include "io/file_system.h"
#include "run/exit_status.h"
#include "run/run_settings.h"

namespace tessarn {

// The whole run; returns the exit status: kExitSuccess, kExitJobListMissing,
// or kExitFailure for a run that ended early or wrote an output only in part.
int runMain(FileSystem* files, WriteStream* console, const RunSettings& settings = {});

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_DRIVER_H_
