// Fuzzes a whole run over a small in-memory file set.
//
// Input: one byte of faults, then sections separated by kSeparator: the job
// list tessarn.txt, then the files a.bmp, b.bmp and c.bmp (missing if their
// section is absent).
//   bit 0  no tessarn.txt at all
//   bit 1  output.txt cannot be created     bit 2  writes to output.txt fail
//   bit 3  a.bin cannot be created          bit 4  writes to a.bin fail
//   bit 5  the run is watched by a report and preview images (in memory)
//   bit 6  closing output.txt and a.bin fails (their writes do not)
//
// Every job walks ceil(width/8) x ceil(height/8) tiles, and a job list can
// ask for 2^28 of them in twenty bytes. The job list is therefore read once
// beforehand with the same reader, and inputs asking for more than
// kMaxTiles tiles in all (counting a row of tiles as one more, since it
// costs a line even when empty) are passed over, as are run-length bitmaps
// and PNGs declaring more than 2^20 pixels (which the converter would
// decode). The bitmap fuzzer and the end-to-end tests cover both limits.
//
// Checked: the run ends with status 0, 28 or -1 and no escaping exception;
// every message is a whole line; a complete run has a pattern table at the
// end of output.txt; a run that ends early says why; a write failure is
// never a success and is reported for the file that failed; and the views
// of a watched run agree with it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bitmap/bitmap_image.h"
#include "bitmap/png_image.h"
#include "run/run_driver.h"
#include "support/memory_file_system.h"
#include "views/preview_images.h"
#include "views/run_report.h"

namespace {

using tessarn::MessageId;

constexpr std::string_view kSeparator = "\n%%\n";
constexpr int64_t kMaxTiles = 4096;
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 20;

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "run fuzzer: %s\n", what);
    std::abort();
  }
}

int64_t tiles(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

bool endsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// True if the job list and bitmaps stay within the iteration budget.
bool withinBudget(tessarn::MemoryFileSystem* files) {
  auto list = files->openForReading("tessarn.txt");
  if (list) {
    tessarn::JobListReader reader(list.get());
    tessarn::JobRecord job;
    int64_t total = 0;
    while (reader.readJob(&job) != tessarn::JobListReader::kEndOfInput) {
      // A row of tiles costs a line even when it holds no tiles.
      total += tiles(job.height) + tiles(job.width) * tiles(job.height);
      if (total > kMaxTiles) return false;
    }
  }
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
    tessarn::BitmapImage image;
    if (files->readWholeFile(name, &image.file) != tessarn::ReadStatus::kOk) continue;
    const uint8_t* data = image.file.data();
    tessarn::BitmapHeader header;
    tessarn::PngImage png;
    if (tessarn::isPng(data, image.file.size())) {
      if (png.open(data, image.file.size()) == tessarn::ImageProblem::kNone &&
          png.width() * png.height() > kMaxDecodedPixels) {
        return false;
      }
    } else if (tessarn::checkBitmap(image, &header) == tessarn::ImageProblem::kNone &&
               header.runLength && header.width * header.height > kMaxDecodedPixels) {
      return false;
    }
  }
  return true;
}

// A watched run's report ends with the pattern count output.txt gives, and
// every preview image is a PNG.
void checkViews(const std::string& output, const tessarn::RunReport& report,
                const tessarn::MemoryFileSystem& preview_files) {
  const size_t at = output.find("\r\n#define MAX_PCG ");
  if (at != std::string::npos) {
    const std::string count = output.substr(at + 18, output.find('\r', at + 2) - at - 18);
    require(endsWith(report.text(), "patterns: " + count + " of 16384\n"), "report's pattern count");
  }
  for (const auto& [name, bytes] : preview_files.files) {
    require(bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0, "a preview that is not a PNG");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t faults = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  tessarn::MemoryFileSystem files;
  const char* names[] = {"tessarn.txt", "a.bmp", "b.bmp", "c.bmp"};
  for (const char* name : names) {
    const size_t end = rest.find(kSeparator);
    files.files[name] = std::string(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + kSeparator.size());
  }
  if (faults & 1) files.files.erase("tessarn.txt");
  if (faults & 2) files.uncreatable.insert("output.txt");
  if (faults & 4) files.unwritable.insert("output.txt");
  if (faults & 8) files.uncreatable.insert("a.bin");
  if (faults & 16) files.unwritable.insert("a.bin");
  if (faults & 64) files.unclosable = {"output.txt", "a.bin"};
  if (!withinBudget(&files)) return 0;

  tessarn::MemoryFileSystem console_files;
  std::unique_ptr<tessarn::WriteStream> console_stream = console_files.create("console");
  tessarn::MemoryFileSystem preview_files;
  tessarn::PreviewImages preview(&preview_files);
  tessarn::RunReport report;
  tessarn::ObserverList views;
  views.add(&preview);
  views.add(&report);
  tessarn::RunSettings settings;
  if (faults & 32) settings.observer = &views;
  const int status = tessarn::runMain(&files, console_stream.get(), settings);
  const std::string& console = console_files.files["console"];
  const std::string output = files.files.count("output.txt") != 0 ? files.files["output.txt"] : "";
  if (faults & 32) checkViews(output, report, preview_files);

  if (faults & 1) {
    require(status == tessarn::kExitJobListMissing, "missing job list: wrong status");
    require(console == tessarn::formatMessage(MessageId::kJobListMissing), "missing job list");
    require(files.files.count("output.txt") == 0, "missing job list: output.txt was created");
    return 0;
  }
  require(status == tessarn::kExitSuccess || status == tessarn::kExitFailure, "exit status");
  require(console.empty() || endsWith(console, "\r\n"), "a message is not a whole line");
  if (faults & 2) {
    require(status == tessarn::kExitFailure &&
                console == tessarn::formatMessage(MessageId::kCannotCreate, "output.txt"),
            "uncreatable output.txt");
    return 0;
  }
  if (faults & (4 | 64)) {
    require(status == tessarn::kExitFailure &&
                endsWith(console, tessarn::formatMessage(MessageId::kWriteFailed, "output.txt")),
            "output.txt not written whole");
  }
  if (status == tessarn::kExitSuccess) {
    require(endsWith(output, "};\r\n"), "complete run without a closing line");
    require(output.find("\r\n#define MAX_PCG ") != std::string::npos,
            "complete run without a pattern table");
  } else {
    require(!console.empty(), "a run ended early without saying why");
  }
  return 0;
}
