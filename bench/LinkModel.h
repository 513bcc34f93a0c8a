// The programmer emulator behind a modelled full-speed USB link.
//
// A full-speed HID endpoint moves one packet per 1 ms frame each way: the
// write of an output report takes one frame and the programmer's answer comes
// one frame later. The model delivers the acknowledge and the completion in
// that same frame, so a block costs exactly the two frames of the
// stop-and-wait minimum and any time beyond that is the utility's own.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "hid/platform/sim/SimResponder.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::bench {

enum class TLinkClock {
  // Delays counted from each event: the write takes OutMs from its start,
  // the answer comes InMs after the write. Every late wake-up, of the
  // utility's threads or of the model's own timers, adds to the total.
  PerEvent,
  // The bus's frame clock: a write ends at the next 1 ms frame boundary and
  // the answer comes InMs after that, as the host controller schedules
  // interrupt transfers. A utility that turns an answer round within the
  // rest of its frame loses nothing.
  Frames,
};

struct TLinkTiming {
  int OutMs = 0;  // the write of an output report
  int InMs = 0;   // from the end of the write to the answer
  TLinkClock Clock = TLinkClock::PerEvent;
  int BlockMs() const { return OutMs + InMs; }
};

// What the link saw: for every write after the first, the time from the
// previous answer becoming readable to the start of the write (the utility's
// turnaround: reader wake-up, hand-overs, the job's own work).
struct TLinkTrace {
  std::vector<double> TurnaroundUs;
  std::chrono::steady_clock::time_point LastAnswer{};
};

// The first 1 ms frame boundary after `now` (a point on a boundary is the
// start of its frame), plus `extraFrames` whole frames.
std::chrono::steady_clock::time_point FrameBoundaryAfter(std::chrono::steady_clock::time_point now, int extraFrames);

// Zero timing: the emulator answers at once. `trace` may be null.
emulator::TDeviceResponder ModelledLink(std::shared_ptr<emulator::TProgrammerEmulator> emulator,
                                        TLinkTiming timing, std::shared_ptr<TLinkTrace> trace = nullptr);

}  // namespace kvm::bench
