#include "emulator/ProgrammerEmulator.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace kvm::emulator {

namespace {

constexpr std::size_t BlockHeaderLength = wire::BlockDataOffset;

TReportKey KeyOf(const std::uint8_t* report, std::size_t length) {
  TReportKey key;
  if (length >= 3) {
    key.Target = report[1];
    key.Command = report[2];
  }
  if (key.Command == CmdBlockWrite && length >= 5) key.Block = static_cast<std::uint16_t>(report[3] << 8 | report[4]);
  return key;
}

// The actions of every rule that fired for one report, merged.
struct TFiredFaults {
  std::optional<std::uint32_t> WriteError;
  bool Unplug = false, Drop = false, Silence = false, AckOnly = false, Fail = false, OtherCompletion = false;
  std::optional<std::uint8_t> ValueMarker;
  std::optional<std::uint16_t> Value;
  std::vector<TFaultAction> Before, After;
  int ReplyDelayMs = 0, WriteDelayMs = 0;

  void Add(const TFaultAction& a) {
    switch (a.Kind) {
      case TFaultKind::Drop: Drop = true; break;
      case TFaultKind::Silence: Silence = true; break;
      case TFaultKind::AckOnly: AckOnly = true; break;
      case TFaultKind::Fail: Fail = true; break;
      case TFaultKind::OtherCompletion: OtherCompletion = true; break;
      case TFaultKind::BadValueReply: ValueMarker = static_cast<std::uint8_t>(a.Value ? a.Value : 0x01); break;
      case TFaultKind::WrongValue: Value = a.Value; break;
      case TFaultKind::ExtraReplies: (a.AfterAnswer ? After : Before).push_back(a); break;
      case TFaultKind::Delay: ReplyDelayMs = std::max(ReplyDelayMs, a.DelayMs); break;
      case TFaultKind::WriteDelay: WriteDelayMs = std::max(WriteDelayMs, a.DelayMs); break;
      case TFaultKind::WriteFailure:
        if (!WriteError) WriteError = a.Error ? a.Error : static_cast<std::uint32_t>(EIO);
        break;
      case TFaultKind::Unplug: Unplug = true; break;
    }
  }
};

void AppendExtras(std::vector<TInputReport>& replies, const std::vector<TFaultAction>& extras) {
  for (const TFaultAction& extra : extras) {
    std::vector<std::uint8_t> bytes(InputReportLength, 0);
    bytes[0] = InputReportID;
    std::copy_n(extra.Data.begin(), std::min(extra.Data.size(), InputReportLength - 1), bytes.begin() + 1);
    for (int i = 0; i < extra.Count; ++i) replies.push_back({bytes, 0});
  }
}

}  // namespace

TProgrammerEmulator::TProgrammerEmulator() : chipIds_{{TargetUsbHost, wire::UsbHostChipID}, {TargetOsd, wire::OsdChipID}} {}

std::vector<std::uint8_t> TProgrammerEmulator::StatusReport(std::uint8_t code) {
  return {InputReportID, ReplyStatus, code, 0, 0, 0, 0, 0};
}

std::vector<std::uint8_t> TProgrammerEmulator::ValueReport(std::uint16_t value, std::uint8_t marker) {
  return {InputReportID, ReplyValue, marker, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value), 0,
          0, 0};
}

TDeviceResponse TProgrammerEmulator::HandleReport(const std::uint8_t* report, std::size_t length) {
  std::lock_guard lock(mutex_);
  const TReportKey key = KeyOf(report, length);
  TFiredFaults faults;
  for (TFaultRuleState& rule : rules_)
    if (rule.Fires(key)) faults.Add(rule.Action());

  TDeviceResponse response;
  response.WriteDelayMs = faults.WriteDelayMs;
  log_.push_back({std::vector<std::uint8_t>(report, report + length), TReportFate::Answered});
  if (faults.WriteError) {
    log_.back().Fate = TReportFate::WriteFailed;
    response.WriteError = *faults.WriteError;
    return response;
  }
  if (faults.Unplug) {
    log_.back().Fate = TReportFate::Unplugged;
    response.Unplug = true;
    return response;
  }
  if (faults.Drop) {
    log_.back().Fate = TReportFate::Dropped;
    return response;
  }

  // A refused command has no effect, so it is not executed at all.
  TAnswer answer = faults.Fail ? TAnswer{} : Execute(report, length);
  std::vector<TInputReport>& replies = response.Replies;
  AppendExtras(replies, faults.Before);
  if (!faults.Silence) {
    if (answer.Done && answer.Value)
      replies.push_back({ValueReport(faults.Value.value_or(*answer.Value), faults.ValueMarker.value_or(wire::ValueMarker)), 0});
    replies.push_back({StatusReport(wire::StatusAck), 0});
    if (!faults.AckOnly) {
      std::uint8_t code = answer.Done ? answer.Completion : wire::StatusFail;
      if (answer.Done && faults.OtherCompletion)
        code = code == wire::StatusReady ? wire::StatusReadyAlt : wire::StatusReady;
      replies.push_back({StatusReport(code), 0});
    }
  }
  AppendExtras(replies, faults.After);
  const int delay = std::max(replyDelayMs_, faults.ReplyDelayMs);
  for (TInputReport& reply : replies) reply.DelayMs = delay;
  return response;
}

TProgrammerEmulator::TAnswer TProgrammerEmulator::Execute(const std::uint8_t* report, std::size_t length) {
  if (length <= wire::CommandOffset || report[wire::ReportIdOffset] != OutputReportID) return {};
  const std::uint8_t target = report[wire::TargetOffset];
  switch (report[wire::CommandOffset]) {
    case CmdDisable:
      enabled_ = false;
      return {true, wire::StatusReadyAlt, std::nullopt};
    case CmdEnable:
      enabled_ = true;
      return {true, wire::StatusReady, std::nullopt};
    case CmdInitialise:
      if (!HasChip(target)) return {};
      images_[target].Reset();
      return {true, wire::StatusReady, std::nullopt};
    case CmdChipID:
      if (!HasChip(target)) return {};
      return {true, wire::StatusReady, chipIds_.at(target)};
    case CmdBlockWrite:
      return ExecuteBlockWrite(report, length);
    case CmdCheckSum:
      if (!HasChip(target)) return {};
      return {true, wire::StatusReady, images_[target].CheckSum()};
    default:
      return {};
  }
}

TProgrammerEmulator::TAnswer TProgrammerEmulator::ExecuteBlockWrite(const std::uint8_t* report, std::size_t length) {
  const std::uint8_t target = report[wire::TargetOffset];
  if (!HasChip(target) || length < BlockHeaderLength) return {};
  const std::size_t count = report[wire::BlockCountOffset];
  // The count byte must describe bytes that were actually written.
  if (BlockHeaderLength + count > length) return {};
  const auto number =
      static_cast<std::uint16_t>(report[wire::BlockNumberOffset] << 8 | report[wire::BlockNumberOffset + 1]);
  const TBlockResult result = images_[target].AcceptBlock(number, report + BlockHeaderLength, count);
  if (result == TBlockResult::OutOfOrder || result == TBlockResult::Malformed) return {};
  return {true, wire::StatusReady, std::nullopt};
}

std::vector<std::vector<std::uint8_t>> TProgrammerEmulator::Replies(const std::uint8_t* report, std::size_t length) {
  TDeviceResponse response = HandleReport(report, length);
  std::vector<std::vector<std::uint8_t>> replies;
  for (TInputReport& reply : response.Replies) replies.push_back(std::move(reply.Bytes));
  return replies;
}

TDeviceResponder TProgrammerEmulator::Responder(std::shared_ptr<TProgrammerEmulator> emulator) {
  return [emulator](const std::uint8_t* report, std::size_t length) { return emulator->HandleReport(report, length); };
}

TReplyFunction TProgrammerEmulator::ReplyFunction(std::shared_ptr<TProgrammerEmulator> emulator) {
  return [emulator](const std::uint8_t* report, std::size_t length) { return emulator->Replies(report, length); };
}

void TProgrammerEmulator::AddRule(TFaultRule rule) {
  std::lock_guard lock(mutex_);
  rules_.emplace_back(std::move(rule));
}

void TProgrammerEmulator::ClearRules() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

void TProgrammerEmulator::SetChipID(std::uint8_t target, std::uint16_t chipId) {
  std::lock_guard lock(mutex_);
  chipIds_[target] = chipId;
}

void TProgrammerEmulator::RemoveChip(std::uint8_t target) {
  std::lock_guard lock(mutex_);
  chipIds_.erase(target);
}

void TProgrammerEmulator::SetReplyDelay(int delayMs) {
  std::lock_guard lock(mutex_);
  replyDelayMs_ = delayMs;
}

std::vector<TReceivedReport> TProgrammerEmulator::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t TProgrammerEmulator::ReportCount() const {
  std::lock_guard lock(mutex_);
  return log_.size();
}

bool TProgrammerEmulator::IsEnabled() const {
  std::lock_guard lock(mutex_);
  return enabled_;
}

std::optional<std::uint32_t> TProgrammerEmulator::ToldLength(std::uint8_t target) const {
  std::lock_guard lock(mutex_);
  auto it = images_.find(target);
  return it == images_.end() ? std::nullopt : it->second.ToldLength();
}

std::vector<std::uint8_t> TProgrammerEmulator::Image(std::uint8_t target) const {
  std::lock_guard lock(mutex_);
  auto it = images_.find(target);
  return it == images_.end() ? std::vector<std::uint8_t>{} : it->second.Image();
}

std::vector<std::uint8_t> TProgrammerEmulator::ReceivedBytes(std::uint8_t target) const {
  std::lock_guard lock(mutex_);
  auto it = images_.find(target);
  return it == images_.end() ? std::vector<std::uint8_t>{} : it->second.ReceivedBytes();
}

int TProgrammerEmulator::BlockCount(std::uint8_t target) const {
  std::lock_guard lock(mutex_);
  auto it = images_.find(target);
  return it == images_.end() ? 0 : it->second.BlockCount();
}

}  // namespace kvm::emulator
