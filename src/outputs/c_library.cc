#include "outputs/c_library.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "io/platform.h"

namespace tessarn {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kMacroSuffixes[] = {"_WIDTH", "_HEIGHT"};
constexpr size_t kLongestSuffix = 7;  // "_HEIGHT"
constexpr size_t kMaxJobSymbol = CNames::kMaxSymbol - kLongestSuffix;

// Keywords of C (C89 to C23) and C++, and those cc65 takes without
// underscores: none of them can name an array.
constexpr std::string_view kKeywords[] = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case",
    "catch", "cdecl", "char", "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return",
    "co_yield", "compl", "concept", "const", "const_cast", "consteval", "constexpr", "constinit",
    "continue", "decltype", "default", "delete", "do", "double", "dynamic_cast", "else", "enum",
    "explicit", "export", "extern", "false", "far", "fastcall", "float", "for", "friend", "goto", "if",
    "inline", "int", "long", "mutable", "namespace", "near", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
    "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
    "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw",
    "true", "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned",
    "using", "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq"};

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isIdentifierByte(char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '_'; }

std::string sanitized(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = isIdentifierByte(c) ? c : '_';
  return out;
}

bool isKeyword(const std::string& name) {
  return std::find(std::begin(kKeywords), std::end(kKeywords), name) != std::end(kKeywords);
}

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

std::string fileStemOf(const std::string& base) {
  size_t start = 0;
  // By character: a backslash byte inside a double-byte character is not a
  // separator.
  for (size_t at = 0; at < base.size();) {
    const size_t next = nextCharacter(base, at);
    if (next == at + 1 && (base[at] == '/' || (kBackslashSeparates && base[at] == '\\'))) start = next;
    at = next;
  }
  return base.substr(start);
}

CNames::CNames(const std::string& prefix, const std::string& file_stem) : prefix_(prefix) {
  std::string stem = sanitized(file_stem);
  for (char& c : stem) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  guard_ = ("TESSARN_" + stem).substr(0, kMaxSymbol - 2) + "_H";
  patterns_ = prefix + "patterns";
  patternCount_ = prefix + "PATTERN_COUNT";
  firstPattern_ = prefix + "FIRST_PATTERN";
  for (const std::string* name : {&guard_, &patterns_, &patternCount_, &firstPattern_}) take(*name);
}

bool CNames::taken(const std::string& symbol) const {
  if (isKeyword(symbol) || taken_.count(symbol) != 0) return true;
  for (std::string_view suffix : kMacroSuffixes) {
    if (taken_.count(symbol + std::string(suffix)) != 0) return true;
  }
  return false;
}

std::string CNames::jobSymbol(const std::string& job_name, int64_t number) {
  std::string base = prefix_ + sanitized(job_name);
  if (base.empty() || !isLetter(base[0])) base = "map_" + base;
  base.resize(std::min(base.size(), kMaxJobSymbol));
  // (Built in place: gcc 12 sees a false overlap in "_" + std::to_string.)
  std::string tail = std::to_string(number);
  tail.insert(tail.begin(), '_');
  std::string symbol = base;
  // "_n" once more each time, the name before them cut to make room, while
  // the name keeps a letter to start with.
  for (size_t k = 1; taken(symbol) && k * tail.size() < kMaxJobSymbol; ++k) {
    symbol = base.substr(0, std::min(base.size(), kMaxJobSymbol - k * tail.size()));
    for (size_t i = 0; i < k; ++i) symbol += tail;
  }
  // Every such name taken (only a list made to do it gets here): "map_n_m".
  for (int64_t m = 1; taken(symbol); ++m) {
    symbol = "map";
    symbol.append(tail).append("_").append(std::to_string(m));
  }
  take(symbol);
  for (std::string_view suffix : kMacroSuffixes) take(symbol + std::string(suffix));
  return symbol;
}

std::string CNames::spareName() {
  std::string name = prefix_ + "no_arrays";
  for (int m = 2; taken(name); ++m) name = prefix_ + "no_arrays_" + std::to_string(m);
  take(name);
  return name;
}

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
