// The run-wide store of distinct 8x8 patterns (pattern.h), and the mirror
// matching that maps a tile to a pattern.
//
// The dictionary starts with the blank pattern, or with the patterns it is
// given (a fixed set the hardware already holds), and numbers its patterns
// in order from the layout's first number. A tile maps to the
// lowest-numbered pattern that equals it unmirrored, mirrored left-right
// (0x4000), mirrored top-bottom (0x8000) or mirrored both ways (0xC000), as
// far as the layout allows those mirror images; for that pattern the
// orientations are tried in that order. A tile that matches nothing is
// appended as the next pattern and maps to its number unmirrored; so is
// every tile when duplicates are kept. No pattern is numbered at or past the
// layout's limit (at most 16,384), so a number never reaches the mirror bits.
// Patterns are compared by their colour numbers only: a map cell's palette
// is no business of theirs.
//
// Lookups go through a hash index over all four orientations of every stored
// pattern, holding for each distinct orientation the first (pattern,
// orientation) that produced it: one probe gives the same answer as trying
// every pattern in order, at any dictionary size.

#ifndef TESSARN_TILES_PATTERN_DICTIONARY_H_
#define TESSARN_TILES_PATTERN_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if !defined(__GNUC__) && defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "tiles/map_word.h"
#include "tiles/pattern.h"

namespace tessarn {

struct DictionarySettings {
  MapWordLayout layout;
  bool keepDuplicates = false;  // no sharing: every tile becomes a new pattern
  // The patterns the run starts with; if none, it starts with the blank
  // pattern. At most the limit less the first number.
  std::vector<Pattern> startPatterns;
  int bitsPerPixel = 2;  // of every pattern: 2, 4 or 8
};

class PatternDictionary {
 public:
  // A dictionary holding the start patterns.
  explicit PatternDictionary(const DictionarySettings& settings = {});

  // The hash by which the index finds a tile of `words` words: worked out
  // once, where the tile is encoded (on another thread, perhaps), and
  // handed to the calls below. (Defined here, where the encoder can have
  // it inlined: it is worked out for every tile, right as the tile is made.)
  static uint64_t hashOf(const uint64_t* tile, int words) {
    uint64_t top = tile[0];
    uint64_t bottom = tile[1];
    for (int k = 2; k < words; k += 2) {
      top = (top * 0xFF51AFD7ED558CCDu) ^ tile[k];
      bottom = (bottom * 0xC4CEB9FE1A85EC53u) ^ tile[k + 1];
    }
    return hashOfHalves(top, bottom);
  }

  // Sets `map_word` to the map word of the tile whose words are at `tile`
  // (bitsPerPixel() of them), appending the tile as a new pattern when
  // nothing matches. False, with nothing added, when the tile is new and the
  // next number would reach the limit.
  bool lookupOrAdd(const uint64_t* tile, uint64_t hash, uint16_t* map_word);
  bool lookupOrAdd(const Pattern& tile, uint16_t* map_word) {
    return lookupOrAdd(tile.words.data(), hashOf(tile.words.data(), words_), map_word);
  }

  // Start loading what looking up the tile of this hash will read, so that
  // the memory waits of several lookups overlap: first the index slot, then
  // (once the slot is at hand) the key it names. They change nothing.
  void prefetchSlot(uint64_t hash) const { prefetch(&slots_[hash >> kIndexShift]); }
  void prefetchKey(uint64_t hash) const {
    prefetch(keyAt(orientationIndex(static_cast<uint16_t>(slots_[hash >> kIndexShift]))));
  }

  // Forgets every pattern from number `count` on, as if they had never been
  // added (a job whose image turned out to be unreadable).
  void truncate(int count);

  // The patterns held, those it started with included; pattern(i) is
  // numbered firstNumber() + i.
  int count() const { return static_cast<int>(keys_.size() / (4 * static_cast<size_t>(words_))); }
  Pattern pattern(int index) const;
  // The pattern as a map word draws it: its number's pattern, mirrored as
  // its mirror bits say (every orientation is kept).
  Pattern drawnAs(uint16_t map_word) const;
  const MapWordLayout& layout() const { return layout_; }
  int bitsPerPixel() const { return words_; }
  // How many of the patterns were given to the run (a fixed set): the
  // tables the run writes hold only the ones after them.
  int givenCount() const { return givenCount_; }

 private:
  static void prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address);
#elif defined(_M_X64)
    _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
  }
  // Where the orientation an index word (a slot's low 16 bits) names is
  // kept: orientation o (its mirror bits shifted down) of pattern n is key
  // 4n + o.
  static size_t orientationIndex(uint16_t index_word) {
    return size_t{static_cast<unsigned>(patternNumberOf(index_word))} * 4 + static_cast<unsigned>(orientationOf(index_word));
  }
  const uint64_t* keyAt(size_t orientation) const { return keys_.data() + orientation * static_cast<size_t>(words_); }

  // Multiplying by an odd constant carries every input bit into the high
  // bits of the product, so the slot index and the tag are taken from there.
  static uint64_t hashOfHalves(uint64_t top, uint64_t bottom) {
    bottom *= 0xC2B2AE3D27D4EB4Fu;
    return (top ^ (bottom >> 29 | bottom << 35)) * 0x9E3779B97F4A7C15u;
  }

  // The index: open addressing over 32-bit slots, each holding a map word
  // and a tag of 16 more hash bits, which rules out most mismatches without
  // reading the key (the layout is in the .cc). At most four keys per
  // pattern, so the index is never more than half full.
  static constexpr size_t kSlots = 8 * kPatternNumbers;
  static constexpr int kIndexShift = 64 - 17;
  static_assert(kSlots == size_t{1} << (64 - kIndexShift));

  // The slot holding the key of `words_` words at `key`, or the empty slot
  // where it would go; made for each size of key.
  template <int kWords>
  size_t findSlot(const uint64_t* key, uint64_t hash) const;
  size_t findSlot(const uint64_t* key, uint64_t hash) const;
  template <int kWords>
  bool lookupOrAddWords(const uint64_t* tile, uint64_t hash, uint16_t* map_word);
  void addPattern(const uint64_t* pattern);
  // Puts the orientations the layout allows of stored pattern `index` in
  // the index.
  void indexPattern(int index);

  // Every stored pattern's four orientations, `words_` words each, in the
  // order a match is tried: orientation o of pattern n is key 4n + o, o
  // being the map word's mirror bits shifted down.
  std::vector<uint64_t> keys_;
  // Zeroed by calloc, which takes fresh zeroed pages from the system for
  // an index this size instead of writing half a megabyte of zeros: a small
  // run touches few of them.
  struct FreeSlots {
    void operator()(uint32_t* slots) const { std::free(slots); }
  };
  std::unique_ptr<uint32_t[], FreeSlots> slots_;
  MapWordLayout layout_;
  int words_;             // of every key: the patterns' bits a pixel
  uint16_t mirrorBits_;   // the layout's, worked out once
  bool keepDuplicates_;
  int givenCount_;
};

}  // namespace tessarn

#endif  // TESSARN_TILES_PATTERN_DICTIONARY_H_
