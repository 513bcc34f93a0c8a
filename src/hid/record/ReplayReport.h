// Reading a recording from its file, and the words for where a replay stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hid/record/Recording.h"
#include "hid/record/ReplayDevice.h"

namespace kvm::hid::record {

// False with `error` ("replay host.jsonl: line 4: ...") when the file cannot be
// read or is not a complete recording.
bool ReadRecordingFile(const std::string& path, TRecording& recording, std::string& error);

// Names the step a written report is ("block 12", "the chip ID command");
// the protocol knows, the HID layer does not.
using TStepName = std::function<std::string(const std::vector<std::uint8_t>& report)>;

// "replay stopped at write 17 (block 12): expected 04 04 06 ..., got 04 04 06 ...
// (first difference at byte 9)".
std::string ReplayStopText(const TReplayStop& stop, const TStepName& stepName);

}  // namespace kvm::hid::record
