// The cost of one dictionary lookup at different dictionary sizes: it should
// not grow with the number of stored patterns.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "tiles/pattern_dictionary.h"

namespace {

using tessarn::Pattern;

Pattern randomPattern(std::mt19937_64& random) {
  Pattern p;
  for (uint16_t& row : p) row = static_cast<uint16_t>(random());
  return p;
}

// Looks up tiles that are stored patterns in one of the four orientations,
// the common case in a real map.
void BM_LookupStored(benchmark::State& state) {
  const int stored = static_cast<int>(state.range(0));
  std::mt19937_64 random(42);
  tessarn::PatternDictionary dictionary;
  std::vector<Pattern> tiles;
  uint16_t word;
  for (int i = 1; i < stored; ++i) {
    Pattern p = randomPattern(random);
    dictionary.lookupOrAdd(p, &word);
    Pattern mirrored;
    for (int r = 0; r < 8; ++r) mirrored[r] = tessarn::mirrorRow(p[7 - r]);
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
BENCHMARK(BM_LookupStored)->Arg(100)->Arg(1000)->Arg(16000);

}  // namespace

BENCHMARK_MAIN();
