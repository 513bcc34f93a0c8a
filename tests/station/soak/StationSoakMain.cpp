// kvm_station_soak: a station run over eight simulated programmers that are
// plugged and unplugged at random, each arrival with a random fault or none,
// for ARRIVALS arrivals (default 10,000). Every arrival must leave exactly one
// traceability record (success, or failure with its reason). Resident memory,
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
#include <chrono>
#include <cstdio>
#include <fstream>
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
  station::TEventStream events;  // off
  station::TTraceLog log;
  const std::string logPath = folder.filePath("trace.jsonl").toStdString();
  if (!log.Open(logPath, error)) {
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
  int plugged = 0;
  bool draining = false;
  TProcessFigures start, end;
  QTimer driver;
  driver.setInterval(1);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    bool empty = true;
    for (int i = 0; i < Slots; ++i) {
      TSlot& slot = bays[i];
      if (slot.Device != 0 && now >= slot.UnplugAt) {
        platform->Unplug(slot.Device);  // false when a fault has unplugged it already
        slot.Device = 0;
      }
      if (slot.Device == 0 && !draining && plugged < arrivals && random() % 4 == 0) {
        auto emulator = std::make_shared<emulator::TProgrammerEmulator>();
        if (const auto fault = test::RandomFault(random)) emulator->AddRule(*fault);
        hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer();
        info.SerialNumber = u"SOAK-" + std::u16string(1, static_cast<char16_t>(u'1' + i));
        info.PortPath = "1-" + std::to_string(i + 1);
        slot.Device = platform->Plug(info, emulator::TProgrammerEmulator::Responder(emulator));
        // Some leave during the settle time or the job, most after it.
        slot.UnplugAt = now + std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 250)(random));
        ++plugged;
        if (plugged == WarmUpArrivals || plugged % MeasureEvery == 0 || plugged == arrivals) draining = true;
      }
      empty = empty && slot.Device == 0;
    }
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
  station.Run();

  std::ifstream in(logPath);
  int records = 0, succeeded = 0, withoutReason = 0;
  for (std::string line; std::getline(in, line);) {
    const QJsonObject record = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    ++records;
    if (record["ok"].toBool()) {
      ++succeeded;
    } else if (record["reason"].toString().isEmpty()) {
      ++withoutReason;
    }
  }
  std::printf("arrivals: %d, records: %d (%d programmed, %d failed); seed %u\n", plugged, records, succeeded,
              records - succeeded, seed);

  bool good = true;
  if (records != plugged || withoutReason != 0 || stationErrors != 0) {
    std::fprintf(stderr, "kvm_station_soak: %d records for %d arrivals, %d failures without a reason, %d errors\n",
                 records, plugged, withoutReason, stationErrors);
    good = false;
  }
  if (!test::StayedFlat("kvm_station_soak", start, end)) good = false;
  return good ? 0 : 1;
}
