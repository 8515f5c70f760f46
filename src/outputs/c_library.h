// A run's maps and pattern table as a small C library that a game compiles
// as it is: BASE.c defines the arrays, const (so that the compilers of small
// machines keep them in read-only memory), with the same values output.txt
// holds; BASE.h declares them, with macros for their sizes:
//
//   extern const unsigned short SYMBOL[];   one per converted job with tiles
//                                           (unsigned char: entries that are bytes)
//   extern const unsigned char SYMBOL_attr[];  its attribute map, if the target has them
//   extern const unsigned short SYMBOL_pal[];  its palettes, where they are written
//   #define SYMBOL_WIDTH n                  its size in tiles (both 0 for a
//   #define SYMBOL_HEIGHT n                 job with no tiles, which has no array)
//   #define SYMBOL_COLORS n                 the colours of its palettes
//   extern const unsigned short Ppatterns[];  the patterns the run added (unsigned
//                                             char, a pattern's bytes, but for classic)
//   #define PPATTERN_COUNT n                  (no array if it added none)
//   #define PPATTERN_SIZE n                   the bytes of a pattern, but for classic
//   #define PFIRST_PATTERN n                  the number of the first of them
//   extern const unsigned short Ppalettes[];  the palettes a run of full-colour
//   #define PPALETTE_COUNT n                  art chose
//
// P is the symbol prefix; the names follow c_names.h. Every name the files
// define is distinct. The files compile as C89 and as C++. Lines end in
// CR LF, as in output.txt.

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
#include "target/colour_format.h"
#include "target/target.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

struct CLibrarySettings {
  std::string base;          // BASE, the files' path less ".c" or ".h"; empty: none
  std::string symbolPrefix;  // P
  FileSystem* files = nullptr;  // where BASE is taken from
};

class CLibrary {
 public:
  // Entries are written as `form` says; palettes, where they are written,
  // in `palette_format`.
  CLibrary(const CLibrarySettings& settings, const Target& target, ValueForm form, ColourFormat palette_format);

  // Creates BASE.c; false, with `*failure` set, if it cannot be created.
  bool create(Failure* failure);

  // Job `number`'s map: its array, if it has tiles, in rows of entries,
  // then its attribute map's rows (if the target has them).
  void beginMap(const std::string& job_name, int64_t number, int64_t tiles_wide, int64_t tiles_high);
  void beginRow();
  void writeValues(const uint16_t* values, int count);
  void endRow();
  void endMap(const std::vector<std::vector<uint16_t>>& attribute_rows);
  // The palettes a run of full-colour art chose, a row of values each, for
  // finish() to write ("PPALETTE_COUNT", and "Ppalettes[]" if there are
  // any: C has no empty arrays).
  void setRunPalettes(std::vector<std::vector<uint16_t>> rows, ValueForm form) {
    runPalettes_ = std::move(rows);
    runPaletteForm_ = form;
    hasRunPalettes_ = true;
  }
  // The last map's palettes, a row of values each, `colours` colours in all.
  void writePalettes(const std::vector<std::vector<uint16_t>>& rows, ValueForm form, size_t colours);

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
    size_t colours = 0;  // of its palettes, if written
    bool paletteWords = false;
  };
  std::string headerText(const PatternDictionary& dictionary) const;

  // An array's opening and closing, and its rows.
  void beginArray(const char* type, const std::string& symbol);
  void endArray();

  CLibrarySettings settings_;
  const Target& target_;
  const ValueForm form_;
  CNames names_;
  std::unique_ptr<BufferedOutput> source_;
  std::unique_ptr<BufferedOutput> header_;
  std::vector<Entry> entries_;
  std::vector<std::vector<uint16_t>> runPalettes_;
  bool hasRunPalettes_ = false;  // a run of full-colour art: PPALETTE_COUNT even if 0
  ValueForm runPaletteForm_ = ValueForm::kWord;
  bool inArray_ = false;
  bool anyArray_ = false;
};

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_C_LIBRARY_H_
