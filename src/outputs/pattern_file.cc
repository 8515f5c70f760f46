#include "outputs/pattern_file.h"

#include <memory>

#include "target/pattern_format.h"

namespace tessarn {

std::string binaryPatternTable(const Target& target, const PatternDictionary& dictionary) {
  const size_t size = static_cast<size_t>(target.patternBytes());
  std::string bytes(size * static_cast<size_t>(dictionary.count() - dictionary.givenCount()), '\0');
  for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
    layOutPattern(target, dictionary.pattern(n),
                  reinterpret_cast<uint8_t*>(bytes.data()) + size * static_cast<size_t>(n - dictionary.givenCount()));
  }
  return bytes;
}

bool readPatternFiles(FileSystem* files, const std::vector<std::string>& names, const Target& target,
                      const MapWordLayout& layout, std::vector<Pattern>* patterns, std::string* error) {
  const size_t pattern_bytes = static_cast<size_t>(target.patternBytes());
  for (const std::string& name : names) {
    FileBytes bytes;
    std::unique_ptr<RandomAccessFile> file = files->openRandomAccess(name);
    if (!file || file->readWhole(&bytes) != ReadStatus::kOk) {
      *error = "--patterns-from " + name + ": cannot be read";
      return false;
    }
    const std::string_view table(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (table.empty() || table.size() % pattern_bytes != 0) {
      *error = "--patterns-from " + name + ": holds " + std::to_string(table.size()) +
               " bytes, not a whole number of " + std::to_string(pattern_bytes) + "-byte patterns";
      return false;
    }
    for (size_t at = 0; at < table.size(); at += pattern_bytes) patterns->push_back(readPattern(target, bytes.data() + at));
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
