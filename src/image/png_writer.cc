#include "image/png_writer.h"

#include <spng.h>

#include <memory>
#include <vector>

#include "image/spng_memory.h"

namespace tessarn {
namespace {

constexpr int64_t kMaxSide = 0x7FFFFFFF;  // PNG's limit on either side

int writeToStream(spng_ctx*, void* user, void* data, size_t length) {
  return static_cast<WriteStream*>(user)->write(static_cast<const char*>(data), length)
             ? 0
             : SPNG_IO_ERROR;
}

struct ContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

}  // namespace

bool writeIndexedPng(FileSystem* files, const std::string& name, int64_t width, int64_t height, int bit_depth,
                     const std::vector<Rgb>& palette, const RowPainter& paint, std::string* error) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    *error = name + ": " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is no size for a PNG image";
    return false;
  }
  std::unique_ptr<WriteStream> stream = files->create(name);
  if (!stream) {
    *error = name + " cannot be created";
    return false;
  }
  (void)spngRanOutOfMemory();  // nothing left over from another image
  std::unique_ptr<spng_ctx, ContextDeleter> ctx(spng_ctx_new2(spngAllocator(), SPNG_CTX_ENCODER));
  if (!ctx) throw std::bad_alloc();
  spng_ihdr ihdr{};
  ihdr.width = static_cast<uint32_t>(width);
  ihdr.height = static_cast<uint32_t>(height);
  ihdr.bit_depth = static_cast<uint8_t>(bit_depth);
  ihdr.color_type = SPNG_COLOR_TYPE_INDEXED;
  spng_plte plte{};
  plte.n_entries = static_cast<uint32_t>(palette.size());
  for (size_t k = 0; k < palette.size(); ++k) plte.entries[k] = {palette[k].red, palette[k].green, palette[k].blue, 255};
  int status = spng_set_png_stream(ctx.get(), writeToStream, stream.get());
  if (status == 0) status = spng_set_ihdr(ctx.get(), &ihdr);
  if (status == 0) status = spng_set_plte(ctx.get(), &plte);
  if (status == 0) {
    status = spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG,
                               SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  }
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  const int per_byte = 8 / bit_depth;
  std::vector<uint8_t> packed(static_cast<size_t>((width + per_byte - 1) / per_byte));
  const int mask = (1 << bit_depth) - 1;
  for (int64_t y = 0; y < height && status == 0; ++y) {
    paint(y, indices.data());
    std::fill(packed.begin(), packed.end(), 0);
    for (int64_t x = 0; x < width; ++x) {
      const int shift = 8 - bit_depth * static_cast<int>(x % per_byte + 1);
      packed[x / per_byte] = static_cast<uint8_t>(packed[x / per_byte] | (indices[x] & mask) << shift);
    }
    status = spng_encode_row(ctx.get(), packed.data(), packed.size());
    if (status == SPNG_EOI && y == height - 1) status = 0;
  }
  const bool closed = stream->close();
  if (status == SPNG_EMEM || spngRanOutOfMemory()) throw std::bad_alloc();
  if (status != 0 || !closed) {
    *error = "writing to " + name + " failed";
    return false;
  }
  return true;
}

}  // namespace tessarn
