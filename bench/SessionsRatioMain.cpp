// kvmflash-bench-sessions: how much three programming sessions at once slow
// each other down. Programs one image alone, then three images at once on
// three emulated programmers over the simulated bus, and prints the ratio of
// the three sessions' time to the one session's. 1.0 means nothing
// serializes them; 3.0 means they run one after another.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/ProgrammerEmulator.h"
#include "hid/platform/sim/SimDeviceInfo.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "jobs/ProgrammingSession.h"

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t Blocks = 5000;

std::string WriteImage(const QTemporaryDir& folder, int seed) {
  std::vector<char> bytes(48 + 56 * (Blocks - 1));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + seed * 31);
  const std::string path = folder.filePath(QString("image%1.bin").arg(seed)).toStdString();
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Seconds until `count` sessions, started together, have all finished; -1
// when a job failed.
double ProgramAtOnce(int count, const QTemporaryDir& folder) {
  auto platform = std::make_shared<kvm::hid::platform::TSimHidPlatform>();
  std::vector<std::unique_ptr<kvm::jobs::TProgrammingSession>> sessions;
  for (int i = 0; i < count; ++i) {
    const std::string serial = "BENCH00" + std::to_string(i + 1);
    kvm::hid::platform::TSimDeviceInfo device = kvm::hid::platform::SimProgrammer();
    device.SerialNumber = std::u16string(serial.begin(), serial.end());
    platform->Plug(
        device, kvm::emulator::TProgrammerEmulator::Responder(std::make_shared<kvm::emulator::TProgrammerEmulator>()));
    kvm::jobs::TSessionOptions options;
    options.Stack.CountdownTickMs = 10;
    options.Stack.RequiredSerial = serial;
    sessions.push_back(std::make_unique<kvm::jobs::TProgrammingSession>(platform, options));
  }
  const TClock::time_point deadline = TClock::now() + std::chrono::seconds(10);
  for (auto& session : sessions)
    while (!session->IsConnected()) {
      if (TClock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

  std::mutex lock;
  std::condition_variable finished;
  int done = 0;
  bool failed = false;
  const TClock::time_point start = TClock::now();
  for (int i = 0; i < count; ++i)
    sessions[i]->Program({{{kvm::TTarget::UsbHost, WriteImage(folder, i + 1)}}},
                         [&](const std::vector<kvm::jobs::TJobOutcome>& outcomes) {
                           std::lock_guard<std::mutex> guard(lock);
                           failed |= outcomes.empty() || outcomes[0].Result != 0;
                           ++done;
                           finished.notify_all();
                         });
  std::unique_lock<std::mutex> guard(lock);
  finished.wait(guard, [&] { return done == count; });
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  return failed ? -1 : seconds;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir folder(QDir::tempPath() + "/kvmflash-bench-XXXXXX");
  if (!folder.isValid()) {
    std::fprintf(stderr, "kvmflash-bench-sessions: cannot create a folder in %s\n", qPrintable(QDir::tempPath()));
    return 1;
  }
  // Alternating runs, each figure the median of its runs: a busy machine
  // slows single runs down by chance.
  constexpr int Runs = 5;
  std::vector<double> ones;
  std::vector<double> threes;
  for (int run = 0; run < Runs; ++run) {
    ones.push_back(ProgramAtOnce(1, folder));
    threes.push_back(ProgramAtOnce(3, folder));
    if (ones.back() <= 0 || threes.back() <= 0) {
      std::fprintf(stderr, "kvmflash-bench-sessions: a job failed or no programmer was connected\n");
      return 1;
    }
  }
  std::sort(ones.begin(), ones.end());
  std::sort(threes.begin(), threes.end());
  const double one = ones[Runs / 2];
  const double three = threes[Runs / 2];
  // With a programmer that answers at once a session never waits: three of
  // them share the processors, so the ratio depends on how many there are.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::printf(
      "| Three sessions at once / one alone (%zu blocks each, median of %d) | %.2f | one %.3f s, three %.3f s; "
      "%u cores |\n",
      Blocks, Runs, three / one, one, three, cores);
  return 0;
}
