// A run's maps and pattern table as a small C library that a game compiles
// as it is: BASE.c defines the arrays, const (so that the compilers of small
// machines keep them in read-only memory), with the same words output.txt
// holds; BASE.h declares them, with macros for their sizes:
//
//   extern const unsigned short SYMBOL[];   one per converted job with tiles
//   #define SYMBOL_WIDTH n                  its size in tiles (both 0 for a
//   #define SYMBOL_HEIGHT n                 job with no tiles, which has no array)
//   extern const unsigned short Ppatterns[];  the patterns the run added
//   #define PPATTERN_COUNT n                  (no array if it added none)
//   #define PFIRST_PATTERN n                  the number of the first of them
//
// P is the symbol prefix. A job's SYMBOL is P and its name with every byte
// but A-Z, a-z, 0-9 and '_' made '_', with "map_" in front if it would not
// start with a letter, cut so that it stays within kMaxSymbol characters
// with its longest suffix. A symbol that is taken (by an earlier job, the
// pattern table's names, the include guard, or a keyword of C, C++ or
// cc65) gets '_' and the job's number appended, cut
// further to stay within the length, and again while taken. Every name the
// files define is distinct. The files compile as C89 and as C++.
//
// Lines end in CR LF, as in output.txt.

#ifndef TESSARN_OUTPUTS_C_LIBRARY_H_
#define TESSARN_OUTPUTS_C_LIBRARY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/file_system.h"
#include "messages/failure.h"
#include "outputs/buffered_output.h"
#include "outputs/c_names.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

struct CLibrarySettings {
  std::string base;          // BASE, the files' path less ".c" or ".h"; empty: none
  std::string symbolPrefix;  // P
  FileSystem* files = nullptr;  // where BASE is taken from
};

class CLibrary {
 public:
  explicit CLibrary(const CLibrarySettings& settings);

  // Creates BASE.c; false, with `*failure` set, if it cannot be created.
  bool create(Failure* failure);

  // Job `number`'s map: its array, if it has tiles, in rows of words.
  void beginMap(const std::string& job_name, int64_t number, int64_t tiles_wide, int64_t tiles_high);
  void beginRow();
  void writeWords(const uint16_t* words, int count);
  void endRow();
  void endMap();

  // The patterns the run added, then BASE.h: the run is complete. False,
  // with `*failure` set, if BASE.h cannot be created.
  bool finish(const PatternDictionary& dictionary, Failure* failure);
  // Close BASE.c, or BASE.h, if it is open; false, with `*failure` set, if
  // it was not written whole.
  bool closeSource(Failure* failure) { return closeOutput(&source_, failure); }
  bool closeHeader(Failure* failure) { return closeOutput(&header_, failure); }

 private:
  struct Entry {
    std::string symbol;
    int64_t number;
    std::string jobName;
    int64_t tilesWide;
    int64_t tilesHigh;
  };
  std::string headerText(const PatternDictionary& dictionary) const;

  CLibrarySettings settings_;
  CNames names_;
  std::unique_ptr<BufferedOutput> source_;
  std::unique_ptr<BufferedOutput> header_;
  std::vector<Entry> entries_;
  bool inArray_ = false;
  bool anyArray_ = false;
};

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_C_LIBRARY_H_
