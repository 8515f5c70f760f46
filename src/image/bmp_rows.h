// The rows of an uncompressed BMP that a rectangle needs, read from the file
// a piece at a time into a RowRing: only the rows the rectangle covers, each
// read once, into memory that stays in the cache (reading them is much
// cheaper than touching the pages of a mapped file). Rows of 1 or 4 bits a
// pixel are spread to a byte a pixel on the way.
//
// Rows too wide for a ring of a few megabytes are not read this way: the
// caller maps the file instead (fits() says which).

#ifndef TESSARN_IMAGE_BMP_ROWS_H_
#define TESSARN_IMAGE_BMP_ROWS_H_

#include <cstdint>
#include <memory>

#include "image/bitmap_image.h"
#include "image/row_ring.h"

namespace tessarn {

class BmpRows : private RowRing::Producer {
 public:
  // Whether an accepted, uncompressed bitmap's rows can be read this way.
  static bool fits(const BitmapHeader& header, size_t budget);

  // Starts reading rows [first, last) of the image (clipped to it) for
  // `grid`, in memory from `storage`; on a thread of its own if
  // `on_thread`. The file must outlive this.
  void read(RandomAccessFile* file, const BitmapHeader& header, int64_t first, int64_t last, bool on_thread,
            size_t budget, RowStorage* storage, PixelGrid* grid);
  // Waits for the reading to end: kNone, or kReadFailed if the file ended
  // before its rows did (it changed while it was read).
  ImageProblem finish() { return ring_.finish(); }

 private:
  bool step(RowRing* ring) override;

  RandomAccessFile* file_ = nullptr;
  BitmapHeader header_;
  int64_t stride_ = 0;
  int64_t chunkRows_ = 0;  // the most rows one read takes
  int64_t next_ = 0;       // the next row to read
  std::unique_ptr<uint8_t[]> packed_;  // rows as stored, to be spread
  RowRing ring_;
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_BMP_ROWS_H_
