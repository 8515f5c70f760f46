// A run as its options configure it: the run driver's run, with around it
// the views the options ask for (report, warnings, preview images), the
// files read and written from where tessarn started (the given patterns,
// the C library, the pattern file, the depfile), and the exit status they
// all make.

#ifndef TESSARN_CLI_CONFIGURED_RUN_H_
#define TESSARN_CLI_CONFIGURED_RUN_H_

#include <string>

#include "cli/command_line.h"
#include "io/file_system.h"

namespace tessarn {

// How the run is carried out, beyond its options.
struct RunConditions {
  int threads = 1;  // threadsToUse()
  // Warnings go to standard error (a person is reading it), besides
  // --strict's.
  bool warnOnStandardError = false;
  // Images' rows (run_settings.h): the memory they may take, and the bytes
  // of rows worth a thread. Tests make them small, to reach the ring and
  // the threads with small images.
  size_t rowBudget = RowRing::kDefaultBudget;
  uint64_t threadBytes = uint64_t{1} << 20;
};

// Runs tessarn as `options` say, on `files` (names as the system takes them
// from where tessarn started): messages go to `console`; the report,
// warnings and the lines about files the options name to `errors`. Before
// the run, the --patterns-from files are read, -C is checked to be a
// directory, and the -o, --preview and --c-source directories are made
// (parents too) if missing: a usage error there (written to `errors`)
// leaves every file as it was. Returns the exit status.
int runConfigured(const Options& options, const RunConditions& conditions, FileSystem* files, WriteStream* console,
                  WriteStream* errors);

// A usage error's text: the line that says what is wrong and a hint.
std::string usageErrorText(const std::string& error);

}  // namespace tessarn

#endif  // TESSARN_CLI_CONFIGURED_RUN_H_
