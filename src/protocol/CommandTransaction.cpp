// The command transaction: one report out, then a wait of up to six ticks for
// the programmer's status while the window's events keep being serviced.
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

namespace {

// The wait ends with the tick that takes the counter past this.
constexpr int LastWaitTick = 5;

bool QueueHolds(const ReplyStore& replies, std::uint8_t code) {
  for (const std::uint8_t slot : replies.StatusQueue)
    if (slot == code) return true;
  return false;
}

}  // namespace

TProgrammerProtocol::TProgrammerProtocol(IStatusSink& status, TProgrammerState& state, IMessagePump& pump, int tickMs)
    : status_(status), state_(state), pump_(pump), waitTimer_(tickMs) {
  waitTimer_.OnTimer = [this] { WaitTimerTimer(); };
}

void TProgrammerProtocol::WaitTimerTimer() {
  ++waitTimer_.Tag;
  ++arrivals_;
  pump_.Wake();
}

bool TProgrammerProtocol::WaitReply(std::uint8_t expected, std::uint8_t& last) {
  ClearReplies();
  last = 0x00;

  waitTimer_.Tag = 0;
  // A fresh period: the first tick comes one full interval from now.
  waitTimer_.SetEnabled(false);
  waitTimer_.SetEnabled(true);

  // Each pass services every pending event and then looks at the queue. When a
  // pass brought neither a reply nor a tick, block until the next one instead
  // of spinning: replies and ticks both wake the pump.
  while (!FindStatus(expected, last) && !state_.StopWaiting) {
    const std::uint64_t before = arrivals_;
    pump_.ProcessMessages();
    if (waitTimer_.Tag > LastWaitTick || state_.StopWaiting) break;
    if (arrivals_ == before) {
      pump_.WaitForMessage();
      // The last tick ends the wait without another look at the queue.
      if (waitTimer_.Tag > LastWaitTick) break;
    }
  }
  waitTimer_.SetEnabled(false);
  // Given up on purpose: no time-out to report.
  if (state_.StopWaiting && !FindStatus(expected, last)) return false;

  if (last == 0x00) {
    status_.ReportStatus("KVM Programmer is time out.", Red);
    return false;
  }
  if (QueueHolds(replies_, StatusFail)) return false;
  if (QueueHolds(replies_, StatusReady) || QueueHolds(replies_, StatusReadyAlt)) {
    status_.SetStatusColour(Blue);
    return true;
  }
  if (QueueHolds(replies_, StatusAck)) status_.ReportStatus("KVM Programmer is ACK but not READY", Red);
  return false;
}

std::int32_t TProgrammerProtocol::RunCommand(std::uint8_t target, std::uint8_t command, std::uint8_t expected,
                                             const std::string& startMsg, const std::string& doneMsg) {
  ProgrammerReport report{};
  if (!startMsg.empty()) {
    status_.ShowStatus(startMsg, Green);
    pump_.ProcessMessages();
  }
  report[wire::ReportIdOffset] = wire::OutputReportID;
  report[wire::TargetOffset] = target;
  report[wire::CommandOffset] = command;

  if (!SendReport(report)) return -1;
  std::uint8_t last = 0x00;
  if (!WaitReply(expected, last)) return -2;
  if (last == expected && !doneMsg.empty()) status_.ShowStatus(doneMsg);
  return 0;
}

}  // namespace kvm::protocol
