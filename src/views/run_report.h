// A summary of a run for a person: a table with a line per job of the list
// (its size in tiles and the patterns it added, reused (tiles matched to
// patterns it found, given ones included) and mirrored, or why it was
// skipped or ended the run, in English), then the jobs' warnings
// (job_warnings.h), each after "warning: ", then "patterns: C of L": the
// highest pattern number used plus one, against the limit. A run that never
// started (no job list) has only the last line, with C = 0. Under a target
// other than classic, a line "target: NAME" comes first. Full-colour art
// adds, before the last line, "palettes: N (the fewest possible)" or
// "palettes: N (no fewer than L)", and the patterns the colours' order
// saved.

#ifndef TESSARN_VIEWS_RUN_REPORT_H_
#define TESSARN_VIEWS_RUN_REPORT_H_

#include <string>
#include <vector>

#include "run/run_observer.h"
#include "target/target.h"

namespace tessarn {

class RunReport : public RunObserver {
 public:
  RunReport(const Target& target, int pattern_limit) : target_(target), patternLimit_(pattern_limit) {}

  bool wantsCounts() const override { return true; }
  bool wantsWarnings() const override { return true; }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override;
  void palettesChosen(const ChosenPalettes& chosen) override;
  void runFinished(const PatternDictionary& dictionary) override;

  // The report, columns aligned, each line ending in "\n".
  std::string text() const;

 private:
  // A job's cells, left to right; a job that was not converted has its
  // reason as the third and last.
  std::vector<std::vector<std::string>> rows_;
  std::vector<std::string> warnings_;
  std::string palettes_;  // full-colour art's line, if any
  const Target& target_;
  int patternLimit_;
  int patterns_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_VIEWS_RUN_REPORT_H_
