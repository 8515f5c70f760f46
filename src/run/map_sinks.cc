#include "run/map_sinks.h"

#include <algorithm>

namespace tessarn {

void RecordingSink::replay(int64_t tiles_wide, MapCellSink* sink) const {
  size_t at = 0;
  for (int64_t row = 0; row < rowsBegun_; ++row) {
    sink->beginRow();
    const size_t end = at + std::min<size_t>(static_cast<size_t>(tiles_wide), cells_.size() - at);
    while (at < end) {
      const int count = static_cast<int>(std::min<size_t>(BufferedOutput::kMaxWords, end - at));
      sink->writeCells(cells_.data() + at, count);
      at += static_cast<size_t>(count);
    }
    if (row < rowsEnded_) sink->endRow();
  }
}

}  // namespace tessarn
