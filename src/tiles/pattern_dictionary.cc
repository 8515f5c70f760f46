#include "tiles/pattern_dictionary.h"

#include <algorithm>
#include <cstring>

namespace tessarn {
namespace {

// A pattern as two 64-bit halves: rows 0-3 and rows 4-7, each row a 16-bit
// lane, row 0 in the lowest lane. The mirrorings work on whole halves.
struct Halves {
  uint64_t top;
  uint64_t bottom;

  bool operator<(const Halves& o) const { return top != o.top ? top < o.top : bottom < o.bottom; }
  bool operator==(const Halves& o) const = default;
};

Halves halvesOf(const Pattern& p) {
  Halves h;
  std::memcpy(&h.top, p.data(), 8);
  std::memcpy(&h.bottom, p.data() + 4, 8);
  return h;
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

Halves mirrorLeftRight(Halves h) { return {reverseBitsInBytes(h.top), reverseBitsInBytes(h.bottom)}; }
Halves mirrorTopBottom(Halves h) { return {reverseRows(h.bottom), reverseRows(h.top)}; }

constexpr uint16_t kOrientationBits[4] = {0, kMirrorLeftRight, kMirrorTopBottom,
                                          kMirrorLeftRight | kMirrorTopBottom};

// Orientation o of a pattern, o being the map word's mirror bits >> 14.
Halves orient(Halves h, int o) {
  if (o & 1) h = mirrorLeftRight(h);
  if (o & 2) h = mirrorTopBottom(h);
  return h;
}

// Mixes every input bit into every output bit, so that the low bits used as
// the slot index depend on all 16 bytes of the pattern.
uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDu;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53u;
  h ^= h >> 33;
  return h;
}

uint64_t hashOf(const Halves& h) { return mix(h.top ^ mix(h.bottom)); }

uint32_t tagOf(uint64_t hash) { return static_cast<uint32_t>(hash >> 48) | 1; }

}  // namespace

uint16_t mirrorRow(uint16_t word) { return static_cast<uint16_t>(reverseBitsInBytes(word)); }

PatternDictionary::PatternDictionary() : slots_(kSlots, 0) {
  // Every pattern ever stored fits in memory reserved now, so growing the
  // dictionary never moves patterns and never fails half-way.
  patterns_.reserve(kMaxPatterns);
  addPattern(Pattern{});
}

size_t PatternDictionary::findSlot(const Pattern& key, uint64_t hash) const {
  const Halves wanted = halvesOf(key);
  const uint32_t tag = tagOf(hash);
  constexpr size_t kMask = kSlots - 1;
  for (size_t i = hash & kMask;; i = (i + 1) & kMask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) return i;
    if (slot >> 16 != tag) continue;
    const uint16_t word = static_cast<uint16_t>(slot);
    if (orient(halvesOf(patterns_[word & 0x3FFF]), word >> 14) == wanted) return i;
  }
}

void PatternDictionary::addPattern(const Pattern& pattern) {
  const uint16_t number = static_cast<uint16_t>(patterns_.size());
  patterns_.push_back(pattern);
  // In the order a match is tried, so that when orientations coincide (a
  // symmetric pattern) the first of them is the one found.
  for (int o = 0; o < 4; ++o) {
    Pattern key;
    const Halves h = orient(halvesOf(pattern), o);
    std::memcpy(key.data(), &h.top, 8);
    std::memcpy(key.data() + 4, &h.bottom, 8);
    const uint64_t hash = hashOf(h);
    const size_t i = findSlot(key, hash);
    if (slots_[i] == 0) slots_[i] = tagOf(hash) << 16 | number | kOrientationBits[o];
  }
}

bool PatternDictionary::lookupOrAdd(const Pattern& tile, uint16_t* map_word) {
  const size_t i = findSlot(tile, hashOf(halvesOf(tile)));
  if (slots_[i] != 0) {
    *map_word = static_cast<uint16_t>(slots_[i]);
    return true;
  }
  if (count() >= kMaxPatterns) return false;
  *map_word = static_cast<uint16_t>(count());
  addPattern(tile);
  return true;
}

}  // namespace tessarn
