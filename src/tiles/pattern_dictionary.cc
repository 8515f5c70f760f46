#include "tiles/pattern_dictionary.h"

#include <cstring>

namespace tessarn {
namespace {

uint8_t reverseByte(uint8_t b) {
  b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  b = static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
  return b;
}

Pattern mirrorLeftRight(const Pattern& p) {
  Pattern out;
  for (int r = 0; r < 8; ++r) out[r] = mirrorRow(p[r]);
  return out;
}

Pattern mirrorTopBottom(const Pattern& p) {
  Pattern out;
  for (int r = 0; r < 8; ++r) out[r] = p[7 - r];
  return out;
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

uint64_t hash(const Pattern& p) {
  uint64_t halves[2];
  std::memcpy(halves, p.data(), sizeof halves);
  return mix(halves[0] ^ mix(halves[1]));
}

constexpr size_t kInitialSlots = 1024;

}  // namespace

uint16_t mirrorRow(uint16_t word) {
  return static_cast<uint16_t>(reverseByte(static_cast<uint8_t>(word)) |
                               reverseByte(static_cast<uint8_t>(word >> 8)) << 8);
}

PatternDictionary::PatternDictionary() : slots_(kInitialSlots) {
  // Every pattern ever stored fits in memory reserved now, so growing the
  // dictionary never moves patterns and never fails half-way.
  patterns_.reserve(kMaxPatterns);
  patterns_.push_back(Pattern{});
  insertOrientations(patterns_[0], 0);
}

PatternDictionary::Slot& PatternDictionary::findSlot(const Pattern& key) {
  size_t mask = slots_.size() - 1;
  size_t i = hash(key) & mask;
  while (slots_[i].used && slots_[i].key != key) i = (i + 1) & mask;
  return slots_[i];
}

void PatternDictionary::grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.used) findSlot(slot.key) = slot;
  }
}

void PatternDictionary::insertOrientations(const Pattern& pattern, uint16_t number) {
  // Up to four new keys; keep the load at or below one half.
  if ((used_slots_ + 4) * 2 > slots_.size()) grow();
  const Pattern left_right = mirrorLeftRight(pattern);
  const Pattern orientations[4] = {pattern, left_right, mirrorTopBottom(pattern),
                                   mirrorTopBottom(left_right)};
  const uint16_t bits[4] = {0, kMirrorLeftRight, kMirrorTopBottom,
                            kMirrorLeftRight | kMirrorTopBottom};
  for (int o = 0; o < 4; ++o) {
    Slot& slot = findSlot(orientations[o]);
    if (slot.used) continue;  // an earlier orientation or pattern wins
    slot = Slot{orientations[o], static_cast<uint16_t>(number | bits[o]), true};
    ++used_slots_;
  }
}

bool PatternDictionary::lookupOrAdd(const Pattern& tile, uint16_t* map_word) {
  const Slot& slot = findSlot(tile);
  if (slot.used) {
    *map_word = slot.map_word;
    return true;
  }
  if (count() >= kMaxPatterns) return false;
  uint16_t number = static_cast<uint16_t>(count());
  patterns_.push_back(tile);
  insertOrientations(tile, number);
  *map_word = number;
  return true;
}

}  // namespace tessarn
