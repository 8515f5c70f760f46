// One output file with its own write buffer, and the forms its values
// take: hex text as output.txt writes them, and binary (16-bit words,
// little- or big-endian, or bytes): the one place that writes either. After
// the first failed write it drops everything, and close() reports the
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
#include <vector>

#include "io/file_system.h"
#include "messages/failure.h"

namespace tessarn {

// How a value is written: a 16-bit word (little-endian in binary, or
// big-endian), or a byte.
enum class ValueForm { kWord, kWordBigEndian, kByte };

// Bytes a value takes in binary.
inline size_t valueBytes(ValueForm form) { return form == ValueForm::kByte ? 1 : 2; }

// Writes values in binary at `at`, as `form` says: 16-bit words
// little-endian or big-endian, or bytes (a value's low 8 bits). Returns the
// end of what it wrote. The one place that orders a value's bytes.
inline char* putValues(char* at, const uint16_t* values, int count, ValueForm form) {
  for (int i = 0; i < count; ++i) {
    switch (form) {
      case ValueForm::kWord:
        *at++ = static_cast<char>(values[i] & 0xFF);
        *at++ = static_cast<char>(values[i] >> 8);
        break;
      case ValueForm::kWordBigEndian:
        *at++ = static_cast<char>(values[i] >> 8);
        *at++ = static_cast<char>(values[i] & 0xFF);
        break;
      case ValueForm::kByte:
        *at++ = static_cast<char>(values[i] & 0xFF);
        break;
    }
  }
  return at;
}

// Appends values in binary to `out`.
inline void appendValues(std::string* out, const std::vector<uint16_t>& values, ValueForm form) {
  const size_t at = out->size();
  out->resize(at + valueBytes(form) * values.size());
  putValues(out->data() + at, values.data(), static_cast<int>(values.size()), form);
}

class BufferedOutput {
 public:
  BufferedOutput(std::string name, std::unique_ptr<WriteStream> stream);
  ~BufferedOutput();

  // Inline, as are the value writers: most pieces are a few bytes.
  void append(std::string_view bytes) {
    if (bytes.size() > kBufferSize) return appendLong(bytes);
    std::memcpy(reserve(bytes.size()), bytes.data(), bytes.size());
  }

  // Values in binary (putValues()); at most kMaxWords at a time.
  void appendValues(const uint16_t* values, int count, ValueForm form) {
    assert(count >= 0 && count <= kMaxWords);
    putValues(reserve(valueBytes(form) * static_cast<size_t>(count)), values, count, form);
  }

  // Values as output.txt writes them: "0x", four upper-case hex digits
  // (two for bytes), ", "; at most kMaxWords at a time.
  void appendHexValues(const uint16_t* values, int count, ValueForm form) {
    assert(count >= 0 && count <= kMaxWords);
    if (form == ValueForm::kByte) {
      char* at = reserve(6 * static_cast<size_t>(count));
      for (int i = 0; i < count; ++i, at += 6) {
        at[0] = '0';
        at[1] = 'x';
        std::memcpy(at + 2, kHexPairs[values[i] & 0xFF].data(), 2);
        at[4] = ',';
        at[5] = ' ';
      }
      return;
    }
    char* at = reserve(8 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i, at += 8) {
      at[0] = '0';
      at[1] = 'x';
      std::memcpy(at + 2, kHexPairs[values[i] >> 8].data(), 2);
      std::memcpy(at + 4, kHexPairs[values[i] & 0xFF].data(), 2);
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
