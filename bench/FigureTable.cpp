#include "FigureTable.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cstdio>

#include "Figures.h"
#include "Median.h"

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
  return bench::Median(series->second);
}

std::optional<double> TFigureCollector::Max(const std::string& benchmark, const std::string& figure) const {
  const auto found = values_.find(benchmark);
  if (found == values_.end()) return std::nullopt;
  const auto series = found->second.find(figure);
  if (series == found->second.end() || series->second.empty()) return std::nullopt;
  return *std::max_element(series->second.begin(), series->second.end());
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

// The figures of one benchmark, formatted; a figure that is missing (which a
// benchmark that ran always reports) reads "?" rather than a made-up number.
class TBenchmarkFigures {
 public:
  TBenchmarkFigures(const TFigureCollector& figures, const char* benchmark)
      : figures_(figures), benchmark_(benchmark) {}

  // None also when any run failed: a failure outweighs the runs that passed.
  std::optional<double> Get(const char* figure) const {
    if (!figures_.Failure(benchmark_).empty()) return std::nullopt;
    return figures_.Median(benchmark_, figure);
  }
  std::string Number(const char* figure, int decimals, double scale = 1) const {
    const auto value = Get(figure);
    return value ? Fixed(*value * scale, decimals) : "?";
  }
  // The largest of the runs, formatted.
  std::string Largest(const char* figure, int decimals) const {
    const auto value = figures_.Failure(benchmark_).empty() ? figures_.Max(benchmark_, figure) : std::nullopt;
    return value ? Fixed(*value, decimals) : "?";
  }
  std::string Count(const char* figure) const {
    const auto value = Get(figure);
    return value ? Grouped(*value) : "?";
  }
  std::string Runs() const { return std::to_string(figures_.Repetitions(benchmark_)); }
  // The row for a headline figure that is missing: why.
  std::string Missing() const {
    const std::string failure = figures_.Failure(benchmark_);
    return failure.empty() ? "not measured" : "FAILED: " + failure;
  }

 private:
  const TFigureCollector& figures_;
  const char* benchmark_;
};

std::string Met(bool met) { return met ? "yes" : MissedMark; }

TRow BlockCostRow(const TBenchmarkFigures& f) {
  TRow row{"1", "Time a job takes per block, whole stack, programmer answering at once: first to last "
                "confirmation over the blocks between (" + f.Runs() + " runs of 5,000 blocks)",
           f.Missing(), "", "mean <= 50 us (>= 20,000 blocks/s), CPU <= 30 us/block", ""};
  const auto mean = f.Get(fig::MeanUsPerBlock);
  const auto cpu = f.Get(fig::CpuUsPerBlock);
  if (mean && cpu) {
    row.Measured = "mean " + f.Number(fig::MeanUsPerBlock, 1) + " us/block (" + f.Count(fig::BlocksPerSecond) +
                   " blocks/s); single blocks: p50 " + f.Number(fig::P50UsPerBlock, 1) + ", p99 " +
                   f.Number(fig::P99UsPerBlock, 1) + ", max " + f.Largest(fig::MaxUsPerBlock, 0) + " us; CPU " +
                   f.Number(fig::CpuUsPerBlock, 1) + " us/block, both threads; " +
                   f.Number(fig::SwitchesPerBlock, 1) + " thread switches/block";
    row.Reference = "floor: one report handed from the reader thread to the user-interface thread waiting in the "
                    "job's message pump, alone: " + f.Number(fig::HandOverUs, 1) +
                    " us (a block needs at least one)";
    row.Met = Met(*mean <= 50 && *cpu <= 30);
  }
  return row;
}

TRow WaitCpuRow(const TBenchmarkFigures& f) {
  TRow row{"2", "CPU while a command waits out six 50 ms ticks on a silent programmer (" + f.Runs() + " runs)",
           f.Missing(), "", "<= 2 % of a core", ""};
  if (const auto share = f.Get(fig::WaitCpuFraction)) {
    row.Measured = f.Number(fig::WaitCpuFraction, 2, 100) + " % of a core over " + f.Number(fig::WaitMs, 0) + " ms";
    row.Reference = "polling loop (processEvents) for as long: " + f.Number(fig::PollingCpuFraction, 1, 100) + " %";
    row.Met = Met(*share <= 0.02);
  }
  return row;
}

TRow LinkRatioRow(const TBenchmarkFigures& f) {
  TRow row{"3", "64 KiB image programmed over a modelled full-speed link, one 1 ms frame each way: job time / "
                "link time (blocks x 2 ms; " + f.Runs() + " runs)",
           f.Missing(), "", "<= 1.02x", ""};
  if (const auto ratio = f.Get(fig::LinkRatio64k)) {
    row.Measured = f.Number(fig::LinkRatio64k, 3) + "x (" + f.Number(fig::JobSeconds, 3) + " s / " +
                   f.Number(fig::LinkSeconds, 3) + " s, " + f.Count(fig::LinkBlocks) +
                   " blocks); answer to next write: median " + f.Number(fig::TurnaroundUs, 0) +
                   " us of the 1,000 a frame allows; " + f.Number(fig::MissedFrameShare, 1, 100) +
                   " % of writes late, losing " + f.Number(fig::LostFrameMs, 0) + " ms";
    row.Reference = "delays counted from each event instead of the frame clock: " + f.Number(fig::PerEventRatio, 3) +
                    "x, of which the link model alone " + f.Number(fig::ModelRatio, 3) + "x";
    row.Met = Met(*ratio <= 1.02);
  }
  return row;
}

TRow RescanRow(const TBenchmarkFigures& f, const char* number, const std::string& figure, const char* allNew,
               const char* unchanged, bool hasTarget) {
  TRow row{number, figure + " (" + f.Runs() + " runs)", f.Missing(), "", hasTarget ? "< 50 ms" : "", ""};
  if (const auto ms = f.Get(allNew)) {
    row.Measured = f.Number(allNew, 2) + " ms";
    row.Reference = "rescan that finds no change: " + f.Number(unchanged, 2) + " ms";
    if (hasTarget) row.Met = Met(*ms < 50);
  }
  return row;
}

TRow FirmwareRow(const TBenchmarkFigures& f) {
  TRow row{"5", "Firmware files on the largest accepted image, 3,670,008 bytes (65,536 blocks): unscramble + "
                "checksum + block sequence (" + f.Runs() + " runs)",
           f.Missing(), "", "", ""};
  if (f.Get(fig::FirmwareMbPerS)) {
    row.Measured = f.Number(fig::FirmwareMbPerS, 0) + " MB/s";
    row.Reference = "unscramble " + f.Number(fig::UnscrambleMbPerS, 0) + ", checksum " +
                    f.Number(fig::CheckSumMbPerS, 0) + ", blocks " + f.Number(fig::BlocksMbPerS, 0) +
                    " MB/s; checksum of 4 MiB " + f.Number(fig::CheckSum4MiBMbPerS, 0) + " MB/s";
  }
  return row;
}

TRow RecordingRow(const TBenchmarkFigures& f) {
  TRow row{"6", "App cost per block as in 1, with the session recorded (kvmflash-cli --record; " + f.Runs() +
                    " runs of each, in turns)",
           f.Missing(), "", "<= 1.2x of it not recorded", ""};
  if (const auto ratio = f.Get(fig::RecordingRatio)) {
    row.Measured = f.Number(fig::RecordedUsPerBlock, 1) + " us/block, " + f.Number(fig::RecordingRatio, 2) + "x";
    row.Reference = "not recorded: " + f.Number(fig::PlainUsPerBlock, 1) + " us/block";
    row.Met = Met(*ratio <= 1.2);
  }
  return row;
}

TRow SessionBlockRow(const TBenchmarkFigures& f) {
  TRow row{"1s", "As 1, for a session on a thread of its own (kvmflash-cli program, the station; " + f.Runs() +
                     " runs of 5,000 blocks)",
           f.Missing(), "", "mean <= 50 us, CPU <= 30 us/block", ""};
  const auto mean = f.Get(fig::MeanUsPerBlock);
  const auto own = f.Get(fig::OwnCpuUsPerBlock);
  if (mean && own) {
    row.Measured = "mean " + f.Number(fig::MeanUsPerBlock, 1) + " us/block; p50 " + f.Number(fig::P50UsPerBlock, 1) +
                   ", p99 " + f.Number(fig::P99UsPerBlock, 1) + " us; CPU " + f.Number(fig::OwnCpuUsPerBlock, 1) +
                   " us/block without the emulator's (session thread " + f.Number(fig::SessionCpuUsPerBlock, 1) +
                   ", reader " + f.Number(fig::ReaderCpuUsPerBlock, 1) + "); " + f.Number(fig::SwitchesPerBlock, 1) +
                   " thread switches/block";
    row.Reference = "with the emulator: " + f.Number(fig::CpuUsPerBlock, 1) + " us/block (emulator " +
                    f.Number(fig::ModelCpuUsPerBlock, 1) + ")";
    row.Met = Met(*mean <= 50 && *own <= 30);
  }
  return row;
}

// The station over `units` programmers; `target` the ratio to meet (0:
// none), `ownCpuTarget` the share of a core its own threads may use (0: none).
TRow StationRow(const TBenchmarkFigures& f, int units, double target, double ownCpuTarget, double residentMbTarget) {
  std::string targets = target > 0 ? "<= " + Fixed(target, 2) + "x" : "";
  if (ownCpuTarget > 0) targets += ", own threads <= " + Fixed(ownCpuTarget * 100, 0) + " % of a core";
  if (residentMbTarget > 0) targets += ", resident < " + Fixed(residentMbTarget, 0) + " MB";
  TRow row{"7", "Station, " + std::to_string(units) +
                    " programmers at once, each over the modelled link of figure 3, 64 KiB each: station wall time / "
                    "one unit's (" + f.Runs() + " runs)",
           f.Missing(), "", targets, ""};
  const auto ratio = f.Get(fig::StationRatio);
  const auto own = f.Get(fig::StationOwnCpu);
  const auto resident = f.Get(fig::StationResidentMb);
  if (ratio) {
    row.Measured = f.Number(fig::StationRatio, 3) + "x (" + f.Number(fig::StationManySeconds, 3) + " s / " +
                   f.Number(fig::StationOneSeconds, 3) + " s); the utility's own threads used " +
                   f.Number(fig::StationOwnCpu, 1, 100) + " % of a core (station " +
                   f.Number(fig::StationMainCpu, 1, 100) + ", sessions " + f.Number(fig::StationSessionsCpu, 1, 100) +
                   ", readers " + f.Number(fig::StationReadersCpu, 1, 100) + ", others " +
                   f.Number(fig::StationOtherCpu, 1, 100) + "; " + f.Number(fig::StationThreads, 0) +
                   " threads), " + f.Number(fig::StationOwnCpuUsPerBlock, 1) + " us per block, " +
                   f.Number(fig::StationSwitchesPerBlock, 1) + " thread switches per block; resident " + f.Number(fig::StationResidentMb, 1) + " MB, " +
                   f.Number(fig::StationUnitKb, 0) + " kB per unit (what the run added, over the units)";
    row.Reference = "the whole process, emulators and link models included: " +
                    f.Number(fig::StationCpuFraction, 1, 100) + " % of a core (models " +
                    f.Number(fig::StationModelCpu, 1, 100) + ")";
    bool met = target <= 0 || *ratio <= target;
    // A target whose figure is missing is not met.
    if (ownCpuTarget > 0) met = met && own && *own <= ownCpuTarget;
    if (residentMbTarget > 0) met = met && resident && *resident < residentMbTarget;
    row.Met = Met(met);
  }
  return row;
}

std::vector<TRow> Rows(const TFigureCollector& figures) {
  TRow umockdev = RescanRow({figures, fig::RescanUmockdev}, "", "Rescan of 16 umockdev-emulated hidraw nodes, the same way",
                            fig::RescanMsUmockdev16, fig::RescanUnchangedMsUmockdev16, false);
  if (umockdev.Measured == "not measured")
    umockdev.Measured += " (kvmflash-bench-umockdev, built with the tests, runs under umockdev-wrapper; "
                         "scripts/bench passes its results)";
  return {
      BlockCostRow({figures, fig::BlockCost}),
      SessionBlockRow({figures, fig::BlockCostSession}),
      WaitCpuRow({figures, fig::WaitCpu}),
      LinkRatioRow({figures, fig::LinkRatio}),
      RescanRow({figures, fig::RescanSim}, "4", "Rescan of 64 simulated HID interfaces, all new, window handlers bound",
                fig::RescanMsSim64, fig::RescanUnchangedMsSim64, true),
      umockdev,
      FirmwareRow({figures, fig::Firmware}),
      RecordingRow({figures, fig::BlockCostRecorded}),
      StationRow({figures, fig::StationRatio8}, 8, 1.15, 0, 0),
      StationRow({figures, fig::StationRatio32}, 32, 0, 0, 0),
      StationRow({figures, fig::StationRatio64}, 64, 1.05, 0.5, 64),
  };
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
  // us_per_block is the mean, for readers of older files.
  json["us_per_block"] = value(fig::BlockCost, fig::UsPerBlock);
  json["mean_us_per_block"] = value(fig::BlockCost, fig::MeanUsPerBlock);
  json["p50_us_per_block"] = value(fig::BlockCost, fig::P50UsPerBlock);
  json["p99_us_per_block"] = value(fig::BlockCost, fig::P99UsPerBlock);
  const auto longest = figures.Max(fig::BlockCost, fig::MaxUsPerBlock);
  json["max_us_per_block"] = longest ? QJsonValue(*longest) : QJsonValue(QJsonValue::Null);
  json["cpu_us_per_block"] = value(fig::BlockCost, fig::CpuUsPerBlock);
  json["switches_per_block"] = value(fig::BlockCost, fig::SwitchesPerBlock);
  json["handover_us"] = value(fig::BlockCost, fig::HandOverUs);
  json["wait_cpu_fraction"] = value(fig::WaitCpu, fig::WaitCpuFraction);
  json["polling_cpu_fraction"] = value(fig::WaitCpu, fig::PollingCpuFraction);
  json["link_ratio_64k"] = value(fig::LinkRatio, fig::LinkRatio64k);
  json["rescan_ms_sim64"] = value(fig::RescanSim, fig::RescanMsSim64);
  json["rescan_ms_umockdev16"] = value(fig::RescanUmockdev, fig::RescanMsUmockdev16);
  json["firmware_mb_per_s"] = value(fig::Firmware, fig::FirmwareMbPerS);
  json["blocks_per_s"] = value(fig::BlockCost, fig::BlocksPerSecond);
  json["recording_ratio"] = value(fig::BlockCostRecorded, fig::RecordingRatio);
  json["session_mean_us_per_block"] = value(fig::BlockCostSession, fig::MeanUsPerBlock);
  json["session_cpu_us_per_block"] = value(fig::BlockCostSession, fig::OwnCpuUsPerBlock);
  json["session_switches_per_block"] = value(fig::BlockCostSession, fig::SwitchesPerBlock);
  // The process's share with eight units, as before; then each unit count.
  json["station_cpu_fraction"] = value(fig::StationRatio8, fig::StationCpuFraction);
  const std::pair<const char*, const char*> stations[] = {
      {fig::StationRatio8, "8"}, {fig::StationRatio32, "32"}, {fig::StationRatio64, "64"}};
  for (const auto& [benchmark, units] : stations) {
    json[QString("station_ratio_") + units] = value(benchmark, fig::StationRatio);
    json[QString("station_own_cpu_") + units] = value(benchmark, fig::StationOwnCpu);
    json[QString("station_process_cpu_") + units] = value(benchmark, fig::StationCpuFraction);
    json[QString("station_resident_mb_") + units] = value(benchmark, fig::StationResidentMb);
  }
  json["station_unit_kb"] = value(fig::StationRatio64, fig::StationUnitKb);
  json["station_own_cpu_us_per_block_64"] = value(fig::StationRatio64, fig::StationOwnCpuUsPerBlock);
  json["station_switches_per_block_64"] = value(fig::StationRatio64, fig::StationSwitchesPerBlock);
  json["cpu_model"] = QString::fromStdString(conditions.Machine.CpuModel);
  json["cores"] = static_cast<int>(conditions.Machine.Cores);
  json["date"] = QString::fromStdString(conditions.Machine.Date);
  json["load_before"] = conditions.LoadBefore;
  json["load_after"] = conditions.LoadAfter;
  return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace kvm::bench
