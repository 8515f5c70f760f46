// tessarn run as its options say: the classic run, and around it the views
// the options ask for (report, preview images, depfile, pattern file) and
// the exit status they make.

#ifndef TESSARN_CLI_TOOL_H_
#define TESSARN_CLI_TOOL_H_

#include <string>

#include "cli/command_line.h"
#include "io/file_system.h"

namespace tessarn {

// Reads the patterns of --patterns-from, if given, through `files` (the
// files as seen from where tessarn started) into the options' start
// patterns. False, with `*error` set, if the file is missing, empty, not a
// whole number of patterns, or holds more than fit between the first
// pattern number and the limit: a usage error, before anything is written.
bool readGivenPatterns(FileSystem* files, Options* options, std::string* error);

// Checks that -C names a directory, and makes the -o and --preview
// directories (parents too) if they are missing. False, with `*error` set,
// if that cannot be done: a usage error, before anything is read.
bool prepareDirectories(const Options& options, std::string* error);

// The threads a run may use: 2 where the process may run on two processors
// or more, 1 otherwise or if `setting` (TESSARN_THREADS, if set) is "1".
int threadsToUse(const char* setting);

// Runs tessarn; messages go to `console`, the report and the views' own
// failures to `errors`. Returns the exit status.
int runTool(const Options& options, WriteStream* console, WriteStream* errors);

}  // namespace tessarn

#endif  // TESSARN_CLI_TOOL_H_
