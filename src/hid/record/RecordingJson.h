// The recording's file format, JSON Lines written and read with Qt's JSON
// classes. Line 1 is the header {"format":"kvmflash-recording","version":1,
// "firmware":[names]}; a device line {"device":N, vendor, product, version,
// strings, "descriptor", "caps", "port"} comes before the first event of its
// device; then one line per event {"t":microseconds,"dev":N,"op":...}; the last
// line {"end":count} says how many event lines came before it, so a file that
// was cut short is told from a complete one. Bytes are hex strings.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>
#include <vector>

#include "hid/record/Recording.h"

namespace kvm::hid::record {

// Each line without its line end.
QByteArray HeaderLine(const std::vector<std::string>& firmware);
QByteArray DeviceLine(std::uint32_t index, const TRecordedIdentity& identity);
QByteArray EventLine(const TRecordedEvent& event);
QByteArray EndLine(std::uint64_t eventCount);

// Reads a whole recording. False, with `error` naming the line and what is
// wrong with it, when the text is empty, damaged, cut short or of another
// format version; never reads past what it checked.
bool ParseRecording(const QByteArray& text, TRecording& recording, std::string& error);

// Space-separated upper-case hex ("04 04 06 00"), for messages.
std::string SpacedHex(const std::vector<std::uint8_t>& bytes);

}  // namespace kvm::hid::record
