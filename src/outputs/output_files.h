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

#ifndef TESSARN_OUTPUTS_OUTPUT_FILES_H_
#define TESSARN_OUTPUTS_OUTPUT_FILES_H_

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"
#include "outputs/buffered_output.h"
#include "outputs/c_library.h"
#include "messages/failure.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

class OutputFiles {
 public:
  // With a library's base name in `library`, the map words and the pattern
  // table also go to its C files.
  explicit OutputFiles(FileSystem* files, const CLibrarySettings& library = {});

  // Creates output.txt, or a binary output that becomes the current one
  // (the caller closes the one before). False, with `*failure` set, if the
  // file cannot be created.
  // output.txt and, if there is to be one, the library's BASE.c.
  bool createTextOutput(Failure* failure);
  bool createBinaryOutput(const std::string& name, Failure* failure);

  // The map block of job `number`, its rectangle `width` x `height` pixels.
  void beginMapArray(const std::string& name, int64_t number, int32_t width, int32_t height);
  void beginMapRow();
  // At most BufferedOutput::kMaxWords words.
  void writeMapWords(const uint16_t* words, int count) {
    appendValues(words, count);
    if (library_) library_->writeWords(words, count);
  }
  void endMapRow();
  void endMapArray(std::string_view name, int32_t width, int32_t height);
  // The pattern table that ends a complete run (and the library's BASE.h).
  // False, with `*failure` set, if BASE.h cannot be created.
  bool writePatternTable(const PatternDictionary& dictionary, Failure* failure);

  // Close the current binary output, output.txt, or the library's files,
  // if they are open. False, with `*failure` set, if that file was not
  // written whole. Closing takes no memory, so that the outputs can be
  // closed when none is left.
  bool closeBinaryOutput(Failure* failure) { return closeOutput(&binary_, failure); }
  bool closeTextOutput(Failure* failure) { return closeOutput(&text_, failure); }
  bool closeLibrarySource(Failure* failure) { return !library_ || library_->closeSource(failure); }
  bool closeLibraryHeader(Failure* failure) { return !library_ || library_->closeHeader(failure); }

 private:
  bool create(const std::string& name, std::unique_ptr<BufferedOutput>* output, Failure* failure);
  // To the text output and, if there is one, the binary output.
  void appendValues(const uint16_t* words, int count) {
    text_->appendHexValues(words, count);
    if (binary_) binary_->appendWords16(words, count);
  }

  FileSystem* files_;
  std::unique_ptr<BufferedOutput> text_;
  std::unique_ptr<BufferedOutput> binary_;
  std::unique_ptr<CLibrary> library_;  // if the run makes one
};

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_OUTPUT_FILES_H_
