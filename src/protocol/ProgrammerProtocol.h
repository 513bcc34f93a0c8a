// The programmer's wire protocol: report exchange and the command transaction,
// the programmer commands and the block write with retries.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "core/StatusSink.h"
#include "core/TickTimer.h"
#include "wire/ProgrammerWire.h"

namespace kvm::hid {
class THidDevice;
}

namespace kvm::protocol {

// Every command goes out from a 128-byte buffer, cleared before it is filled.
using ProgrammerReport = std::array<std::uint8_t, 128>;

using wire::StatusAck;
using wire::StatusReady;
using wire::StatusReadyAlt;
using wire::StatusFail;

// Replies of the current wait, filed by HidDevData in arrival order.
struct ReplyStore {
  std::array<std::uint8_t, 8> StatusQueue{};
  std::int32_t StatusCount = 0;
  std::uint8_t ValueHigh = 0;
  std::uint8_t ValueLow = 0;
  std::int32_t ReplyValue = 0;
};

class TProgrammerProtocol {
 public:
  TProgrammerProtocol(IStatusSink& status, TProgrammerState& state, IMessagePump& pump, int tickMs = 1000);

  // Report exchange and transaction.
  bool SendReport(const ProgrammerReport& report);
  void HidDevData(hid::THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size);
  void HidCtlDeviceDataError(hid::THidDevice* HidDev, std::uint32_t Error);
  void ClearReplies();
  bool FindStatus(std::uint8_t code, std::uint8_t& last) const;
  bool WaitReply(std::uint8_t expected, std::uint8_t& last);
  void WaitTimerTimer();
  std::int32_t RunCommand(std::uint8_t target, std::uint8_t command, std::uint8_t expected, const std::string& startMsg,
                          const std::string& doneMsg);

  // Programmer commands.
  std::int32_t EnableProgrammer();
  std::int32_t DisableProgrammer();
  std::int32_t InitProgrammer(std::uint8_t target);
  std::int32_t GetChipID(std::uint8_t target, std::int32_t& chipId);
  std::int32_t GetCheckSum(std::uint8_t target, std::int32_t& checkSum);

  // Block write: 0, or -1/-2/-3 by the kind of the fourth failure.
  std::int32_t ProgramBlock(std::uint8_t target, std::int32_t blockNumber, std::int32_t count,
                            std::array<std::uint8_t, 64> data);

  const ReplyStore& Replies() const { return replies_; }
  TTickTimer& WaitTimer() { return waitTimer_; }

 private:
  IStatusSink& status_;
  TProgrammerState& state_;
  IMessagePump& pump_;
  TTickTimer waitTimer_;
  ReplyStore replies_;
  // Counts hand-overs and ticks, so that a wait knows whether a pass brought
  // anything new before it blocks for the next event.
  std::uint64_t arrivals_ = 0;
};

// "WRITE ERROR: %s (%x)" / "READ ERROR: %s (%x)" with the system's text for
// the code, trailing blanks, control characters and full stops removed.
// `prefix` is the part before the colon ("WRITE ERROR", "READ ERROR"); the
// code is printed in upper-case hexadecimal without leading zeros.
std::string FormatIoError(const char* prefix, std::uint32_t error);
// The same with the text already looked up (e.g. THidPlatform::ErrorText).
std::string FormatIoError(const char* prefix, std::uint32_t error, const std::string& systemText);

// The system's text for an error code on the device's platform (strerror when
// the device has no controller to ask).
std::string SystemErrorText(const hid::THidDevice* device, std::uint32_t error);

}  // namespace kvm::protocol
