// What a converted job did that its author may not have meant, as the
// report and the warnings on standard error say it, in English, one line
// each (without its end):
//
//   job N (NAME): the rectangle is W x H pixels: it has no tiles
//   job N (NAME): K pixels of BITMAP have palette indices that none of the job's colours names (the first at X,Y): they are colour 0
//   job N (NAME): BITMAP's run-length data ends before its last row: the rest is colour 0
//
// The second needs the job's unnamed pixels counted, which the tiling does
// only for an observer that wants warnings.

#ifndef TESSARN_RUN_JOB_WARNINGS_H_
#define TESSARN_RUN_JOB_WARNINGS_H_

#include <string>
#include <vector>

#include "run/run_observer.h"

namespace tessarn {

// None for a job that was skipped or ended the run.
std::vector<std::string> jobWarnings(const JobSummary& summary);

}  // namespace tessarn

#endif  // TESSARN_RUN_JOB_WARNINGS_H_
