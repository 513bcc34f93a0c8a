// A connected programmer for protocol tests: a simulated HID device behind
// the real device and controller objects, answered by the programmer
// emulator (or by a test's own responder), with the Qt event pump.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "RecordingStatus.h"
#include "WaitFor.h"
#include "core/MessagePump.h"
#include "emulator/ProgrammerEmulator.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::test {

// A fault rule for the reports of one command (the n-th only, when given).
inline emulator::TFaultRule CommandRule(std::uint8_t command, emulator::TFaultAction action,
                                        std::optional<int> occurrence = std::nullopt) {
  return emulator::TFaultRule{emulator::TFaultMatch{command, std::nullopt, std::nullopt, occurrence}, std::move(action)};
}

// Answers every written report with the given status codes and keeps what was
// written, for tests that need exact reply sequences.
class TScriptedProgrammer {
 public:
  std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>& report)> Codes = [](const auto&) {
    return std::vector<std::uint8_t>{0x01, 0x02};
  };
  std::vector<std::vector<std::uint8_t>> Written;

  emulator::TDeviceResponder Responder() {
    return [this](const std::uint8_t* report, std::size_t length) {
      Written.emplace_back(report, report + length);
      emulator::TDeviceResponse response;
      for (const std::uint8_t code : Codes(Written.back()))
        response.Replies.push_back({emulator::TProgrammerEmulator::StatusReport(code), 0});
      return response;
    };
  }
};

class TProtocolRig {
 public:
  explicit TProtocolRig(int tickMs, hid::platform::TSimDeviceInfo info = hid::platform::SimProgrammer(),
                          emulator::TDeviceResponder responder = {})
      : platform(std::make_shared<hid::platform::TSimHidPlatform>()),
        emulator(std::make_shared<emulator::TProgrammerEmulator>()),
        protocol(status, state, pump, tickMs) {
    if (!responder) responder = emulator::TProgrammerEmulator::Responder(emulator);
    deviceId = platform->Plug(std::move(info), std::move(responder));
    controller = std::make_unique<hid::THidDeviceController>(platform);
    controller->SetOnDeviceDataError(hid::THidDataErrorEvent(&protocol, &protocol::TProgrammerProtocol::HidCtlDeviceDataError));
    if (!WaitFor([this] { return !controller->Devices().empty(); }, 2000) ||
        !controller->CheckOutByIndex(device, 0)) {
      ADD_FAILURE() << "the simulated programmer did not show up";
      return;
    }
    device->SetOnData(hid::THidDataEvent(&protocol, &protocol::TProgrammerProtocol::HidDevData));
    state.ProgrammerDevice = device;
    state.Connected = true;
  }

  ~TProtocolRig() {
    state.ProgrammerDevice = nullptr;
    delete device;  // gives it back and stops its reader
    controller.reset();
  }

  std::shared_ptr<hid::platform::TSimHidPlatform> platform;
  std::shared_ptr<emulator::TProgrammerEmulator> emulator;
  std::unique_ptr<hid::THidDeviceController> controller;
  hid::THidDevice* device = nullptr;
  std::uint64_t deviceId = 0;

  TRecordingStatus status;
  TProgrammerState state;
  TQtMessagePump pump;
  protocol::TProgrammerProtocol protocol;
};

}  // namespace kvm::test
