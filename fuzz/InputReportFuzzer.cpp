// Input reports of any length and content, in any order and number, mixed
// with timer ticks, write failures and break requests, against the reply
// store, the wait and its verdict, the commands and the block write. No real
// event loop runs: a scripted pump plays the fuzzer's events whenever the
// protocol services its messages, and lets time pass (a tick) when it blocks.
#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "../tests/support/RecordingStatus.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/sim/SimHidPlatform.h"
#include "protocol/ProgrammerProtocol.h"

namespace {

using kvm::protocol::TProgrammerProtocol;

// A bound far above any input: a wait that needs more passes never ends.
constexpr int MaxPasses = 200000;

struct TFixture {
  std::shared_ptr<kvm::hid::platform::TSimHidPlatform> Platform;
  std::unique_ptr<kvm::hid::THidDeviceController> Controller;
  kvm::hid::THidDevice* Programmer = nullptr;
  bool FailWrites = false;  // read by the simulated programmer on every write
};

TFixture* fixture = nullptr;

class TScriptedPump final : public kvm::IMessagePump {
 public:
  TScriptedPump(FuzzedDataProvider& input, kvm::TProgrammerState& state) : input_(input), state_(state) {}
  void Attach(TProgrammerProtocol& protocol) { protocol_ = &protocol; }

  void ProcessMessages() override {
    Count();
    if (input_.remaining_bytes() == 0) return Tick();
    switch (input_.ConsumeIntegralInRange(0, 7)) {
      case 0: return Tick();
      case 1: return Deliver(Report(0x01));
      case 2: return Deliver(Report(0x03));
      case 3: return Deliver(Report(input_.ConsumeIntegral<std::uint8_t>()));
      case 4: {
        // A burst of status replies: more than the queue holds.
        const int count = input_.ConsumeIntegralInRange(1, 20);
        const std::uint8_t code = input_.ConsumeIntegral<std::uint8_t>();
        for (int i = 0; i < count; ++i) Deliver({0x01, code, 0, 0, 0, 0, 0});
        return;
      }
      case 5: fixture->FailWrites = !fixture->FailWrites; return;
      case 6: state_.UserBreak = !state_.UserBreak; return;
      default: return;  // a pass with nothing in it
    }
  }
  void WaitForMessage() override {
    Count();
    Tick();  // nothing pending: the next thing to happen is a tick
  }
  void Wake() override {}

 private:
  void Count() {
    if (++passes_ > MaxPasses) std::abort();
  }
  void Tick() { protocol_->WaitTimerTimer(); }
  // Data bytes of a reply (the report ID is not part of them): any length,
  // including none and more than the 64 the handler looks at.
  std::vector<std::uint8_t> Report(std::uint8_t kind) {
    std::vector<std::uint8_t> data = input_.ConsumeBytes<std::uint8_t>(input_.ConsumeIntegralInRange(0, 80));
    if (!data.empty()) data[0] = kind;
    return data;
  }
  void Deliver(const std::vector<std::uint8_t>& data) {
    // An exact-size copy, so that AddressSanitizer sees a read past its end.
    const std::unique_ptr<std::uint8_t[]> bytes(data.empty() ? nullptr : new std::uint8_t[data.size()]);
    std::copy(data.begin(), data.end(), bytes.get());
    protocol_->HidDevData(fixture->Programmer, 0x01, bytes.get(), static_cast<std::uint16_t>(data.size()));
    CheckStore(protocol_->Replies());
  }
  static void CheckStore(const kvm::protocol::ReplyStore& store) {
    if (store.StatusCount < 0 || store.StatusCount > 8) std::abort();
    if (store.ReplyValue != store.ValueHigh * 256 + store.ValueLow) std::abort();
  }

  FuzzedDataProvider& input_;
  kvm::TProgrammerState& state_;
  TProgrammerProtocol* protocol_ = nullptr;
  int passes_ = 0;
};

bool QueueHolds(const kvm::protocol::ReplyStore& store, std::uint8_t code) {
  for (const std::uint8_t slot : store.StatusQueue)
    if (slot == code) return true;
  return false;
}

// The verdict of a finished wait, from the queue it leaves behind.
void CheckWait(bool ok, std::uint8_t last, const TProgrammerProtocol& protocol, const kvm::test::TRecordingStatus& status) {
  const kvm::protocol::ReplyStore& store = protocol.Replies();
  if (ok) {
    if (QueueHolds(store, 0x04)) std::abort();
    if (!QueueHolds(store, 0x02) && !QueueHolds(store, 0x03)) std::abort();
    if (last == 0x00 || status.statusColour != kvm::Blue) std::abort();
  } else if (last == 0x00) {
    if (status.statusText != "KVM Programmer is time out." || status.statusColour != kvm::Red) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication application(*argc, *argv);
  fixture = new TFixture;
  fixture->Platform = std::make_shared<kvm::hid::platform::TSimHidPlatform>();
  fixture->Platform->Plug(kvm::hid::platform::SimProgrammer(), [](const std::uint8_t*, std::size_t) {
    kvm::hid::platform::TDeviceResponse response;
    if (fixture->FailWrites) response.WriteError = EIO;
    return response;
  });
  fixture->Controller = std::make_unique<kvm::hid::THidDeviceController>(fixture->Platform);
  fixture->Controller->DeviceChange();
  if (!fixture->Controller->CheckOutByIndex(fixture->Programmer, 0) || fixture->Programmer == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  kvm::test::TRecordingStatus status;
  kvm::TProgrammerState state;
  state.Connected = true;
  state.ProgrammerDevice = fixture->Programmer;
  fixture->FailWrites = false;
  TScriptedPump pump(input, state);
  TProgrammerProtocol protocol(status, state, pump);
  pump.Attach(protocol);

  for (int operation = 0; operation < 6 && input.remaining_bytes() > 0; ++operation) {
    const auto target = input.ConsumeIntegral<std::uint8_t>();
    std::int32_t result = 0;
    std::int32_t value = -1;
    switch (input.ConsumeIntegralInRange(0, 6)) {
      case 0: {
        std::uint8_t last = 0xEE;
        const bool ok = protocol.WaitReply(input.ConsumeIntegral<std::uint8_t>(), last);
        CheckWait(ok, last, protocol, status);
        break;
      }
      case 1: result = protocol.EnableProgrammer(); break;
      case 2: result = protocol.DisableProgrammer(); break;
      case 3: result = protocol.InitProgrammer(target); break;
      case 4:
        result = protocol.GetChipID(target, value);
        if (result != 0 ? value != 0 : value != protocol.Replies().ReplyValue) std::abort();
        break;
      case 5:
        result = protocol.GetCheckSum(target, value);
        if (result != 0 ? value != 0 : value != protocol.Replies().ReplyValue) std::abort();
        break;
      default: {
        std::array<std::uint8_t, 64> block{};
        const auto bytes = input.ConsumeBytes<std::uint8_t>(64);
        std::copy(bytes.begin(), bytes.end(), block.begin());
        result = protocol.ProgramBlock(target, input.ConsumeIntegralInRange(0, 65535),
                                       input.ConsumeIntegralInRange(0, 64), block);
        if (result < -3) std::abort();
        break;
      }
    }
    if (result > 0 || result < -3) std::abort();
    if (protocol.WaitTimer().Enabled()) std::abort();  // every wait switches its timer off
  }
  return 0;
}
