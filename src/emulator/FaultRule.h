// Fault injection for the programmer emulator: a rule matches written reports
// by command, target, block number and occurrence, and changes what the
// programmer does with them. Several rules may match one report; their
// actions combine (see TProgrammerEmulator::HandleReport for the order).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kvm::emulator {

struct TFaultMatch {
  std::optional<std::uint8_t> Command;
  std::optional<std::uint8_t> Target;
  std::optional<std::uint16_t> Block;  // set: only block writes of this number
  // Unset: every matching report. n >= 1: only the n-th report that matches
  // the fields above (counted per rule, from the rule's addition).
  std::optional<int> Occurrence;
};

enum class TFaultKind {
  Drop,             // the report is lost on the way: no effect, no reply
  Silence,          // the programmer acts on the report but answers nothing
  AckOnly,          // answers 0x01 and nothing more
  Fail,             // refuses the command: 0x01 then 0x04, no effect
  OtherCompletion,  // the completion code is 0x03 instead of 0x02 and back
  BadValueReply,    // the value reply carries `Value` (not 0) in data[1]
  WrongValue,       // the value reply carries `Value` (wrong chip ID, wrong checksum)
  ExtraReplies,     // `Count` copies of `Data` as extra replies (before or after the answer)
  Delay,            // every reply of this report comes `DelayMs` after the previous one
  WriteDelay,       // the write itself takes `DelayMs`
  WriteFailure,     // the write fails with `Error`; the programmer never sees it
  Unplug,           // the programmer goes away as the report arrives; no reply
};

struct TFaultAction {
  TFaultAction() = default;
  TFaultAction(TFaultKind kind) : Kind(kind) {}

  TFaultKind Kind = TFaultKind::Silence;
  std::uint16_t Value = 0;
  std::vector<std::uint8_t> Data;  // data bytes of an extra reply (report ID not included)
  int Count = 1;
  bool AfterAnswer = false;  // extra replies follow the normal answer
  int DelayMs = 0;
  std::uint32_t Error = 0;

  static TFaultAction Value16(TFaultKind kind, std::uint16_t value);
  // `count` status replies of `code`, ahead of the answer (more than 8 overflow the host's queue).
  static TFaultAction StatusBurst(std::uint8_t code, int count);
  // Replies of a kind the host does not know, or any other data bytes.
  static TFaultAction Extra(std::vector<std::uint8_t> data, int count = 1, bool afterAnswer = false);
  // Unsolicited reports after the answer.
  static TFaultAction Flood(std::vector<std::uint8_t> data, int count);
  static TFaultAction Delayed(int delayMs);
  static TFaultAction SlowWrite(int delayMs);
  static TFaultAction FailWrite(std::uint32_t error);
};

struct TFaultRule {
  TFaultMatch Match;
  TFaultAction Action;
};

// The facts of one written report that rules match against.
struct TReportKey {
  std::uint8_t Command = 0;
  std::uint8_t Target = 0;
  std::optional<std::uint16_t> Block;  // set for block writes only
};

// A rule with its own count of matching reports.
class TFaultRuleState {
 public:
  explicit TFaultRuleState(TFaultRule rule) : rule_(std::move(rule)) {}
  // Counts the report when its fields match and says whether the rule fires.
  bool Fires(const TReportKey& key);
  const TFaultAction& Action() const { return rule_.Action; }

 private:
  TFaultRule rule_;
  int seen_ = 0;
};

}  // namespace kvm::emulator
