// tessarn's options, read with CLI11, which also writes --help from their
// descriptions. With none, tessarn runs exactly as it always has.
// Paths on the command line are taken from where tessarn was started.
//
// Numbers are decimal or 0x hex. Every value is checked here, alone and
// against the others (a first pattern number below the limit, attribute
// bits clear of the number and mirror bits), so that a bad one is a usage
// error before anything is read; the fixed patterns' file is read and
// checked later, by the tool, still before any job.

#ifndef TESSARN_CLI_COMMAND_LINE_H_
#define TESSARN_CLI_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "messages/messages.h"
#include "run/run_state.h"

namespace tessarn {

struct Options {
  std::string directory;        // -C; empty: the working directory
  std::string outputDirectory;  // -o; empty: the same as `directory`
  std::string depfile;
  std::string previewDirectory;
  bool report = false;
  bool strict = false;
  MessageLanguage messages = MessageLanguage::kShiftJis;
  // The numbering, limit and mirroring of patterns, and whether duplicates
  // are kept; the start patterns come from `patternsFrom`, once read.
  DictionarySettings patterns;
  std::vector<AttributeRule> attributes;
  std::string patternsFrom;  // --patterns-from; empty: none
  std::string patternFile;   // --pattern-file; empty: none
  std::string cSource;       // --c-source BASE; empty: none
  std::string symbolPrefix;  // --symbol-prefix
  // Not an option: 2 where the process may run on two processors or more,
  // unless the environment says TESSARN_THREADS=1.
  int threads = 1;
};

enum class CommandLine {
  kRun,          // run with the options
  kDone,         // help or version written; exit 0
  kUsageError,   // `*error` says what is wrong; exit 2
};

// Parses the arguments; help and the version go to `*out`.
CommandLine parseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* out, std::string* error);

}  // namespace tessarn

#endif  // TESSARN_CLI_COMMAND_LINE_H_
