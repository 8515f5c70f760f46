// Runs a fuzz target once over every file in the directories named on the
// command line, without libFuzzer: the corpora become ordinary regression
// tests in any build, with any compiler. An input the target passes over
// (it returns -1, libFuzzer's "do not add to the corpus") checked nothing,
// and fails the replay.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t count = 0, passed_over = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      // Named first, so that a failure's output says which input it was.
      std::printf("%s\n", entry.path().string().c_str());
      std::fflush(stdout);
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (LLVMFuzzerTestOneInput(bytes.data(), bytes.size()) == -1) {
        std::printf("%s: passed over, checked nothing\n", entry.path().string().c_str());
        ++passed_over;
      }
      ++count;
    }
  }
  std::printf("%zu inputs ran, %zu passed over\n", count, passed_over);
  return count == 0 || passed_over != 0 ? 1 : 0;
}
