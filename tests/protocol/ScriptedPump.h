// A message pump whose events are scripted: each call of ProcessMessages or
// WaitForMessage runs the next step of the script. When the script is spent,
// waiting delivers a tick of the wait timer, so every wait still ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>

#include "core/MessagePump.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::test {

class TScriptedPump final : public IMessagePump {
 public:
  void Attach(protocol::TProgrammerProtocol* protocol) { protocol_ = protocol; }

  void ProcessMessages() override {
    ++processCalls;
    // A wait that pumps without ever blocking would never see a tick here:
    // fail it instead of hanging the test.
    if (processCalls > MaxPumpsWithoutWaiting + waitCalls) {
      ADD_FAILURE() << "the wait pumps again and again without waiting for an event";
      protocol_->WaitTimerTimer();
      return;
    }
    RunStep(false);
  }
  void WaitForMessage() override {
    ++waitCalls;
    RunStep(true);
  }
  void Wake() override { ++wakes; }

  // Steps: what the events of one pumping bring.
  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
  void ThenNothing() { Then([] {}); }
  void ThenTick() {
    Then([this] { protocol_->WaitTimerTimer(); });
  }
  void ThenStatus(std::initializer_list<std::uint8_t> codes) {
    std::deque<std::uint8_t> list(codes);
    Then([this, list] {
      for (const std::uint8_t code : list) DeliverStatus(code);
    });
  }
  void ThenTicks(int n) {
    for (int i = 0; i < n; ++i) ThenTick();
  }

  void DeliverStatus(std::uint8_t code) { Deliver({0x01, code, 0, 0, 0, 0, 0}); }
  void DeliverValue(std::uint8_t high, std::uint8_t low) { Deliver({0x03, 0x00, high, low, 0, 0, 0}); }
  void Deliver(std::initializer_list<std::uint8_t> data) {
    protocol_->HidDevData(nullptr, 0x01, data.begin(), static_cast<std::uint16_t>(data.size()));
  }

  static constexpr int MaxPumpsWithoutWaiting = 1000;
  int processCalls = 0;
  int waitCalls = 0;
  int wakes = 0;

 private:
  void RunStep(bool waiting) {
    if (!steps_.empty()) {
      auto step = std::move(steps_.front());
      steps_.pop_front();
      step();
    } else if (waiting) {
      protocol_->WaitTimerTimer();
    }
  }

  protocol::TProgrammerProtocol* protocol_ = nullptr;
  std::deque<std::function<void()>> steps_;
};

}  // namespace kvm::test
