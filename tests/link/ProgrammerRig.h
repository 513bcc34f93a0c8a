// The whole utility below the window, on the simulated HID back end: a real
// controller, protocol, link and jobs, the programmer emulator behind each
// simulated programmer, and a recording window. Ticks are short so that a
// countdown takes tens of milliseconds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordingStatus.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/HidControllerClass.h"
#include "jobs/ProgrammerStack.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "link/ProgrammerLink.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::test {

inline constexpr int RigTickMs = 10;

// The recording window, with a hook where a job steps its progress bar (after
// each confirmed block): where a test presses Break or pulls the programmer;
// and one where a job becomes busy.
class TRigWindow : public TRecordingStatus {
 public:
  void StepProgress() override {
    TRecordingStatus::StepProgress();
    if (OnStep) OnStep(progress);
  }
  // A job enters its busy state after its file check and before it reads the
  // file: where a test takes the file away.
  void DisableProgramButtons() override {
    TRecordingStatus::DisableProgramButtons();
    if (OnBusy) OnBusy();
  }
  std::function<void(int step)> OnStep;
  std::function<void()> OnBusy;
};

// Bytes 0, 7, 14, ... (mod 256): no two neighbouring blocks look alike.
inline std::vector<std::uint8_t> PatternBytes(std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

class TProgrammerRig {
 public:
  explicit TProgrammerRig(int tickMs = RigTickMs);
  ~TProgrammerRig();

  // The window's creation (design-time bindings) and its first activation.
  void Start();

  // Every programmer plugged in is served by `emulator`.
  std::uint64_t PlugProgrammer(const std::u16string& serial = u"KP000001");
  std::uint64_t PlugMouse();
  std::uint64_t Plug(hid::platform::TSimDeviceInfo device);

  // Waits until a countdown has run out (connected or not).
  bool WaitSettled(int timeoutMs = 1000);
  bool WaitConnected(int timeoutMs = 5000);

  // Plugs the programmer in, starts the window and waits for the connection.
  bool StartConnected(const std::u16string& serial = u"KP000001");
  // Data byte counts of the block writes the emulator received for a target.
  std::vector<int> BlockSizes(std::uint8_t target) const;
  // Command codes the emulator received, in order.
  std::vector<std::uint8_t> Commands() const;

  static std::string ConnectedText(const std::string& serial);

  std::shared_ptr<hid::platform::TSimHidPlatform> platform;
  std::shared_ptr<emulator::TProgrammerEmulator> emulator;
  TRigWindow window;
  TProgrammerState state;
  TQtMessagePump pump;
  std::uint32_t clockMs = 0;  // the jobs' millisecond clock
  std::unique_ptr<jobs::TProgrammerStack> stack;
  // The stack's parts.
  hid::THidDeviceController* controller = nullptr;
  protocol::TProgrammerProtocol* protocol = nullptr;
  link::TProgrammerLink* link = nullptr;
  jobs::TProgrammingJobs* jobs = nullptr;
};

}  // namespace kvm::test
