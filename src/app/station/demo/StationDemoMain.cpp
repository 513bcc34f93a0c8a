// kvmflash-station-demo: the station window over the simulated bus. Eight
// emulated programmers plug in and out at random; about one arrival in five
// fails with a fault (silent, bad checksum, unplugged mid-job). Press Start.
//
// kvmflash-station-demo --screenshot OUT.png idle|running|mixed renders one
// scene offscreen instead (for scripts/screenshot).
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <random>

#include "app/station/StationWindow.h"
#include "app/station/UnitTile.h"
#include "app/station/demo/StationDemo.h"

namespace {

using namespace kvm;
using namespace kvm::stationwindow;
using demo::TDemoFault;
using demo::TStationDemo;

const TTile* TileAt(const TStationWindow& window, const std::string& port) {
  for (const TTile& tile : window.Board().Tiles())
    if (tile.Port == port) return &tile;
  return nullptr;
}

// Plugs and unplugs at random: each programmer stays away 1 to 6 seconds,
// and is unplugged 2 to 5 seconds after its tile shows the result.
class TRandomLine {
 public:
  TRandomLine(TStationDemo& demo, TStationWindow& window) : demo_(demo), window_(window), random_(std::random_device{}()) {
    for (int i = 0; i < TStationDemo::Programmers; ++i) due_.push_back(Between(500, 4000));
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
    timer_.start(100);
  }

 private:
  std::int64_t Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  TDemoFault AnyFault() {
    if (std::uniform_int_distribution<int>(1, 5)(random_) != 1) return TDemoFault::None;
    const TDemoFault faults[] = {TDemoFault::Silent, TDemoFault::BadCheckSum, TDemoFault::UnplugMidJob};
    return faults[std::uniform_int_distribution<int>(0, 2)(random_)];
  }

  void Step() {
    demo_.PullMidJobUnits();
    const std::int64_t now = clock_.elapsed();
    for (int i = 0; i < TStationDemo::Programmers; ++i) {
      std::int64_t& due = due_[static_cast<std::size_t>(i)];
      if (!demo_.Plugged(i)) {
        if (due == 0) due = now + Between(1000, 6000);
        if (now < due || !window_.Running()) continue;
        demo_.Plug(i, AnyFault());
        due = 0;
      } else {
        const TTile* tile = TileAt(window_, demo_.Programmer(i).Port);
        if (tile == nullptr || !tile->Finished) continue;
        if (due == 0) due = now + Between(2000, 5000);
        if (now < due) continue;
        demo_.Unplug(i);
        due = 0;
      }
    }
  }

  TStationDemo& demo_;
  TStationWindow& window_;
  std::mt19937 random_;
  std::vector<std::int64_t> due_;
  QElapsedTimer clock_;
  QTimer timer_;
};

// Runs the event loop until `done` holds (true) or `ms` have passed (false).
bool RunUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

int Screenshot(const QString& out, const QString& scene) {
  const bool running = scene == "running";
  if (scene != "idle" && !running && scene != "mixed") {
    std::fprintf(stderr, "kvmflash-station-demo: unknown scene %s (idle, running, mixed)\n", qPrintable(scene));
    return 2;
  }
  // The running scene's units are slow enough to be caught half-way.
  TStationDemo demo(running ? 4 : 1, running ? 600 : 60, running ? 60 : 20);
  if (!demo.Ready()) {
    std::fprintf(stderr, "kvmflash-station-demo: %s\n", demo.Error().c_str());
    return 1;
  }
  TStationWindow window(demo.WindowOptions(40));
  window.SetFirmwareFile(TTarget::UsbHost, QString::fromStdString(demo.UsbHostFile()));
  window.SetFirmwareFile(TTarget::Osd, QString::fromStdString(demo.OsdFile()));
  window.SetLogFile(QString::fromStdString(demo.FolderPath("trace.jsonl")));
  window.resize(1366, 740);
  window.show();
  bool reached = true;
  if (scene != "idle") {
    window.StartClicked();
    const TDemoFault faults[TStationDemo::Programmers] = {
        TDemoFault::None, TDemoFault::Silent, TDemoFault::None, TDemoFault::BadCheckSum,
        TDemoFault::None, TDemoFault::UnplugMidJob, TDemoFault::None, TDemoFault::None};
    for (int i = 0; i < TStationDemo::Programmers; ++i) {
      demo.Plug(i, running ? TDemoFault::None : faults[i]);
      RunUntil([] { return false; }, 150);
    }
    QTimer pull;
    QObject::connect(&pull, &QTimer::timeout, [&demo] { demo.PullMidJobUnits(); });
    pull.start(20);
    reached = RunUntil(
        [&] {
          const auto& tiles = window.Board().Tiles();
          if (tiles.size() != TStationDemo::Programmers) return false;
          for (const TTile& tile : tiles)
            if (running ? tile.Position * 5 < tile.Maximum || tile.Maximum == 0 : !tile.Finished) return false;
          return true;
        },
        60000);
  }
  window.Draw();
  QApplication::processEvents();
  if (!window.grab().save(out)) {
    std::fprintf(stderr, "kvmflash-station-demo: cannot write %s\n", qPrintable(out));
    return 1;
  }
  if (!reached) std::fprintf(stderr, "kvmflash-station-demo: the %s scene was not reached in time\n", qPrintable(scene));
  window.StopClicked();
  RunUntil([&] { return !window.Running(); }, 30000);
  return reached ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kvmflash-station-demo"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("The station window over eight emulated programmers."));
  parser.addHelpOption();
  const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                      QStringLiteral("Render SCENE (idle, running, mixed) into OUT and exit."),
                                      QStringLiteral("OUT"));
  parser.addOption(screenshot);
  parser.addPositionalArgument(QStringLiteral("SCENE"), QStringLiteral("With --screenshot: idle, running or mixed."));
  parser.process(application);
  if (parser.isSet(screenshot)) {
    const QStringList scenes = parser.positionalArguments();
    return Screenshot(parser.value(screenshot), scenes.isEmpty() ? QStringLiteral("idle") : scenes.front());
  }

  TStationDemo demo(2, 300, 60);
  if (!demo.Ready()) {
    std::fprintf(stderr, "kvmflash-station-demo: %s\n", demo.Error().c_str());
    return 1;
  }
  TStationWindow window(demo.WindowOptions(1000));
  window.SetFirmwareFile(TTarget::UsbHost, QString::fromStdString(demo.UsbHostFile()));
  window.SetFirmwareFile(TTarget::Osd, QString::fromStdString(demo.OsdFile()));
  window.SetLogFile(QString::fromStdString(demo.FolderPath("trace.jsonl")));
  TRandomLine line(demo, window);
  window.show();
  return application.exec();
}
