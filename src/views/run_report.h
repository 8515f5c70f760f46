// A summary of a run for a person, one line per job of the list and the
// pattern count last:
//
//   job  name   tiles  new  reused  mirrored
//     1  sky    8x2      1      15         3
//     2  odd    skipped: odd.bmp is not a BMP file
//   patterns: 2 of 16384
//
// Tiles are the map's size in tiles; new, the patterns the job added;
// reused, its other tiles, and mirrored, how many of those are drawn
// mirrored. A job that was skipped or ended the run says why, in English. A
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
