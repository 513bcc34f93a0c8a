// The utility below its window, on the simulated HID back end: controller,
// protocol, link and jobs as the window wires them, with the programmer
// emulator behind a simulated programmer and a window that draws nothing.
#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "LinkModel.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "emulator/ProgrammerEmulator.h"
#include "jobs/ProgrammerStack.h"
#include "jobs/ProgrammingJobs.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "link/ProgrammerLink.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::hid::record {
class TRecordingWriter;
}

namespace kvm::bench {

struct TRigOptions {
  int WaitTickMs = 1000;     // the transaction's WaitTimer
  int CountdownTickMs = 10;  // the connection countdown, short so that connecting is quick
  TLinkTiming Link;
  std::shared_ptr<TLinkTrace> Trace;  // what the link saw, if wanted
  // Set: every device session is recorded into it (kvmflash-cli --record).
  std::shared_ptr<hid::record::TRecordingWriter> Recording;
};

class TBenchRig {
 public:
  explicit TBenchRig(TRigOptions options = {});
  ~TBenchRig();
  TBenchRig(const TBenchRig&) = delete;
  TBenchRig& operator=(const TBenchRig&) = delete;

  // Plugs the programmer in, activates the window and waits (bounded) for
  // the countdown to connect. False with Failure() set when it did not.
  bool Connect(int timeoutMs = 3000);
  const std::string& Failure() const { return failure_; }

  // Programs an image file into the USB host target the way the job does;
  // 0 on "Program OK", else the job's result with Failure() set.
  std::int32_t Program(const std::string& file);

  std::shared_ptr<hid::platform::TSimHidPlatform> platform;
  std::shared_ptr<emulator::TProgrammerEmulator> emulator;
  TBenchWindow window;
  TProgrammerState state;
  TQtMessagePump pump;
  std::unique_ptr<jobs::TProgrammerStack> stack;
  // The stack's parts.
  hid::THidDeviceController* controller = nullptr;
  protocol::TProgrammerProtocol* protocol = nullptr;
  link::TProgrammerLink* link = nullptr;
  jobs::TProgrammingJobs* jobs = nullptr;
  std::uint64_t programmerId = 0;  // the simulated programmer, once plugged in

 private:
  TRigOptions options_;
  std::string failure_;
};

// Services Qt events until the condition holds; false after timeoutMs.
bool ServiceEventsUntil(const std::function<bool()>& condition, int timeoutMs);

// Bytes 0, 7, 14, ... (mod 256): neighbouring blocks differ.
std::vector<std::uint8_t> PatternBytes(std::size_t length);
// The length of an image of that many blocks (52 bytes in block 0, 56 after).
std::size_t ImageLengthOfBlocks(std::size_t blocks);

// A private folder for image files, removed with everything in it.
class TScratchFolder {
 public:
  TScratchFolder();
  bool IsValid() const { return folder_.isValid(); }
  // Writes the file and returns its path; empty (with errno's text in
  // `error`) when it cannot be written.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes, std::string& error);

 private:
  QTemporaryDir folder_;
};

}  // namespace kvm::bench
