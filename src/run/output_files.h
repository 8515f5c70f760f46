// output.txt and the binary outputs: the only code that knows their formats
// (map blocks, the pattern table, CR LF line ends, little-endian words; the
// README shows them to users).
//
// The pattern table holds the patterns the run added: every pattern of the
// dictionary after the ones it was given. Its count is MAX_PCG; a line
// "#define FIRST_PCG n" follows when its first pattern's number n is not 0.
//
// Every value written goes to output.txt as hex text and, while there is a
// current binary output, to it as a 16-bit word. Creating a binary output
// makes it the current one. Failures come back to the caller: an output
// that cannot be created, and (once per file, when it is closed) an output
// whose writes, flush or close failed.

#ifndef TESSARN_RUN_OUTPUT_FILES_H_
#define TESSARN_RUN_OUTPUT_FILES_H_

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"
#include "run/failure.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// One output file with its own write buffer. After the first failed write it
// drops everything, and close() reports the failure.
class BufferedOutput {
 public:
  BufferedOutput(std::string name, std::unique_ptr<WriteStream> stream);
  ~BufferedOutput();

  void append(std::string_view bytes);

  // 16-bit words, little-endian; at most kMaxWords at a time.
  void appendWords16(const uint16_t* words, int count) {
    char* at = reserve(2 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i, at += 2) {
      at[0] = static_cast<char>(words[i] & 0xFF);
      at[1] = static_cast<char>(words[i] >> 8);
    }
  }

  // Values as output.txt writes them: "0x", four upper-case hex digits,
  // ", "; at most kMaxWords at a time.
  void appendHexValues(const uint16_t* words, int count) {
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

  // Room for `size` (at most kBufferSize) more bytes in the buffer.
  char* reserve(size_t size) {
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

// The pattern table in binary, as a binary output ends with it: the
// patterns the run added, each as eight little-endian row words, top row
// first. A run reads a fixed set of patterns in the same form.
std::string binaryPatternTable(const PatternDictionary& dictionary);
// Reads patterns in that form; false if `bytes` are not a whole number of
// 16-byte patterns.
bool readBinaryPatternTable(std::string_view bytes, std::vector<Pattern>* patterns);

class OutputFiles {
 public:
  explicit OutputFiles(FileSystem* files) : files_(files) {}

  // Creates output.txt, or a binary output that becomes the current one
  // (the caller closes the one before). False, with `*failure` set, if the
  // file cannot be created.
  bool createTextOutput(Failure* failure);
  bool createBinaryOutput(const std::string& name, Failure* failure);

  void beginMapArray(std::string_view name);
  void beginMapRow();
  // At most BufferedOutput::kMaxWords words.
  void writeMapWords(const uint16_t* words, int count) { appendValues(words, count); }
  void endMapRow();
  void endMapArray(std::string_view name, int32_t width, int32_t height);
  void writePatternTable(const PatternDictionary& dictionary);

  // Close the current binary output, or output.txt, if it is open. False,
  // with `*failure` set, if that file was not written whole. Closing takes
  // no memory, so that the outputs can be closed when none is left.
  bool closeBinaryOutput(Failure* failure) { return close(&binary_, failure); }
  bool closeTextOutput(Failure* failure) { return close(&text_, failure); }

 private:
  bool create(const std::string& name, std::unique_ptr<BufferedOutput>* output, Failure* failure);
  bool close(std::unique_ptr<BufferedOutput>* output, Failure* failure);
  // To the text output and, if there is one, the binary output.
  void appendValues(const uint16_t* words, int count) {
    text_->appendHexValues(words, count);
    if (binary_) binary_->appendWords16(words, count);
  }

  FileSystem* files_;
  std::unique_ptr<BufferedOutput> text_;
  std::unique_ptr<BufferedOutput> binary_;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_OUTPUT_FILES_H_
