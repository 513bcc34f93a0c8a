// Writing one output report and filing the programmer's input reports.
#include <algorithm>
#include <cstring>

#include "hid/HidDevice.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

namespace {

using wire::ReplyKindStatus;
using wire::ReplyKindValue;
// Replies are 7 data bytes; anything longer is cut to this scratch area.
constexpr std::size_t ReplyScratchSize = 64;

}  // namespace

bool TProgrammerProtocol::SendReport(const ProgrammerReport& report) {
  const ProgrammerReport copy = report;
  hid::THidDevice* device = state_.ProgrammerDevice;
  if (device == nullptr || state_.UserBreak) return false;

  hid::THidCaps caps;
  device->GetCaps(caps);
  // The length is taken afresh before every write. A device without readable
  // capabilities cannot be written to meaningfully; one that declares more than
  // the report buffer gets the buffer only, never bytes from beyond it.
  if (caps.OutputReportByteLength == 0) {
    status_.LogLine("WRITE ERROR: The programmer declares no output report length");
    return false;
  }
  const std::uint32_t length = std::min<std::uint32_t>(caps.OutputReportByteLength, copy.size());

  std::uint32_t written = 0;
  if (!device->WriteFile(copy.data(), length, written)) {
    const std::uint32_t error = device->LastError();
    status_.LogLine(FormatIoError("WRITE ERROR", error, SystemErrorText(device, error)));
    return false;
  }
  return true;
}

void TProgrammerProtocol::HidDevData(hid::THidDevice* /*HidDev*/, std::uint8_t /*ReportID*/, const std::uint8_t* Data,
                                     std::uint16_t Size) {
  // Bytes a short report does not carry read as 0; a long one is cut.
  std::array<std::uint8_t, ReplyScratchSize> data{};
  if (Data != nullptr) std::memcpy(data.data(), Data, std::min<std::size_t>(Size, data.size()));

  if (data[0] == ReplyKindStatus) {
    if (replies_.StatusCount < static_cast<std::int32_t>(replies_.StatusQueue.size()))
      replies_.StatusQueue[replies_.StatusCount++] = data[1];
  } else if (data[0] == ReplyKindValue && data[1] == wire::ValueMarker) {
    replies_.ValueHigh = data[2];
    replies_.ValueLow = data[3];
    replies_.ReplyValue = data[2] * 256 + data[3];
  }
  ++arrivals_;
  pump_.Wake();
}

void TProgrammerProtocol::HidCtlDeviceDataError(hid::THidDevice* HidDev, std::uint32_t Error) {
  status_.LogLine(FormatIoError("READ ERROR", Error, SystemErrorText(HidDev, Error)));
}

void TProgrammerProtocol::ClearReplies() { replies_ = ReplyStore{}; }

bool TProgrammerProtocol::FindStatus(std::uint8_t code, std::uint8_t& last) const {
  for (const std::uint8_t slot : replies_.StatusQueue) {
    if (slot != 0x00) last = slot;
    if (slot == code) return true;
  }
  return false;
}

}  // namespace kvm::protocol
