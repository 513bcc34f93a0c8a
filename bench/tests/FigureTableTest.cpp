// The table and the results file: medians, targets judged at their limits,
// failures shown as failures, and the keys that scripts read.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "FigureTable.h"
#include "Figures.h"
#include "Median.h"
#include "UmockdevFigures.h"

namespace kvm::bench {
namespace {

struct TFigure {
  const char* Benchmark;
  const char* Figure;
  double Value;
};

// Every judged figure just inside its target, but for the ones given.
TFigureCollector FiguresAtTheLimits(const std::vector<TFigure>& instead = {}) {
  const TFigure limits[] = {
      {fig::BlockCost, fig::MeanUsPerBlock, 50}, {fig::BlockCost, fig::UsPerBlock, 50},
      {fig::BlockCost, fig::CpuUsPerBlock, 30},  {fig::WaitCpu, fig::WaitCpuFraction, 0.02},
      {fig::LinkRatio, fig::LinkRatio64k, 1.02}, {fig::RescanSim, fig::RescanMsSim64, 49.9},
      {fig::Firmware, fig::FirmwareMbPerS, 100}, {fig::StationRatio8, fig::StationRatio, 1.15},
      {fig::BlockCostSession, fig::MeanUsPerBlock, 50}, {fig::BlockCostSession, fig::OwnCpuUsPerBlock, 30},
      {fig::StationRatio64, fig::StationRatio, 1.05}, {fig::StationRatio64, fig::StationOwnCpu, 0.5},
      {fig::StationRatio64, fig::StationResidentMb, 63.9},
  };
  TFigureCollector figures;
  for (const TFigure& limit : limits) {
    double value = limit.Value;
    for (const TFigure& other : instead)
      if (std::string(other.Figure) == limit.Figure && std::string(other.Benchmark) == limit.Benchmark)
        value = other.Value;
    figures.AddFigure(limit.Benchmark, limit.Figure, value);
  }
  return figures;
}

TRunConditions Conditions(double load) { return {{"Test CPU", 2, "2026-01-01 00:00 UTC"}, load, load}; }

TEST(FigureTableTest, MedianOfOddAndEvenRuns) {
  TFigureCollector figures;
  for (const double value : {5.0, 1.0, 3.0}) figures.AddFigure("B", "f", value);
  EXPECT_EQ(figures.Median("B", "f"), 3.0);
  figures.AddFigure("B", "f", 10.0);
  EXPECT_EQ(figures.Median("B", "f"), 4.0);
  EXPECT_EQ(figures.Repetitions("B"), 4);
  EXPECT_FALSE(figures.Median("B", "other").has_value());
  EXPECT_FALSE(figures.Median("C", "f").has_value());
  EXPECT_EQ(figures.Max("B", "f"), 10.0);
}

TEST(FigureTableTest, QuantileIsTheNearestRank) {
  std::vector<double> hundred;
  for (int i = 1; i <= 100; ++i) hundred.push_back(i);
  EXPECT_EQ(Quantile(hundred, 0.99), 99);
  EXPECT_EQ(Quantile(hundred, 0.5), 50);
  EXPECT_EQ(Quantile(hundred, 1.0), 100);
  EXPECT_EQ(Quantile({7}, 0.99), 7);
  EXPECT_EQ(Quantile({}, 0.5), 0);
}

TEST(FigureTableTest, TargetsHoldAtTheirLimits) {
  EXPECT_TRUE(MissedTargets(FiguresAtTheLimits()).empty());
}

TEST(FigureTableTest, EachTargetMissedJustPastItsLimit) {
  const struct {
    TFigure Past;
    const char* Row;
  } cases[] = {
      {{fig::BlockCost, fig::MeanUsPerBlock, 50.1}, "1"},
      {{fig::BlockCost, fig::CpuUsPerBlock, 30.1}, "1"},
      {{fig::WaitCpu, fig::WaitCpuFraction, 0.021}, "2"},
      {{fig::LinkRatio, fig::LinkRatio64k, 1.021}, "3"},
      {{fig::RescanSim, fig::RescanMsSim64, 50}, "4"},
      {{fig::StationRatio8, fig::StationRatio, 1.151}, "7"},
      {{fig::BlockCostSession, fig::MeanUsPerBlock, 50.1}, "1s"},
      {{fig::BlockCostSession, fig::OwnCpuUsPerBlock, 30.1}, "1s"},
      {{fig::StationRatio64, fig::StationRatio, 1.051}, "7"},
      {{fig::StationRatio64, fig::StationOwnCpu, 0.501}, "7"},
      {{fig::StationRatio64, fig::StationResidentMb, 64}, "7"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MissedTargets(FiguresAtTheLimits({c.Past})), std::vector<std::string>{c.Row}) << c.Past.Figure;
}

TEST(FigureTableTest, AFailedRunShowsInsteadOfTheFigures) {
  TFigureCollector figures = FiguresAtTheLimits();
  figures.SetFailure(fig::WaitCpu, "the silent wait ended with -1 after 0 ticks");
  figures.SetFailure(fig::WaitCpu, "a later consequence");
  EXPECT_TRUE(figures.AnyFailure());
  const std::string table = FigureTable(figures, Conditions(0));
  EXPECT_NE(table.find("FAILED: the silent wait ended with -1 after 0 ticks"), std::string::npos) << table;
  EXPECT_EQ(table.find("a later consequence"), std::string::npos);
  // The runs that passed do not stand for the benchmark.
  EXPECT_EQ(table.find("2.00 %"), std::string::npos) << table;
}

TEST(FigureTableTest, TableNamesTheMachineFormatsFiguresAndFlagsABusyMachine) {
  TFigureCollector figures = FiguresAtTheLimits();
  figures.AddFigure(fig::BlockCost, fig::BlocksPerSecond, 63131.4);
  const std::string quiet = FigureTable(figures, Conditions(0.2));
  EXPECT_NE(quiet.find("Test CPU, 2 cores"), std::string::npos) << quiet;
  EXPECT_NE(quiet.find("2026-01-01 00:00 UTC"), std::string::npos);
  EXPECT_NE(quiet.find("mean 50.0 us/block (63,131 blocks/s)"), std::string::npos) << quiet;
  // A figure a benchmark did not report reads "?", never a number.
  EXPECT_NE(quiet.find("p99 ?,"), std::string::npos) << quiet;
  EXPECT_EQ(quiet.find("kept the processors busy"), std::string::npos);
  EXPECT_NE(FigureTable(figures, Conditions(1.5)).find("kept the processors busy (load 1.50)"), std::string::npos);
}

TEST(FigureTableTest, JsonCarriesEveryKeyAndNullForWhatWasNotMeasured) {
  TFigureCollector figures = FiguresAtTheLimits();
  // The longest stall of any run, not a median of them.
  for (const double longest : {900.0, 4000.0, 700.0}) figures.AddFigure(fig::BlockCost, fig::MaxUsPerBlock, longest);
  const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(FigureJson(figures, Conditions(0)))).object();
  for (const char* key : {"us_per_block", "mean_us_per_block", "p50_us_per_block", "p99_us_per_block",
                          "max_us_per_block", "cpu_us_per_block", "handover_us", "wait_cpu_fraction",
                          "polling_cpu_fraction", "link_ratio_64k", "rescan_ms_sim64", "rescan_ms_umockdev16",
                          "firmware_mb_per_s", "station_ratio_8", "station_cpu_fraction", "station_ratio_32",
                          "station_ratio_64", "station_own_cpu_8", "station_own_cpu_32", "station_own_cpu_64",
                          "station_resident_mb_64", "station_unit_kb", "session_cpu_us_per_block"})
    EXPECT_TRUE(json.contains(key)) << key;
  EXPECT_DOUBLE_EQ(json["us_per_block"].toDouble(), 50);
  EXPECT_DOUBLE_EQ(json["mean_us_per_block"].toDouble(), 50);
  EXPECT_DOUBLE_EQ(json["max_us_per_block"].toDouble(), 4000);
  EXPECT_TRUE(json["p99_us_per_block"].isNull());
  EXPECT_TRUE(json["station_cpu_fraction"].isNull());
  EXPECT_DOUBLE_EQ(json["station_ratio_64"].toDouble(), 1.05);
  EXPECT_DOUBLE_EQ(json["station_own_cpu_64"].toDouble(), 0.5);
  EXPECT_TRUE(json["station_ratio_32"].isNull());
  EXPECT_TRUE(json["rescan_ms_umockdev16"].isNull());
  EXPECT_TRUE(json["polling_cpu_fraction"].isNull());
}

TEST(FigureTableTest, UmockdevFiguresTravelThroughTheirFile) {
  QTemporaryDir folder;
  const std::string path = folder.filePath("umockdev.json").toStdString();
  ASSERT_TRUE(WriteUmockdevFigures(path, {20, 10, 30}, {4, 5, 6}, ""));
  TFigureCollector figures;
  ReadUmockdevFigures(path, figures);
  EXPECT_EQ(figures.Median(fig::RescanUmockdev, fig::RescanMsUmockdev16), 20.0);
  EXPECT_EQ(figures.Median(fig::RescanUmockdev, fig::RescanUnchangedMsUmockdev16), 5.0);
  EXPECT_FALSE(figures.AnyFailure());
}

TEST(FigureTableTest, UmockdevFailureOrMissingFileIsAFailure) {
  QTemporaryDir folder;
  const std::string path = folder.filePath("umockdev.json").toStdString();
  ASSERT_TRUE(WriteUmockdevFigures(path, {}, {}, "testbed refused"));
  TFigureCollector failed;
  ReadUmockdevFigures(path, failed);
  EXPECT_EQ(failed.Failure(fig::RescanUmockdev), "testbed refused");

  TFigureCollector missing;
  ReadUmockdevFigures(folder.filePath("none.json").toStdString(), missing);
  EXPECT_NE(missing.Failure(fig::RescanUmockdev).find("none.json"), std::string::npos);
}

}  // namespace
}  // namespace kvm::bench
