// Orders the colours within each palette so that tiles of the same shape in
// different colours can share one pattern.
//
// A tile's pattern holds, for each pixel, the slot of its colour in the
// tile's palette: 0 for colour 0, 1 to `capacity` for the others. Two tiles
// of the same shape (the same split of their pixels into classes of one
// colour each) but in different colours, say a ball drawn red on blue in
// palette 0 and green on yellow in palette 1, become one pattern only when
// their colours sit in the same slots. A colouring is one such use of a
// shape: its palette, and the colour of each of the shape's classes in the
// shape's class order.
//
// The shapes are taken in order of how many tiles they cover, most first;
// within a shape, its colourings likewise. Each colouring takes the first of
// the shape's slot sequences so far (of its first 32) that it can be given,
// the slots its colours already have and the free slots of its palette
// allowing; failing that it starts a sequence of its own, in which each of
// its colours with no slot yet takes the free slot that the most of the
// shape's next 8 colourings in other palettes could take too (the nearest to
// where sorting by value would put the colour, on a tie). Slots once given
// are kept. Colours that no colouring placed take the free slots nearest
// their sorted places. Then each palette in turn goes back to its colours
// sorted by value where that leaves fewer patterns; and if the order found
// still gives more patterns than sorting every palette would, every palette
// is sorted.
//
// Palettes thus keep unused slots where that lines colours up: a palette's
// slot order may hold gaps (kNoColour), but never more slots than
// `capacity` or its own number of colours, whichever is more. The result is
// deterministic and takes well under a second for 100,000 colourings.

#ifndef TESSARN_COLOURS_COLOUR_ORDER_H_
#define TESSARN_COLOURS_COLOUR_ORDER_H_

#include <cstdint>
#include <vector>

namespace tessarn {

// A value no machine colour has: as a class's colour, colour 0; as a slot's,
// a slot left unused.
inline constexpr uint32_t kNoColour = 0xFFFFFFFF;

struct Colouring {
  int palette = 0;
  uint32_t shape = 0;
  // The colour of each class of the shape, in the shape's class order;
  // kNoColour for colour 0. Each colour is one of the palette's.
  std::vector<uint32_t> classColours;
  uint64_t tiles = 1;  // tiles drawn with this shape and these colours
};

struct ColourOrder {
  // For each palette, the colour of slot 1, slot 2, and so on: its colours,
  // each once, with kNoColour for an unused slot between them.
  std::vector<std::vector<uint32_t>> slots;
  // Patterns saved against colours sorted by value: distinct (shape, slot
  // sequence) pairs with sorted palettes less those with this order. Never
  // negative.
  int patternsSaved = 0;
};

// Orders the colours of `palettes` (each a list of distinct colours, colour
// 0 left out) for the colourings, with `capacity` slots a palette (at most
// 65,536) besides slot 0. A colouring naming a palette there is not,
// or a colour its palette lacks, is skipped.
ColourOrder orderColours(const std::vector<std::vector<uint32_t>>& palettes, int capacity,
                         const std::vector<Colouring>& colourings);

}  // namespace tessarn

#endif  // TESSARN_COLOURS_COLOUR_ORDER_H_
