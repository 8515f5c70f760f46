// A pattern's bytes as a machine lays them out (target.h's table), and the
// pattern a machine's bytes lay out: the form of every pattern table
// tessarn writes or reads under a target (output.txt's PCG_DAT, a binary
// output's table, --pattern-file and --patterns-from).

#ifndef TESSARN_TARGET_PATTERN_FORMAT_H_
#define TESSARN_TARGET_PATTERN_FORMAT_H_

#include <cstdint>

#include "target/target.h"
#include "tiles/pattern.h"

namespace tessarn {

// Writes target.patternBytes() bytes.
void layOutPattern(const Target& target, const Pattern& pattern, uint8_t* out);

// Reads target.patternBytes() bytes.
Pattern readPattern(const Target& target, const uint8_t* bytes);

// A pattern as the tables of output.txt and the C library hold its values:
// under the classic target its eight row words, under any other its bytes.
// Returns how many (at most 64).
int patternValues(const Target& target, const Pattern& pattern, uint16_t* values);

}  // namespace tessarn

#endif  // TESSARN_TARGET_PATTERN_FORMAT_H_
