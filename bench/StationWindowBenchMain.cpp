// kvmflash-bench-station-window: the station window's cost. Over 8 and 24
// emulated programmers behind a modelled full-speed link it prints the
// window thread's share of a core while the units run, the longest the
// window's thread was late for a 50 ms timer (how long a click could wait),
// and, for 8 units, the window station's wall time over the command-line
// station's on the same units (station-started to the last unit-finished).
#include <time.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchRig.h"
#include "LinkModel.h"
#include "Median.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/StationSetup.h"
#include "app/station/StationWindow.h"

namespace {

using namespace kvm;
constexpr int TickMs = 100;  // countdown and reply waits: the same for both front ends

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::shared_ptr<hid::platform::TSimHidPlatform> Programmers(int units) {
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  for (int i = 0; i < units; ++i) {
    hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
    const std::string serial = "BENCH-" + std::to_string(i + 1);
    info.SerialNumber = std::u16string(serial.begin(), serial.end());
    info.PortPath = "1-" + std::to_string(i + 1);
    platform->Plug(info, bench::ModelledLink(std::make_shared<emulator::TProgrammerEmulator>(),
                                             {1, 1, bench::TLinkClock::Frames}));
  }
  return platform;
}

// Seconds from station-started to the last unit-finished in the event file;
// -1 when not every unit succeeded.
double RunSeconds(const std::string& events, int units) {
  QFile file(QString::fromStdString(events));
  if (!file.open(QIODevice::ReadOnly)) return -1;
  QDateTime start, last;
  int ok = 0;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QJsonObject event = QJsonDocument::fromJson(line).object();
    const QDateTime time = QDateTime::fromString(event["time"].toString(), Qt::ISODateWithMs);
    if (event["event"] == "station-started") start = time;
    if (event["event"] == "unit-finished") {
      last = time;
      ok += event["ok"].toBool() ? 1 : 0;
    }
  }
  file.remove();
  return ok == units ? static_cast<double>(start.msecsTo(last)) / 1000.0 : -1;
}

double CommandLineStation(int units, const std::string& image, const std::string& events) {
  station::TStationSetup setup;
  station::TStationPlan plan;
  plan.UsbHostFile = image;
  plan.Units = units;
  plan.EventsFile = events;
  plan.TickMs = TickMs;
  std::string error;
  if (!setup.Prepare(plan, {Programmers(units), {}}, error)) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return -1;
  }
  station::TStationOutput output;
  output.PrintLine = [](const std::string&) {};  // the terminal's lines: dropped
  setup.MakeStation(std::move(output)).Run();
  return RunSeconds(events, units);
}

struct TWindowRun {
  double Seconds = -1;
  double WindowShare = 0;  // of one core, while the units ran
  double LongestLateMs = 0;
};

TWindowRun WindowStation(int units, const std::string& image, const std::string& events) {
  auto platform = Programmers(units);
  stationwindow::TStationWindowOptions options;
  options.Machine = [platform] { return station::TStationMachine{platform, {}}; };
  options.TickMs = TickMs;
  stationwindow::TStationWindow window(options);
  window.SetFirmwareFile(TTarget::UsbHost, QString::fromStdString(image));
  window.SetEventsFile(QString::fromStdString(events));
  window.resize(1366, 740);
  window.show();
  QElapsedTimer sinceTick;
  double lateMs = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    lateMs = std::max(lateMs, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 50.0);
    sinceTick.restart();
  });
  const double cpu0 = ThreadCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  window.StartClicked();
  sinceTick.start();
  probe.start(50);
  // The window's own event loop, looked at every 20 ms (processEvents in a
  // loop would spin the thread being measured).
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (window.Board().Tally().Finished() >= units || wall.elapsed() > 120000) loop.quit();
  });
  check.start(20);
  loop.exec();
  TWindowRun run;
  run.WindowShare = (ThreadCpuSeconds() - cpu0) / (static_cast<double>(wall.elapsed()) / 1000.0);
  run.LongestLateMs = lateMs;
  probe.stop();
  window.StopClicked();
  while (window.Running()) QApplication::processEvents(QEventLoop::AllEvents, 20);
  run.Seconds = RunSeconds(events, units);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  bench::TScratchFolder folder;
  std::string error;
  const std::string image = folder.Write("station.bin", bench::PatternBytes(bench::ImageLengthOfBlocks(400)), error);
  if (image.empty()) {
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return 1;
  }
  const std::string events = QFileInfo(QString::fromStdString(image)).dir().filePath("events.jsonl").toStdString();
  constexpr int Rounds = 3;
  for (const int units : {8, 24}) {
    std::vector<double> shares, late, ratios;
    for (int round = 0; round < Rounds; ++round) {
      const TWindowRun window = WindowStation(units, image, events);
      if (window.Seconds < 0) {
        std::fprintf(stderr, "bench: the window station failed a unit\n");
        return 1;
      }
      shares.push_back(window.WindowShare);
      late.push_back(window.LongestLateMs);
      if (units == 8) {
        const double cli = CommandLineStation(units, image, events);
        if (cli <= 0) {
          std::fprintf(stderr, "bench: the command-line station failed a unit\n");
          return 1;
        }
        ratios.push_back(window.Seconds / cli);
      }
    }
    std::printf("| station window, %2d units: window thread's share of a core | %.3f |\n", units, bench::Median(shares));
    std::printf("| station window, %2d units: longest delay of the window's thread (ms) | %.1f |\n", units,
                bench::Median(late));
    if (!ratios.empty())
      std::printf("| station window over command-line station, %d units, wall time (target <= 1.02) | %.3f |\n", units,
                  bench::Median(ratios));
  }
  return 0;
}
