#include "outputs/c_library.h"

#include <algorithm>
#include <cstdio>
#include <string_view>


namespace tessarn {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
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

}  // namespace

CLibrary::CLibrary(const CLibrarySettings& settings)
    : settings_(settings), names_(settings.symbolPrefix, fileStemOf(settings.base)) {}

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

void CLibrary::beginMap(const std::string& job_name, int64_t number, int64_t tiles_wide,
                        int64_t tiles_high) {
  inArray_ = tiles_wide * tiles_high > 0;
  // A map with no tiles has no size (a row of none is no row).
  if (!inArray_) tiles_wide = tiles_high = 0;
  entries_.push_back({names_.jobSymbol(job_name, number), number, job_name, tiles_wide, tiles_high});
  if (!inArray_) return;
  anyArray_ = true;
  source_->append(kLineEnd);
  source_->append("const unsigned short " + entries_.back().symbol + "[] = {");
  source_->append(kLineEnd);
}

void CLibrary::beginRow() {
  if (inArray_) source_->append("\t");
}

void CLibrary::writeWords(const uint16_t* words, int count) {
  if (inArray_) source_->appendHexValues(words, count);
}

void CLibrary::endRow() {
  if (inArray_) source_->append(kLineEnd);
}

void CLibrary::endMap() {
  if (inArray_) {
    source_->append("};");
    source_->append(kLineEnd);
  }
  inArray_ = false;
}

bool CLibrary::finish(const PatternDictionary& dictionary, Failure* failure) {
  const int count = dictionary.count() - dictionary.givenCount();
  if (count > 0) {
    anyArray_ = true;
    source_->append(kLineEnd);
    source_->append("const unsigned short " + names_.patterns() + "[] = {");
    source_->append(kLineEnd);
    for (int n = dictionary.givenCount(); n < dictionary.count(); ++n) {
      const Pattern pattern = dictionary.pattern(n);
      source_->append("\t");
      source_->appendHexValues(pattern.data(), static_cast<int>(pattern.size()));
      source_->append(kLineEnd);
    }
    source_->append("};");
    source_->append(kLineEnd);
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
  const std::string end(kLineEnd);
  std::string text = "/* The maps and patterns that tessarn made, defined in " +
                     fileStemOf(settings_.base) + ".c:" + end;
  for (const Entry& entry : entries_) {
    text += " *   " + entry.symbol + ": job " + std::to_string(entry.number) + ", " + forComment(entry.jobName) +
            (entry.tilesWide * entry.tilesHigh > 0 ? "" : " (no tiles: no array)") + end;
  }
  text += " *   " + names_.patterns() + ": the patterns the run added" + (count > 0 ? "" : " (none: no array)") +
          end + " */" + end;
  text += "#ifndef " + names_.guard() + end + "#define " + names_.guard() + end + end;
  text += "#ifdef __cplusplus" + end + "extern \"C\" {" + end + "#endif" + end;
  for (const Entry& entry : entries_) {
    text += end;
    if (entry.tilesWide * entry.tilesHigh > 0) {
      text += "extern const unsigned short " + entry.symbol + "[];" + end;
    }
    text += "#define " + entry.symbol + "_WIDTH " + std::to_string(entry.tilesWide) + end;
    text += "#define " + entry.symbol + "_HEIGHT " + std::to_string(entry.tilesHigh) + end;
  }
  text += end;
  if (count > 0) text += "extern const unsigned short " + names_.patterns() + "[];" + end;
  text += "#define " + names_.patternCount() + " " + std::to_string(count) + end;
  text += "#define " + names_.firstPattern() + " " +
          std::to_string(dictionary.layout().firstPattern + dictionary.givenCount()) + end + end;
  text += "#ifdef __cplusplus" + end + "}" + end + "#endif" + end + end;
  text += "#endif" + end;
  return text;
}

}  // namespace tessarn
