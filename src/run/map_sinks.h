// Where the tiling's map words go on their way out of a job:
//   OutputSink     into the outputs' map block, with the job's attributes;
//   CountingSink   counted (and kept, when asked) for a job's summary, then on;
//   RecordingSink  kept back whole, to be written later or never (a PNG whose
//                  verdict comes only once it is decoded to its end).

#ifndef TESSARN_RUN_MAP_SINKS_H_
#define TESSARN_RUN_MAP_SINKS_H_

#include <cstdint>
#include <vector>

#include "outputs/output_files.h"
#include "run/run_observer.h"
#include "tiles/region_tiling.h"

namespace tessarn {

// The job's attribute bits, if it has any, are ORed into every word here,
// on the words' way out: inside the run no word holds them.
class OutputSink : public MapWordSink {
 public:
  OutputSink(OutputFiles* outputs, uint16_t attributes) : outputs_(outputs), attributes_(attributes) {}
  void beginRow() override { outputs_->beginMapRow(); }
  void writeWords(const uint16_t* words, int count) override {
    if (attributes_ == 0) return outputs_->writeMapWords(words, count);
    uint16_t marked[BufferedOutput::kMaxWords];
    for (int i = 0; i < count; ++i) marked[i] = static_cast<uint16_t>(words[i] | attributes_);
    outputs_->writeMapWords(marked, count);
  }
  void endRow() override { outputs_->endMapRow(); }

 private:
  OutputFiles* outputs_;
  uint16_t attributes_;
};

class CountingSink : public MapWordSink {
 public:
  // `kept`, if not null, gets every word.
  CountingSink(MapWordSink* next, JobSummary* summary, std::vector<uint16_t>* kept)
      : next_(next), summary_(summary), kept_(kept) {}
  void beginRow() override { next_->beginRow(); }
  void writeWords(const uint16_t* words, int count) override {
    summary_->tilesWritten += count;
    for (int i = 0; i < count; ++i) summary_->mirrored += (words[i] & kMirrorBits) != 0;
    if (kept_ != nullptr) kept_->insert(kept_->end(), words, words + count);
    next_->writeWords(words, count);
  }
  void endRow() override { next_->endRow(); }

 private:
  MapWordSink* next_;
  JobSummary* summary_;
  std::vector<uint16_t>* kept_;
};

class RecordingSink : public MapWordSink {
 public:
  void beginRow() override { ++rowsBegun_; }
  void writeWords(const uint16_t* words, int count) override {
    words_.insert(words_.end(), words, words + count);
  }
  void endRow() override { ++rowsEnded_; }

  // Writes what was recorded to `sink`, in rows of `tiles_wide` words.
  void replay(int64_t tiles_wide, MapWordSink* sink) const;

 private:
  std::vector<uint16_t> words_;
  int64_t rowsBegun_ = 0;
  int64_t rowsEnded_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_MAP_SINKS_H_
