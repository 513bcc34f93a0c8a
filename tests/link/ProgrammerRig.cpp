#include "ProgrammerRig.h"

#include "WaitFor.h"

namespace kvm::test {

TProgrammerRig::TProgrammerRig(int tickMs)
    : platform(std::make_shared<hid::platform::TSimHidPlatform>()),
      emulator(std::make_shared<emulator::TProgrammerEmulator>()) {
  window.connected = &state.Connected;
  jobs::TStackOptions options = jobs::TStackOptions::WithTick(tickMs);
  options.Clock = [this] { return clockMs; };
  stack = std::make_unique<jobs::TProgrammerStack>(platform, jobs::TStackFrontEnd{window, state, pump, &window, &window},
                                                   std::move(options));
  controller = &stack->HidCtl();
  protocol = &stack->Protocol();
  link = &stack->Link();
  jobs = &stack->Jobs();
}

TProgrammerRig::~TProgrammerRig() = default;

void TProgrammerRig::Start() { stack->Start(); }

std::uint64_t TProgrammerRig::PlugProgrammer(const std::u16string& serial) {
  hid::platform::TSimDeviceInfo programmer = hid::platform::SimProgrammer();
  programmer.SerialNumber = serial;
  return platform->Plug(programmer, emulator::TProgrammerEmulator::Responder(emulator));
}

std::uint64_t TProgrammerRig::PlugMouse() { return Plug(hid::platform::SimMouse()); }

std::uint64_t TProgrammerRig::Plug(hid::platform::TSimDeviceInfo device) { return platform->Plug(std::move(device)); }

bool TProgrammerRig::WaitSettled(int timeoutMs) {
  return WaitFor([this] { return link->CheckTargetTimer().Enabled(); }, timeoutMs) &&
         WaitFor([this] { return !link->CheckTargetTimer().Enabled(); }, timeoutMs);
}

bool TProgrammerRig::WaitConnected(int timeoutMs) { return WaitSettled(timeoutMs) && state.Connected; }

bool TProgrammerRig::StartConnected(const std::u16string& serial) {
  PlugProgrammer(serial);
  Start();
  return WaitConnected();
}

std::vector<int> TProgrammerRig::BlockSizes(std::uint8_t target) const {
  std::vector<int> sizes;
  for (const emulator::TReceivedReport& report : emulator->Log())
    if (report.Bytes.size() > 5 && report.Bytes[2] == emulator::CmdBlockWrite && report.Bytes[1] == target)
      sizes.push_back(report.Bytes[5]);
  return sizes;
}

std::vector<std::uint8_t> TProgrammerRig::Commands() const {
  std::vector<std::uint8_t> commands;
  for (const emulator::TReceivedReport& report : emulator->Log())
    if (report.Bytes.size() > 2) commands.push_back(report.Bytes[2]);
  return commands;
}

std::string TProgrammerRig::ConnectedText(const std::string& serial) {
  return "Zorbek KVM Switch Programmer " + serial + " is connected.";
}

}  // namespace kvm::test
