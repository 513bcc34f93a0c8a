#include "FigureTable.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cstdio>

#include "Figures.h"

namespace kvm::bench {

bool TFigureCollector::ReportContext(const Context&) { return true; }

void TFigureCollector::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration) continue;
    const std::string& name = run.run_name.function_name;
    if (run.error_occurred) {
      SetFailure(name, run.error_message);
      continue;
    }
    ++repetitions_[name];
    for (const auto& [figure, counter] : run.counters) values_[name][figure].push_back(counter.value);
  }
}

void TFigureCollector::AddFigure(const std::string& benchmark, const std::string& figure, double value) {
  values_[benchmark][figure].push_back(value);
  repetitions_[benchmark] = std::max(repetitions_[benchmark], static_cast<int>(values_[benchmark][figure].size()));
}

void TFigureCollector::SetFailure(const std::string& benchmark, const std::string& text) {
  // The first failure tells the most; later ones follow from it.
  if (failures_[benchmark].empty()) failures_[benchmark] = text;
}

std::optional<double> TFigureCollector::Median(const std::string& benchmark, const std::string& figure) const {
  const auto found = values_.find(benchmark);
  if (found == values_.end()) return std::nullopt;
  const auto series = found->second.find(figure);
  if (series == found->second.end() || series->second.empty()) return std::nullopt;
  std::vector<double> sorted = series->second;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t mid = sorted.size() / 2;
  return sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
}

int TFigureCollector::Repetitions(const std::string& benchmark) const {
  const auto found = repetitions_.find(benchmark);
  return found == repetitions_.end() ? 0 : found->second;
}

std::string TFigureCollector::Failure(const std::string& benchmark) const {
  const auto found = failures_.find(benchmark);
  return found == failures_.end() ? std::string() : found->second;
}

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Thousands separated by commas: 32,051.
std::string Grouped(double value) {
  const std::string digits = Fixed(value, 0);
  const std::size_t sign = !digits.empty() && digits[0] == '-' ? 1 : 0;
  std::string grouped = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

const char* const MissedMark = "**no**";

struct TRow {
  std::string Number, Figure, Measured, Reference, Target, Met;
};

class TTableBuilder {
 public:
  explicit TTableBuilder(const TFigureCollector& figures) : figures_(figures) {}

  // The figure's median, or none after a failure or when it never ran.
  std::optional<double> Get(const char* benchmark, const char* figure) const {
    return figures_.Median(benchmark, figure);
  }
  // What stands in the Measured column when a figure is missing.
  std::string Missing(const char* benchmark) const {
    const std::string failure = figures_.Failure(benchmark);
    return failure.empty() ? "not measured" : "FAILED: " + failure;
  }
  static std::string Met(bool met) { return met ? "yes" : MissedMark; }
  std::string Runs(const char* benchmark) const { return std::to_string(figures_.Repetitions(benchmark)); }

 private:
  const TFigureCollector& figures_;
};

std::vector<TRow> Rows(const TFigureCollector& figures) {
  const TTableBuilder t(figures);
  std::vector<TRow> rows;

  TRow block{"1", "App cost per block, whole stack, programmer answering at once (median of " +
                      t.Runs(fig::BlockCost) + " runs of 4,000 blocks)",
             "", "", "<= 50 us (>= 20,000 blocks/s)", ""};
  if (const auto us = t.Get(fig::BlockCost, fig::UsPerBlock)) {
    block.Measured = Fixed(*us, 1) + " us/block (" + Grouped(*t.Get(fig::BlockCost, fig::BlocksPerSecond)) +
                     " blocks/s; mean " + Fixed(*t.Get(fig::BlockCost, fig::MeanUsPerBlock), 1) + " us; CPU " +
                     Fixed(*t.Get(fig::BlockCost, fig::CpuUsPerBlock), 1) + " us/block, both threads)";
    block.Reference = "its two reader hand-overs alone: " + Fixed(*t.Get(fig::BlockCost, fig::HandOverFloorUs), 1) + " us";
    block.Met = TTableBuilder::Met(*us <= 50);
  } else {
    block.Measured = t.Missing(fig::BlockCost);
  }
  rows.push_back(block);

  TRow wait{"2", "CPU while a command waits out six 50 ms ticks on a silent programmer (" + t.Runs(fig::WaitCpu) +
                     " runs)",
            "", "", "<= 2 % of a core", ""};
  if (const auto share = t.Get(fig::WaitCpu, fig::WaitCpuFraction)) {
    wait.Measured = Fixed(*share * 100, 2) + " % of a core over " + Fixed(*t.Get(fig::WaitCpu, fig::WaitMs), 0) + " ms";
    wait.Reference = "polling loop (processEvents) for as long: " +
                     Fixed(*t.Get(fig::WaitCpu, fig::PollingCpuFraction) * 100, 1) + " %";
    wait.Met = TTableBuilder::Met(*share <= 0.02);
  } else {
    wait.Measured = t.Missing(fig::WaitCpu);
  }
  rows.push_back(wait);

  TRow link{"3", "64 KiB image programmed, 1 ms per report each way: job time / link time (blocks x 2 ms; " +
                     t.Runs(fig::LinkRatio) + " runs)",
            "", "", "<= 1.05x", ""};
  if (const auto ratio = t.Get(fig::LinkRatio, fig::LinkRatio64k)) {
    link.Measured = Fixed(*ratio, 3) + "x (" + Fixed(*t.Get(fig::LinkRatio, fig::JobSeconds), 3) + " s / " +
                    Fixed(*t.Get(fig::LinkRatio, fig::LinkSeconds), 3) + " s, " +
                    Grouped(*t.Get(fig::LinkRatio, fig::LinkBlocks)) + " blocks)";
    link.Reference = "link model alone: " + Fixed(*t.Get(fig::LinkRatio, fig::ModelRatio), 3) + "x; job beyond the link: " +
                     Fixed(*t.Get(fig::LinkRatio, fig::OverheadUsPerBlock), 0) + " us/block";
    link.Met = TTableBuilder::Met(*ratio <= 1.05);
  } else {
    link.Measured = t.Missing(fig::LinkRatio);
  }
  rows.push_back(link);

  TRow sim{"4", "Rescan of 64 simulated HID interfaces, all new, window handlers bound (" + t.Runs(fig::RescanSim) +
                    " runs)",
           "", "", "< 50 ms", ""};
  if (const auto ms = t.Get(fig::RescanSim, fig::RescanMsSim64)) {
    sim.Measured = Fixed(*ms, 2) + " ms";
    sim.Reference = "rescan that finds no change: " + Fixed(*t.Get(fig::RescanSim, fig::RescanUnchangedMsSim64), 2) + " ms";
    sim.Met = TTableBuilder::Met(*ms < 50);
  } else {
    sim.Measured = t.Missing(fig::RescanSim);
  }
  rows.push_back(sim);

  TRow umockdev{"", "Rescan of 16 umockdev-emulated hidraw nodes, the same way (" + t.Runs(fig::RescanUmockdev) +
                        " runs)",
                "", "", "", ""};
  if (const auto ms = t.Get(fig::RescanUmockdev, fig::RescanMsUmockdev16)) {
    umockdev.Measured = Fixed(*ms, 2) + " ms";
    umockdev.Reference =
        "rescan that finds no change: " + Fixed(*t.Get(fig::RescanUmockdev, fig::RescanUnchangedMsUmockdev16), 2) + " ms";
  } else {
    umockdev.Measured = t.Missing(fig::RescanUmockdev);
  }
  rows.push_back(umockdev);

  TRow files{"5", "Firmware files on the largest accepted image, 3,670,008 bytes (65,536 blocks): unscramble + "
                  "checksum + block sequence (" + t.Runs(fig::Firmware) + " runs)",
             "", "", "", ""};
  if (const auto rate = t.Get(fig::Firmware, fig::FirmwareMbPerS)) {
    files.Measured = Fixed(*rate, 0) + " MB/s";
    files.Reference = "unscramble " + Fixed(*t.Get(fig::Firmware, fig::UnscrambleMbPerS), 0) + ", checksum " +
                      Fixed(*t.Get(fig::Firmware, fig::CheckSumMbPerS), 0) + ", blocks " +
                      Fixed(*t.Get(fig::Firmware, fig::BlocksMbPerS), 0) + " MB/s; checksum of 4 MiB " +
                      Fixed(*t.Get(fig::Firmware, fig::CheckSum4MiBMbPerS), 0) + " MB/s";
  } else {
    files.Measured = t.Missing(fig::Firmware);
  }
  rows.push_back(files);
  return rows;
}

std::string Load(double load) { return load < 0 ? "unknown" : Fixed(load, 2); }

}  // namespace

std::string FigureTable(const TFigureCollector& figures, const TRunConditions& conditions) {
  const TMachineInfo& m = conditions.Machine;
  std::string text = "kvmflash performance, " + m.Date + "\n";
  text += "Machine: " + m.CpuModel + ", " + std::to_string(m.Cores) + " cores; one-minute load average " +
          Load(conditions.LoadBefore) + " before, " + Load(conditions.LoadAfter) + " after the run\n";
  text += "Medians over the runs; MB = 10^6 bytes.\n";
  // Figures 1 and 3 are chains of thread wake-ups; on busy cores each wake-up
  // waits for a processor, which the table must not hide.
  const double busiest = std::max(conditions.LoadBefore, conditions.LoadAfter);
  if (m.Cores > 0 && busiest > 0.5 * m.Cores)
    text += "Other work kept the processors busy (load " + Load(busiest) +
            "): figures 1 and 3 include waits for a processor.\n";
  text += "\n";
  text += "| # | Figure | Measured | Reference, same run | Target | Met |\n";
  text += "|---|---|---|---|---|---|\n";
  for (const TRow& row : Rows(figures))
    text += "| " + row.Number + " | " + row.Figure + " | " + row.Measured + " | " + row.Reference + " | " +
            row.Target + " | " + row.Met + " |\n";
  return text;
}

std::vector<std::string> MissedTargets(const TFigureCollector& figures) {
  std::vector<std::string> missed;
  for (const TRow& row : Rows(figures))
    if (row.Met == MissedMark) missed.push_back(row.Number);
  return missed;
}

std::string FigureJson(const TFigureCollector& figures, const TRunConditions& conditions) {
  const auto value = [&figures](const char* benchmark, const char* figure) {
    const auto median = figures.Median(benchmark, figure);
    return median ? QJsonValue(*median) : QJsonValue(QJsonValue::Null);
  };
  QJsonObject json;
  json["us_per_block"] = value(fig::BlockCost, fig::UsPerBlock);
  json["wait_cpu_fraction"] = value(fig::WaitCpu, fig::WaitCpuFraction);
  json["polling_cpu_fraction"] = value(fig::WaitCpu, fig::PollingCpuFraction);
  json["link_ratio_64k"] = value(fig::LinkRatio, fig::LinkRatio64k);
  json["rescan_ms_sim64"] = value(fig::RescanSim, fig::RescanMsSim64);
  json["rescan_ms_umockdev16"] = value(fig::RescanUmockdev, fig::RescanMsUmockdev16);
  json["firmware_mb_per_s"] = value(fig::Firmware, fig::FirmwareMbPerS);
  json["blocks_per_s"] = value(fig::BlockCost, fig::BlocksPerSecond);
  json["cpu_model"] = QString::fromStdString(conditions.Machine.CpuModel);
  json["cores"] = static_cast<int>(conditions.Machine.Cores);
  json["date"] = QString::fromStdString(conditions.Machine.Date);
  json["load_before"] = conditions.LoadBefore;
  json["load_after"] = conditions.LoadAfter;
  return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kvm::bench
