// One job, from its bitmap to its map block: loads the image file, checks
// it, and has the tiling write the job's map words, its closing line and
// size macros to the outputs.
//
// A PNG is tiled while it is decoded, but whether the file is sound is known
// only once it is decoded whole: until then its map words are kept back, and
// the patterns they added are forgotten again if it is not.

#ifndef TESSARN_RUN_JOB_CONVERSION_H_
#define TESSARN_RUN_JOB_CONVERSION_H_

#include "messages/failure.h"
#include "run/run_state.h"

namespace tessarn {

// Converts the run's current job, job `summary->number`, filling in the rest
// of `*summary` as far as the run's observer wants it. False if it could
// not be converted, with `*failure` saying why: a bitmap that is rejected
// has written nothing; a job that ends the run keeps what it wrote. Memory
// running out is a std::bad_alloc.
bool convertJob(RunState* run, JobSummary* summary, Failure* failure);

}  // namespace tessarn

#endif  // TESSARN_RUN_JOB_CONVERSION_H_
