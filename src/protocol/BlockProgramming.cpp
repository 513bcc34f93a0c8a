// Writing one numbered block of an image, with up to three resends.
#include <algorithm>
#include <string>

#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

namespace {

using wire::BlockDataOffset;
constexpr int MaxResends = 3;

// The three ways an attempt can fail; the result of a call is the negated kind
// of its last failure.
enum FailureKind : int { WriteFailed = 1, WaitFailed = 2, NotReady = 3 };

}  // namespace

std::int32_t TProgrammerProtocol::ProgramBlock(std::uint8_t target, std::int32_t blockNumber, std::int32_t count,
                                               std::array<std::uint8_t, 64> data) {
  // The data array holds 64 bytes: a larger count would send bytes from beyond it.
  const int carried = std::clamp<std::int32_t>(count, 0, static_cast<std::int32_t>(data.size()));
  const std::string block = std::to_string(blockNumber);
  int resends = 0;

  ProgrammerReport report{};
  status_.SetStatusColour(Green);
  status_.ShowActivity("Programming block [" + block + "] ...");
  pump_.ProcessMessages();

  report[wire::ReportIdOffset] = wire::OutputReportID;
  report[wire::TargetOffset] = target;
  report[wire::CommandOffset] = wire::CommandBlockWrite;
  report[wire::BlockNumberOffset] = static_cast<std::uint8_t>((blockNumber >> 8) & 0xFF);
  report[wire::BlockNumberOffset + 1] = static_cast<std::uint8_t>(blockNumber & 0xFF);
  report[wire::BlockCountOffset] = static_cast<std::uint8_t>(carried & 0xFF);
  std::copy_n(data.begin(), carried, report.begin() + BlockDataOffset);

  for (;;) {
    // A red line means the previous attempt failed visibly.
    if (status_.GetStatusColour() == Red) {
      status_.ShowStatus("Programming...", Green);
      status_.LogLine("Programming...");
    }

    FailureKind kind;
    std::uint8_t last = 0x00;
    if (!SendReport(report)) {
      kind = WriteFailed;
    } else if (!WaitReply(StatusReady, last)) {
      kind = WaitFailed;
    } else if (last == StatusReady) {
      return 0;
    } else {
      kind = NotReady;
    }

    if (resends >= MaxResends) {
      status_.ReportStatus("Program Fail", Red);
      return -kind;
    }
    ++resends;
    const std::string retry =
        "Retry KVM Programmer (" + std::to_string(kind) + ") [" + block + "]: #" + std::to_string(resends);
    // The first resend goes out unannounced.
    if (resends > 1)
      status_.ReportRetry(retry);
    else
      status_.NoteResend(retry);
  }
}

}  // namespace kvm::protocol
