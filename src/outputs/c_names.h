// The names a C library's files define, and the rules that make them: C
// identifiers made from job names, kept distinct from each other, from the
// pattern table's names and the include guard, and from the keywords of C,
// C++ and cc65.
//
// A job's SYMBOL is the prefix and its name with every byte but A-Z, a-z,
// 0-9 and '_' made '_', with "map_" in front if it would not start with a
// letter, cut so that it stays within kMaxSymbol characters with its
// longest suffix. A symbol that is taken gets '_' and the job's number
// appended, cut further to stay within the length, and again while taken.

#ifndef TESSARN_OUTPUTS_C_NAMES_H_
#define TESSARN_OUTPUTS_C_NAMES_H_

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tessarn {

// A-Z or a-z, whatever the locale.
inline bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool isIdentifierByte(char c) { return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; }
// Whether `name` is made of identifier bytes only (and is not empty).
bool isCIdentifier(std::string_view name);
// `name` with every byte but A-Z, a-z, 0-9, '_' (and `also`, if not 0)
// made '_'.
std::string cleanedName(std::string_view name, char also = 0);

// BASE's file name, without the folders before it.
std::string fileStemOf(const std::string& base);

// The names a library's files define.
class CNames {
 public:
  // cc65 keeps 64 characters of a macro name, SDCC 256 of a symbol: every
  // name, suffixes included, stays within this.
  static constexpr size_t kMaxSymbol = 56;

  // `file_stem`: BASE's file name, for the include guard. Beside each job's
  // symbol the files define it with `job_suffixes` (besides _WIDTH and
  // _HEIGHT, none longer), and once the prefix with each of `run_names`:
  // all of them are taken.
  CNames(const std::string& prefix, const std::string& file_stem, std::vector<std::string> job_suffixes,
         const std::vector<std::string>& run_names);

  const std::string& guard() const { return guard_; }
  // The prefix and `name`, one of the run's names.
  std::string runName(const std::string& name) const { return prefix_ + name; }

  // The symbol of job `number` named `job_name`; it and its macros are
  // taken from then on.
  std::string jobSymbol(const std::string& job_name, int64_t number);
  // A name that nothing else uses, for a typedef that keeps a file with no
  // arrays from being an empty unit, which ISO C forbids.
  std::string spareName();

 private:
  // Whether `symbol`, or a macro made from it, is taken.
  bool taken(const std::string& symbol) const;
  void take(const std::string& name) { taken_.insert(name); }

  std::string prefix_;
  std::string guard_;
  std::vector<std::string> jobSuffixes_;
  std::set<std::string> taken_;
};

}  // namespace tessarn

#endif  // TESSARN_OUTPUTS_C_NAMES_H_
