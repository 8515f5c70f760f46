// Draws a run as PNG images, to let a person see at a glance what the
// hardware will show:
//   patterns.png    every pattern a map word can name, in number order from
//                   the first (given ones included), 16 a row, 8 x 8 pixels
//                   each, no gaps; colour numbers 0 to 3 as four greys from
//                   black to white
//   NNN-NAME.png    each converted job's map, drawn from its map words and
//                   the patterns, mirrored as each word says: tiles wide x 8
//                   by tiles high x 8 pixels. NNN is the job's number in the
//                   list (from 001), NAME its name with every byte but A-Z,
//                   a-z, 0-9, '-' and '_' made '_', cut to 64 bytes. Entry k
//                   of its palette is the colour that the job's colour[k] has
//                   in its own bitmap, or the grey of colour k where that
//                   bitmap has no such entry.
// Both are indexed with entry k for colour number k, so converting them
// again with colours 0 1 2 3 gives the same patterns and map words.
//
// A job with no tiles has nothing to draw and gets no image. A map of more
// than 2^28 pixels is not drawn: that is reported as a failure, as is an
// image that cannot be written.

#ifndef TESSARN_VIEWS_PREVIEW_IMAGES_H_
#define TESSARN_VIEWS_PREVIEW_IMAGES_H_

#include <string>
#include <vector>

#include "io/file_system.h"
#include "run/run_observer.h"

namespace tessarn {

class PreviewImages : public RunObserver {
 public:
  // Writes the images through `files`, into whatever directory it writes.
  explicit PreviewImages(FileSystem* files) : files_(files) {}

  bool wantsMapWords(int64_t tiles) const override;
  bool wantsPalette() const override { return true; }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override;
  void runFinished(const PatternDictionary& dictionary) override;

  // One line for every image that could not be made.
  const std::vector<std::string>& failures() const { return failures_; }

  // The file name of a job's image.
  static std::string imageName(int64_t number, const std::string& job_name);

 private:
  FileSystem* files_;
  std::vector<std::string> failures_;
};

}  // namespace tessarn

#endif  // TESSARN_VIEWS_PREVIEW_IMAGES_H_
