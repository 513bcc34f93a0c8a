// What travels between this utility and the KVM programmer: the programmer's
// USB identity, the report IDs and layouts, the command, target and status
// codes and the chip IDs each target answers with. Declared here only, so
// that the product, the programmer emulator, the firmware files and the
// benchmarks cannot disagree about them. Plain C++, header only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvm::wire {

// The programmer among the HID devices.
inline constexpr std::uint16_t ProgrammerVendorID = 0x0B39;
inline constexpr std::uint16_t ProgrammerProductID = 0xFF03;
inline constexpr std::uint16_t ProgrammerInputReportLength = 8;  // report ID byte included

// Output report: report ID, target, command, then the command's arguments.
inline constexpr std::uint8_t OutputReportID = 0x04;
inline constexpr std::size_t ReportIdOffset = 0;
inline constexpr std::size_t TargetOffset = 1;
inline constexpr std::size_t CommandOffset = 2;
// Block write arguments: block number (high, low), byte count, two reserved
// bytes, then the block's bytes.
inline constexpr std::size_t BlockNumberOffset = 3;
inline constexpr std::size_t BlockCountOffset = 5;
inline constexpr std::size_t BlockDataOffset = 8;

inline constexpr std::uint8_t CommandDisable = 0x01;
inline constexpr std::uint8_t CommandEnable = 0x02;
inline constexpr std::uint8_t CommandInit = 0x03;
inline constexpr std::uint8_t CommandChipID = 0x04;
inline constexpr std::uint8_t CommandBlockWrite = 0x06;
inline constexpr std::uint8_t CommandCheckSum = 0x09;

// Target selectors; enable and disable address the programmer itself.
inline constexpr std::uint8_t TargetNone = 0x00;
inline constexpr std::uint8_t TargetUsbHost = 4;
inline constexpr std::uint8_t TargetOsd = 2;

// The chip ID each target must report.
inline constexpr std::uint16_t UsbHostChipID = 0x2052;
inline constexpr std::uint16_t OsdChipID = 0x0050;

// Input report: report ID (never examined), reply kind, then a status code,
// or a 0x00 marker and a big-endian 16-bit value.
inline constexpr std::uint8_t InputReportID = 0x01;
inline constexpr std::uint8_t ReplyKindStatus = 0x01;
inline constexpr std::uint8_t ReplyKindValue = 0x03;
inline constexpr std::uint8_t ValueMarker = 0x00;

inline constexpr std::uint8_t StatusAck = 0x01;
inline constexpr std::uint8_t StatusReady = 0x02;
inline constexpr std::uint8_t StatusReadyAlt = 0x03;
inline constexpr std::uint8_t StatusFail = 0x04;

}  // namespace kvm::wire
