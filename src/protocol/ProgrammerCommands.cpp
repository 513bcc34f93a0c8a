// The programmer's one-report commands around the block writes.
#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {

namespace {

constexpr std::uint8_t CommandDisable = 0x01;
constexpr std::uint8_t CommandEnable = 0x02;
constexpr std::uint8_t CommandInit = 0x03;
constexpr std::uint8_t CommandChipID = 0x04;
constexpr std::uint8_t CommandCheckSum = 0x09;

// Enable and disable address the programmer itself, never a target.
constexpr std::uint8_t NoTarget = 0x00;

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
