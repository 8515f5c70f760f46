// Writes an indexed PNG of 2, 4 or 8 bits a pixel a row at a time, with
// libspng, so that an image of any size needs one row of memory.

#ifndef TESSARN_IMAGE_PNG_WRITER_H_
#define TESSARN_IMAGE_PNG_WRITER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/palette.h"
#include "io/file_system.h"

namespace tessarn {

// Fills `row` (width entries) with the palette indices of pixel row `y`.
using RowPainter = std::function<void(int64_t y, uint8_t* row)>;

// Creates the named file and writes a width x height image of `bit_depth`
// bits a pixel into it, entry k of its palette being `palette[k]` (as many
// entries as given, at most 2^bit_depth). False, with `*error` set, if the
// file cannot be created or written, or the size is not one a PNG can have.
bool writeIndexedPng(FileSystem* files, const std::string& name, int64_t width, int64_t height, int bit_depth,
                     const std::vector<Rgb>& palette, const RowPainter& paint, std::string* error);

}  // namespace tessarn

#endif  // TESSARN_IMAGE_PNG_WRITER_H_
