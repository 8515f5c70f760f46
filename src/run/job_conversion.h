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
#include "image/pixel_grid.h"
#include "messages/failure.h"
#include "run/run_state.h"

namespace tessarn {

// Converts the run's current job, job `summary->number`, filling in the rest
// of `*summary` as far as the run's observer wants it. False if it could
// not be converted, with `*failure` saying why: a bitmap that is rejected
// has written nothing; a job that ends the run keeps what it wrote. Memory
// running out is a std::bad_alloc.
bool convertJob(RunState* run, JobSummary* summary, Failure* failure);

// Converts the run's current job from colour numbers in palettes the run
// chose (full-colour art, full_colour.h): `grid` holds, for each pixel of
// the rectangle's tiles from their top-left, palette * 2^bits + colour
// number; the run may have `palettes` palettes.
bool convertChosenColours(RunState* run, JobSummary* summary, const PixelGrid& grid, int palettes, Failure* failure);

// Turns an image's problem into the job's failure: false, with `*failure`
// set, if it has one; true if it has none. Memory that libspng ran out of
// (handed back as a value) is thrown as the std::bad_alloc it is everywhere
// else.
bool checkImageProblem(ImageProblem problem, const std::string& name, Failure* failure);

}  // namespace tessarn

#endif  // TESSARN_RUN_JOB_CONVERSION_H_
