// TProgrammerEmulator: the KVM programmer's side of the report protocol.
//
// It takes the output reports the utility writes (report ID 0x04, target,
// command, arguments) and answers with 8-byte input reports (report ID 0x01,
// then a status reply 0x01 <code> or a value reply 0x03 0x00 <high> <low>).
// A healthy programmer acknowledges every command with 0x01 and completes it
// with 0x02 (0x03 for disable); it refuses with 0x01 0x04 what it cannot do:
// unknown commands, targets without a chip, malformed reports and block
// numbers out of sequence. Fault rules change that behaviour per report.
//
// Thread-safe: the transport may call HandleReport from any thread while a
// test inspects the log and the received images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "emulator/FaultRule.h"
#include "emulator/ReceivedImage.h"
#include "hid/platform/sim/SimResponder.h"
#include "wire/ProgrammerWire.h"

namespace kvm::emulator {

// The emulator answers through the simulated back end's responder interface.
using hid::platform::TDeviceResponder;
using hid::platform::TDeviceResponse;
using hid::platform::TInputReport;
using hid::platform::TReplyFunction;

// The wire's codes under the short names the tests read them by.
using wire::InputReportID;
using wire::OutputReportID;
using wire::TargetOsd;
using wire::TargetUsbHost;
inline constexpr std::size_t InputReportLength = wire::ProgrammerInputReportLength;

inline constexpr std::uint8_t ReplyStatus = wire::ReplyKindStatus;
inline constexpr std::uint8_t ReplyValue = wire::ReplyKindValue;

inline constexpr std::uint8_t CmdDisable = wire::CommandDisable;
inline constexpr std::uint8_t CmdEnable = wire::CommandEnable;
inline constexpr std::uint8_t CmdInitialise = wire::CommandInit;
inline constexpr std::uint8_t CmdChipID = wire::CommandChipID;
inline constexpr std::uint8_t CmdBlockWrite = wire::CommandBlockWrite;
inline constexpr std::uint8_t CmdCheckSum = wire::CommandCheckSum;

enum class TReportFate {
  Answered,     // the programmer acted on it (possibly with a faulty answer)
  Dropped,      // lost on the way
  WriteFailed,  // the write failed
  Unplugged,    // the programmer went away with it
};

struct TReceivedReport {
  std::vector<std::uint8_t> Bytes;  // as written, report ID first
  TReportFate Fate = TReportFate::Answered;
};

class TProgrammerEmulator {
 public:
  TProgrammerEmulator();

  // One written output report in, the programmer's response out.
  TDeviceResponse HandleReport(const std::uint8_t* report, std::size_t length);
  // The replies alone, for transports that carry nothing else.
  std::vector<std::vector<std::uint8_t>> Replies(const std::uint8_t* report, std::size_t length);

  // Both keep the emulator alive for as long as the transport holds them.
  static TDeviceResponder Responder(std::shared_ptr<TProgrammerEmulator> emulator);
  static TReplyFunction ReplyFunction(std::shared_ptr<TProgrammerEmulator> emulator);

  void AddRule(TFaultRule rule);
  void ClearRules();
  // A target answers chip ID and takes images only when it has a chip.
  void SetChipID(std::uint8_t target, std::uint16_t chipId);
  void RemoveChip(std::uint8_t target);
  // Every reply comes this long after the previous one (USB timing).
  void SetReplyDelay(int delayMs);

  std::vector<TReceivedReport> Log() const;
  std::size_t ReportCount() const;
  bool IsEnabled() const;
  std::optional<std::uint32_t> ToldLength(std::uint8_t target) const;
  std::vector<std::uint8_t> Image(std::uint8_t target) const;
  std::vector<std::uint8_t> ReceivedBytes(std::uint8_t target) const;
  int BlockCount(std::uint8_t target) const;

  // The two reply kinds, report ID included.
  static std::vector<std::uint8_t> StatusReport(std::uint8_t code);
  static std::vector<std::uint8_t> ValueReport(std::uint16_t value, std::uint8_t marker = wire::ValueMarker);

 private:
  struct TAnswer {
    bool Done = false;          // false: refused with 0x04
    std::uint8_t Completion = wire::StatusReady;
    std::optional<std::uint16_t> Value;
  };
  TAnswer Execute(const std::uint8_t* report, std::size_t length);
  TAnswer ExecuteBlockWrite(const std::uint8_t* report, std::size_t length);
  bool HasChip(std::uint8_t target) const { return chipIds_.count(target) != 0; }

  mutable std::mutex mutex_;
  std::vector<TFaultRuleState> rules_;
  std::map<std::uint8_t, std::uint16_t> chipIds_;
  std::map<std::uint8_t, TReceivedImage> images_;
  std::vector<TReceivedReport> log_;
  bool enabled_ = false;
  int replyDelayMs_ = 0;
};

}  // namespace kvm::emulator
