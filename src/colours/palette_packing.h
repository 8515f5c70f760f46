// Chooses the palettes for full-colour art: as few palettes as can be found
// such that all the colours of every tile are in one of them.
//
// Each tile brings the set of its colours, colour 0 (transparent, or the
// backdrop) left out: every palette has that one in slot 0, so it takes no
// room. A colour is a value in the machine's own colour format, so
// colours the machine cannot tell apart are already equal. A palette holds
// `capacity` colours besides colour 0. The answer is a list of palettes, each
// sorted by colour value, and for every set the palette that holds it; or a
// failure: a set with more colours than a palette holds, or art that needs
// more palettes than the machine has.
//
// How the palettes are found:
//
//  - Subsumption. Equal sets are merged, and a set whose colours are all in
//    another set is dropped: the palette that holds the larger set holds it
//    too, and that is where it goes. Only the remaining, maximal sets are
//    packed. (Sets are checked largest first, each against the kept sets
//    that have its rarest colour. Past a bound on that work, met only by
//    very many large sets with no structure, the rest are kept unchecked,
//    which costs speed, not correctness.)
//
//  - Lower bound. No answer has fewer palettes than the distinct colours
//    divided by the capacity, rounded up, nor fewer than there are sets in a
//    clique: sets any two of which together have more colours than a palette
//    holds, so that each needs a palette of its own. The clique is grown
//    greedily, largest sets first (from every set in turn, for small
//    problems), and stops growing past the machine's palette count. When the
//    bound alone exceeds that count, no packing is tried.
//
//  - Heuristic. Palettes are filled one at a time. Each starts with the
//    largest set not yet placed, then takes, while any fits, the set that
//    shares the most colours with it (then the one adding the fewest, then
//    the largest); sets sharing no colour with it come last, largest first.
//    Then each palette in turn, those with the fewest colours first, is
//    emptied if all its sets can be moved into the others (each to the
//    palette with room that shares the most colours with it); an emptied
//    palette is dropped. This runs in rounds with different orders of the
//    sets (largest first, equal sizes in the order of a fixed hash of their
//    colours, seeded by the round), keeping the packing with the fewest
//    palettes: up to 32 rounds for small problems, fewer for large ones, as
//    a bound on the work allows; and none more once one reaches the lower
//    bound.
//
//  - Exact search. Where at most 24 maximal sets remain and the heuristic
//    did not reach the lower bound, a branch and bound search looks for a
//    packing with one palette fewer, again and again, until there is none
//    or the lower bound is reached. It places one set at a time: the one
//    with the fewest palettes left that it fits in (the largest on a tie),
//    into each such palette, those needing the fewest new colours first,
//    and then into the next empty palette (empty palettes differ only in
//    their numbers, so one stands for all). A set whose colours are all in
//    a palette already goes there, with no other choice tried. A branch is
//    cut when some set fits nowhere; when the sets that fit in no palette
//    holding sets include more that cannot share a palette than there are
//    empty palettes; or when the free slots are fewer than the colours
//    still to come: for sets sharing no colour, the fewest each adds to any
//    palette it fits, and beyond them each colour in no palette yet. The
//    search's work is bounded, to under half a second on a current
//    machine; if it reaches the bound, the best packing found so far stands
//    and is not claimed to be the fewest.
//
// Everything is deterministic: the same sets give the same palettes on every
// platform. Typical art of 100,000 sets takes well under a second.

#ifndef TESSARN_COLOURS_PALETTE_PACKING_H_
#define TESSARN_COLOURS_PALETTE_PACKING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessarn {

struct ColourSet {
  std::vector<uint32_t> colours;  // sorted and distinct (put so if not), colour 0 left out
  uint64_t weight = 1;            // how many tiles have exactly these colours; for reports only
};

enum class PackingProblem {
  kNone,
  kSetTooLarge,      // a set has more colours than a palette holds
  kTooManyPalettes,  // the art needs more palettes than the machine has
};

struct PaletteChoice {
  PackingProblem problem = PackingProblem::kNone;
  // kSetTooLarge: the first such set and its number of colours. Nothing
  // else is filled in.
  size_t oversizedSet = 0;
  size_t oversizedColours = 0;

  // The palettes, each sorted by colour value, and for each input set the
  // index of a palette holding all its colours. For kTooManyPalettes, what
  // the art would need; but left empty when the lower bound alone shows
  // that the art does not fit, and no packing is tried.
  std::vector<std::vector<uint32_t>> palettes;
  std::vector<int> paletteOfSet;
  // No answer has fewer palettes than this. The bound's clique stops
  // growing past max_palettes, so past that it may be low.
  int lowerBound = 0;
  // True when palettes.size() is known to be the fewest possible.
  bool provenMinimal = false;
};

// Chooses palettes of `capacity` colours each (besides colour 0) for the
// sets, using at most `max_palettes` of them. Sets with no colours need a
// palette too: with no colours at all, the answer is one empty palette (and
// none when there are no sets).
PaletteChoice choosePalettes(const std::vector<ColourSet>& sets, int capacity, int max_palettes);

}  // namespace tessarn

#endif  // TESSARN_COLOURS_PALETTE_PACKING_H_
