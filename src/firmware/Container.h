// The scrambled container: its header and the unscrambling of its payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/ContainerHeader.h"
#include "firmware/FileExamination.h"

namespace kvm::firmware::detail {

// The header as the job has checked it: what unscrambling needs. The file's
// fields as stored, for showing, are firmware::TContainerHeader.
struct TCheckedHeader {
  int ChipType = 0;        // 28, 56 or 300
  int KeyOffset = 0;       // 0..11
  int StepLength = 0;      // 1..15
  std::uint8_t KeyByte = 0;
};

// True when a container of that chip type may be programmed into the target.
bool ChipTypeAcceptedFor(int targetCode, int chipType);

// Reads and checks the header of a container of containerLength bytes whose
// first bytes (at least 16 when containerLength allows) are given. ImageOk,
// MalformedContainer, UnknownChipType or ChipTypeNotForTarget.
int ReadContainerHeader(int targetCode, const std::uint8_t* bytes, std::size_t containerLength,
                        TCheckedHeader& header);

// Unscrambles length payload bytes from in to out (which may be the same
// buffer), StepLength bytes per step with the running value carried over.
// Scrambling is the same operation.
void UnscramblePayload(const TCheckedHeader& header, const std::uint8_t* in, std::uint8_t* out,
                       std::size_t length);

// Examine, taking the file as a container or as a plain image whatever its name.
TFileExamination ExamineAs(int targetCode, const std::string& path, bool container);

// Reads, checks and unscrambles a container file. ImageOk with the payload
// filled, or the failure result with the reason recorded.
int ReadUnscrambledPayload(int targetCode, const std::string& containerPath,
                           std::vector<std::uint8_t>& payload);

}  // namespace kvm::firmware::detail
