#include "outputs/c_library.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "target/pattern_format.h"

namespace tessarn {
namespace {

// A job name in a comment: printable ASCII as it is, but for the bytes that
// could end the comment or start a trigraph; any other byte as \xHH.
std::string forComment(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '*' && c != '/' && c != '?' && c != '\\') {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

// What the files define with each job's symbol, beside _WIDTH and _HEIGHT.
std::vector<std::string> jobSuffixes(const Target& target, ColourFormat palette_format) {
  std::vector<std::string> suffixes;
  if (target.hasAttributeMap()) suffixes.push_back("_attr");
  if (palette_format != ColourFormat::kNone) suffixes.insert(suffixes.end(), {"_pal", "_COLORS"});
  return suffixes;
}

// What the files define once, after the prefix.
std::vector<std::string> runNames(const Target& target, ColourFormat palette_format) {
  std::vector<std::string> names = {"patterns", "PATTERN_COUNT", "FIRST_PATTERN"};
  if (!target.isClassic()) names.push_back("PATTERN_SIZE");
  if (palette_format != ColourFormat::kNone) names.insert(names.end(), {"palettes", "PALETTE_COUNT"});
  return names;
}

}  // namespace

CLibrary::CLibrary(const CLibrarySettings& settings, const Target& target, ValueForm form, ColourFormat palette_format)
    : settings_(settings),
      target_(target),
      form_(form),
      names_(settings.symbolPrefix, fileStemOf(settings.base), jobSuffixes(target, palette_format),
             runNames(target, palette_format)) {}

bool CLibrary::create(Failure* failure) {
  const std::string name = settings_.base + ".c";
  std::unique_ptr<WriteStream> stream = settings_.files->create(name);
  if (!stream) {
    *failure = {MessageId::kCannotCreate, name};
    return false;
  }
  source_ = std::make_unique<BufferedOutput>(name, std::move(stream));
  const std::string header = fileStemOf(settings_.base) + ".h";
  source_->append("/* The maps and patterns that tessarn made; declared in " + header + ". */");
  source_->append(kLineEnd);
  source_->append("#include \"" + header + "\"");
  source_->append(kLineEnd);
  return true;
}

void CLibrary::beginArray(const char* type, const std::string& symbol) {
  anyArray_ = true;
  source_->append(kLineEnd);
  source_->append(std::string("const ") + type + " " + symbol + "[] = {");
  source_->append(kLineEnd);
}

void CLibrary::endArray() {
  source_->append("};");
  source_->append(kLineEnd);
}

void CLibrary::beginMap(const std::string& job_name, int64_t number, int64_t tiles_wide, int64_t tiles_high) {
  inArray_ = tiles_wide * tiles_high > 0;
  // A map with no tiles has no size (a row of none is no row).
  if (!inArray_) tiles_wide = tiles_high = 0;
  entries_.push_back({names_.jobSymbol(job_name, number), number, job_name, tiles_wide, tiles_high});
  if (inArray_) beginArray(form_ == ValueForm::kByte ? "unsigned char" : "unsigned short", entries_.back().symbol);
}

void CLibrary::beginRow() {
  if (inArray_) source_->append("\t");
}

void CLibrary::writeValues(const uint16_t* values, int count) {
  if (inArray_) source_->appendHexValues(values, count, form_);
}

void CLibrary::endRow() {
  if (inArray_) source_->append(kLineEnd);
}

void CLibrary::endMap(const std::vector<std::vector<uint16_t>>& attribute_rows) {
  if (!inArray_) return;
  endArray();
  inArray_ = false;
  if (!target_.hasAttributeMap()) return;
  beginArray("unsigned char", entries_.back().symbol + "_attr");
  for (const std::vector<uint16_t>& row : attribute_rows) {
    source_->append("\t");
    for (size_t at = 0; at < row.size(); at += BufferedOutput::kMaxWords) {
      const int count = static_cast<int>(std::min<size_t>(BufferedOutput::kMaxWords, row.size() - at));
      source_->appendHexValues(row.data() + at, count, ValueForm::kByte);
    }
    source_->append(kLineEnd);
  }
  endArray();
}

void CLibrary::writePalettes(const std::vector<std::vector<uint16_t>>& rows, ValueForm form, size_t colours) {
  Entry& entry = entries_.back();
  entry.colours = colours;
  entry.paletteWords = form != ValueForm::kByte;
  beginArray(entry.paletteWords ? "unsigned short" : "unsigned char", entry.symbol + "_pal");
  for (const std::vector<uint16_t>& row : rows) {
    source_->append("\t");
    source_->appendHexValues(row.data(), static_cast<int>(row.size()), form);
    source_->append(kLineEnd);
  }
  endArray();
}

bool CLibrary::finish(const PatternDictionary& dictionary, Failure* failure) {
  const int count = dictionary.count() - dictionary.givenCount();
  if (count > 0) {
    const bool classic = target_.isClassic();
    beginArray(classic ? "unsigned short" : "unsigned char", names_.runName("patterns"));
    for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
      uint16_t values[kMaxPatternWords * 8];
      const int size = patternValues(target_, dictionary.pattern(n), values);
      source_->append("\t");
      source_->appendHexValues(values, size, classic ? ValueForm::kWord : ValueForm::kByte);
      source_->append(kLineEnd);
    }
    endArray();
  }
  if (!runPalettes_.empty()) {
    beginArray(runPaletteForm_ == ValueForm::kByte ? "unsigned char" : "unsigned short", names_.runName("palettes"));
    for (const std::vector<uint16_t>& row : runPalettes_) {
      source_->append("\t");
      source_->appendHexValues(row.data(), static_cast<int>(row.size()), runPaletteForm_);
      source_->append(kLineEnd);
    }
    endArray();
  }
  if (!anyArray_) {
    source_->append(kLineEnd);
    source_->append("typedef int " + names_.spareName() + ";  /* ISO C wants a declaration */");
    source_->append(kLineEnd);
  }
  const std::string name = settings_.base + ".h";
  std::unique_ptr<WriteStream> stream = settings_.files->create(name);
  if (!stream) {
    *failure = {MessageId::kCannotCreate, name};
    return false;
  }
  header_ = std::make_unique<BufferedOutput>(name, std::move(stream));
  header_->append(headerText(dictionary));
  return true;
}

std::string CLibrary::headerText(const PatternDictionary& dictionary) const {
  const int count = dictionary.count() - dictionary.givenCount();
  const bool classic = target_.isClassic();
  const std::string end(kLineEnd);
  const std::string map_type = form_ == ValueForm::kByte ? "unsigned char" : "unsigned short";
  const std::string patterns = names_.runName("patterns");
  std::string text = "/* The maps and patterns that tessarn made, defined in " +
                     fileStemOf(settings_.base) + ".c:" + end;
  for (const Entry& entry : entries_) {
    text += " *   " + entry.symbol + ": job " + std::to_string(entry.number) + ", " + forComment(entry.jobName) +
            (entry.tilesWide * entry.tilesHigh > 0 ? "" : " (no tiles: no array)") + end;
  }
  text += " *   " + patterns + ": the patterns the run added" + (count > 0 ? "" : " (none: no array)") + end + " */" + end;
  text += "#ifndef " + names_.guard() + end + "#define " + names_.guard() + end + end;
  text += "#ifdef __cplusplus" + end + "extern \"C\" {" + end + "#endif" + end;
  for (const Entry& entry : entries_) {
    text += end;
    if (entry.tilesWide * entry.tilesHigh > 0) {
      text += "extern const " + map_type + " " + entry.symbol + "[];" + end;
      if (target_.hasAttributeMap()) text += "extern const unsigned char " + entry.symbol + "_attr[];" + end;
    }
    if (entry.colours > 0) {
      text += "extern const " + std::string(entry.paletteWords ? "unsigned short " : "unsigned char ") + entry.symbol +
              "_pal[];" + end;
    }
    text += "#define " + entry.symbol + "_WIDTH " + std::to_string(entry.tilesWide) + end;
    text += "#define " + entry.symbol + "_HEIGHT " + std::to_string(entry.tilesHigh) + end;
    if (entry.colours > 0) text += "#define " + entry.symbol + "_COLORS " + std::to_string(entry.colours) + end;
  }
  text += end;
  if (count > 0) text += "extern const " + std::string(classic ? "unsigned short " : "unsigned char ") + patterns + "[];" + end;
  text += "#define " + names_.runName("PATTERN_COUNT") + " " + std::to_string(count) + end;
  if (!classic) text += "#define " + names_.runName("PATTERN_SIZE") + " " + std::to_string(target_.patternBytes()) + end;
  text += "#define " + names_.runName("FIRST_PATTERN") + " " +
          std::to_string(dictionary.layout().firstPattern + dictionary.givenCount()) + end + end;
  if (hasRunPalettes_) {
    if (!runPalettes_.empty()) {
      text += "extern const " + std::string(runPaletteForm_ == ValueForm::kByte ? "unsigned char " : "unsigned short ") +
              names_.runName("palettes") + "[];" + end;
    }
    text += "#define " + names_.runName("PALETTE_COUNT") + " " + std::to_string(runPalettes_.size()) + end + end;
  }
  text += "#ifdef __cplusplus" + end + "}" + end + "#endif" + end + end;
  text += "#endif" + end;
  return text;
}

}  // namespace tessarn
