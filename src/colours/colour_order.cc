#include "colours/colour_order.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <unordered_map>
#include <utility>

namespace tessarn {
namespace {

// Inside, a colour is its index in its palette sorted by value, so that
// sorted order puts colour c in slot c + 1; colour 0 is kClear.
constexpr int kClear = -1;
// Of a slot: held by no colour yet. Of a colour: given no slot yet.
constexpr int kFree = -1;
constexpr int kUnplaced = 0;
// A colouring's new slot sequence is fitted to this many of its shape's
// next colourings, and a colouring tries this many of the shape's sequences:
// enough for the shapes that matter, and a bound on the work.
constexpr size_t kLookahead = 8;
constexpr size_t kSequencesTried = 32;
// No machine's palette comes near this; a larger capacity is taken as this.
constexpr int kMostSlots = 65536;

uint64_t mix(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

uint64_t addSaturating(uint64_t a, uint64_t b) { return a + b < a ? UINT64_MAX : a + b; }

// A distinct colouring, its colours as indices into its sorted palette.
struct Variant {
  uint32_t shape = 0;
  int palette = 0;
  std::vector<int> colours;
  uint64_t tiles = 0;
};

std::vector<Variant> distinctVariants(const std::vector<std::vector<uint32_t>>& sorted,
                                      const std::vector<Colouring>& colourings) {
  std::vector<Variant> variants;
  variants.reserve(colourings.size());
  for (const Colouring& colouring : colourings) {
    if (colouring.palette < 0 || colouring.palette >= static_cast<int>(sorted.size())) continue;
    const std::vector<uint32_t>& palette = sorted[colouring.palette];
    Variant v{colouring.shape, colouring.palette, {}, colouring.tiles};
    for (uint32_t colour : colouring.classColours) {
      auto it = std::lower_bound(palette.begin(), palette.end(), colour);
      if (colour == kNoColour) {
        v.colours.push_back(kClear);
      } else if (it != palette.end() && *it == colour) {
        v.colours.push_back(static_cast<int>(it - palette.begin()));
      } else {
        break;
      }
    }
    if (v.colours.size() == colouring.classColours.size()) variants.push_back(std::move(v));
  }
  std::sort(variants.begin(), variants.end(), [](const Variant& a, const Variant& b) {
    return std::tie(a.shape, a.palette, a.colours) < std::tie(b.shape, b.palette, b.colours);
  });
  std::vector<Variant> merged;
  merged.reserve(variants.size());
  for (Variant& v : variants) {
    if (!merged.empty() && merged.back().shape == v.shape && merged.back().palette == v.palette &&
        merged.back().colours == v.colours) {
      merged.back().tiles = addSaturating(merged.back().tiles, v.tiles);
    } else {
      merged.push_back(std::move(v));
    }
  }
  return merged;
}

// The slot of every colour, in every palette; the sorted order to begin with.
using SlotMaps = std::vector<std::vector<int>>;

SlotMaps sortedSlots(const std::vector<std::vector<uint32_t>>& sorted) {
  SlotMaps slots(sorted.size());
  for (size_t p = 0; p < sorted.size(); ++p) {
    for (size_t c = 0; c < sorted[p].size(); ++c) slots[p].push_back(static_cast<int>(c) + 1);
  }
  return slots;
}

// Gives colours their slots, shape by shape, keeping each slot once given.
class SlotAssigner {
 public:
  SlotAssigner(const std::vector<std::vector<uint32_t>>& sorted, int capacity) {
    for (const auto& palette : sorted) {
      slotOf_.emplace_back(palette.size(), kUnplaced);
      colourIn_.emplace_back(std::max<size_t>(capacity, palette.size()) + 1, kFree);
    }
  }

  // Gives slots for the colourings of one shape, heaviest first.
  void assignShape(const std::vector<const Variant*>& variants) {
    std::vector<std::vector<int>> sequences;
    for (size_t i = 0; i < variants.size(); ++i) {
      const Variant& v = *variants[i];
      const size_t tried = std::min(sequences.size(), kSequencesTried);
      auto it = std::find_if(sequences.begin(), sequences.begin() + tried,
                             [&](const std::vector<int>& sequence) { return fits(v, sequence); });
      if (it != sequences.begin() + tried) {
        take(v, *it);
        continue;
      }
      const size_t next = std::min(variants.size(), i + 1 + kLookahead);
      sequences.push_back(newSequence(v, {variants.begin() + i + 1, variants.begin() + next}));
      take(v, sequences.back());
    }
  }

  // Places the colours no colouring placed, and hands over the slots.
  SlotMaps finish() {
    for (size_t p = 0; p < slotOf_.size(); ++p) {
      for (size_t c = 0; c < slotOf_[p].size(); ++c) {
        if (slotOf_[p][c] == kUnplaced) place(static_cast<int>(p), static_cast<int>(c), nearestFree(p, c + 1, {}));
      }
    }
    return std::move(slotOf_);
  }

 private:
  int slotCount(size_t palette) const { return static_cast<int>(colourIn_[palette].size()) - 1; }
  bool isFree(size_t palette, int slot) const {
    return slot >= 1 && slot <= slotCount(palette) && colourIn_[palette][slot] == kFree;
  }
  void place(int palette, int colour, int slot) {
    slotOf_[palette][colour] = slot;
    colourIn_[palette][slot] = colour;
  }

  // Whether the colouring can have the slot sequence: each colour has that
  // slot, or has none yet and the slot is free; and colour 0 is slot 0.
  bool fits(const Variant& v, const std::vector<int>& sequence) const {
    if (sequence.size() != v.colours.size()) return false;
    std::vector<std::pair<int, int>> claims;  // (colour, slot) for colours with no slot yet
    for (size_t k = 0; k < sequence.size(); ++k) {
      const int c = v.colours[k];
      const int slot = sequence[k];
      if (c == kClear || slot == 0) {
        if (c != kClear || slot != 0) return false;
        continue;
      }
      if (slotOf_[v.palette][c] != kUnplaced) {
        if (slotOf_[v.palette][c] != slot) return false;
        continue;
      }
      if (!isFree(v.palette, slot)) return false;
      for (const auto& [colour, taken] : claims)
        if ((colour == c) != (taken == slot)) return false;
      claims.push_back({c, slot});
    }
    return true;
  }

  void take(const Variant& v, const std::vector<int>& sequence) {
    for (size_t k = 0; k < sequence.size(); ++k) {
      const int c = v.colours[k];
      if (c != kClear && slotOf_[v.palette][c] == kUnplaced) place(v.palette, c, sequence[k]);
    }
  }

  // The free slot nearest `wanted`, the lower on a tie, that is not in
  // `claimed`.
  int nearestFree(size_t palette, size_t wanted, const std::vector<int>& claimed) const {
    auto usable = [&](int slot) {
      return isFree(palette, slot) && std::find(claimed.begin(), claimed.end(), slot) == claimed.end();
    };
    const int start = static_cast<int>(wanted);
    for (int d = 0; d <= slotCount(palette); ++d) {
      if (usable(start - d)) return start - d;
      if (usable(start + d)) return start + d;
    }
    assert(false && "a palette has a free slot for each colour without one");
    return 0;
  }

  // A slot sequence for the colouring, its colours' slots where they have
  // them; the others get free slots that the `next` colourings in other
  // palettes could take too.
  std::vector<int> newSequence(const Variant& v, const std::vector<const Variant*>& next) const {
    std::vector<int> sequence;
    std::vector<int> claimed;
    for (size_t k = 0; k < v.colours.size(); ++k) {
      const int c = v.colours[k];
      const auto earlier = std::find(v.colours.begin(), v.colours.begin() + k, c);
      if (c == kClear) {
        sequence.push_back(0);
      } else if (slotOf_[v.palette][c] != kUnplaced) {
        sequence.push_back(slotOf_[v.palette][c]);
      } else if (earlier != v.colours.begin() + k) {
        sequence.push_back(sequence[earlier - v.colours.begin()]);
      } else {
        sequence.push_back(bestSlot(v, k, next, claimed));
        claimed.push_back(sequence.back());
      }
    }
    return sequence;
  }

  // The free slot for class k of the colouring that the most of the next
  // colourings could give their class k; the nearest the sorted place on a
  // tie.
  int bestSlot(const Variant& v, size_t k, const std::vector<const Variant*>& next,
               const std::vector<int>& claimed) const {
    const int sortedSlot = v.colours[k] + 1;
    std::vector<int> candidates = {nearestFree(v.palette, sortedSlot, claimed)};
    for (const Variant* w : next) {
      if (w->palette == v.palette || k >= w->colours.size() || w->colours[k] == kClear) continue;
      const int slot = slotOf_[w->palette][w->colours[k]];
      if (isFree(v.palette, slot) && std::find(claimed.begin(), claimed.end(), slot) == claimed.end())
        candidates.push_back(slot);
    }
    auto votes = [&](int slot) {
      int count = 0;
      for (const Variant* w : next) {
        if (w->palette == v.palette || k >= w->colours.size() || w->colours[k] == kClear) continue;
        const int own = slotOf_[w->palette][w->colours[k]];
        count += own == slot || (own == kUnplaced && isFree(w->palette, slot));
      }
      return count;
    };
    int best = candidates[0];
    int bestVotes = votes(best);
    for (int slot : candidates) {
      const int count = votes(slot);
      if (count > bestVotes || (count == bestVotes && std::pair(std::abs(slot - sortedSlot), slot) <
                                                          std::pair(std::abs(best - sortedSlot), best))) {
        best = slot;
        bestVotes = count;
      }
    }
    return best;
  }

  SlotMaps slotOf_;                       // [palette][colour], kUnplaced until given
  std::vector<std::vector<int>> colourIn_;  // [palette][slot], kFree while free; slot 0 unused
};

// The variants' shapes, heaviest first, each with its variants heaviest
// first (ties in the order given).
std::vector<std::vector<const Variant*>> shapesByWeight(const std::vector<Variant>& variants) {
  std::vector<std::vector<const Variant*>> shapes;
  std::vector<uint64_t> weights;
  for (const Variant& v : variants) {
    if (shapes.empty() || shapes.back()[0]->shape != v.shape) {
      shapes.emplace_back();
      weights.push_back(0);
    }
    shapes.back().push_back(&v);
    weights.back() = addSaturating(weights.back(), v.tiles);
  }
  std::vector<size_t> order(shapes.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return weights[a] > weights[b]; });
  std::vector<std::vector<const Variant*>> result;
  for (size_t i : order) {
    std::stable_sort(shapes[i].begin(), shapes[i].end(),
                     [](const Variant* a, const Variant* b) { return a->tiles > b->tiles; });
    result.push_back(std::move(shapes[i]));
  }
  return result;
}

// A colouring's pattern under its palette's slots: its shape, and the slot
// of each class.
std::vector<uint32_t> patternOf(const Variant& v, const std::vector<int>& slots) {
  std::vector<uint32_t> pattern = {v.shape};
  for (int c : v.colours) pattern.push_back(c == kClear ? 0 : static_cast<uint32_t>(slots[c]));
  return pattern;
}

size_t distinctPatterns(const std::vector<Variant>& variants, const SlotMaps& slots) {
  std::vector<std::vector<uint32_t>> patterns;
  for (const Variant& v : variants) patterns.push_back(patternOf(v, slots[v.palette]));
  std::sort(patterns.begin(), patterns.end());
  return static_cast<size_t>(std::unique(patterns.begin(), patterns.end()) - patterns.begin());
}

// The distinct patterns, told apart by a 64-bit hash and kept up to date as
// a palette's slots change: fast enough to weigh each palette's sorted order
// against its own, and no worse for the rare pair of patterns it takes for
// one (the results are counted exactly).
class PatternTally {
 public:
  PatternTally(const std::vector<Variant>& variants, const SlotMaps& slots) : variants_(variants) {
    counts_.reserve(variants.size());
    for (const Variant& v : variants) add(v, slots[v.palette], 1);
  }
  size_t count() const { return counts_.size(); }

  // Moves the colourings given from one slot map to another.
  void change(const std::vector<size_t>& colourings, const std::vector<int>& from, const std::vector<int>& to) {
    for (size_t i : colourings) {
      add(variants_[i], from, -1);
      add(variants_[i], to, 1);
    }
  }

 private:
  void add(const Variant& v, const std::vector<int>& slots, int delta) {
    uint64_t h = mix(v.shape);
    for (int c : v.colours) h = mix(h ^ static_cast<uint64_t>(c == kClear ? 0 : slots[c]));
    auto it = counts_.try_emplace(h, 0).first;
    if ((it->second += delta) == 0) counts_.erase(it);
  }

  const std::vector<Variant>& variants_;
  std::unordered_map<uint64_t, int> counts_;
};

}  // namespace

ColourOrder orderColours(const std::vector<std::vector<uint32_t>>& palettes, int capacity,
                         const std::vector<Colouring>& colourings) {
  std::vector<std::vector<uint32_t>> sorted = palettes;
  for (auto& palette : sorted) {
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  }
  const std::vector<Variant> variants = distinctVariants(sorted, colourings);

  SlotAssigner assigner(sorted, std::clamp(capacity, 0, kMostSlots));
  for (const auto& shape : shapesByWeight(variants)) assigner.assignShape(shape);
  SlotMaps slots = assigner.finish();

  // Back to sorted order, palette by palette, wherever that saves patterns.
  const SlotMaps sortedOrder = sortedSlots(sorted);
  std::vector<std::vector<size_t>> inPalette(sorted.size());
  for (size_t i = 0; i < variants.size(); ++i) inPalette[variants[i].palette].push_back(i);
  PatternTally tally(variants, slots);
  for (size_t p = 0; p < sorted.size(); ++p) {
    if (slots[p] == sortedOrder[p]) continue;
    const size_t before = tally.count();
    tally.change(inPalette[p], slots[p], sortedOrder[p]);
    if (tally.count() < before) {
      slots[p] = sortedOrder[p];
    } else {
      tally.change(inPalette[p], sortedOrder[p], slots[p]);
    }
  }
  const size_t sortedPatterns = distinctPatterns(variants, sortedOrder);
  size_t patterns = distinctPatterns(variants, slots);
  if (patterns > sortedPatterns) {
    slots = sortedOrder;
    patterns = sortedPatterns;
  }

  ColourOrder order;
  order.patternsSaved = static_cast<int>(sortedPatterns - patterns);
  for (size_t p = 0; p < sorted.size(); ++p) {
    const int length = slots[p].empty() ? 0 : *std::max_element(slots[p].begin(), slots[p].end());
    order.slots.emplace_back(length, kNoColour);
    for (size_t c = 0; c < sorted[p].size(); ++c) order.slots[p][slots[p][c] - 1] = sorted[p][c];
  }
  return order;
}

}  // namespace tessarn
