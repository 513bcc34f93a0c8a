// A recorded programmer session: per device its identity and every exchange
// in order, timed in microseconds since the recording began. Written by the
// recording back end, read back by the replay back end; the file format is
// JSON Lines (RecordingJson.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidTypes.h"
#include "hid/platform/HidPlatform.h"

namespace kvm::hid::record {

inline constexpr const char* RecordingFormatName = "kvmflash-recording";
inline constexpr int RecordingFormatVersion = 1;

enum class TEventKind {
  Write,   // an output report written: Bytes, then Written or Error
  Read,    // an input report read (Bytes), or a read that failed (Status, Error)
  Cancel,  // the utility ended a read in progress (its reader stopped)
  Unplug,  // the device left the system's list of HID interfaces
};

struct TRecordedEvent {
  TEventKind Kind = TEventKind::Write;
  std::int64_t TimeUs = 0;
  std::uint32_t Device = 0;  // index of the device in the recording
  std::vector<std::uint8_t> Bytes;
  bool Ok = true;                  // Write: accepted by the system
  std::size_t Written = 0;         // Write: bytes the system took
  platform::TReadStatus Status = platform::TReadStatus::Data;  // Read: Data, Gone or Error
  std::uint32_t Error = 0;         // failed Write or Read: the system's code
};

// What the device said about itself. Items it would not give stay unset.
struct TRecordedIdentity {
  std::optional<THidAttributes> Attributes;
  std::optional<std::u16string> Manufacturer, Product, SerialNumber;
  std::vector<std::uint8_t> ReportDescriptor;  // empty where the platform keeps it opaque
  std::optional<THidCaps> Caps;
  std::string PortPath;
};

struct TRecordedDevice {
  TRecordedIdentity Identity;
  std::vector<TRecordedEvent> Events;
};

struct TRecording {
  std::vector<std::string> Firmware;  // file names (no folders) of the jobs' firmware
  std::vector<TRecordedDevice> Devices;
};

}  // namespace kvm::hid::record
