// The programmer's one-report commands around the block writes.
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

using namespace wire;

namespace {
// Enable and disable address the programmer itself, never a target.
constexpr std::uint8_t NoTarget = TargetNone;
}  // namespace

std::int32_t TProgrammerProtocol::DisableProgrammer() {
  return RunCommand(NoTarget, CommandDisable, StatusReadyAlt, "", "");
}

std::int32_t TProgrammerProtocol::EnableProgrammer() {
  return RunCommand(NoTarget, CommandEnable, StatusReady, "Enable KVM Programmer...", "KVM Programmer is enabled.");
}

std::int32_t TProgrammerProtocol::InitProgrammer(std::uint8_t target) {
  return RunCommand(target, CommandInit, StatusReady, "Initial KVM Programmer...", "KVM Programmer is initialized.");
}

std::int32_t TProgrammerProtocol::GetChipID(std::uint8_t target, std::int32_t& chipId) {
  const std::int32_t result = RunCommand(target, CommandChipID, StatusReady, "Get chip ID...", "Chip ID is read.");
  chipId = result == 0 ? replies_.ReplyValue : 0;
  return result;
}

std::int32_t TProgrammerProtocol::GetCheckSum(std::uint8_t target, std::int32_t& checkSum) {
  const std::int32_t result = RunCommand(target, CommandCheckSum, StatusReady, "Get check sum...", "Check sum is read.");
  checkSum = result == 0 ? replies_.ReplyValue : 0;
  return result;
}

}  // namespace kvm::protocol
