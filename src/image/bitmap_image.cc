#include "image/bitmap_image.h"

#include <algorithm>
#include <cstring>

#include "image/run_length.h"

namespace tessarn {
namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kNoCompression = 0;
constexpr uint32_t kRunLength8 = 1;
constexpr uint32_t kRunLength4 = 2;
constexpr uint32_t kBitFields = 3;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t readSigned32(const uint8_t* p) {
  uint32_t u = read32(p);
  int32_t s;
  std::memcpy(&s, &u, sizeof s);
  return s;
}

// Reads the header fields, or false if this is not a BMP we can read.
bool readHeader(const uint8_t* data, uint64_t size, BitmapHeader* header, uint32_t* compression) {
  if (size < 18 || data[0] != 'B' || data[1] != 'M') return false;
  uint32_t info_size = read32(data + 14);
  header->headerSize = info_size;
  header->pixelOffset = read32(data + 10);
  if (info_size == kCoreHeaderSize) {
    if (size < 26) return false;
    header->width = read16(data + 18);
    header->height = read16(data + 20);
    header->bitCount = read16(data + 24);
    *compression = kNoCompression;
    return true;
  }
  if (info_size < kInfoHeaderSize || size < 34) return false;
  header->width = readSigned32(data + 18);
  int64_t height = readSigned32(data + 22);
  header->topDown = height < 0;
  header->height = height < 0 ? -height : height;
  header->bitCount = read16(data + 28);
  *compression = read32(data + 30);
  return true;
}

// The run-length compression that goes with a depth, if any.
uint32_t runLengthFor(int bit_count) {
  if (bit_count == 8) return kRunLength8;
  if (bit_count == 4) return kRunLength4;
  return kNoCompression;
}

}  // namespace

ReadStatus loadBitmap(FileSystem* files, const std::string& name, BitmapImage* image) {
  image->file = files->openRandomAccess(name);
  if (!image->file) return ReadStatus::kMissing;
  image->headSize = static_cast<size_t>(std::min<uint64_t>(image->head.size(), image->file->size()));
  return image->file->readAt(0, image->head.data(), image->headSize) ? ReadStatus::kOk : ReadStatus::kMissing;
}

Palette bitmapPalette(const BitmapImage& image, const BitmapHeader& header) {
  const uint8_t* head = image.head.data();
  const uint64_t size = image.file->size();
  const bool core = header.headerSize == kCoreHeaderSize;
  const uint64_t entry_size = core ? 3 : 4;
  const uint64_t start = 14 + uint64_t{header.headerSize};
  uint64_t count = uint64_t{1} << header.bitCount;
  // biClrUsed, when the file has it and it is set.
  if (!core && size >= 50 && read32(head + 46) != 0) count = std::min<uint64_t>(count, read32(head + 46));
  const uint64_t end = std::min<uint64_t>(size, header.pixelOffset);
  if (end > start) count = std::min(count, (end - start) / entry_size);
  else count = 0;
  uint8_t entries[256 * 4];
  Palette palette;
  if (!image.file->readAt(start, entries, static_cast<size_t>(count * entry_size))) return palette;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* bgr = entries + i * entry_size;
    palette.add({bgr[2], bgr[1], bgr[0]});
  }
  return palette;
}

int64_t rowStride(int bit_count, int64_t width) { return (bit_count * width + 31) / 32 * 4; }

ImageProblem checkBitmap(const BitmapImage& image, BitmapHeader* header, bool full_colour) {
  // Every field read lies in the head, where the file is long enough.
  const uint8_t* data = image.head.data();
  const uint64_t size = image.file->size();
  uint32_t compression = 0;
  if (!readHeader(data, size, header, &compression)) return ImageProblem::kNotBmp;
  const bool colour = full_colour && (header->bitCount == 24 || header->bitCount == 32);
  if (header->bitCount != 1 && header->bitCount != 4 && header->bitCount != 8 && !colour) {
    return ImageProblem::kNotIndexed;
  }
  header->runLength = compression != kNoCompression && compression == runLengthFor(header->bitCount);
  const bool bit_fields = header->bitCount == 32 && compression == kBitFields;
  if (compression != kNoCompression && !header->runLength && !bit_fields) {
    return ImageProblem::kUnsupportedCompression;
  }
  if (bit_fields) {
    // The masks follow a 40-byte header, or are its own; alpha's only in a
    // header that holds it.
    uint8_t masks[16] = {};
    const size_t alpha = header->headerSize >= 56 ? 4 : 0;
    if (!image.file->readAt(54, masks, 12 + alpha)) return ImageProblem::kNotBmp;
    for (int i = 0; i < 4; ++i) header->masks[i] = read32(masks + 4 * i);
  }
  if (header->runLength && header->width * header->height > kMaxHeldPixels) {
    return ImageProblem::kUnsupportedCompression;
  }
  if (header->width < 1 || header->height == 0) return ImageProblem::kNotBmp;
  // The width is below 2^31 and the height at most 2^31, so neither the
  // stride nor the pixel array's end can overflow 64 bits.
  if (header->runLength) {
    if (header->pixelOffset > size) return ImageProblem::kNotBmp;
  } else {
    int64_t end = int64_t{header->pixelOffset} +
                  rowStride(header->bitCount, header->width) * header->height;
    if (end > static_cast<int64_t>(size)) return ImageProblem::kNotBmp;
  }
  return ImageProblem::kNone;
}

ImageProblem makePixelGrid(const BitmapImage& image, const BitmapHeader& header, FileBytes* whole,
                           FileBytes* decoded, PixelGrid* grid, bool* cut_short) {
  switch (image.file->readWhole(whole)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      return ImageProblem::kReadFailed;
  }
  // The file may have changed since it was checked.
  if (whole->size() != image.file->size()) return ImageProblem::kReadFailed;
  const uint8_t* pixels = whole->data() + header.pixelOffset;
  int64_t stride = rowStride(header.bitCount, header.width);
  grid->bitCount = header.bitCount;
  if (header.runLength) {
    size_t count = static_cast<size_t>(header.width * header.height);
    uint8_t* buffer = decoded->allocate(count);
    std::memset(buffer, 0, count);
    *cut_short = !decodeRunLength(pixels, whole->size() - header.pixelOffset, header.bitCount, header.width,
                                  header.height, buffer);
    pixels = buffer;
    stride = header.width;
    grid->bitCount = 8;
  }
  grid->width = header.width;
  grid->height = header.height;
  grid->firstRow = 0;
  if (header.topDown) {
    grid->rows = pixels;
    grid->rowStep = static_cast<ptrdiff_t>(stride);
  } else {
    grid->rows = pixels + (header.height - 1) * stride;
    grid->rowStep = -static_cast<ptrdiff_t>(stride);
  }
  return ImageProblem::kNone;
}

}  // namespace tessarn
