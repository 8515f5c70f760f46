// Pattern tables in binary, as a binary output ends with one: every pattern
// as its target lays it out (target/pattern_format.h; the classic target's
// are eight little-endian row words, top row first, 16 bytes a pattern).
// --pattern-file writes the patterns a run added in this form, and
// --patterns-from reads a fixed set of patterns a run starts with from one
// or more such files.

#ifndef TESSARN_OUTPUTS_PATTERN_FILE_H_
#define TESSARN_OUTPUTS_PATTERN_FILE_H_

#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"
#include "target/target.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

// The patterns the run added (those after the ones it was given).
std::string binaryPatternTable(const Target& target, const PatternDictionary& dictionary);

// Reads the named files' patterns, in order, into `*patterns`: false, with
// `*error` saying why, if a file is missing, empty or not a whole number of
// patterns, or if they are more than fit from the layout's first pattern
// number to its limit.
bool readPatternFiles(FileSystem* files, const std::vector<std::string>& names, const Target& target,
                      const MapWordLayout& layout, std::vector<Pattern>* patterns, std::string* error);

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_PATTERN_FILE_H_
