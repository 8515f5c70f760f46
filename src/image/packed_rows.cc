#include "image/packed_rows.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace tessarn {
namespace {

using Spread = std::array<std::array<uint8_t, 8>, 256>;

// For every byte of packed indices, the indices it holds, leftmost first.
Spread spreadTable(int bit_depth) {
  Spread table{};
  const int per_byte = 8 / bit_depth;
  const int mask = (1 << bit_depth) - 1;
  for (int b = 0; b < 256; ++b) {
    for (int i = 0; i < per_byte; ++i) {
      table[b][i] = static_cast<uint8_t>(b >> (8 - bit_depth * (i + 1)) & mask);
    }
  }
  return table;
}

// Spreads a row of packed indices over one byte each.
template <int kPerByte>
void unpackRow(const Spread& table, const uint8_t* packed, int64_t width, uint8_t* out) {
  const int64_t whole = width / kPerByte;
  for (int64_t i = 0; i < whole; ++i) std::memcpy(out + i * kPerByte, table[packed[i]].data(), kPerByte);
  const int64_t rest = width - whole * kPerByte;
  if (rest > 0) std::memcpy(out + whole * kPerByte, table[packed[whole]].data(), static_cast<size_t>(rest));
}

}  // namespace

void unpackRow(int bit_depth, const uint8_t* packed, int64_t width, uint8_t* out) {
  static const Spread kSpread1 = spreadTable(1);
  static const Spread kSpread2 = spreadTable(2);
  static const Spread kSpread4 = spreadTable(4);
  switch (bit_depth) {
    case 1:
      return unpackRow<8>(kSpread1, packed, width, out);
    case 2:
      return unpackRow<4>(kSpread2, packed, width, out);
    case 4:
      return unpackRow<2>(kSpread4, packed, width, out);
    case 8:
      std::memcpy(out, packed, static_cast<size_t>(width));
      return;
  }
  std::abort();  // the readers accept no other depth
}

}  // namespace tessarn
