#include "outputs/output_files.h"

#include <algorithm>

#include "target/pattern_format.h"
#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

constexpr std::string_view kTextOutputName = "output.txt";

ValueForm entryForm(const Target& target) {
  switch (target.entry) {
    case EntryKind::kWord:
      return ValueForm::kWord;
    case EntryKind::kWordBigEndian:
      return ValueForm::kWordBigEndian;
    case EntryKind::kByte:
    case EntryKind::kByteAndAttribute:
    case EntryKind::kByteAndAreaTable:
      return ValueForm::kByte;
  }
  return ValueForm::kWord;  // not reached: every kind is listed
}

}  // namespace

OutputFiles::OutputFiles(FileSystem* files, const Target& target, const MapWordLayout& layout,
                         const CLibrarySettings& library, ColourFormat palette_format)
    : files_(files),
      target_(target),
      entries_(target, layout),
      form_(entryForm(target)),
      paletteFormat_(palette_format) {
  if (!library.base.empty()) library_ = std::make_unique<CLibrary>(library, target, form_, palette_format);
}

bool OutputFiles::create(const std::string& name, std::unique_ptr<BufferedOutput>* output, Failure* failure) {
  std::unique_ptr<WriteStream> stream = files_->create(name);
  if (!stream) {
    *failure = {MessageId::kCannotCreate, name};
    return false;
  }
  *output = std::make_unique<BufferedOutput>(name, std::move(stream));
  return true;
}

bool OutputFiles::createTextOutput(Failure* failure) {
  return create(std::string(kTextOutputName), &text_, failure) && (!library_ || library_->create(failure));
}

bool OutputFiles::createBinaryOutput(const std::string& name, Failure* failure) {
  return create(name, &binary_, failure);
}

void OutputFiles::beginMapArray(const MapBlock& block) {
  block_ = block;
  cells_.clear();
  highestPalette_ = -1;
  text_->append(form_ == ValueForm::kByte ? "unsigned char " : "unsigned short ");
  text_->append(block.name);
  text_->append("[]={");
  text_->append(kLineEnd);
  if (library_) library_->beginMap(block.name, block.number, tilesFor(block.width), tilesFor(block.height));
}

void OutputFiles::beginMapRow() {
  text_->append("\t");
  if (library_) library_->beginRow();
}

void OutputFiles::writeMapCells(const MapCell* cells, int count) {
  uint16_t values[BufferedOutput::kMaxWords];
  uint8_t highest = 0;
  if (target_.isClassic()) {
    // The run's own words, as most runs write them: no field to move.
    for (int i = 0; i < count; ++i) {
      values[i] = static_cast<uint16_t>(cells[i].word | block_.attributes);
      highest = std::max(highest, cells[i].palette);
    }
  } else {
    for (int i = 0; i < count; ++i) {
      values[i] = entries_.entry(cells[i], block_.attributes);
      highest = std::max(highest, cells[i].palette);
    }
  }
  if (count > 0) highestPalette_ = std::max(highestPalette_, int{highest});
  appendValues(values, count, form_);
  if (library_) library_->writeValues(values, count);
  if (target_.hasAttributeMap()) cells_.insert(cells_.end(), cells, cells + count);
}

void OutputFiles::endMapRow() {
  text_->append(kLineEnd);
  if (library_) library_->endRow();
}

void OutputFiles::endMapArray() {
  text_->append("};");
  text_->append(kLineEnd);
  const std::pair<std::string_view, int64_t> macros[] = {{"#define W_", sizeMacroTiles(block_.width)},
                                                         {"#define H_", sizeMacroTiles(block_.height)}};
  for (const auto& [prefix, tiles] : macros) {
    text_->append(prefix);
    text_->append(block_.name);
    text_->append(" ");
    text_->append(std::to_string(tiles));
    text_->append(kLineEnd);
  }
  if (target_.hasAttributeMap()) {
    writeAttributeMap();
  } else if (library_) {
    library_->endMap({});
  }
}

std::vector<std::vector<uint16_t>> OutputFiles::attributeMap() const {
  const int64_t wide = tilesFor(block_.width);
  const int64_t high = tilesFor(block_.height);
  std::vector<std::vector<uint16_t>> rows;
  if (target_.entry == EntryKind::kByteAndAreaTable) {
    const std::vector<uint8_t> table = areaTable(cells_, wide, high, block_.palette);
    const int64_t blocks_wide = (wide + 3) / 4;
    for (int64_t row = 0; row < (high + 3) / 4; ++row) {
      const auto start = table.begin() + static_cast<ptrdiff_t>(row * blocks_wide);
      rows.emplace_back(start, start + static_cast<ptrdiff_t>(blocks_wide));
    }
    return rows;
  }
  for (int64_t row = 0; row < high; ++row) {
    rows.emplace_back();
    for (int64_t column = 0; column < wide; ++column) {
      rows.back().push_back(entries_.attributeByte(cells_[static_cast<size_t>(row * wide + column)], block_.attributes));
    }
  }
  return rows;
}

void OutputFiles::writeAttributeMap() {
  const std::vector<std::vector<uint16_t>> rows = attributeMap();
  text_->append("unsigned char ");
  text_->append(block_.name);
  text_->append("_attr[]={");
  text_->append(kLineEnd);
  for (const std::vector<uint16_t>& row : rows) {
    text_->append("\t");
    for (size_t at = 0; at < row.size(); at += BufferedOutput::kMaxWords) {
      const int count = static_cast<int>(std::min<size_t>(BufferedOutput::kMaxWords, row.size() - at));
      appendValues(row.data() + at, count, ValueForm::kByte);
    }
    text_->append(kLineEnd);
  }
  text_->append("};");
  text_->append(kLineEnd);
  if (library_) library_->endMap(rows);
}

ValueForm paletteValueForm(ColourFormat format) {
  if (!wordValues(format)) return ValueForm::kByte;
  return bigEndianValues(format) ? ValueForm::kWordBigEndian : ValueForm::kWord;
}

std::vector<std::vector<uint16_t>> OutputFiles::writePaletteArray(const std::string& name,
                                                                   const std::vector<std::vector<uint32_t>>& palettes) {
  const ValueForm form = paletteValueForm(paletteFormat_);
  text_->append(form == ValueForm::kByte ? "unsigned char " : "unsigned short ");
  text_->append(name);
  text_->append("[]={");
  text_->append(kLineEnd);
  std::vector<std::vector<uint16_t>> rows;
  for (const std::vector<uint32_t>& palette : palettes) {
    rows.push_back(paletteValues(paletteFormat_, palette));
    text_->append("\t");
    text_->appendHexValues(rows.back().data(), static_cast<int>(rows.back().size()), form);
    text_->append(kLineEnd);
  }
  text_->append("};");
  text_->append(kLineEnd);
  return rows;
}

void OutputFiles::writePalettes(const std::vector<std::vector<uint32_t>>& palettes) {
  const std::vector<std::vector<uint16_t>> rows = writePaletteArray(block_.name + "_pal", palettes);
  if (library_) {
    library_->writePalettes(rows, paletteValueForm(paletteFormat_),
                            palettes.empty() ? 0 : palettes.size() * palettes[0].size());
  }
}

bool OutputFiles::writePatternTable(const PatternDictionary& dictionary, Failure* failure) {
  const bool classic = target_.isClassic();
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
  if (!classic) {
    text_->append("#define PCG_SIZE ");
    text_->append(std::to_string(target_.patternBytes()));
    text_->append(kLineEnd);
  }
  // C has no empty arrays: a run that added no pattern has only the count.
  if (dictionary.count() > dictionary.givenCount()) {
    text_->append(classic ? "unsigned short PCG_DAT[]={" : "unsigned char PCG_DAT[]={");
    text_->append(kLineEnd);
    for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
      uint16_t values[kMaxPatternWords * 8];
      const int count = patternValues(target_, dictionary.pattern(n), values);
      text_->append("\t");
      appendValues(values, count, classic ? ValueForm::kWord : ValueForm::kByte);
      text_->append(kLineEnd);
    }
    text_->append("};");
    text_->append(kLineEnd);
  }
  if (runPalettes_) writeRunPalettes();
  return !library_ || library_->finish(dictionary, failure);
}

void OutputFiles::writeRunPalettes() {
  text_->append(kLineEnd);
  text_->append("#define MAX_PAL ");
  text_->append(std::to_string(runPalettes_->size()));
  text_->append(kLineEnd);
  // C has no empty arrays: a run that chose no palette has only the count.
  std::vector<std::vector<uint16_t>> rows;
  if (!runPalettes_->empty()) rows = writePaletteArray("PAL_DAT", *runPalettes_);
  if (library_) library_->setRunPalettes(rows, paletteValueForm(paletteFormat_));
}

}  // namespace tessarn
