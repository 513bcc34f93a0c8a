// The programmer emulator behind a modelled full-speed USB link.
//
// A full-speed HID endpoint moves one packet per 1 ms frame each way: the
// write of an output report takes one frame and the programmer's answer comes
// one frame later. The model delivers the acknowledge and the completion in
// that same frame, so a block costs exactly the two frames of the
// stop-and-wait minimum and any time beyond that is the utility's own.
#pragma once

#include <memory>

#include "emulator/DeviceResponse.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::bench {

struct TLinkTiming {
  int OutMs = 0;  // the write of an output report
  int InMs = 0;   // from the end of the write to the answer
  int BlockMs() const { return OutMs + InMs; }
};

// Zero timing: the emulator answers at once.
emulator::TDeviceResponder ModelledLink(std::shared_ptr<emulator::TProgrammerEmulator> emulator,
                                        TLinkTiming timing);

}  // namespace kvm::bench
