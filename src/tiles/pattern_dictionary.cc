#include "tiles/pattern_dictionary.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

namespace tessarn {
namespace {

using Key = PatternDictionary::Key;

Key keyOf(const Pattern& p) {
  Key k;
  std::memcpy(&k.top, p.data(), 8);
  std::memcpy(&k.bottom, p.data() + 4, 8);
  return k;
}

// Reverses the bits of every byte: each row mirrored left-right.
uint64_t reverseBitsInBytes(uint64_t x) {
  x = (x >> 1 & 0x5555555555555555u) | (x & 0x5555555555555555u) << 1;
  x = (x >> 2 & 0x3333333333333333u) | (x & 0x3333333333333333u) << 2;
  return (x >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (x & 0x0F0F0F0F0F0F0F0Fu) << 4;
}

// Reverses the order of the four 16-bit rows.
uint64_t reverseRows(uint64_t x) {
  x = x >> 32 | x << 32;
  return (x >> 16 & 0x0000FFFF0000FFFFu) | (x & 0x0000FFFF0000FFFFu) << 16;
}

Key mirrorLeftRight(Key k) { return {reverseBitsInBytes(k.top), reverseBitsInBytes(k.bottom)}; }
Key mirrorTopBottom(Key k) { return {reverseRows(k.bottom), reverseRows(k.top)}; }

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

uint16_t mirrorRow(uint16_t word) { return static_cast<uint16_t>(reverseBitsInBytes(word)); }

PatternDictionary::PatternDictionary(const DictionarySettings& settings)
    : slots_(static_cast<uint32_t*>(std::calloc(kSlots, sizeof(uint32_t)))),
      layout_(settings.layout),
      mirrorBits_(settings.layout.mirrorBits()),
      keepDuplicates_(settings.keepDuplicates),
      givenCount_(static_cast<int>(settings.startPatterns.size())) {
  if (!slots_) throw std::bad_alloc();
  assert(layout_.firstPattern >= 0 && layout_.firstPattern < layout_.patternLimit &&
         layout_.patternLimit <= kPatternNumbers);
  assert(givenCount_ <= layout_.patternLimit - layout_.firstPattern);
  // Every pattern ever stored fits in memory reserved now, so growing the
  // dictionary never moves keys and never fails half-way.
  orientations_.reserve(4 * kPatternNumbers);
  if (settings.startPatterns.empty()) addPattern(Key{0, 0});
  for (const Pattern& pattern : settings.startPatterns) addPattern(keyOf(pattern));
}

Pattern PatternDictionary::pattern(int index) const {
  const Key& k = orientations_[4 * static_cast<size_t>(index)];
  Pattern p;
  std::memcpy(p.data(), &k.top, 8);
  std::memcpy(p.data() + 4, &k.bottom, 8);
  return p;
}

size_t PatternDictionary::findSlot(const Key& key, uint64_t hash) const {
  const uint32_t tag = tagOf(hash);
  constexpr size_t kMask = kSlots - 1;
  for (size_t i = hash >> kIndexShift;; i = (i + 1) & kMask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) return i;
    if (slotTag(slot) != tag) continue;
    if (orientations_[orientationIndex(slotWord(slot))] == key) return i;
  }
}

void PatternDictionary::addPattern(const Key& pattern) {
  const Key left_right = mirrorLeftRight(pattern);
  const Key orientations[4] = {pattern, left_right, mirrorTopBottom(pattern),
                               mirrorTopBottom(left_right)};
  orientations_.insert(orientations_.end(), orientations, orientations + 4);
  indexPattern(count() - 1);
}

void PatternDictionary::indexPattern(int index) {
  // Nothing is looked up when every tile is a new pattern.
  if (keepDuplicates_) return;
  // In the order a match is tried, so that when orientations coincide (a
  // symmetric pattern) the first of them is the one found.
  for (int o = 0; o < 4; ++o) {
    if ((kOrientationBits[o] & ~mirrorBits_) != 0) continue;
    const Key& orientation = orientations_[4 * static_cast<size_t>(index) + o];
    const uint64_t hash = hashOfHalves(orientation.top, orientation.bottom);
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
  orientations_.resize(4 * static_cast<size_t>(count));
  std::fill(slots_.get(), slots_.get() + kSlots, 0u);
  for (int n = 0; n < count; ++n) indexPattern(n);
}

bool PatternDictionary::lookupOrAdd(const Pattern& tile, uint64_t hash, uint16_t* map_word) {
  const Key key = keyOf(tile);
  if (!keepDuplicates_) {
    const size_t i = findSlot(key, hash);
    if (slots_[i] != 0) {
      // The index holds words numbered from 0; the first number is below
      // the limit less the count, so adding it never reaches the mirror bits.
      *map_word = static_cast<uint16_t>(slotWord(slots_[i]) + layout_.firstPattern);
      return true;
    }
  }
  if (layout_.firstPattern + count() >= layout_.patternLimit) return false;
  *map_word = static_cast<uint16_t>(layout_.firstPattern + count());
  addPattern(key);
  return true;
}

}  // namespace tessarn
