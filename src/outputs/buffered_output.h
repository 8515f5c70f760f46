// One output file with its own write buffer, and the two forms its values
// take: hex text as output.txt writes them, and 16-bit little-endian words.
// After the first failed write it drops everything, and close() reports the
// failure.

#ifndef TESSARN_OUTPUTS_BUFFERED_OUTPUT_H_
#define TESSARN_OUTPUTS_BUFFERED_OUTPUT_H_

#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "io/file_system.h"
#include "messages/failure.h"

namespace tessarn {

class BufferedOutput {
 public:
  BufferedOutput(std::string name, std::unique_ptr<WriteStream> stream);
  ~BufferedOutput();

  // (Inline: most pieces are a few bytes.)
  void append(std::string_view bytes) {
    if (bytes.size() > kBufferSize) return appendLong(bytes);
    std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
  }

  // 16-bit words, little-endian; at most kMaxWords at a time.
  void appendWords16(const uint16_t* words, int count) {
    assert(count >= 0 && count <= kMaxWords);
    char* at = reserve(2 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i, at += 2) {
      at[0] = static_cast<char>(words[i] & 0xFF);
      at[1] = static_cast<char>(words[i] >> 8);
    }
  }

  // Values as output.txt writes them: "0x", four upper-case hex digits,
  // ", "; at most kMaxWords at a time.
  void appendHexValues(const uint16_t* words, int count) {
    assert(count >= 0 && count <= kMaxWords);
    char* at = reserve(8 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i, at += 8) {
      at[0] = '0';
      at[1] = 'x';
      std::memcpy(at + 2, kHexPairs[words[i] >> 8].data(), 2);
      std::memcpy(at + 4, kHexPairs[words[i] & 0xFF].data(), 2);
      at[6] = ',';
      at[7] = ' ';
    }
  }

  static constexpr int kMaxWords = 1024;

  // Flushes and closes; false if any write, the flush or the close failed.
  bool close();
  std::string& name() { return name_; }

 private:
  static constexpr size_t kBufferSize = 1 << 16;
  // The two upper-case hex digits of every byte value.
  static const std::array<std::array<char, 2>, 256> kHexPairs;
  void flush();
  void appendLong(std::string_view bytes);

  // Room for `size` (at most kBufferSize) more bytes in the buffer.
  char* reserve(size_t size) {
    assert(size <= kBufferSize);
    if (kBufferSize - used_ < size) flush();
    char* at = buffer_.get() + used_;
    used_ += size;
    return at;
  }

  std::string name_;
  std::unique_ptr<WriteStream> stream_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};

// Closes `*output`, if it is open, and forgets it. False, with `*failure`
// set, if the file was not written whole. Takes no memory, so that outputs
// can be closed when none is left.
bool closeOutput(std::unique_ptr<BufferedOutput>* output, Failure* failure);

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_BUFFERED_OUTPUT_H_
