// The faults the soak runs inject: half of the jobs get none, the others one
// misbehaviour on one of their reports (the first such report, or every one).
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <random>

#include "emulator/FaultRule.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::test {

inline std::optional<emulator::TFaultRule> RandomFault(std::mt19937& random) {
  using namespace emulator;
  if (std::uniform_int_distribution<int>(0, 9)(random) < 5) return std::nullopt;
  static const std::uint8_t commands[] = {CmdEnable, CmdInitialise, CmdChipID, CmdBlockWrite, CmdCheckSum, CmdDisable};
  TFaultMatch match{commands[random() % 6], {}, {}, {}};
  if (random() % 2 == 0) match.Occurrence = 1;
  static const TFaultAction actions[] = {
      TFaultKind::Silence,
      TFaultKind::AckOnly,
      TFaultKind::Fail,
      TFaultKind::OtherCompletion,
      TFaultKind::Drop,
      TFaultKind::Unplug,
      TFaultAction::FailWrite(5),
      TFaultAction::Value16(TFaultKind::BadValueReply, 0x01),
      TFaultAction::Value16(TFaultKind::WrongValue, 0x1234),
      TFaultAction::Flood({0x55, 0x01}, 20),
      TFaultAction::StatusBurst(0x01, 10),
  };
  return TFaultRule{match, actions[random() % std::size(actions)]};
}

}  // namespace kvm::test
