// A summary of a run for a person: a table with a line per job of the list
// (its size in tiles and the patterns it added, reused and mirrored, or why
// it was skipped or ended the run, in English), then the pattern count. A
// run that never started (no job list) has only the last line.

#ifndef TESSARN_VIEWS_RUN_REPORT_H_
#define TESSARN_VIEWS_RUN_REPORT_H_

#include <string>
#include <vector>

#include "run/run_observer.h"

namespace tessarn {

class RunReport : public RunObserver {
 public:
  bool wantsMapWords(int64_t) const override { return false; }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override;
  void runFinished(const PatternDictionary& dictionary) override;

  // The report, columns aligned, each line ending in "\n".
  std::string text() const;

 private:
  // A job's cells, left to right; a job that was not converted has its
  // reason as the third and last.
  std::vector<std::vector<std::string>> rows_;
  int patterns_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_VIEWS_RUN_REPORT_H_
