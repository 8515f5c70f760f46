// output.txt and the binary outputs: the only code that knows their formats
// (map blocks, attribute maps, the pattern table; the README shows them to
// users). Values are the target's map entries and pattern bytes
// (target/map_entry.h, target/pattern_format.h).
//
// A job's map block is "unsigned short NAME[]={" (entries that are bytes:
// "unsigned char"), a line of entries per row of tiles, "};", and the
// W_NAME and H_NAME macros; under a target with attribute maps, the map's
// "unsigned char NAME_attr[]={" follows, its rows laid out as the map's;
// where palettes are written, "NAME_pal[]" (words or bytes, as the colour
// format has them) follows that, a palette a line.
//
// The pattern table holds the patterns the run added: every pattern of the
// dictionary after the ones it was given. Its count is MAX_PCG; a line
// "#define FIRST_PCG n" follows when its first pattern's number n is not 0.
// Under the classic target the table is "unsigned short PCG_DAT[]", eight
// row words a pattern; under any other, "#define PCG_SIZE n" (the bytes of
// a pattern) comes next and the table is "unsigned char PCG_DAT[]", a
// pattern's bytes a line. A table of no patterns has no array (C has no
// empty ones).
//
// Every value written goes to output.txt as hex text and, while there is a
// current binary output, to it in binary: a job's entries, then its
// attribute map, and at the end the table's bytes. Creating a binary output
// makes it the current one. Failures come back to the caller: an output
// that cannot be created, and (once per file, when it is closed) an output
// whose writes, flush or close failed.

#ifndef TESSARN_OUTPUTS_OUTPUT_FILES_H_
#define TESSARN_OUTPUTS_OUTPUT_FILES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"
#include "messages/failure.h"
#include "outputs/buffered_output.h"
#include "outputs/c_library.h"
#include "target/colour_format.h"
#include "target/map_entry.h"
#include "target/target.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// How the values of a palette in `format` are written.
ValueForm paletteValueForm(ColourFormat format);

// A job's map as its block is made: where it is, and what its entries get.
struct MapBlock {
  std::string name;
  int64_t number = 0;  // in the job list, from 1
  int32_t width = 0;   // of the rectangle, in pixels
  int32_t height = 0;
  uint16_t attributes = 0;  // ORed into every entry (gbc: attribute byte)
  int palette = 0;          // of its areas of colour 0 only
};

class OutputFiles {
 public:
  // With a library's base name in `library`, the entries and the pattern
  // table also go to its C files.
  OutputFiles(FileSystem* files, const Target& target, const MapWordLayout& layout,
              const CLibrarySettings& library = {}, ColourFormat palette_format = ColourFormat::kNone);

  // Creates output.txt and, if there is to be one, the library's BASE.c;
  // or a binary output that becomes the current one (the caller closes the
  // one before). False, with `*failure` set, if the file cannot be created.
  bool createTextOutput(Failure* failure);
  bool createBinaryOutput(const std::string& name, Failure* failure);

  void beginMapArray(const MapBlock& block);
  void beginMapRow();
  // At most BufferedOutput::kMaxWords cells.
  void writeMapCells(const MapCell* cells, int count);
  void endMapRow();
  // The block's end: its macros, and its attribute map.
  void endMapArray();
  // The highest palette of the current block's cells; -1 for none.
  int highestPalette() const { return highestPalette_; }
  // The closed block's palettes, colour values in the palette format:
  // "NAME_pal[]", a palette a line.
  void writePalettes(const std::vector<std::vector<uint32_t>>& palettes);
  // The palettes a run of full-colour art chose, colour values in the
  // palette format, each a palette's every entry: written after the pattern
  // table, "#define MAX_PAL n" and, if there are any, "PAL_DAT[]" (and to
  // the library).
  void setRunPalettes(std::vector<std::vector<uint32_t>> palettes) { runPalettes_ = std::move(palettes); }
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
  // To the text output as hex and, if there is one, the binary output.
  void appendValues(const uint16_t* values, int count, ValueForm form) {
    text_->appendHexValues(values, count, form);
    if (binary_) binary_->appendValues(values, count, form);
  }
  // The current block's attribute map, row by row.
  std::vector<std::vector<uint16_t>> attributeMap() const;
  void writeAttributeMap();
  void writeRunPalettes();
  // "TYPE NAME[]={", a palette a line, "};": the palettes' values, returned.
  std::vector<std::vector<uint16_t>> writePaletteArray(const std::string& name,
                                                       const std::vector<std::vector<uint32_t>>& palettes);

  FileSystem* files_;
  const Target& target_;
  const EntryFormat entries_;
  const ValueForm form_;  // of the entries
  std::unique_ptr<BufferedOutput> text_;
  std::unique_ptr<BufferedOutput> binary_;
  std::unique_ptr<CLibrary> library_;  // if the run makes one
  const ColourFormat paletteFormat_;
  MapBlock block_;                     // the current block's
  std::vector<MapCell> cells_;         // the current block's, for its attribute map
  int highestPalette_ = -1;            // the current block's
  std::optional<std::vector<std::vector<uint32_t>>> runPalettes_;  // a run of full-colour art's
};

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_OUTPUT_FILES_H_
