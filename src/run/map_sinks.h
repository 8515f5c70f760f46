// Where the tiling's map cells go on their way out of a job:
//   OutputSink     into the outputs' map block;
//   CountingSink   counted (and kept, when asked) for a job's summary, then on;
//   RecordingSink  kept back whole, to be written later or never (a job whose
//                  verdict comes only at its end: a PNG, decoded to its end,
//                  or direct colours, whose palettes may break the rules).

#ifndef TESSARN_RUN_MAP_SINKS_H_
#define TESSARN_RUN_MAP_SINKS_H_

#include <cstdint>
#include <vector>

#include "outputs/output_files.h"
#include "run/run_observer.h"
#include "tiles/region_tiling.h"

namespace tessarn {

class OutputSink : public MapCellSink {
 public:
  explicit OutputSink(OutputFiles* outputs) : outputs_(outputs) {}
  void beginRow() override { outputs_->beginMapRow(); }
  void writeCells(const MapCell* cells, int count) override { outputs_->writeMapCells(cells, count); }
  void endRow() override { outputs_->endMapRow(); }

 private:
  OutputFiles* outputs_;
};

class CountingSink : public MapCellSink {
 public:
  // `kept`, if not null, gets every cell.
  CountingSink(MapCellSink* next, JobSummary* summary, std::vector<MapCell>* kept)
      : next_(next), summary_(summary), kept_(kept) {}
  void beginRow() override { next_->beginRow(); }
  void writeCells(const MapCell* cells, int count) override {
    summary_->tilesWritten += count;
    for (int i = 0; i < count; ++i) summary_->mirrored += (cells[i].word & kMirrorBits) != 0;
    if (kept_ != nullptr) kept_->insert(kept_->end(), cells, cells + count);
    next_->writeCells(cells, count);
  }
  void endRow() override { next_->endRow(); }

 private:
  MapCellSink* next_;
  JobSummary* summary_;
  std::vector<MapCell>* kept_;
};

class RecordingSink : public MapCellSink {
 public:
  void beginRow() override { ++rowsBegun_; }
  void writeCells(const MapCell* cells, int count) override { cells_.insert(cells_.end(), cells, cells + count); }
  void endRow() override { ++rowsEnded_; }

  // Writes what was recorded to `sink`, in rows of `tiles_wide` cells.
  void replay(int64_t tiles_wide, MapCellSink* sink) const;

 private:
  std::vector<MapCell> cells_;
  int64_t rowsBegun_ = 0;
  int64_t rowsEnded_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_MAP_SINKS_H_
