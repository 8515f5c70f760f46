// Colours as the machines store them: a colour's value in a machine's
// colour format, the colour the machine shows for a value, and the bytes a
// palette of values is written as (r, g, b are 8-bit; words 16-bit,
// little-endian unless said):
//
//   snes-*, gba-*, gbc   word  r>>3 | (g>>3)<<5 | (b>>3)<<10
//   md                   word, big-endian  (r>>5)<<1 | (g>>5)<<5 | (b>>5)<<9
//   pce                  word  (b>>5) | (r>>5)<<3 | (g>>5)<<6
//   gg                   word  (r>>4) | (g>>4)<<4 | (b>>4)<<8
//   sms                  byte  (r>>6) | (g>>6)<<2 | (b>>6)<<4
//   gb                   a 2-bit shade a colour, 3 - luma*4/256 with
//                        luma = (299r + 587g + 114b)/1000 (0 the lightest);
//                        a palette is one byte, colour 0 in bits 0-1
//   nes                  byte  the colour's palette index in the image (art
//                        drawn on the machine's master palette keeps its
//                        numbers)
//   rgb888               three bytes r, g, b
//
// The classic target has none of its own: --colour-format names one.

#ifndef TESSARN_TARGET_COLOUR_FORMAT_H_
#define TESSARN_TARGET_COLOUR_FORMAT_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "image/palette.h"
#include "target/target.h"

namespace tessarn {

// The format a target's name, or "rgb888", names; false if none does.
bool findColourFormat(std::string_view name, ColourFormat* format);

// The value of a colour: its palette index `index` in the image for nes
// (or -1 where it has none), else of its red, green and blue.
uint32_t colourValue(ColourFormat format, Rgb colour, int index);
// The colour the machine shows for a value; for nes, `original` (the image
// has the colours of the master palette).
Rgb shownColour(ColourFormat format, uint32_t value, Rgb original);

// How a palette of values is written: 16-bit words (big-endian for md) or
// bytes; `values` are the words or bytes (gb: one byte for four colours;
// rgb888: three bytes a colour).
bool wordValues(ColourFormat format);
bool bigEndianValues(ColourFormat format);
std::vector<uint16_t> paletteValues(ColourFormat format, const std::vector<uint32_t>& colours);

}  // namespace tessarn

#endif  // TESSARN_TARGET_COLOUR_FORMAT_H_
