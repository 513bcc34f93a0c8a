// The programmer emulator behind an emulated hidraw node.
#pragma once

#include <memory>

#include "UmockdevHid.h"
#include "emulator/ProgrammerEmulator.h"

namespace kvm::test {

// Answers the node's output reports with the emulator. The emulator's timing
// (slow writes, delayed replies) is served before the write completes, on the
// emulation's own thread, as a slow device would: the writer waits, the
// replies then arrive together.
TOutputResponder ServeEmulator(std::shared_ptr<emulator::TProgrammerEmulator> emulator);

}  // namespace kvm::test
