#include "outputs/c_names.h"

#include <algorithm>

#include "io/platform.h"

namespace tessarn {
namespace {

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

bool isKeyword(const std::string& name) {
  return std::find(std::begin(kKeywords), std::end(kKeywords), name) != std::end(kKeywords);
}

}  // namespace

bool isCIdentifier(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), isIdentifierByte);
}

std::string cleanedName(std::string_view name, char also) {
  std::string out(name);
  for (char& c : out) c = isIdentifierByte(c) || (also != 0 && c == also) ? c : '_';
  return out;
}

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

CNames::CNames(const std::string& prefix, const std::string& file_stem, std::vector<std::string> job_suffixes,
               const std::vector<std::string>& run_names)
    : prefix_(prefix), jobSuffixes_(std::move(job_suffixes)) {
  jobSuffixes_.insert(jobSuffixes_.begin(), {"_WIDTH", "_HEIGHT"});
  std::string stem = cleanedName(file_stem);
  for (char& c : stem) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  guard_ = ("TESSARN_" + stem).substr(0, kMaxSymbol - 2) + "_H";
  take(guard_);
  for (const std::string& name : run_names) take(runName(name));
}

bool CNames::taken(const std::string& symbol) const {
  if (isKeyword(symbol) || taken_.count(symbol) != 0) return true;
  for (const std::string& suffix : jobSuffixes_) {
    if (taken_.count(symbol + suffix) != 0) return true;
  }
  return false;
}

std::string CNames::jobSymbol(const std::string& job_name, int64_t number) {
  std::string base = prefix_ + cleanedName(job_name);
  if (base.empty() || !isAsciiLetter(base[0])) base = "map_" + base;
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
  for (const std::string& suffix : jobSuffixes_) take(symbol + suffix);
  return symbol;
}

std::string CNames::spareName() {
  std::string name = prefix_ + "no_arrays";
  for (int m = 2; taken(name); ++m) name = prefix_ + "no_arrays_" + std::to_string(m);
  take(name);
  return name;
}

}  // namespace tessarn
