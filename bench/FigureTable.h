// Collects the figures of every benchmark run (median over its repetitions)
// and prints them as one table beside their references and targets.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "MachineInfo.h"

namespace kvm::bench {

class TFigureCollector final : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;

  // Median over the repetitions of one benchmark; none when it never ran.
  std::optional<double> Median(const std::string& benchmark, const std::string& figure) const;
  // The largest over the repetitions (for the longest stall of any run).
  std::optional<double> Max(const std::string& benchmark, const std::string& figure) const;
  // How many repetitions of the benchmark completed.
  int Repetitions(const std::string& benchmark) const;
  // Why a benchmark failed (empty when it did not).
  std::string Failure(const std::string& benchmark) const;
  // Adds figures measured outside Google Benchmark (the umockdev helper).
  void AddFigure(const std::string& benchmark, const std::string& figure, double value);
  void SetFailure(const std::string& benchmark, const std::string& text);
  bool AnyFailure() const { return !failures_.empty(); }

 private:
  std::map<std::string, std::map<std::string, std::vector<double>>> values_;
  std::map<std::string, int> repetitions_;
  std::map<std::string, std::string> failures_;
};

struct TRunConditions {
  TMachineInfo Machine;
  double LoadBefore = -1;
  double LoadAfter = -1;
};

// The table, as printed.
std::string FigureTable(const TFigureCollector& figures, const TRunConditions& conditions);
// Figures measured that miss their targets ("1", "3", ...).
std::vector<std::string> MissedTargets(const TFigureCollector& figures);
// The figures of results.json; absent figures are null.
std::string FigureJson(const TFigureCollector& figures, const TRunConditions& conditions);

}  // namespace kvm::bench
