#include "tiles/pattern_dictionary.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tessarn {
namespace {

constexpr uint16_t kOrientationBits[4] = {0, kMirrorLeftRight, kMirrorTopBottom,
                                          kMirrorLeftRight | kMirrorTopBottom};

// An index slot is 0 when empty; otherwise its high 16 bits are a tag,
// 16 more bits of the key's hash (never 0), and its low 16 the map word that
// the key gets, its pattern counted from 0 (an index word).
uint32_t tagOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 16 & 0xFFFF) | 1; }
uint32_t makeSlot(uint32_t tag, uint16_t map_word) { return tag << 16 | map_word; }
uint32_t slotTag(uint32_t slot) { return slot >> 16; }
uint16_t slotWord(uint32_t slot) { return static_cast<uint16_t>(slot); }

}  // namespace

PatternDictionary::PatternDictionary(const DictionarySettings& settings)
    : slots_(static_cast<uint32_t*>(std::calloc(kSlots, sizeof(uint32_t)))),
      layout_(settings.layout),
      words_(settings.bitsPerPixel),
      mirrorBits_(settings.layout.mirrorBits()),
      keepDuplicates_(settings.keepDuplicates),
      givenCount_(static_cast<int>(settings.startPatterns.size())) {
  if (!slots_) throw std::bad_alloc();
  assert(layout_.firstPattern >= 0 && layout_.firstPattern < layout_.patternLimit &&
         layout_.patternLimit <= kPatternNumbers);
  assert(givenCount_ <= layout_.patternLimit - layout_.firstPattern);
  assert(words_ == 2 || words_ == 4 || words_ == 8);
  // Every pattern ever stored fits in memory reserved now, so growing the
  // dictionary never moves keys and never fails half-way.
  keys_.reserve(4 * static_cast<size_t>(words_) * kPatternNumbers);
  if (settings.startPatterns.empty()) addPattern(Pattern{}.words.data());
  for (const Pattern& pattern : settings.startPatterns) addPattern(pattern.words.data());
}

Pattern PatternDictionary::pattern(int index) const {
  Pattern p;
  std::memcpy(p.words.data(), keyAt(4 * static_cast<size_t>(index)), 8 * static_cast<size_t>(words_));
  return p;
}

Pattern PatternDictionary::drawnAs(uint16_t map_word) const {
  Pattern p;
  const size_t index = static_cast<size_t>(patternNumberOf(map_word) - layout_.firstPattern);
  std::memcpy(p.words.data(), keyAt(4 * index + static_cast<size_t>(orientationOf(map_word))),
              8 * static_cast<size_t>(words_));
  return p;
}

template <int kWords>
size_t PatternDictionary::findSlot(const uint64_t* key, uint64_t hash) const {
  const uint32_t tag = tagOf(hash);
  constexpr size_t kMask = kSlots - 1;
  for (size_t i = hash >> kIndexShift;; i = (i + 1) & kMask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) return i;
    if (slotTag(slot) != tag) continue;
    if (std::equal(key, key + kWords, keyAt(orientationIndex(slotWord(slot))))) return i;
  }
}

size_t PatternDictionary::findSlot(const uint64_t* key, uint64_t hash) const {
  switch (words_) {
    case 2:
      return findSlot<2>(key, hash);
    case 4:
      return findSlot<4>(key, hash);
    case 8:
      return findSlot<8>(key, hash);
  }
  std::abort();  // patterns are of 2, 4 or 8 bits a pixel
}

void PatternDictionary::addPattern(const uint64_t* pattern) {
  for (int o = 0; o < 4; ++o) {
    uint64_t orientation[kMaxPatternWords];
    mirrorWords(pattern, words_, (o & 1) != 0, (o & 2) != 0, orientation);
    keys_.insert(keys_.end(), orientation, orientation + words_);
  }
  indexPattern(count() - 1);
}

void PatternDictionary::indexPattern(int index) {
  // Nothing is looked up when every tile is a new pattern.
  if (keepDuplicates_) return;
  // In the order a match is tried, so that when orientations coincide (a
  // symmetric pattern) the first of them is the one found.
  for (int o = 0; o < 4; ++o) {
    if ((kOrientationBits[o] & ~mirrorBits_) != 0) continue;
    const uint64_t* orientation = keyAt(4 * static_cast<size_t>(index) + o);
    const uint64_t hash = hashOf(orientation, words_);
    const size_t i = findSlot(orientation, hash);
    const uint16_t map_word = static_cast<uint16_t>(index | kOrientationBits[o]);
    if (slots_[i] == 0) slots_[i] = makeSlot(tagOf(hash), map_word);
  }
}

void PatternDictionary::truncate(int count) {
  if (count >= this->count()) return;
  // Open addressing cannot simply drop entries: the index is built again
  // from the patterns kept, in their order, which gives it the very state
  // it had when they were the only ones.
  keys_.resize(4 * static_cast<size_t>(words_) * static_cast<size_t>(count));
  std::fill(slots_.get(), slots_.get() + kSlots, 0u);
  for (int n = 0; n < count; ++n) indexPattern(n);
}

// Made for each size of tile, so that the key comparisons inline.
template <int kWords>
bool PatternDictionary::lookupOrAddWords(const uint64_t* tile, uint64_t hash, uint16_t* map_word) {
  if (!keepDuplicates_) {
    const size_t i = findSlot<kWords>(tile, hash);
    if (slots_[i] != 0) {
      // The index holds words numbered from 0; the first number is below
      // the limit less the count, so adding it never reaches the mirror bits.
      *map_word = static_cast<uint16_t>(slotWord(slots_[i]) + layout_.firstPattern);
      return true;
    }
  }
  if (layout_.firstPattern + count() >= layout_.patternLimit) return false;
  *map_word = static_cast<uint16_t>(layout_.firstPattern + count());
  addPattern(tile);
  return true;
}

bool PatternDictionary::lookupOrAdd(const uint64_t* tile, uint64_t hash, uint16_t* map_word) {
  switch (words_) {
    case 2:
      return lookupOrAddWords<2>(tile, hash, map_word);
    case 4:
      return lookupOrAddWords<4>(tile, hash, map_word);
    case 8:
      return lookupOrAddWords<8>(tile, hash, map_word);
  }
  std::abort();  // patterns are of 2, 4 or 8 bits a pixel
}

}  // namespace tessarn
