// The cost of one dictionary lookup at different dictionary sizes: it should
// not grow with the number of stored patterns.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tiles/pattern_dictionary.h"

namespace {

using tessarn::Pattern;

// A pattern of `bits` bits a pixel.
Pattern randomPattern(std::mt19937_64& random, int bits) {
  Pattern p;
  for (int k = 0; k < bits; ++k) p.words[static_cast<size_t>(k)] = random();
  return p;
}

// Looks up tiles that are stored patterns in one of the four orientations,
// the common case in a real map.
void BM_LookupStored(benchmark::State& state) {
  const int stored = static_cast<int>(state.range(0));
  const int bits = static_cast<int>(state.range(1));
  std::mt19937_64 random(42);
  tessarn::DictionarySettings settings;
  settings.bitsPerPixel = bits;
  tessarn::PatternDictionary dictionary(settings);
  std::vector<Pattern> tiles;
  uint16_t word;
  for (int i = 1; i < stored; ++i) {
    Pattern p = randomPattern(random, bits);
    dictionary.lookupOrAdd(p, &word);
    Pattern mirrored;
    tessarn::mirrorWords(p.words.data(), bits, true, true, mirrored.words.data());
    tiles.push_back(i % 2 ? p : mirrored);
  }
  std::shuffle(tiles.begin(), tiles.end(), random);
  size_t i = 0;
  for (auto _ : state) {
    dictionary.lookupOrAdd(tiles[i], &word);
    benchmark::DoNotOptimize(word);
    if (++i == tiles.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupStored)->ArgsProduct({{100, 1000, 16000}, {2, 4, 8}});

}  // namespace

BENCHMARK_MAIN();
