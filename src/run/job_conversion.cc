#include "run/job_conversion.h"

#include <algorithm>
#include <new>
#include <string>

#include "image/bitmap_image.h"
#include "image/bmp_rows.h"
#include "image/png_image.h"
#include "target/colour_format.h"
#include "run/map_sinks.h"
#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

Rectangle rectangleOf(const JobRecord& job) { return {job.x, job.y, job.width, job.height}; }

}  // namespace

bool checkImageProblem(ImageProblem problem, const std::string& name, Failure* failure) {
  switch (problem) {
    case ImageProblem::kNone:
      return true;
    case ImageProblem::kNotBmp:
      *failure = {MessageId::kNotBmp, name};
      return false;
    case ImageProblem::kNotIndexed:
      *failure = {MessageId::kNotIndexed, name};
      return false;
    case ImageProblem::kUnsupportedCompression:
      *failure = {MessageId::kUnsupportedCompression, name};
      return false;
    case ImageProblem::kUnreadablePng:
      *failure = {MessageId::kUnreadablePng, name};
      return false;
    case ImageProblem::kReadFailed:
      *failure = {MessageId::kBitmapMissing, name};
      return false;
    case ImageProblem::kOutOfMemory:
      throw std::bad_alloc();
  }
  throw std::bad_alloc();  // not reached: every problem is listed
}

namespace {

// What the run's observer wants of a job's summary.
bool wants(const RunState& run, bool (RunObserver::*question)() const) {
  return run.observer() != nullptr && (run.observer()->*question)();
}

// How the job's tiles are made: its colouring, and the palette rules of
// the target.
TilingRules tilingRules(const RunState& run) {
  const RunSettings& settings = run.settings();
  const Target& target = *settings.target;
  TilingRules rules;
  rules.colouring.direct = settings.colours == ColourMode::kDirect;
  std::copy(run.job().colour, run.job().colour + 4, rules.colouring.colour);
  rules.colouring.bitsPerPixel = target.bitsPerPixel;
  rules.colouring.palette = paletteFor(settings.palettes, run.job().name);
  rules.highestPalette = target.hasPaletteField() ? target.paletteCount() - 1 : 0;
  rules.areaPalettes = target.entry == EntryKind::kByteAndAreaTable;
  return rules;
}

// Whether the tiles' palettes can break the rules, so that the job's cells
// must be kept back until its end. (At 8 bits a pixel there is no palette
// above the colour.)
bool palettesMayFail(const TilingRules& rules) {
  return rules.colouring.direct && rules.colouring.bitsPerPixel < 8;
}

// A job's map block in the outputs: opened, filled by the tiling (straight,
// or counted on the way when the run's observer wants counts or cells),
// and closed.
class JobBlock {
 public:
  JobBlock(RunState* run, JobSummary* summary, const TilingRules& rules)
      : run_(run),
        summary_(summary),
        rules_(rules),
        patternsBefore_(run->dictionary().count()),
        output_(&run->outputs()),
        counting_(&output_, summary, keptCells(*run, summary)) {}

  const TilingRules& rules() const { return rules_; }

  // Opens the block; the map cells follow through the sink returned.
  MapCellSink* begin() {
    const JobRecord& job = run_->job();
    run_->outputs().beginMapArray({job.name, summary_->number, job.width, job.height,
                                   attributesFor(run_->settings().attributes, job.name), rules_.colouring.palette});
    const bool counted = wants(*run_, &RunObserver::wantsCounts) || summary_->mapCells.has_value();
    return counted ? static_cast<MapCellSink*>(&counting_) : &output_;
  }

  // Forgets the patterns the job added: it turned out not to convert.
  void takeBack() { run_->dictionary().truncate(patternsBefore_); }

  // Ends the job the tiling did: false, with `*failure` set, if it filled
  // the dictionary (the block stays open, as far as it got) or broke a
  // palette rule (nothing of it written: the caller kept its cells back);
  // else closes the block.
  bool end(TilingResult result, const PaletteProblem& problem, Failure* failure) {
    summary_->newPatterns = run_->dictionary().count() - patternsBefore_;
    switch (result) {
      case TilingResult::kDictionaryFull:
        *failure = {MessageId::kTooManyPatterns, std::to_string(run_->dictionary().layout().patternLimit)};
        return false;
      case TilingResult::kPaletteFailed:
        takeBack();
        *failure = paletteFailure(problem);
        return false;
      case TilingResult::kDone:
      case TilingResult::kRowsFailed:
        break;
    }
    run_->outputs().endMapArray();
    return true;
  }

 private:
  // Where the cells go, if the observer wants them kept.
  static std::vector<MapCell>* keptCells(const RunState& run, JobSummary* summary) {
    const RunObserver* observer = run.observer();
    if (observer == nullptr || !observer->wantsMapCells(summary->tilesWide * summary->tilesHigh)) return nullptr;
    return &summary->mapCells.emplace();
  }

  Failure paletteFailure(const PaletteProblem& problem) const {
    const std::string& name = run_->job().bitmapName;
    switch (problem.kind) {
      case PaletteProblem::kTwoPalettes:
        return {MessageId::kTwoPalettes, name, {problem.x, problem.y}};
      case PaletteProblem::kPaletteTooHigh:
        return {MessageId::kPaletteTooHigh, name, {problem.x, problem.y, problem.palette}};
      case PaletteProblem::kAreaTwoPalettes:
        break;
    }
    return {MessageId::kAreaTwoPalettes, name, {problem.x, problem.y}};
  }

  RunState* run_;
  JobSummary* summary_;
  const TilingRules rules_;
  int patternsBefore_;
  OutputSink output_;
  CountingSink counting_;
};

// Whether the job's summary is to hold its image's colours: for the
// observer, or for the job's palettes.
bool wantsImagePalette(const RunState& run) {
  return wants(run, &RunObserver::wantsPalette) || run.settings().paletteFormat != ColourFormat::kNone;
}

// The job's palettes as colour values: mapped colours, its four; direct
// colours, the image's entries in blocks of 2^bits, from palette 0 to the
// highest its cells are in (an index the image's palette has not is black).
std::vector<std::vector<uint32_t>> jobPalettes(const RunState& run, const Palette& image, int highest) {
  const RunSettings& settings = run.settings();
  const ColourFormat format = settings.paletteFormat;
  const auto value = [&](int32_t index) {
    const Rgb colour = image.colourOf(index, Rgb{});
    return colourValue(format, colour, image.has(index) ? index : -1);
  };
  std::vector<std::vector<uint32_t>> palettes;
  if (settings.colours == ColourMode::kMapped) {
    palettes.emplace_back();
    for (int32_t index : run.job().colour) palettes.back().push_back(value(index));
    return palettes;
  }
  const int size = 1 << settings.target->bitsPerPixel;
  for (int p = 0; p <= highest; ++p) {
    palettes.emplace_back();
    for (int c = 0; c < size; ++c) palettes.back().push_back(value(p * size + c));
  }
  return palettes;
}

// Whether work on this many bytes of pixels is worth a thread of its own.
bool rowsOnThread(const RunState& run, uint64_t bytes) {
  return run.settings().threads >= 2 && bytes >= run.settings().threadBytes;
}

// Where the tiling counts unnamed pixels (of mapped colours): the summary,
// if warnings are wanted.
UnnamedPixels* unnamedCount(const RunState& run, JobSummary* summary) {
  const bool mapped = run.settings().colours == ColourMode::kMapped;
  return mapped && wants(run, &RunObserver::wantsWarnings) ? &summary->unnamedPixels : nullptr;
}

bool convertBmp(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  const Rectangle rectangle = rectangleOf(job);
  BitmapHeader header;
  if (!checkImageProblem(checkBitmap(image, &header), job.bitmapName, failure)) return false;
  PixelGrid grid;
  FileBytes whole;
  FileBytes decoded;
  BmpRows rows;
  // A big rectangle's tiles are encoded on a thread of their own, which
  // also reads the rows as it needs them: looking tiles up is what is left
  // on this one.
  const bool encode_on_thread = rowsOnThread(*run, static_cast<uint64_t>(summary->tilesWide * summary->tilesHigh) * 64);
  const size_t budget = run->settings().rowBudget;
  if (BmpRows::fits(header, budget)) {
    const RowSpan span = rowsCovered(rectangle);
    rows.read(image.file.get(), header, span.first, span.last, false, budget, &run->rowStorage(), &grid);
  } else if (!checkImageProblem(makePixelGrid(image, header, &whole, &decoded, &grid, &summary->runLengthCutShort),
                                job.bitmapName, failure)) {
    return false;
  }
  if (wantsImagePalette(*run)) summary->palette = bitmapPalette(image, header);
  JobBlock block(run, summary, tilingRules(*run));
  PaletteProblem problem;
  TilingResult result;
  if (palettesMayFail(block.rules())) {
    RecordingSink recording;
    result = tileRegion(rectangle, block.rules(), grid, &run->dictionary(), &recording, encode_on_thread,
                        unnamedCount(*run, summary), &problem);
    if (result != TilingResult::kPaletteFailed) recording.replay(summary->tilesWide, block.begin());
  } else {
    result = tileRegion(rectangle, block.rules(), grid, &run->dictionary(), block.begin(), encode_on_thread,
                        unnamedCount(*run, summary), &problem);
  }
  // A file that changed while it was read ends the run where it is.
  if (grid.feed != nullptr && !checkImageProblem(rows.finish(), job.bitmapName, failure)) return false;
  return block.end(result, problem, failure);
}

bool convertPng(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  FileBytes bytes;
  switch (image.file->readWhole(&bytes)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      return checkImageProblem(ImageProblem::kReadFailed, job.bitmapName, failure);
  }
  PngImage png;
  if (!checkImageProblem(png.open(bytes.data(), bytes.size()), job.bitmapName, failure)) return false;
  if (wantsImagePalette(*run)) summary->palette = png.palette();
  const Rectangle rectangle = rectangleOf(job);
  const RowSpan rows = rowsCovered(rectangle);
  // The whole image is decoded, to check it.
  const uint64_t row_bytes = static_cast<uint64_t>((png.width() * png.bitDepth() + 7) / 8);
  PixelGrid grid;
  const bool on_thread = rowsOnThread(*run, row_bytes * static_cast<uint64_t>(png.height()));
  const ImageProblem decoding =
      png.decode(rows.first, rows.last, on_thread, run->settings().rowBudget, &run->rowStorage(), &grid);
  if (!checkImageProblem(decoding, job.bitmapName, failure)) return false;
  JobBlock block(run, summary, tilingRules(*run));
  RecordingSink recording;
  PaletteProblem problem;
  const TilingResult result = tileRegion(rectangle, block.rules(), grid, &run->dictionary(), &recording, false,
                                         unnamedCount(*run, summary), &problem);
  if (!checkImageProblem(png.finish(), job.bitmapName, failure)) {
    block.takeBack();
    return false;
  }
  if (result != TilingResult::kPaletteFailed) recording.replay(summary->tilesWide, block.begin());
  return block.end(result, problem, failure);
}

}  // namespace

TilingRules chosenColourRules(const RunState& run, int palettes) {
  TilingRules rules = tilingRules(run);
  rules.colouring.direct = true;
  rules.highestPalette = palettes - 1;  // every tile is in one of them, palette field or none
  return rules;
}

bool convertChosenColours(RunState* run, JobSummary* summary, const TilingRules& rules, TileSource* tiles,
                          Failure* failure) {
  const JobRecord& job = run->job();
  summary->tilesWide = tilesFor(job.width);
  summary->tilesHigh = tilesFor(job.height);
  JobBlock block(run, summary, rules);
  PaletteProblem problem;
  const TilingResult result =
      tileEncoded({0, 0, job.width, job.height}, rules, tiles, &run->dictionary(), block.begin(), &problem);
  return block.end(result, problem, failure);
}

bool convertJob(RunState* run, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  summary->tilesWide = tilesFor(job.width);
  summary->tilesHigh = tilesFor(job.height);
  BitmapImage image;
  switch (loadBitmap(run->files(), job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      *failure = {MessageId::kBitmapMissing, job.bitmapName};
      return false;
  }
  const bool converted = isPng(image.head.data(), image.headSize) ? convertPng(run, image, summary, failure)
                                                                   : convertBmp(run, image, summary, failure);
  if (converted && run->settings().paletteFormat != ColourFormat::kNone && run->settings().colours != ColourMode::kAuto) {
    const int highest = run->outputs().highestPalette();
    summary->palettes = jobPalettes(*run, *summary->palette, highest >= 0 ? highest : paletteFor(run->settings().palettes, job.name));
    run->outputs().writePalettes(summary->palettes);
  }
  return converted;
}

}  // namespace tessarn
