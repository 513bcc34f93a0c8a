// The floor under the block figure: one input report handed from the
// programmer's reader thread to the user-interface thread exactly as in a
// job (the same reader, the same hand-over, the user-interface thread waiting
// in the same message pump as a command's wait), with nothing else around it.
#pragma once

namespace kvm::bench {

class TBenchRig;

// Microseconds per hand-over, over `count` of them, on a connected rig that
// runs no job; a negative value when a report was not delivered within 1 s.
double HandOverMicroseconds(TBenchRig& rig, int count);

}  // namespace kvm::bench
