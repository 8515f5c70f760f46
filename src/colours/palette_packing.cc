#include "colours/palette_packing.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <climits>
#include <deque>
#include <functional>
#include <iterator>
#include <numeric>
#include <set>
#include <tuple>
#include <utility>

namespace tessarn {
namespace {

// Inside, colours are numbered 0, 1, ... in the order of their values, and a
// set of them is a sorted list of numbers.
using Colours = std::vector<int>;

// The exact search takes problems of up to this many maximal sets.
constexpr int kMaxExactSets = 24;
// The exact search's work bound, counted in sets looked at (times the
// palettes, or the words of a set's colour bits): under half a second on a
// current machine, whatever the problem; hard problems of 24 sets drawn at
// random are proven well within it.
constexpr int64_t kExactSearchWork = 400'000'000;
// The heuristic's rounds: at most this many, and no more once they have
// looked at this many (set, colour) or (palette, colour) pairs in all.
constexpr int kMostRounds = 32;
constexpr int64_t kHeuristicWork = 1'000'000;
// A bound on the heuristic's work in all, in (set, colour) and (palette,
// colour) pairs looked at, past which sets go into palettes by size alone:
// only many large sets with no structure, needing hundreds of palettes,
// come near it.
constexpr int64_t kPackingWork = 20'000'000;
// The candidate sets that subsumption looks at, in all.
constexpr int64_t kSubsumptionWork = 20'000'000;
// Passes of emptying palettes after each round's packing.
constexpr int kEmptyingPasses = 3;

int size(const Colours& set) { return static_cast<int>(set.size()); }

uint64_t mix(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

template <typename T>
uint64_t hashOf(const std::vector<T>& values, uint64_t seed) {
  uint64_t h = mix(seed);
  for (T value : values) h = mix(h ^ static_cast<uint64_t>(value));
  return h;
}

// The problem's distinct sets in colour numbers, largest first (equal sizes
// in the order of a hash of their colours), and which of them each input set
// is.
struct DistinctSets {
  std::vector<uint32_t> values;  // colour number n is values[n]
  std::vector<Colours> sets;
  std::vector<int> ofInput;
};

DistinctSets distinctSets(const std::vector<const std::vector<uint32_t>*>& input) {
  // Sorted by keys held in one array, so that sorting reads the sets
  // themselves only to tell apart sets whose hashes are equal.
  struct Key {
    size_t size;
    uint64_t hash;
    int index;
  };
  std::vector<Key> keys;
  for (size_t i = 0; i < input.size(); ++i)
    keys.push_back({input[i]->size(), hashOf(*input[i], 0), static_cast<int>(i)});
  std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (a.size != b.size) return a.size > b.size;
    if (a.hash != b.hash) return a.hash < b.hash;
    return std::tie(*input[a.index], a.index) < std::tie(*input[b.index], b.index);
  });

  DistinctSets d;
  std::vector<const std::vector<uint32_t>*> distinct;
  d.ofInput.resize(input.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::vector<uint32_t>& set = *input[keys[i].index];
    if (i == 0 || keys[i].hash != keys[i - 1].hash || set != *input[keys[i - 1].index]) distinct.push_back(&set);
    d.ofInput[keys[i].index] = static_cast<int>(distinct.size()) - 1;
  }
  for (const auto* set : distinct) d.values.insert(d.values.end(), set->begin(), set->end());
  std::sort(d.values.begin(), d.values.end());
  d.values.erase(std::unique(d.values.begin(), d.values.end()), d.values.end());
  for (const auto* set : distinct) {
    Colours numbers;
    for (uint32_t value : *set)
      numbers.push_back(static_cast<int>(std::lower_bound(d.values.begin(), d.values.end(), value) - d.values.begin()));
    d.sets.push_back(std::move(numbers));
  }
  return d;
}

// 64 bits standing for a set's colours: a set cannot hold another whose
// signature has a bit its own lacks.
uint64_t signatureOf(const Colours& set) {
  uint64_t signature = 0;
  for (int c : set) signature |= uint64_t{1} << (c & 63);
  return signature;
}

// The sets no other set holds, in order, and for every set the one of
// them that holds it. The sets come largest first, so every set that could
// hold one is looked at before it; those kept that have its rarest colour
// are the candidates. Past a bound on the candidates looked at in all (met
// only by many large sets with no structure), the rest are kept unchecked:
// packing them is right, only slower.
struct MaximalSets {
  std::vector<int> sets;     // indices into the sets
  std::vector<int> holders;  // for each set, a place in `sets`
};

MaximalSets maximalSets(const std::vector<Colours>& sets, int colour_count) {
  MaximalSets maximal;
  std::vector<std::vector<int>> keptWith(colour_count);  // per colour, places in maximal.sets
  std::vector<uint64_t> signatures;
  int64_t work = 0;
  for (int i = 0; i < static_cast<int>(sets.size()); ++i) {
    const Colours& set = sets[i];
    const uint64_t signature = signatureOf(set);
    if (set.empty()) {
      // Held by any set; kept only when no set has a colour.
      maximal.holders.push_back(0);
      if (!maximal.sets.empty()) continue;
    } else {
      int rarest = set[0];
      for (int c : set)
        if (keptWith[c].size() < keptWith[rarest].size()) rarest = c;
      const std::vector<int>& candidates = keptWith[rarest];
      work += static_cast<int64_t>(candidates.size());
      const auto end = work > kSubsumptionWork ? candidates.begin() : candidates.end();
      const auto holder = std::find_if(candidates.begin(), end, [&](int k) {
        const Colours& other = sets[maximal.sets[k]];
        return (signature & ~signatures[k]) == 0 && std::includes(other.begin(), other.end(), set.begin(), set.end());
      });
      if (holder != end) {
        maximal.holders.push_back(*holder);
        continue;
      }
      maximal.holders.push_back(static_cast<int>(maximal.sets.size()));
    }
    for (int c : set) keptWith[c].push_back(static_cast<int>(maximal.sets.size()));
    signatures.push_back(signature);
    maximal.sets.push_back(i);
  }
  return maximal;
}

int unionSize(const Colours& a, const Colours& b) {
  int common = 0;
  for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end();) {
    if (*i < *j) {
      ++i;
    } else if (*j < *i) {
      ++j;
    } else {
      ++common, ++i, ++j;
    }
  }
  return size(a) + size(b) - common;
}

// The size of a clique of sets no two of which fit in one palette, grown
// greedily from set `first` over the others in order, and no larger than
// `limit`. A set joins if it is too large to share a palette with any set
// in the clique; the colours it shares with each are counted through the
// lists of the clique's sets holding each colour.
int greedyClique(const std::vector<Colours>& sets, int colour_count, int first, int capacity, int limit) {
  std::vector<int> clique;
  std::vector<std::vector<int>> cliqueWith(colour_count);  // per colour, places in the clique
  std::vector<int> shared;
  auto join = [&](int set) {
    for (int c : sets[set]) cliqueWith[c].push_back(static_cast<int>(clique.size()));
    clique.push_back(set);
    shared.push_back(0);
  };
  join(first);
  for (int i = 0; i < static_cast<int>(sets.size()) && static_cast<int>(clique.size()) < limit; ++i) {
    if (i == first) continue;
    std::fill(shared.begin(), shared.end(), 0);
    for (int c : sets[i])
      for (int k : cliqueWith[c]) ++shared[k];
    bool clashes = true;
    for (size_t k = 0; k < clique.size() && clashes; ++k)
      clashes = size(sets[i]) + size(sets[clique[k]]) - shared[k] > capacity;
    if (clashes) join(i);
  }
  return static_cast<int>(clique.size());
}

// The size of the largest clique found from the first set, or from every
// set when they are few enough for the exact search.
int cliqueBound(const std::vector<Colours>& sets, int colour_count, int capacity, int limit) {
  const int count = static_cast<int>(sets.size());
  int best = 0;
  for (int first = 0; first < (count <= kMaxExactSets ? count : std::min(count, 1)); ++first)
    best = std::max(best, greedyClique(sets, colour_count, first, capacity, limit));
  return best;
}

// Fills one palette at a time. A palette starts with the first unplaced set
// in `order`; then, while an unplaced set fits, it takes the one sharing the
// most colours with it, then the one adding the fewest, then the first in
// `order`; sets sharing no colour with it come after all others, in order.
// `order` has the largest sets first; `sets_with` lists the sets holding
// each colour. Adds to *work the sets it looks at through those lists.
std::vector<int> fillPalettes(const std::vector<Colours>& sets, const std::vector<std::vector<int>>& sets_with,
                              const std::vector<int>& order, int capacity, int64_t* work) {
  const size_t count = sets.size();
  std::vector<uint32_t> rank(count);
  for (size_t i = 0; i < count; ++i) rank[order[i]] = static_cast<uint32_t>(i);
  // smallFrom[n]: the first place in `order` of a set of at most n colours.
  const int largest = size(sets[order[0]]);
  std::vector<size_t> smallFrom(largest + 1);
  for (int n = 0; n <= largest; ++n) {
    smallFrom[n] = std::partition_point(order.begin(), order.end(), [&](int set) { return size(sets[set]) > n; }) -
                   order.begin();
  }
  // skip[i] leads, through the places of placed sets, to the first place
  // from i on holding an unplaced set (count when none does).
  std::vector<size_t> skip(count + 1);
  std::iota(skip.begin(), skip.end(), 0);
  auto unplacedFrom = [&skip](size_t i) {
    size_t found = i;
    while (skip[found] != found) found = skip[found];
    while (skip[i] != found) i = std::exchange(skip[i], found);
    return found;
  };
  // A set sharing colours with the palette being filled, as a key that is
  // larger for a better set: its share, the colours it would add
  // (complemented), its rank (complemented). Only a set's key for its
  // current share counts; older ones are passed over.
  auto keyOf = [&](int set, int shared) {
    const uint64_t fresh = static_cast<uint64_t>(std::min(size(sets[set]) - shared, 0xFFFF));
    return static_cast<uint64_t>(std::min(shared, 0xFFFF)) << 48 | (0xFFFF - fresh) << 32 | ~rank[set];
  };
  std::vector<uint64_t> heap;
  std::vector<int> paletteOf(count, -1);
  std::vector<int> shared(count, 0);
  std::vector<int> touched;  // sets sharing colours with the palette being filled
  std::vector<int> grown;    // those whose share grew with the set just taken
  std::vector<int> grownBy(count, -1);
  std::vector<char> inPalette(sets_with.size(), 0);
  std::vector<int> colours;
  for (int palette = 0; unplacedFrom(0) < count; ++palette) {
    int free = capacity;
    for (int next = order[unplacedFrom(0)]; next >= 0;) {
      paletteOf[next] = palette;
      skip[rank[next]] = rank[next] + 1;
      for (int c : sets[next]) {
        if (inPalette[c]) continue;
        inPalette[c] = 1;
        colours.push_back(c);
        --free;
        if (*work > kPackingWork) continue;  // no more shares counted: sets go in by size alone
        *work += static_cast<int64_t>(sets_with[c].size());
        for (int t : sets_with[c]) {
          if (paletteOf[t] >= 0) continue;
          if (shared[t]++ == 0) touched.push_back(t);
          if (grownBy[t] != next) grown.push_back(t);
          grownBy[t] = next;
        }
      }
      // A set that does not fit now never will: what it would add shrinks
      // only as fast as the free slots do.
      for (int t : grown) {
        if (size(sets[t]) - shared[t] > free) continue;
        heap.push_back(keyOf(t, shared[t]));
        std::push_heap(heap.begin(), heap.end());
      }
      grown.clear();
      next = -1;
      while (!heap.empty() && next < 0) {
        const uint64_t top = heap.front();
        std::pop_heap(heap.begin(), heap.end());
        heap.pop_back();
        const int t = order[~static_cast<uint32_t>(top)];
        if (paletteOf[t] < 0 && top == keyOf(t, shared[t]) && size(sets[t]) - shared[t] <= free) next = t;
      }
      for (size_t i = unplacedFrom(smallFrom[std::min(free, largest)]); next < 0 && i < count; i = unplacedFrom(i + 1))
        if (shared[order[i]] == 0) next = order[i];
    }
    heap.clear();
    for (int c : colours) inPalette[c] = 0;
    colours.clear();
    for (int t : touched) shared[t] = 0;
    touched.clear();
  }
  return paletteOf;
}

// Takes a packing and tries to empty each palette, those with the fewest
// colours first, by moving its sets into the others. Each palette's colours
// are kept sorted, and each colour's list of the palettes holding it.
class PaletteEmptier {
 public:
  PaletteEmptier(const std::vector<Colours>& sets, int colour_count, int capacity)
      : sets_(sets), capacity_(capacity), palettesWith_(colour_count) {}

  // The palette of each set after emptying, the palettes left numbered
  // from 0 in their order. Adds to *work the palettes it looks at through
  // the colours' lists, and stops trying once that is past the bound.
  std::vector<int> empty(const std::vector<int>& palette_of_set, int64_t* work) {
    work_ = work;
    for (auto& list : palettesWith_) list.clear();
    colours_.clear();
    members_.clear();
    shared_.clear();
    bySize_.clear();
    for (int set = 0; set < static_cast<int>(sets_.size()); ++set) {
      while (palette_of_set[set] >= static_cast<int>(colours_.size())) openPalette();
      addSet(set, palette_of_set[set]);
    }
    added_.clear();
    for (int pass = 0; pass < kEmptyingPasses && emptyingPass(); ++pass) {
    }
    std::vector<int> paletteOf(sets_.size());
    int number = 0;
    for (const std::vector<int>& members : members_) {
      for (int set : members) paletteOf[set] = number;
      if (!members.empty()) ++number;
    }
    return paletteOf;
  }

 private:
  int sizeOf(int palette) const { return static_cast<int>(colours_[palette].size()); }

  // Tries each palette once; true if one was emptied.
  bool emptyingPass() {
    std::vector<int> order;
    for (int p = 0; p < static_cast<int>(colours_.size()); ++p)
      if (!members_[p].empty()) order.push_back(p);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      return std::tuple(sizeOf(a), members_[a].size(), a) < std::tuple(sizeOf(b), members_[b].size(), b);
    });
    bool emptied = false;
    for (size_t i = 0; i < order.size() && *work_ <= kPackingWork; ++i) emptied |= tryToEmpty(order[i]);
    return emptied;
  }

  // Moves all the palette's sets, largest first, into other palettes and
  // drops it; or, if one of them fits nowhere, changes nothing.
  bool tryToEmpty(int palette) {
    bySize_.erase({sizeOf(palette), palette});
    std::vector<int> moving = members_[palette];
    std::sort(moving.begin(), moving.end());  // sets are numbered largest first
    std::vector<int> destinations;
    for (int set : moving) {
      const int destination = bestPalette(sets_[set], palette);
      if (destination < 0) break;
      addSet(set, destination);
      destinations.push_back(destination);
    }
    if (destinations.size() < moving.size()) {
      for (; !added_.empty(); added_.pop_back()) {
        const auto [c, p] = added_.back();
        palettesWith_[c].pop_back();
        bySize_.erase({sizeOf(p), p});
        colours_[p].erase(std::lower_bound(colours_[p].begin(), colours_[p].end(), c));
        bySize_.insert({sizeOf(p), p});
      }
      for (int destination : destinations) members_[destination].pop_back();
      bySize_.insert({sizeOf(palette), palette});
      return false;
    }
    added_.clear();
    for (int c : colours_[palette]) {
      std::vector<int>& list = palettesWith_[c];
      list.erase(std::find(list.begin(), list.end(), palette));
    }
    colours_[palette].clear();
    members_[palette].clear();
    return true;
  }

  // The palette with room for the set that shares the most colours with it,
  // then the fullest, then the lowest-numbered; -1 if none has room.
  int bestPalette(const Colours& set, int excluded) {
    touched_.clear();
    for (int c : set) {
      *work_ += static_cast<int64_t>(palettesWith_[c].size());
      for (int palette : palettesWith_[c]) {
        if (palette != excluded && shared_[palette]++ == 0) touched_.push_back(palette);
      }
    }
    int best = -1;
    int bestShared = 0;
    for (int palette : touched_) {
      const int shared = shared_[palette];
      shared_[palette] = 0;
      if (sizeOf(palette) + size(set) - shared > capacity_) continue;
      if (best < 0 || shared > bestShared ||
          (shared == bestShared && std::pair(sizeOf(palette), -palette) > std::pair(sizeOf(best), -best))) {
        best = palette;
        bestShared = shared;
      }
    }
    if (best >= 0) return best;
    // It shares no colour with any palette that has room: the fullest one
    // with room for all its colours. (The excluded palette is not listed.)
    auto it = bySize_.upper_bound({capacity_ - size(set), INT_MAX});
    return it == bySize_.begin() ? -1 : std::prev(it)->second;
  }

  void openPalette() {
    bySize_.insert({0, static_cast<int>(colours_.size())});
    colours_.emplace_back();
    members_.emplace_back();
    shared_.push_back(0);
  }

  // Adds the set's colours to the palette, noting each one added in
  // added_ so that a failed emptying can take it back.
  void addSet(int set, int palette) {
    Colours& colours = colours_[palette];
    bySize_.erase({sizeOf(palette), palette});
    for (int c : sets_[set]) {
      const auto at = std::lower_bound(colours.begin(), colours.end(), c);
      if (at != colours.end() && *at == c) continue;
      colours.insert(at, c);
      palettesWith_[c].push_back(palette);
      added_.push_back({c, palette});
    }
    bySize_.insert({sizeOf(palette), palette});
    members_[palette].push_back(set);
  }

  const std::vector<Colours>& sets_;
  const int capacity_;
  std::vector<std::vector<int>> palettesWith_;  // per colour
  std::vector<Colours> colours_;                // per palette
  std::vector<std::vector<int>> members_;       // per palette; empty once dropped
  std::set<std::pair<int, int>> bySize_;        // (size, palette) of the palettes in use
  std::vector<int> shared_;                     // per palette, scratch for bestPalette
  std::vector<int> touched_;
  std::vector<std::pair<int, int>> added_;  // (colour, palette)
  int64_t* work_ = nullptr;
};

// The order of round `round`: largest first, equal sizes as they come in
// round 0, and by a hash of their colours seeded by the round after.
std::vector<int> orderForRound(const std::vector<Colours>& sets, int round) {
  std::vector<int> order(sets.size());
  std::iota(order.begin(), order.end(), 0);
  if (round == 0) return order;
  std::vector<uint64_t> keys;
  for (const Colours& set : sets) keys.push_back(hashOf(set, static_cast<uint64_t>(round)));
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return std::tuple(-size(sets[a]), keys[a], a) < std::tuple(-size(sets[b]), keys[b], b);
  });
  return order;
}

int paletteCount(const std::vector<int>& palette_of_set) {
  return palette_of_set.empty() ? 0 : *std::max_element(palette_of_set.begin(), palette_of_set.end()) + 1;
}

// The heuristic's answer: the palette of each set, from the round that
// needs the fewest palettes. Rounds stop at the lower bound, or when another
// would take the work past the bound.
std::vector<int> heuristicPacking(const std::vector<Colours>& sets, int colour_count, int capacity,
                                  int lower_bound) {
  std::vector<std::vector<int>> setsWith(colour_count);
  for (int i = 0; i < static_cast<int>(sets.size()); ++i)
    for (int c : sets[i]) setsWith[c].push_back(i);
  PaletteEmptier emptier(sets, colour_count, capacity);
  std::vector<int> best;
  int64_t work = 0;
  for (int round = 0; round < kMostRounds; ++round) {
    std::vector<int> paletteOf = fillPalettes(sets, setsWith, orderForRound(sets, round), capacity, &work);
    paletteOf = emptier.empty(paletteOf, &work);
    if (best.empty() || paletteCount(paletteOf) < paletteCount(best)) best = std::move(paletteOf);
    if (paletteCount(best) <= lower_bound || work + work / (round + 1) > kHeuristicWork) break;
  }
  return best;
}

// Branch and bound over the ways of putting a few sets into k palettes,
// each set and palette a bit set of colours. The set placed next is the one
// with the fewest palettes left that it fits in (the largest on a tie), as
// when colouring a graph.
class ExactSearch {
 public:
  enum class Outcome { kPacked, kImpossible, kGaveUp };

  ExactSearch(const std::vector<Colours>& sets, int colour_count, int capacity)
      : words_((colour_count + 63) / 64), capacity_(capacity), count_(static_cast<int>(sets.size())) {
    assert(count_ <= kMaxExactSets);
    bits_.assign(static_cast<size_t>(count_) * words_, 0);
    for (int i = 0; i < count_; ++i) {
      for (int c : sets[i]) bits_[static_cast<size_t>(i) * words_ + c / 64] |= uint64_t{1} << (c % 64);
      setSizes_[i] = size(sets[i]);
      clashes_[i] = 0;
      sharing_[i] = 0;
      for (int j = 0; j < count_; ++j) {
        const int together = unionSize(sets[i], sets[j]);
        if (together > capacity) clashes_[i] |= uint32_t{1} << j;
        if (together < size(sets[i]) + size(sets[j])) sharing_[i] |= uint32_t{1} << j;
      }
    }
  }

  // Tries to put the sets into `palettes` palettes, filling *palette_of_set
  // if it can. The work bound holds over all calls together.
  Outcome pack(int palettes, std::vector<int>* palette_of_set) {
    assert(palettes <= count_);
    palettes_ = palettes;
    used_ = 0;
    total_ = 0;
    paletteBits_.assign(static_cast<size_t>(palettes) * words_, 0);
    saved_.assign(static_cast<size_t>(count_) * words_, 0);
    if (!place((uint32_t{1} << count_) - 1)) return gaveUp_ ? Outcome::kGaveUp : Outcome::kImpossible;
    palette_of_set->assign(choice_, choice_ + count_);
    return Outcome::kPacked;
  }

 private:
  const uint64_t* set(int i) const { return &bits_[static_cast<size_t>(i) * words_]; }
  uint64_t* palette(int p) { return &paletteBits_[static_cast<size_t>(p) * words_]; }

  // Works out added_[p] afresh, palette p having changed.
  void countNewColours(int p) {
    const uint64_t* bits = palette(p);
    for (int s = 0; s < count_; ++s) {
      int count = 0;
      for (int w = 0; w < words_; ++w) count += std::popcount(set(s)[w] & ~bits[w]);
      added_[p][s] = count;
    }
  }

  // Whether the free slots can take the colours the unplaced sets still
  // need. Of sets sharing no colour, each adds at least its fewest new
  // colours, in slots of its own; beyond those sets, each colour in no
  // palette yet takes a slot too.
  bool slotsSuffice(uint32_t unplaced, const int* fewest_new) {
    std::pair<int, int> bySlots[kMaxExactSets];  // (-fewest new colours, set)
    int count = 0;
    for (uint32_t rest = unplaced; rest != 0; rest &= rest - 1) {
      const int s = std::countr_zero(rest);
      bySlots[count++] = {-fewest_new[s], s};
    }
    std::sort(bySlots, bySlots + count);
    uint32_t apart = 0;
    int needed = 0;
    for (int k = 0; k < count; ++k) {
      const int s = bySlots[k].second;
      if ((sharing_[s] & apart) != 0) continue;
      apart |= uint32_t{1} << s;
      needed -= bySlots[k].first;
    }
    for (int w = 0; w < words_; ++w) {
      uint64_t missing = 0;
      for (uint32_t rest = unplaced & ~apart; rest != 0; rest &= rest - 1) missing |= set(std::countr_zero(rest))[w];
      for (uint32_t rest = apart; rest != 0; rest &= rest - 1) missing &= ~set(std::countr_zero(rest))[w];
      for (int p = 0; p < used_; ++p) missing &= ~palette(p)[w];
      needed += std::popcount(missing);
    }
    return total_ + needed <= int64_t{palettes_} * capacity_;
  }

  // Places the `unplaced` sets (a bit each).
  bool place(uint32_t unplaced) {
    if (unplaced == 0) return true;
    work_ += static_cast<int64_t>(count_) * (words_ + used_ + 1);
    if (work_ > kExactSearchWork) gaveUp_ = true;
    if (gaveUp_) return false;

    int chosen = -1;
    int fewestChoices = INT_MAX;
    int fewestNew[kMaxExactSets];  // of each set, in any palette it fits
    uint32_t homeless = 0;         // sets that fit in no palette holding sets
    for (uint32_t rest = unplaced; rest != 0; rest &= rest - 1) {
      const int s = std::countr_zero(rest);
      const int empty = used_ < palettes_ ? 1 : 0;
      int choices = empty;
      fewestNew[s] = empty ? setSizes_[s] : INT_MAX;
      for (int p = 0; p < used_; ++p) {
        const int added = added_[p][s];
        // A palette holding the set already is the best place there is for
        // it: it changes no palette.
        if (added == 0) {
          choice_[s] = p;
          return place(unplaced & ~(uint32_t{1} << s));
        }
        if (paletteSizes_[p] + added <= capacity_) {
          ++choices;
          fewestNew[s] = std::min(fewestNew[s], added);
        }
      }
      if (choices == 0) return false;
      if (choices == empty) homeless |= uint32_t{1} << s;
      if (choices < fewestChoices) {
        chosen = s;
        fewestChoices = choices;
      }
    }
    // Homeless sets no two of which fit together each need an empty palette.
    int needed = 0;
    for (; homeless != 0; ++needed) homeless &= clashes_[std::countr_zero(homeless)];
    if (used_ + needed > palettes_ || !slotsSuffice(unplaced, fewestNew)) return false;
    return placeSet(chosen, unplaced & ~(uint32_t{1} << chosen));
  }

  // Tries set s in each palette it fits in, fewest new colours first, then
  // in the next empty one (empty palettes differ only in their numbers).
  bool placeSet(int s, uint32_t unplaced) {
    std::pair<int, int> candidates[kMaxExactSets];  // (new colours, palette)
    int count = 0;
    for (int p = 0; p < used_; ++p)
      if (paletteSizes_[p] + added_[p][s] <= capacity_) candidates[count++] = {added_[p][s], p};
    std::sort(candidates, candidates + count);
    // The palette as it was, kept by the number of sets placed before s.
    uint64_t* bitsBefore = &saved_[static_cast<size_t>(count_ - 1 - std::popcount(unplaced)) * words_];
    int addedBefore[kMaxExactSets];
    for (int k = 0; k < count; ++k) {
      const auto [added, p] = candidates[k];
      uint64_t* bits = palette(p);
      std::copy(bits, bits + words_, bitsBefore);
      std::copy(added_[p], added_[p] + count_, addedBefore);
      for (int w = 0; w < words_; ++w) bits[w] |= set(s)[w];
      countNewColours(p);
      paletteSizes_[p] += added;
      total_ += added;
      choice_[s] = p;
      if (place(unplaced)) return true;
      std::copy(bitsBefore, bitsBefore + words_, bits);
      std::copy(addedBefore, addedBefore + count_, added_[p]);
      paletteSizes_[p] -= added;
      total_ -= added;
      if (gaveUp_) return false;
    }
    if (used_ == palettes_) return false;
    const int p = used_++;
    std::copy(set(s), set(s) + words_, palette(p));
    countNewColours(p);
    paletteSizes_[p] = setSizes_[s];
    total_ += setSizes_[s];
    choice_[s] = p;
    if (place(unplaced)) return true;
    std::fill(palette(p), palette(p) + words_, 0);
    total_ -= setSizes_[s];
    --used_;
    return false;
  }

  const int words_;
  const int capacity_;
  const int count_;
  std::vector<uint64_t> bits_;  // set i at words_ * i
  int setSizes_[kMaxExactSets];
  uint32_t clashes_[kMaxExactSets];  // of each set, the sets that do not fit in one palette with it
  uint32_t sharing_[kMaxExactSets];  // of each set, the sets sharing a colour with it (itself too)
  int choice_[kMaxExactSets];        // the palette of each placed set

  int palettes_ = 0;
  int used_ = 0;   // palettes holding sets
  int total_ = 0;  // colours in all palettes together
  std::vector<uint64_t> paletteBits_;
  int paletteSizes_[kMaxExactSets];
  int added_[kMaxExactSets][kMaxExactSets];  // [p][s]: colours set s would add to palette p
  std::vector<uint64_t> saved_;
  int64_t work_ = 0;
  bool gaveUp_ = false;
};

// Improves on the heuristic's packing in *palette_of_set by exact search
// for one palette fewer at a time, down to the lower bound. True once no
// fewer palettes are possible; false when the search gave up, the best
// packing found so far being left.
bool exactPacking(const std::vector<Colours>& sets, int colour_count, int capacity, int lower_bound,
                  std::vector<int>* palette_of_set) {
  ExactSearch search(sets, colour_count, capacity);
  std::vector<int> fewer;
  for (int k = paletteCount(*palette_of_set) - 1; k >= lower_bound; --k) {
    switch (search.pack(k, &fewer)) {
      case ExactSearch::Outcome::kPacked:
        *palette_of_set = fewer;
        break;
      case ExactSearch::Outcome::kImpossible:
        return true;
      case ExactSearch::Outcome::kGaveUp:
        return false;
    }
  }
  return true;
}

// Fills in the answer from the palette of each maximal set: every palette
// is the union of its sets, and every input set goes to the palette of the
// maximal set that holds it.
void fillAnswer(const DistinctSets& distinct, const MaximalSets& maximal, const std::vector<int>& palette_of_maximal,
                PaletteChoice* choice) {
  std::vector<Colours> palettes(paletteCount(palette_of_maximal));
  for (size_t i = 0; i < maximal.sets.size(); ++i) {
    const Colours& set = distinct.sets[maximal.sets[i]];
    Colours& palette = palettes[palette_of_maximal[i]];
    palette.insert(palette.end(), set.begin(), set.end());
  }
  for (Colours& palette : palettes) {
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    choice->palettes.emplace_back();
    for (int c : palette) choice->palettes.back().push_back(distinct.values[c]);
  }
  for (int d : distinct.ofInput) choice->paletteOfSet.push_back(palette_of_maximal[maximal.holders[d]]);
}

}  // namespace

PaletteChoice choosePalettes(const std::vector<ColourSet>& sets, int capacity, int max_palettes) {
  capacity = std::max(capacity, 0);
  PaletteChoice choice;
  // The sets as given where they are sorted and distinct, as copies put so
  // where not.
  std::deque<std::vector<uint32_t>> copies;
  std::vector<const std::vector<uint32_t>*> input;
  for (size_t i = 0; i < sets.size(); ++i) {
    const std::vector<uint32_t>& colours = sets[i].colours;
    if (std::adjacent_find(colours.begin(), colours.end(), std::greater_equal<uint32_t>()) == colours.end()) {
      input.push_back(&colours);
    } else {
      std::vector<uint32_t>& copy = copies.emplace_back(colours);
      std::sort(copy.begin(), copy.end());
      copy.erase(std::unique(copy.begin(), copy.end()), copy.end());
      input.push_back(&copy);
    }
    if (input.back()->size() > static_cast<size_t>(capacity)) {
      choice.problem = PackingProblem::kSetTooLarge;
      choice.oversizedSet = i;
      choice.oversizedColours = input.back()->size();
      return choice;
    }
  }
  if (input.empty()) {
    choice.provenMinimal = true;
    return choice;
  }

  const DistinctSets distinct = distinctSets(input);
  const int colourCount = static_cast<int>(distinct.values.size());
  const MaximalSets maximal = maximalSets(distinct.sets, colourCount);
  std::vector<Colours> maximalColours;
  for (int i : maximal.sets) maximalColours.push_back(distinct.sets[i]);

  // capacity >= 1 wherever there is a colour: a set with one would be too large.
  const int byColours = colourCount == 0 ? 1 : (colourCount - 1) / capacity + 1;
  const int cliqueLimit = std::clamp(max_palettes, 0, INT_MAX - 1) + 1;
  choice.lowerBound = std::max(byColours, cliqueBound(maximalColours, colourCount, capacity, cliqueLimit));

  if (choice.lowerBound > max_palettes) {
    choice.problem = PackingProblem::kTooManyPalettes;
    return choice;
  }

  std::vector<int> paletteOf = heuristicPacking(maximalColours, colourCount, capacity, choice.lowerBound);
  choice.provenMinimal = paletteCount(paletteOf) <= choice.lowerBound;
  if (!choice.provenMinimal && static_cast<int>(maximal.sets.size()) <= kMaxExactSets)
    choice.provenMinimal = exactPacking(maximalColours, colourCount, capacity, choice.lowerBound, &paletteOf);
  fillAnswer(distinct, maximal, paletteOf, &choice);
  if (choice.provenMinimal) choice.lowerBound = static_cast<int>(choice.palettes.size());
  if (static_cast<int>(choice.palettes.size()) > max_palettes) choice.problem = PackingProblem::kTooManyPalettes;
  return choice;
}

}  // namespace tessarn
