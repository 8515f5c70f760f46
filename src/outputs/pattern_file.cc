#include "outputs/pattern_file.h"

#include <memory>

namespace tessarn {
namespace {

constexpr size_t kPatternBytes = 16;

void appendPatterns(std::string_view bytes, std::vector<Pattern>* patterns) {
  for (size_t at = 0; at < bytes.size(); at += kPatternBytes) {
    Pattern pattern;
    for (size_t r = 0; r < 8; ++r) {
      pattern[r] = static_cast<uint16_t>(static_cast<uint8_t>(bytes[at + 2 * r]) |
                                         static_cast<uint8_t>(bytes[at + 2 * r + 1]) << 8);
    }
    patterns->push_back(pattern);
  }
}

}  // namespace

std::string binaryPatternTable(const PatternDictionary& dictionary) {
  std::string bytes;
  bytes.reserve(kPatternBytes * static_cast<size_t>(dictionary.count() - dictionary.givenCount()));
  for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
    for (uint16_t row : dictionary.pattern(n)) {
      bytes += static_cast<char>(row & 0xFF);
      bytes += static_cast<char>(row >> 8);
    }
  }
  return bytes;
}

bool readPatternFiles(FileSystem* files, const std::vector<std::string>& names, const MapWordLayout& layout,
                      std::vector<Pattern>* patterns, std::string* error) {
  for (const std::string& name : names) {
    FileBytes bytes;
    std::unique_ptr<RandomAccessFile> file = files->openRandomAccess(name);
    if (!file || file->readWhole(&bytes) != ReadStatus::kOk) {
      *error = "--patterns-from " + name + ": cannot be read";
      return false;
    }
    const std::string_view table(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (table.empty() || table.size() % kPatternBytes != 0) {
      *error = "--patterns-from " + name + ": holds " + std::to_string(table.size()) +
               " bytes, not a whole number of " + std::to_string(kPatternBytes) + "-byte patterns";
      return false;
    }
    appendPatterns(table, patterns);
  }
  const size_t room = static_cast<size_t>(layout.patternLimit - layout.firstPattern);
  if (patterns->size() > room) {
    *error = "--patterns-from: " + std::to_string(patterns->size()) + " patterns; numbered from " +
             std::to_string(layout.firstPattern) + " below the limit " + std::to_string(layout.patternLimit) +
             ", " + std::to_string(room) + " fit";
    return false;
  }
  return true;
}

}  // namespace tessarn
