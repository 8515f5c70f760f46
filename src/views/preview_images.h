// Draws a run as PNG images, to let a person see at a glance what the
// hardware will show:
//   patterns.png    every pattern a map word can name, in number order from
//                   the first (given ones included), 16 a row, 8 x 8 pixels
//                   each, no gaps; colour numbers as 2^bits greys from black
//                   to white (bits: the target's)
//   NNN-NAME.png    each converted job's map, drawn from its cells and the
//                   patterns, mirrored as each cell says: tiles wide x 8 by
//                   tiles high x 8 pixels. NNN is the job's number in the
//                   list (from 001), NAME its name with every byte but A-Z,
//                   a-z, 0-9, '-' and '_' made '_', cut to 64 bytes. Mapped
//                   colours: entry k of its palette is the colour that the
//                   job's colour[k] has in its own bitmap, or the grey of
//                   colour k where that bitmap has no such entry. Direct
//                   colours: a pixel is entry palette x 2^bits + colour, the
//                   bitmap's colours (its own greys where it has none).
//                   Where the run writes palettes, each colour is the one
//                   the machine shows for it. Full-colour art: a pixel is
//                   entry palette x 2^bits + colour, of the run's palettes.
// Each is indexed so that converting it again (patterns.png and direct
// colours' images with --colours direct, mapped colours' with colours
// 0 1 2 3) gives the same patterns and map cells.
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
#include "run/run_settings.h"

namespace tessarn {

class PreviewImages : public RunObserver {
 public:
  // Writes the images through `files`, into whatever directory it writes,
  // for a run of these colours; where palettes are written in a colour
  // format, the maps are drawn in the colours the machine shows for them.
  PreviewImages(FileSystem* files, ColourMode colours, ColourFormat format = ColourFormat::kNone)
      : files_(files), colours_(colours), format_(format) {}

  bool wantsMapCells(int64_t tiles) const override;
  bool wantsPalette() const override { return true; }
  void palettesChosen(const ChosenPalettes& chosen) override { chosen_ = chosen.palettes; }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override;
  void runFinished(const PatternDictionary& dictionary) override;

  // One line for every image that could not be made.
  const std::vector<std::string>& failures() const { return failures_; }

  // The file name of a job's image.
  static std::string imageName(int64_t number, const std::string& job_name);

 private:
  FileSystem* files_;
  ColourMode colours_;
  ColourFormat format_;
  std::vector<std::vector<uint32_t>> chosen_;  // full-colour art's palettes
  std::vector<std::string> failures_;
};

}  // namespace tessarn

#endif  // TESSARN_VIEWS_PREVIEW_IMAGES_H_
