// kvm_station_soak: a station run over eight simulated programmers that are
// plugged and unplugged at random, each arrival with a random fault or none,
// some held by another program or without access to their node, now and then
// all unplugged at once (a storm, after which some leave before they are
// seen), for ARRIVALS arrivals (default 10,000). Every served arrival must
// leave exactly one whole traceability record (success, or failure with its
// reason) and one unit-finished event, and the exit status, the tally and the
// station-finished event must agree. Two short runs follow: one whose log
// cannot be written, one interrupted twice while units wait. Resident memory,
// open descriptors and threads are taken after the warm-up, every 1,000
// arrivals and at the end, each time with every programmer unplugged and
// every unit gone: descriptors and threads must be equal at the end and
// memory may grow by less than 256 kB.
//
//   kvm_station_soak [ARRIVALS] [SEED]
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <random>

#include "ProcessFigures.h"
#include "RandomFault.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "station/EventStream.h"
#include "station/Station.h"
#include "station/TraceLog.h"

namespace {

using namespace kvm;
using Clock = std::chrono::steady_clock;
using test::Figures;
using test::TProcessFigures;

constexpr int Slots = 8;
constexpr int TickMs = 5;
// Long enough for the allocator's per-thread caches of the station's own
// thread to fill (about 150 kB over the first 2,000 arrivals, then flat).
constexpr int WarmUpArrivals = 2000;
constexpr int MeasureEvery = 1000;  // arrivals between two quiet moments that print the figures

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

struct TSlot {
  std::uint64_t Device = 0;  // 0: nothing plugged
  Clock::time_point UnplugAt;
};

// Calls `each` with every line of a JSON Lines file; false when a line is no object.
bool EachLine(const std::string& path, const std::function<void(const QJsonObject&)>& each) {
  std::ifstream in(path);
  bool whole = true;
  for (std::string line; std::getline(in, line);) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    whole = whole && document.isObject();
    each(document.object());
  }
  return whole;
}

// One whole record and one unit-finished per served arrival, and one exit
// status in the process, the tally and the last event.
bool Agrees(const char* run, int exitCode, const station::TStation& station, const std::string& eventsPath,
            const std::string& logPath, int expectedRecords) {
  int arrived = 0, finished = 0, records = 0;
  QJsonObject last;
  const bool wholeEvents = EachLine(eventsPath, [&](const QJsonObject& event) {
    arrived += event["event"] == "unit-arrived";
    finished += event["event"] == "unit-finished";
    last = event;
  });
  const bool wholeRecords = EachLine(logPath, [&](const QJsonObject&) { ++records; });
  const int lastExit = last["exit_code"].toInt(-1);
  const int expected = expectedRecords < 0 ? arrived : expectedRecords;
  const bool good = wholeEvents && wholeRecords && finished == arrived && records == expected &&
                    last["event"] == "station-finished" && lastExit == exitCode &&
                    station.Tally().ExitCode() == exitCode &&
                    station.Tally().UnitsOk + station.Tally().UnitsFailed == arrived;
  std::printf("%s: %d served, %d unit-finished, %d records, exit %d (event %d, tally %d)%s\n", run, arrived, finished,
              records, exitCode, lastExit, station.Tally().ExitCode(), good ? "" : ": DISAGREE");
  return good;
}

hid::platform::TSimDeviceInfo SoakProgrammer(int bay) {
  hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
  info.SerialNumber = u"SOAK-" + std::u16string(1, static_cast<char16_t>(u'1' + bay));
  info.PortPath = "1-" + std::to_string(bay + 1);
  return info;
}

// A short run whose log is /dev/full: it must end after the first record,
// with status 1 and every record named as lost.
bool UnwritableLogRun(const station::TFirmwareFile& file, const std::string& folder) {
  station::TStationConfig config;
  config.Files = {file};
  config.Stack = jobs::TStackOptions::WithTick(TickMs);
  station::TEventStream events;
  station::TTraceLog log;
  std::string error;
  const std::string eventsPath = folder + "/full-events.jsonl";
  if (!events.Open(eventsPath, error) || !log.Open("/dev/full", error)) return false;
  int lost = 0;
  station::TStationOutput output;
  output.PrintError = [&lost](const std::string& message) { lost += message.find(" lost: ") != std::string::npos; };
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  for (int bay = 0; bay < 3; ++bay)
    platform->Plug(SoakProgrammer(bay), emulator::TProgrammerEmulator::Responder(
                                            std::make_shared<emulator::TProgrammerEmulator>()));
  station::TStation station(platform, std::move(config), events, log, std::move(output));
  const int exitCode = station.Run();
  const bool good = exitCode == 1 && lost == static_cast<int>(station.Tally().LostOutputs.size()) && lost >= 1;
  return Agrees("unwritable log", exitCode, station, eventsPath, "/dev/null", 0) && good;
}

// A short run interrupted twice while every unit waits for a reply that
// never comes: every unit still gets its record, and the status is 4.
bool SecondSignalRun(const station::TFirmwareFile& file, const std::string& folder) {
  station::TStationConfig config;
  config.Files = {file};
  config.Stack = jobs::TStackOptions::WithTick(50);
  station::TEventStream events;
  station::TTraceLog log;
  std::string error;
  const std::string eventsPath = folder + "/signal-events.jsonl", logPath = folder + "/signal-trace.jsonl";
  if (!events.Open(eventsPath, error) || !log.Open(logPath, error)) return false;
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  std::vector<std::shared_ptr<emulator::TProgrammerEmulator>> emulators;
  for (int bay = 0; bay < 4; ++bay) {
    emulators.push_back(std::make_shared<emulator::TProgrammerEmulator>());
    emulators.back()->AddRule({{emulator::CmdBlockWrite, {}, 2, {}}, emulator::TFaultAction(emulator::TFaultKind::Silence)});
    platform->Plug(SoakProgrammer(bay), emulator::TProgrammerEmulator::Responder(emulators.back()));
  }
  station::TStation station(platform, std::move(config), events, log, {});
  QTimer watch;
  watch.setInterval(5);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    for (const auto& emulator : emulators)
      if (emulator->BlockCount(emulator::TargetUsbHost) < 2) return;
    watch.stop();
    station.Interrupt();
    QTimer::singleShot(50, [&station] { station.Hurry(); });
  });
  watch.start();
  const int exitCode = station.Run();
  return Agrees("second signal", exitCode, station, eventsPath, logPath, -1) && exitCode == 4;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int arrivals = argc > 1 ? std::atoi(argv[1]) : 10000;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u;
  if (arrivals <= WarmUpArrivals) {
    std::fprintf(stderr, "usage: kvm_station_soak [ARRIVALS > %d] [SEED]\n", WarmUpArrivals);
    return 2;
  }
  std::mt19937 random(seed);
  test::ThrowOneException();
  QTemporaryDir folder;
  qputenv("XDG_RUNTIME_DIR", folder.path().toUtf8());
  std::vector<std::uint8_t> image(48 + 56 * 11);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  const std::string firmware = folder.filePath("fw.bin").toStdString();
  WriteFile(firmware, image);

  station::TStationConfig config;
  station::TFirmwareFile file;
  std::string error;
  if (!station::CheckFirmwareFile(TTarget::UsbHost, firmware, file, error)) {
    std::fprintf(stderr, "kvm_station_soak: %s\n", error.c_str());
    return 1;
  }
  config.Files = {file};
  config.Stack = jobs::TStackOptions::WithTick(TickMs);
  station::TEventStream events;
  station::TTraceLog log;
  const std::string logPath = folder.filePath("trace.jsonl").toStdString();
  const std::string eventsPath = folder.filePath("events.jsonl").toStdString();
  if (!log.Open(logPath, error) || !events.Open(eventsPath, error)) {
    std::fprintf(stderr, "kvm_station_soak: %s\n", error.c_str());
    return 1;
  }
  int stationErrors = 0;
  station::TStationOutput output;
  output.PrintError = [&stationErrors](const std::string& message) {
    ++stationErrors;
    std::fprintf(stderr, "kvm_station_soak: station: %s\n", message.c_str());
  };
  auto platform = std::make_shared<hid::platform::TSimHidPlatform>();
  station::TStation station(platform, std::move(config), events, log, std::move(output));

  TSlot bays[Slots];
  int plugged = 0, held = 0, locked = 0, storms = 0;
  bool draining = false;
  bool storm = false;  // all unplugged at once; the next arrivals may leave before they are seen
  TProcessFigures start, end;
  QTimer driver;
  driver.setInterval(1);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    bool empty = true;
    if (!draining && random() % 2000 == 0) {
      ++storms;
      storm = true;
      for (TSlot& slot : bays) slot.UnplugAt = now;
    }
    for (int i = 0; i < Slots; ++i) {
      TSlot& slot = bays[i];
      if (slot.Device != 0 && now >= slot.UnplugAt) {
        platform->Unplug(slot.Device);  // false when a fault has unplugged it already
        slot.Device = 0;
      }
      if (slot.Device == 0 && !draining && plugged < arrivals && random() % 4 == 0) {
        auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
        if (const auto fault = test::RandomFault(random)) emulator->AddRule(*fault);
        hid::platform::TSimDeviceInfo info = SoakProgrammer(i);
        // Another program holds some programmers; this user cannot open others.
        if (const int kind = static_cast<int>(random() % 40); kind == 0) {
          info.HeldBy = "PID 1 (other)";
          ++held;
        } else if (kind == 1) {
          info.Access = hid::platform::TSimAccess::QueryOnly;
          ++locked;
        }
        slot.Device = platform->Plug(info, emulator::TProgrammerEmulator::Responder(emulator));
        // Some leave during the settle time or the job, most after it; after
        // a storm some leave at once.
        const int least = storm && random() % 2 == 0 ? 0 : 20;
        slot.UnplugAt = now + std::chrono::milliseconds(std::uniform_int_distribution<int>(least, 250)(random));
        ++plugged;
        if (plugged == WarmUpArrivals || plugged % MeasureEvery == 0 || plugged == arrivals) draining = true;
      }
      empty = empty && slot.Device == 0;
    }
    if (storm && std::all_of(std::begin(bays), std::end(bays), [](const TSlot& s) { return s.Device != 0; }))
      storm = false;
    if (!draining || !empty || station.UnitCount() != 0) return;
    // Every programmer unplugged and every unit gone: a quiet moment to measure.
    const std::string after = std::to_string(plugged) + " arrivals";
    if (plugged == arrivals) {
      test::PrintFigures("end", after, end = Figures("end"));
      driver.stop();
      station.Interrupt();
      return;
    }
    const bool warmedUp = plugged == WarmUpArrivals;
    test::PrintFigures(warmedUp ? "start" : "", after, warmedUp ? start = Figures("start") : Figures("now"));
    draining = false;
  });
  driver.start();
  const int exitCode = station.Run();

  int records = 0, succeeded = 0, withoutReason = 0, inUse = 0, noAccess = 0;
  const bool whole = EachLine(logPath, [&](const QJsonObject& record) {
    ++records;
    const QString reason = record["reason"].toString();
    if (record["ok"].toBool()) {
      ++succeeded;
    } else if (reason.isEmpty()) {
      ++withoutReason;
    }
    inUse += reason.contains(" is in use by PID 1 (other)");
    noAccess += reason.startsWith("Cannot open ");
  });
  std::printf("arrivals: %d (%d held, %d without access, %d storms), records: %d (%d programmed, %d failed, %d "
              "held, %d without access); seed %u\n",
              plugged, held, locked, storms, records, succeeded, records - succeeded, inUse, noAccess, seed);

  bool good = Agrees("soak", exitCode, station, eventsPath, logPath, -1);
  if (!whole || withoutReason != 0 || stationErrors != 0 || (held > 0 && inUse == 0) || (locked > 0 && noAccess == 0)) {
    std::fprintf(stderr,
                 "kvm_station_soak: %d records for %d arrivals, %d failures without a reason, %d errors, %d of %d "
                 "held and %d of %d without access recorded as such\n",
                 records, plugged, withoutReason, stationErrors, inUse, held, noAccess, locked);
    good = false;
  }
  good = UnwritableLogRun(file, folder.path().toStdString()) && good;
  good = SecondSignalRun(file, folder.path().toStdString()) && good;
  if (!test::StayedFlat("kvm_station_soak", start, end)) good = false;
  return good ? 0 : 1;
}
