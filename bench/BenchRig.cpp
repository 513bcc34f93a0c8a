#include "BenchRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "hid/platform/sim/SimDeviceInfo.h"

namespace kvm::bench {

namespace {
constexpr int ElapsedTimeTickMs = 1000;
}  // namespace

TBenchRig::TBenchRig(TRigOptions options)
    : platform(std::make_shared<hid::platform::TSimHidPlatform>()),
      emulator(std::make_shared<emulator::TProgrammerEmulator>()),
      options_(options) {
  jobs::TStackOptions stackOptions;
  stackOptions.WaitTickMs = options.WaitTickMs;
  stackOptions.CountdownTickMs = options.CountdownTickMs;
  // The elapsed-time display ticks as in the window: a job measured here
  // services its timer as often as a real one.
  stackOptions.ElapsedTickMs = ElapsedTimeTickMs;
  stack = std::make_unique<jobs::TProgrammerStack>(platform, jobs::TStackFrontEnd{window, state, pump, &window, &window},
                                                   stackOptions);
  controller = &stack->HidCtl();
  protocol = &stack->Protocol();
  link = &stack->Link();
  jobs = &stack->Jobs();
}

TBenchRig::~TBenchRig() = default;

bool TBenchRig::Connect(int timeoutMs) {
  platform->Plug(hid::platform::SimProgrammer(), ModelledLink(emulator, options_.Link, options_.Trace));
  link->BindController();
  link->FormActivate();
  if (ServiceEventsUntil([this] { return state.Connected && !link->CheckTargetTimer().Enabled(); }, timeoutMs))
    return true;
  failure_ = "the simulated programmer was not connected within " + std::to_string(timeoutMs) +
             " ms: " + window.RecentLog();
  return false;
}

std::int32_t TBenchRig::Program(const std::string& file) {
  const std::int32_t result = jobs->ProgramFile(static_cast<std::uint8_t>(TargetCode(TTarget::UsbHost)), file);
  if (result != 0) failure_ = "the job failed (" + std::to_string(result) + "): " + window.RecentLog();
  return result;
}

bool ServiceEventsUntil(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  // Blocks between events; the pacer bounds each block, so the deadline holds
  // even when nothing else happens.
  QTimer pacer;
  pacer.start(5);
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

std::vector<std::uint8_t> PatternBytes(std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

std::size_t ImageLengthOfBlocks(std::size_t blocks) { return blocks == 0 ? 0 : 48 + 56 * (blocks - 1); }

TScratchFolder::TScratchFolder() : folder_(QDir::tempPath() + "/kvmflash-bench-XXXXXX") {}

std::string TScratchFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes,
                                  std::string& error) {
  const std::string path = folder_.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    error = "write " + path + ": " + std::strerror(errno);
    return {};
  }
  return path;
}

}  // namespace kvm::bench
