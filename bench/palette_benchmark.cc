// The palette packing on 100,000 tiles' colour sets drawn from 16 palettes of
// 15 colours, and on 24 sets of random colours, which make the exact search
// work hardest.

#include <benchmark/benchmark.h>

#include <random>
#include <set>
#include <vector>

#include "colours/palette_packing.h"

namespace {

// `count` sets of `fewest` to `most` colours, each from one of `groups`
// groups of `group_size` colours out of `colours`.
std::vector<tessarn::ColourSet> randomSets(int count, int groups, int group_size, int colours, int fewest, int most) {
  std::mt19937 random(1);
  std::vector<std::vector<uint32_t>> group(groups);
  for (auto& g : group) {
    std::set<uint32_t> chosen;
    while (static_cast<int>(chosen.size()) < group_size) chosen.insert(random() % colours);
    g.assign(chosen.begin(), chosen.end());
  }
  std::vector<tessarn::ColourSet> sets(count);
  for (auto& set : sets) {
    const auto& g = group[random() % groups];
    std::set<uint32_t> chosen;
    const size_t size = std::uniform_int_distribution<int>(fewest, most)(random);
    while (chosen.size() < size) chosen.insert(g[random() % g.size()]);
    set.colours.assign(chosen.begin(), chosen.end());
  }
  return sets;
}

void BM_Pack(benchmark::State& state, const std::vector<tessarn::ColourSet>& sets) {
  tessarn::PaletteChoice choice;
  for (auto _ : state) choice = tessarn::choosePalettes(sets, 15, 64);
  state.counters["palettes"] = static_cast<double>(choice.palettes.size());
  state.counters["proven"] = choice.provenMinimal;
}
BENCHMARK_CAPTURE(BM_Pack, 100000Sets, randomSets(100000, 16, 15, 300, 1, 8))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Pack, 24HardSets, randomSets(24, 1, 40, 40, 5, 8))->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
