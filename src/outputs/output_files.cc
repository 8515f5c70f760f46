#include "outputs/output_files.h"

#include <cstring>

#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTextOutputName = "output.txt";

// The size macros' value: (size + 7) / 8, truncating toward zero as the C
// division does (so negative sizes give what they always gave), without
// overflow for any 32-bit size.
int64_t macroTiles(int32_t pixels) { return (int64_t{pixels} + 7) / 8; }

}  // namespace

bool OutputFiles::create(const std::string& name, std::unique_ptr<BufferedOutput>* output,
                         Failure* failure) {
  std::unique_ptr<WriteStream> stream = files_->create(name);
  if (!stream) {
    *failure = {MessageId::kCannotCreate, name};
    return false;
  }
  *output = std::make_unique<BufferedOutput>(name, std::move(stream));
  return true;
}

OutputFiles::OutputFiles(FileSystem* files, const CLibrarySettings& library) : files_(files) {
  if (!library.base.empty()) library_ = std::make_unique<CLibrary>(library);
}

bool OutputFiles::createTextOutput(Failure* failure) {
  return create(std::string(kTextOutputName), &text_, failure) && (!library_ || library_->create(failure));
}

bool OutputFiles::createBinaryOutput(const std::string& name, Failure* failure) {
  return create(name, &binary_, failure);
}

void OutputFiles::beginMapArray(const std::string& name, int64_t number, int32_t width, int32_t height) {
  text_->append("unsigned short ");
  text_->append(name);
  text_->append("[]={");
  text_->append(kLineEnd);
  if (library_) library_->beginMap(name, number, tilesFor(width), tilesFor(height));
}

void OutputFiles::beginMapRow() {
  text_->append("\t");
  if (library_) library_->beginRow();
}

void OutputFiles::endMapRow() {
  text_->append(kLineEnd);
  if (library_) library_->endRow();
}

void OutputFiles::endMapArray(std::string_view name, int32_t width, int32_t height) {
  text_->append("};");
  text_->append(kLineEnd);
  if (library_) library_->endMap();
  const std::pair<std::string_view, int64_t> macros[] = {{"#define W_", macroTiles(width)},
                                                         {"#define H_", macroTiles(height)}};
  for (const auto& [prefix, tiles] : macros) {
    text_->append(prefix);
    text_->append(name);
    text_->append(" ");
    text_->append(std::to_string(tiles));
    text_->append(kLineEnd);
  }
}

bool OutputFiles::writePatternTable(const PatternDictionary& dictionary, Failure* failure) {
  text_->append(kLineEnd);
  text_->append("#define MAX_PCG ");
  text_->append(std::to_string(dictionary.count() - dictionary.givenCount()));
  text_->append(kLineEnd);
  const int first_number = dictionary.layout().firstPattern + dictionary.givenCount();
  if (first_number != 0) {
    text_->append("#define FIRST_PCG ");
    text_->append(std::to_string(first_number));
    text_->append(kLineEnd);
  }
  // C has no empty arrays: a run that added no pattern has only the count.
  if (dictionary.count() > dictionary.givenCount()) {
    text_->append("unsigned short PCG_DAT[]={");
    text_->append(kLineEnd);
    for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
      text_->append("\t");
      const Pattern pattern = dictionary.pattern(n);
      appendValues(pattern.data(), static_cast<int>(pattern.size()));
      text_->append(kLineEnd);
    }
    text_->append("};");
    text_->append(kLineEnd);
  }
  return !library_ || library_->finish(dictionary, failure);
}

}  // namespace tessarn
