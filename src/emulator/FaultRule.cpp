#include "emulator/FaultRule.h"

#include <utility>

namespace kvm::emulator {

TFaultAction TFaultAction::Value16(TFaultKind kind, std::uint16_t value) {
  TFaultAction action{kind};
  action.Value = value;
  return action;
}

TFaultAction TFaultAction::StatusBurst(std::uint8_t code, int count) {
  return Extra({0x01, code}, count, false);
}

TFaultAction TFaultAction::Extra(std::vector<std::uint8_t> data, int count, bool afterAnswer) {
  TFaultAction action{TFaultKind::ExtraReplies};
  action.Data = std::move(data);
  action.Count = count;
  action.AfterAnswer = afterAnswer;
  return action;
}

TFaultAction TFaultAction::Flood(std::vector<std::uint8_t> data, int count) {
  return Extra(std::move(data), count, true);
}

TFaultAction TFaultAction::Delayed(int delayMs) {
  TFaultAction action{TFaultKind::Delay};
  action.DelayMs = delayMs;
  return action;
}

TFaultAction TFaultAction::SlowWrite(int delayMs) {
  TFaultAction action{TFaultKind::WriteDelay};
  action.DelayMs = delayMs;
  return action;
}

TFaultAction TFaultAction::FailWrite(std::uint32_t error) {
  TFaultAction action{TFaultKind::WriteFailure};
  action.Error = error;
  return action;
}

bool TFaultRuleState::Fires(const TReportKey& key) {
  const TFaultMatch& m = rule_.Match;
  if (m.Command && *m.Command != key.Command) return false;
  if (m.Target && *m.Target != key.Target) return false;
  if (m.Block && (!key.Block || *m.Block != *key.Block)) return false;
  ++seen_;
  return !m.Occurrence || *m.Occurrence == seen_;
}

}  // namespace kvm::emulator
