// Runs the built tessarn on generated workloads and compares each run with
// the floor measured on the same machine in the same session: a process
// (this program again, with --floor) that reads what any converter must
// read of the jobs' images and writes as many bytes as the run's outputs
// hold. Of an uncompressed 8-bit BMP whose rectangle covers at most half
// its rows it touches one byte in 64 of the rectangle's rows through a
// mapping; of any other file it reads the whole file with read().
//
//   run_benchmarks <path to tessarn> [scratch directory] [runs] [keep]
//
// With "keep", each workload's directory (scratch/big, ...) is left in place
// for profiling the tool by hand. Run under `taskset -c 0`, it measures the
// tool on one processor (which then uses one thread).
//
// Workloads (deterministic, generated into the scratch directory):
//   big     one 8192 x 8192 image, 1,048,576 tiles drawn from 16,000
//           patterns with random mirroring, one job over the whole image
//   many    2,000 jobs of 256 x 224 over four 1024 x 1024 images, three of
//           them writing .bin outputs
//   unique  one image of 16,000 distinct tiles, one job
//   png     the big image saved as a 2-bit indexed PNG, one job
//   scene   full-colour art of 1 and 16 MiB pixels (six regions' colour
//           schemes over 300 shapes), under snes-2bpp: palettes chosen by
//           the run against mapped colours on the same indexed picture, and
//           from 24-bit colour
//   big16, big256   the big image's size and layout, its tiles of 16 and
//           256 colours from 1,000 patterns, under snes-4bpp and md, and
//           gba-8bpp, with direct colours
// big and many are also timed with options that fit the map words to some
// hardware (a first number, given patterns, a pattern file; many also a
// limit and attributes), against the same runs without.
// For each it prints the median wall time, tiles per second, output bytes per
// second, peak memory, the floor's median and the ratio of run to floor.
//
// For png it also measures, in the same session, libspng decoding that file
// alone (this program again, with --decode, reading every row as tessarn
// does), and sets the run against that plus the run on big: a run that
// decodes while it tiles beats the sum.

#include <fcntl.h>
#include <spng.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/png_writer.h"

namespace fs = std::filesystem;
using tessarn::testing::BmpSpec;
using tessarn::testing::writeBmp;

namespace {

struct Job {
  std::string bitmap;
  int x, y, width, height;
  std::string name;
};

struct Workload {
  std::string label;
  std::vector<Job> jobs;
  long long tiles = 0;
  // Options that fit the map words to some hardware, for a second timing
  // of the same run; none for a workload timed only without.
  std::vector<std::string> options = {};
};

using Tile = std::array<uint8_t, 64>;

Tile randomTile(std::mt19937_64& random, int colours = 4) {
  Tile t;
  for (uint8_t& p : t) p = static_cast<uint8_t>(random() % static_cast<unsigned>(colours));
  return t;
}

void placeTile(BmpSpec* bmp, const Tile& tile, int tx, int ty, bool lr, bool tb) {
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint8_t p = tile[(tb ? 7 - y : y) * 8 + (lr ? 7 - x : x)];
      bmp->pixels[static_cast<size_t>(ty * 8 + y) * bmp->width + tx * 8 + x] = p;
    }
  }
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An image made of tiles picked from `pool`, each placed with a random
// mirroring.
BmpSpec tiledImage(int width, int height, const std::vector<Tile>& pool, std::mt19937_64& random) {
  BmpSpec bmp;
  bmp.width = width;
  bmp.height = height;
  bmp.pixels.assign(static_cast<size_t>(width) * height, 0);
  for (int ty = 0; ty < height / 8; ++ty) {
    for (int tx = 0; tx < width / 8; ++tx) {
      uint64_t r = random();
      placeTile(&bmp, pool[r % pool.size()], tx, ty, (r >> 32) & 1, (r >> 33) & 1);
    }
  }
  return bmp;
}

std::vector<Tile> tilePool(size_t count, std::mt19937_64& random, int colours = 4) {
  std::vector<Tile> pool;
  for (size_t i = 0; i < count; ++i) pool.push_back(randomTile(random, colours));
  return pool;
}

// The big picture: its tiles drawn from `patterns` patterns of `colours`
// colours.
BmpSpec bigImage(int colours = 4, size_t patterns = 16000) {
  std::mt19937_64 random(1);
  return tiledImage(8192, 8192, tilePool(patterns, random, colours), random);
}

// 100 random patterns, as --patterns-from reads them.
void writeGivenPatterns(const fs::path& path) {
  std::mt19937_64 random(4);
  std::string bytes(100 * 16, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  writeFile(path, bytes);
}

Workload makeBig(const fs::path& dir) {
  writeFile(dir / "big.bmp", writeBmp(bigImage()));
  writeGivenPatterns(dir / "given.pat");
  // 256 + 100 given + 16,000 found stays below 16,384.
  return {"big", {{"big.bmp", 0, 0, 8192, 8192, "big"}}, 1024LL * 1024,
          {"--first-pattern", "256", "--patterns-from", "given.pat", "--pattern-file", "added.pat"}};
}

Workload makePng(const fs::path& dir) {
  BmpSpec big = bigImage();
  writeFile(dir / "big.png", tessarn::testing::writePng({big.width, big.height, big.pixels, 3, 2}));
  return {"png", {{"big.png", 0, 0, 8192, 8192, "big"}}, 1024LL * 1024};
}

Workload makeMany(const fs::path& dir) {
  std::mt19937_64 random(2);
  std::vector<Tile> pool = tilePool(4000, random);
  // Numbers below 8192 leave bit 13 for an attribute.
  Workload w{"many", {}, 0,
             {"--first-pattern", "100", "--pattern-limit", "8192", "--attributes", "0x2000",
              "--attributes", "screen_7=0x0000", "--patterns-from", "given.pat", "--pattern-file", "added.pat"}};
  writeGivenPatterns(dir / "given.pat");
  for (int i = 0; i < 4; ++i) {
    writeFile(dir / ("screen" + std::to_string(i) + ".bmp"), writeBmp(tiledImage(1024, 1024, pool, random)));
  }
  for (int j = 0; j < 2000; ++j) {
    // Rectangles on the tile grid, so the tiles are the pool's own.
    int x = static_cast<int>(random() % ((1024 - 256) / 8 + 1)) * 8;
    int y = static_cast<int>(random() % ((1024 - 224) / 8 + 1)) * 8;
    std::string name = "screen_" + std::to_string(j);
    if (j == 0 || j == 700 || j == 1400) name += ".bin";
    w.jobs.push_back({"screen" + std::to_string(j % 4) + ".bmp", x, y, 256, 224, name});
    w.tiles += 32 * 28;
  }
  return w;
}

Workload makeUnique(const fs::path& dir) {
  // 128 x 125 tiles, all distinct: random tiles almost surely are, and none
  // is a mirror image of another.
  std::mt19937_64 random(3);
  std::vector<Tile> pool = tilePool(16000, random);
  BmpSpec bmp;
  bmp.width = 1024;
  bmp.height = 1000;
  bmp.pixels.assign(1024 * 1000, 0);
  for (int i = 0; i < 16000; ++i) placeTile(&bmp, pool[i], i % 128, i / 128, false, false);
  writeFile(dir / "unique.bmp", writeBmp(bmp));
  return {"unique", {{"unique.bmp", 0, 0, 1024, 1000, "unique"}}, 16000};
}

void writeJobList(const fs::path& dir, const Workload& w) {
  std::ofstream list(dir / "tessarn.txt", std::ios::binary);
  for (const Job& j : w.jobs) {
    list << j.bitmap << ' ' << j.x << ' ' << j.y << ' ' << j.width << ' ' << j.height << ' '
         << j.name << " 0 1 2 3\r\n";
  }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct ToolRun {
  double seconds;
  long peak_kib;
};

// Runs `argv` (null-terminated) in `dir` and waits for it.
ToolRun runProcess(const std::vector<const char*>& argv, const fs::path& dir) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = secondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed in %s (status %d)\n", argv[0], dir.c_str(), status);
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

uint64_t outputBytes(const fs::path& dir) {
  uint64_t total = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name == "output.txt" || name.find(".bin") != std::string::npos) total += entry.file_size();
  }
  return total;
}

ToolRun runTool(const std::string& tool, const fs::path& dir, const std::vector<std::string>& options = {}) {
  std::vector<const char*> argv = {tool.c_str()};
  for (const std::string& option : options) argv.push_back(option.c_str());
  argv.push_back(nullptr);
  return runProcess(argv, dir);
}

uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// The floor's reading of one job: the bytes any converter must read. Of an
// uncompressed 8-bit BMP whose rectangle covers at most half its rows, one
// byte in 64 of the rectangle's rows, through a mapping; of any other file
// (or where the rows are most of it), the whole file in one pass with
// read(), which is cheaper then.
unsigned touchLikeAnyConverter(const Job& job, std::vector<char>* buffer) {
  const int fd = open(job.bitmap.c_str(), O_RDONLY);
  struct stat info {};
  unsigned char header[54];
  unsigned sum = 0;
  if (fd < 0 || fstat(fd, &info) != 0 || pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    if (fd >= 0) close(fd);
    return 0;
  }
  const long offset = le32(header + 10);
  const long width = static_cast<int32_t>(le32(header + 18));
  const long stored = static_cast<int32_t>(le32(header + 22));
  const long rows = stored < 0 ? -stored : stored;
  const long first = std::max(0, job.y), last = std::min<long>(rows, job.y + job.height);
  const bool eight_bit = (header[28] | header[29] << 8) == 8 && le32(header + 30) == 0;
  if (!eight_bit || width <= 0 || rows == 0 || (last - first) * 2 > rows) {
    for (ssize_t n; (n = read(fd, buffer->data(), buffer->size())) > 0;) sum += static_cast<unsigned char>((*buffer)[n - 1]);
  } else {
    const size_t size = static_cast<size_t>(info.st_size);
    const auto* bytes = static_cast<const unsigned char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
    const long stride = (width + 3) / 4 * 4;
    const long x0 = std::max(0, job.x), x1 = std::min<long>(width, job.x + job.width);
    for (long y = first; bytes != MAP_FAILED && y < last; ++y) {
      const long row = stored < 0 ? y : rows - 1 - y;
      if (offset + (row + 1) * stride > static_cast<long>(size)) break;
      for (long x = x0; x < x1; x += 64) sum += bytes[offset + row * stride + x];
    }
    if (bytes != MAP_FAILED) munmap(const_cast<unsigned char*>(bytes), size);
  }
  close(fd);
  return sum;
}

// The floor, in the working directory: reads what the jobs of tessarn.txt
// need, as any converter must, then writes `output_bytes` bytes.
void floorOfTheRun(uint64_t output_bytes) {
  std::vector<char> buffer(1 << 20);
  unsigned sum = 0;
  std::ifstream list("tessarn.txt", std::ios::binary);
  Job job;
  int colours[4];
  while (list >> job.bitmap >> job.x >> job.y >> job.width >> job.height >> job.name >> colours[0] >> colours[1] >>
         colours[2] >> colours[3]) {
    sum += touchLikeAnyConverter(job, &buffer);
  }
  buffer[0] = static_cast<char>(sum);
  std::FILE* out = std::fopen("floor.out", "wb");
  for (uint64_t left = output_bytes; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    std::fwrite(buffer.data(), 1, n, out);
    left -= n;
  }
  std::fclose(out);
}

// libspng alone on a PNG file: maps it, as tessarn does, and decodes every
// row in the PNG's own packing.
int decodeOnly(const char* path) {
  const int fd = open(path, O_RDONLY);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) return 1;
  const size_t size = static_cast<size_t>(info.st_size);
  void* bytes = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, bytes, size);
  spng_ihdr ihdr{};
  int error = spng_get_ihdr(ctx, &ihdr);
  std::vector<uint8_t> row((static_cast<size_t>(ihdr.width) * ihdr.bit_depth + 7) / 8);
  if (error == 0) error = spng_decode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
  while (error == 0) error = spng_decode_row(ctx, row.data(), row.size());
  if (error == SPNG_EOI) error = spng_decode_chunks(ctx);
  spng_ctx_free(ctx);
  munmap(bytes, size);
  close(fd);
  return error == 0 ? 0 : 1;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The big picture with 16 or 256 colours, under machines of 4 and 8 bits a
// pixel with direct colours, each run in turn with the classic run on big
// (in `big_dir`), so that both meet the machine's same moods. Its tiles come
// from 1,000 patterns, which the machines' limits (1,024 at least) hold.
void compareTargets(const std::string& tool, const fs::path& root, const fs::path& big_dir, int runs) {
  struct Case {
    int colours;
    const char* target;
  };
  for (const Case c : {Case{16, "snes-4bpp"}, Case{16, "md"}, Case{256, "gba-8bpp"}}) {
    const fs::path dir = root / ("big" + std::to_string(c.colours));
    if (!fs::exists(dir / "big.bmp")) {
      fs::create_directories(dir);
      writeFile(dir / "big.bmp", writeBmp(bigImage(c.colours, 1000)));
      writeJobList(dir, {"", {{"big.bmp", 0, 0, 8192, 8192, "big"}}, 0});
    }
    const std::vector<std::string> options = {"--target", c.target, "--colours", "direct"};
    runTool(tool, dir, options);  // warm the page cache
    std::vector<double> ratios, walls;
    for (int i = 0; i < runs; ++i) {
      const double classic = runTool(tool, big_dir).seconds;
      walls.push_back(runTool(tool, dir, options).seconds);
      ratios.push_back(walls.back() / classic);
    }
    std::printf("%-7s %9.1f   --target %s --colours direct on big with %d colours: %.2f x classic on big\n",
                ("big" + std::to_string(c.colours)).c_str(), median(walls) * 1e3, c.target, c.colours, median(ratios));
  }
}

}  // namespace

// A scene as full-colour art is drawn: tiles of 300 shapes of four
// classes (background and three colours), each drawn in one of six colour
// schemes (a region's: sky, sea, grass, ...) of three colours over one
// backdrop, as `width` x `height` pixels of 24-bit colour, and the same as
// an 8-bit indexed image (its 19 colours numbered).
struct Scene {
  std::vector<uint32_t> rgb;  // 0xRRGGBB, row by row from the top
  BmpSpec indexed;
};

Scene makeScene(int width, int height) {
  std::mt19937_64 random(5);
  std::vector<Tile> shapes = tilePool(300, random);
  std::vector<uint32_t> colours = {0x102040};
  for (int i = 0; i < 18; ++i) colours.push_back(static_cast<uint32_t>(random() & 0xF8F8F8) | 0x080808);
  Scene scene{std::vector<uint32_t>(static_cast<size_t>(width) * height), {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)}};
  scene.indexed.palette = colours;
  for (int ty = 0; ty < height / 8; ++ty) {
    for (int tx = 0; tx < width / 8; ++tx) {
      // Regions of 8 x 8 tiles share a scheme, as a game's art does.
      const uint64_t r = random();
      const Tile& shape = shapes[r % shapes.size()];
      const int scheme = static_cast<int>((tx / 8 * 7 + ty / 8 * 3) % 6);
      for (int i = 0; i < 64; ++i) {
        const int c = shape[static_cast<size_t>(i)];
        const int index = c == 0 ? 0 : 1 + 3 * scheme + c - 1;
        const size_t at = static_cast<size_t>(ty * 8 + i / 8) * width + tx * 8 + i % 8;
        scene.indexed.pixels[at] = static_cast<uint8_t>(index);
        scene.rgb[at] = colours[static_cast<size_t>(index)];
      }
    }
  }
  return scene;
}

std::string writeBmp24(int width, int height, const std::vector<uint32_t>& rgb) {
  const int stride = (width * 3 + 3) / 4 * 4;
  std::string pixels(static_cast<size_t>(stride) * height, '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = rgb[static_cast<size_t>(y) * width + x];
      char* p = pixels.data() + static_cast<size_t>(height - 1 - y) * stride + 3 * x;
      p[0] = static_cast<char>(c);
      p[1] = static_cast<char>(c >> 8);
      p[2] = static_cast<char>(c >> 16);
    }
  }
  std::string bmp = tessarn::testing::writeRawBmp(width, height, 24, 0, pixels);
  return bmp;
}

// The number after "#define MAX_PAL " in output.txt.
int palettesWritten(const fs::path& dir) {
  std::ifstream in(dir / "output.txt", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = text.find("#define MAX_PAL ");
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 16);
}

// Full-colour art, 1 and 16 MiB of pixels: the run choosing its palettes
// (--colours auto) against mapped colours on the same indexed picture, in
// turn; and auto on the picture in 24-bit colour.
void compareFullColour(const std::string& tool, const fs::path& root, int runs, bool keep) {
  for (const int side : {1024, 4096}) {
    const fs::path dir = root / ("scene" + std::to_string(side));
    fs::create_directories(dir);
    const Scene scene = makeScene(side, side);
    writeFile(dir / "scene.bmp", writeBmp(scene.indexed));
    writeFile(dir / "scene24.bmp", writeBmp24(side, side, scene.rgb));
    const std::vector<std::string> target = {"--target", "snes-2bpp"};
    std::vector<std::string> full = target;
    // The backdrop is colour 0 of every palette.
    full.insert(full.end(), {"--colours", "auto", "--transparent", "102040"});
    std::vector<double> mapped, chosen, colour;
    for (int i = 0; i <= runs; ++i) {  // the first of each warms the cache
      writeJobList(dir, {"", {{"scene.bmp", 0, 0, side, side, "scene"}}, 0});
      const double m = runTool(tool, dir, target).seconds;
      const double a = runTool(tool, dir, full).seconds;
      writeJobList(dir, {"", {{"scene24.bmp", 0, 0, side, side, "scene"}}, 0});
      const double c = runTool(tool, dir, full).seconds;
      if (i == 0) continue;
      mapped.push_back(m);
      chosen.push_back(a);
      colour.push_back(c);
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < mapped.size(); ++i) ratios.push_back(chosen[i] / mapped[i]);
    std::printf("scene   %dx%d: %d palettes; auto %.1f ms = %.2f x mapped %.1f ms on the same picture; "
                "24-bit picture %.1f ms\n",
                side, side, palettesWritten(dir), median(chosen) * 1e3, median(ratios), median(mapped) * 1e3,
                median(colour) * 1e3);
    std::fflush(stdout);
    if (!keep) fs::remove_all(dir);
  }
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--floor") {
    floorOfTheRun(std::stoull(argv[2]));
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--decode") return decodeOnly(argv[2]);
  if (argc < 2) {
    std::fprintf(stderr, "usage: run_benchmarks <tessarn> [scratch directory] [runs] [keep]\n");
    return 2;
  }
  const std::string tool = fs::absolute(argv[1]).string();
  const fs::path root = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "tessarn-bench";
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  const bool keep = argc > 4 && std::string(argv[4]) == "keep";

  const std::string self = fs::canonical("/proc/self/exe").string();
  std::printf("%-7s %9s %12s %12s %9s %9s %7s\n", "load", "wall ms", "tiles/s", "out MB/s", "peak MiB",
              "floor ms", "ratio");
  double big_wall = 0;
  for (auto make : {makeBig, makeMany, makeUnique, makePng}) {
    fs::path dir = root / "work";
    fs::remove_all(dir);
    fs::create_directories(dir);
    Workload w = make(dir);
    if (keep) {
      fs::remove_all(root / w.label);
      fs::rename(dir, root / w.label);
      dir = root / w.label;
    }
    writeJobList(dir, w);
    runTool(tool, dir);  // warm the page cache
    std::vector<double> walls, floors;
    long peak = 0;
    const uint64_t out_bytes = outputBytes(dir);
    const std::string bytes_arg = std::to_string(out_bytes);
    for (int i = 0; i < runs; ++i) {
      ToolRun r = runTool(tool, dir);
      walls.push_back(r.seconds);
      peak = std::max(peak, r.peak_kib);
      floors.push_back(runProcess({self.c_str(), "--floor", bytes_arg.c_str(), nullptr}, dir).seconds);
      fs::remove(dir / "floor.out");
    }
    const double wall = median(walls);
    const double floor = median(floors);
    std::printf("%-7s %9.1f %12.0f %12.1f %9.1f %9.1f %7.2f\n", w.label.c_str(), wall * 1e3,
                static_cast<double>(w.tiles) / wall, static_cast<double>(out_bytes) / wall / 1e6,
                static_cast<double>(peak) / 1024, floor * 1e3, wall / floor);
    if (w.label == "big") {
      big_wall = wall;
      compareTargets(tool, root, dir, runs);
    }
    if (!w.options.empty()) {
      // The two runs in turn, so that both meet the machine's same moods.
      std::vector<double> plain, fitted;
      for (int i = 0; i < runs; ++i) {
        plain.push_back(runTool(tool, dir).seconds);
        fitted.push_back(runTool(tool, dir, w.options).seconds);
      }
      std::printf("        with options fitting the hardware: %.1f ms = %.3f x the same run without\n",
                  median(fitted) * 1e3, median(fitted) / median(plain));
    }
    if (w.label == "png") {
      std::vector<double> decodes;
      for (int i = 0; i < runs; ++i) {
        decodes.push_back(runProcess({self.c_str(), "--decode", "big.png", nullptr}, dir).seconds);
      }
      const double decode = median(decodes);
      std::printf("        png run %.1f ms = %.2f x (libspng decode alone %.1f ms + tessarn on big %.1f ms)\n",
                  wall * 1e3, wall / (decode + big_wall), decode * 1e3, big_wall * 1e3);
    }
    std::fflush(stdout);
    if (!keep) fs::remove_all(dir);
  }
  // Jobs stream through: 20,000 jobs with 200-byte names (5 MB of
  // output.txt) peak no higher than 2,000 do. Holding jobs or output back
  // would show as megabytes.
  const fs::path dir = root / "jobs";
  fs::create_directories(dir);
  writeFile(dir / "stage.bmp", writeBmp({.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128, 1)}));
  long peaks[2] = {};
  for (const int jobs : {2000, 20000}) {
    Workload w{"jobs", {}, 0};
    for (int i = 0; i < jobs; ++i) w.jobs.push_back({"stage.bmp", 0, 0, 16, 8, std::string(200, 'n')});
    writeJobList(dir, w);
    peaks[jobs == 20000] = runTool(tool, dir).peak_kib;
  }
  std::printf("jobs    peak %.1f MiB with 2,000 jobs, %.1f MiB with 20,000\n", peaks[0] / 1024.0, peaks[1] / 1024.0);
  fs::remove_all(dir);
  // Last: its pictures would add to the peaks measured above (a child's
  // peak counts this process's pages until it runs the tool).
  compareFullColour(tool, root, runs, keep);
  return 0;
}
