#include "views/run_report.h"

#include <algorithm>

#include "run/job_warnings.h"

namespace tessarn {
namespace {

constexpr size_t kColumns = 6;
// Cells that are numbers are aligned right.
constexpr bool kNumeric[kColumns] = {true, false, false, true, true, true};

}  // namespace

void RunReport::jobFinished(const JobSummary& summary, const PatternDictionary&) {
  std::vector<std::string> row = {std::to_string(summary.number), summary.job->name};
  if (!summary.failure) {
    row.push_back(std::to_string(summary.tilesWide) + "x" + std::to_string(summary.tilesHigh));
    row.push_back(std::to_string(summary.newPatterns));
    row.push_back(std::to_string(summary.tilesWritten - summary.newPatterns));
    row.push_back(std::to_string(summary.mirrored));
  } else {
    const Failure& failure = *summary.failure;
    std::string reason = formatMessage(failure.message, failure.name, MessageLanguage::kEnglish, failure.numbers);
    reason.resize(reason.size() - 2);  // the line end
    const bool skipped = effectOf(failure.message) == FailureEffect::kSkipsJob;
    row.push_back((skipped ? "skipped: " : "run ended: ") + reason);
  }
  rows_.push_back(std::move(row));
  for (const std::string& warning : jobWarnings(summary)) warnings_.push_back("warning: " + warning);
}

void RunReport::palettesChosen(const ChosenPalettes& chosen) {
  const size_t count = chosen.palettes.size();
  palettes_ = "palettes: " + std::to_string(count) +
              (chosen.proven ? " (the fewest possible)" : " (no fewer than " + std::to_string(chosen.lowerBound) + ")") +
              "; the colours' order saved " + std::to_string(chosen.patternsSaved) + " patterns\n";
}

void RunReport::runFinished(const PatternDictionary& dictionary) {
  patterns_ = dictionary.layout().firstPattern + dictionary.count();
}

std::string RunReport::text() const {
  std::vector<std::vector<std::string>> table;
  if (!rows_.empty()) table.push_back({"job", "name", "tiles", "new", "reused", "mirrored"});
  table.insert(table.end(), rows_.begin(), rows_.end());
  size_t widths[kColumns] = {};
  for (const auto& row : table) {
    // A reason runs on to the end of the line and sets no width.
    const size_t cells = row.size() == kColumns ? kColumns : 2;
    for (size_t c = 0; c < cells; ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out = target_.isClassic() ? "" : "target: " + std::string(target_.name) + "\n";
  for (const auto& row : table) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) line += "  ";
      const size_t pad = row.size() == kColumns || c < 2 ? widths[c] - row[c].size() : 0;
      if (kNumeric[c]) line.append(pad, ' ');
      line += row[c];
      if (!kNumeric[c] && c + 1 < row.size()) line.append(pad, ' ');
    }
    out += line + "\n";
  }
  for (const std::string& warning : warnings_) out += warning + "\n";
  return out + palettes_ + "patterns: " + std::to_string(patterns_) + " of " + std::to_string(patternLimit_) + "\n";
}

}  // namespace tessarn
