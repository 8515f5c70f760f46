// The files a run writes that stand only after a complete run (status 0, or
// 1 under --strict): the C library (BASE.c, written as the run goes, and
// BASE.h at its end), the pattern file, the palette file (every job's
// palettes in job order, then the palettes full-colour art chose, in binary
// as the colour format writes them), and
// the depfile, written last so that it names the others. One rule holds for all of them: after any other
// status none of them is left, so that a build system runs tessarn again.
// (output.txt and the binary outputs keep what they were written.)

#ifndef TESSARN_CLI_AFTER_RUN_H_
#define TESSARN_CLI_AFTER_RUN_H_

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "io/file_system.h"
#include "run/run_observer.h"
#include "views/depfile.h"

namespace tessarn {

class AfterRunFiles : public RunObserver {
 public:
  // Files are written and removed through `files`, which take names from
  // where tessarn started; `dependencies` is the run's record of them.
  AfterRunFiles(const Options& options, FileSystem* files, const Dependencies* dependencies);

  // Whether the run needs to tell this of its jobs and end (for the tables).
  bool watches() const { return !patternFile_.empty() || !paletteFile_.empty(); }
  void jobFinished(const JobSummary& summary, const PatternDictionary&) override;
  void palettesChosen(const ChosenPalettes& chosen) override;
  void runFinished(const PatternDictionary& dictionary) override;

  // Writes what is due after a run that has come to `status`, or, if that
  // or the writing fails, removes all of them. A file that cannot be
  // written is a line on `errors` and makes the status -1. Returns the
  // status.
  int finish(int status, WriteStream* errors);

 private:
  // Writes the whole file; false if it cannot be.
  bool writeFile(const std::string& name, const std::string& contents);

  FileSystem* files_;
  const Dependencies* dependencies_;
  const Target& target_;
  std::string patternFile_;
  std::string paletteFile_;
  ColourFormat paletteFormat_;
  std::string depfile_;
  std::vector<std::string> library_;  // BASE.c and BASE.h, if made
  std::string patternTable_;
  std::string paletteTable_;
  std::vector<std::vector<uint32_t>> runPalettes_;  // full colour's, after the jobs'
};

}  // namespace tessarn

#endif  // TESSARN_CLI_AFTER_RUN_H_
