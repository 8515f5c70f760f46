// One job, from its bitmap to its map block: loads the image file, checks
// it, and has the tiling write the job's map words, its closing line and
// size macros to the outputs.
//
// A PNG is tiled while it is decoded, but whether the file is sound is known
// only once it is decoded whole: until then its map words are kept back, and
// the patterns they added are forgotten again if it is not.

#ifndef TESSARN_RUN_JOB_CONVERSION_H_
#define TESSARN_RUN_JOB_CONVERSION_H_

#include "image/image_problem.h"
#include "messages/failure.h"
#include "run/run_state.h"
#include "tiles/region_tiling.h"

namespace tessarn {

// Converts the run's current job, job `summary->number`, filling in the rest
// of `*summary` as far as the run's observer wants it. False if it could
// not be converted, with `*failure` saying why: a bitmap that is rejected
// has written nothing; a job that ends the run keeps what it wrote. Memory
// running out is a std::bad_alloc.
bool convertJob(RunState* run, JobSummary* summary, Failure* failure);

// Full-colour art (full_colour.h): the rules its tiles are made and
// checked by, each pixel palette * 2^bits + colour number in direct
// colours, the run having `palettes` palettes.
TilingRules chosenColourRules(const RunState& run, int palettes);
// Converts the run's current job, its tiles from `tiles`, encoded by those
// rules.
bool convertChosenColours(RunState* run, JobSummary* summary, const TilingRules& rules, TileSource* tiles,
                          Failure* failure);

// Turns an image's problem into the job's failure: false, with `*failure`
// set, if it has one; true if it has none. Memory that libspng ran out of
// (handed back as a value) is thrown as the std::bad_alloc it is everywhere
// else.
bool checkImageProblem(ImageProblem problem, const std::string& name, Failure* failure);

}  // namespace tessarn

#endif  // TESSARN_RUN_JOB_CONVERSION_H_
