// What no implementation of the reader hand-over can go below on this
// machine: a thread that hands steps to the user-interface thread and waits
// for each, while that thread sleeps in its event loop between them.
#pragma once

namespace kvm::bench {

// Microseconds per blocking hand-over, over `count` of them.
double HandOverMicroseconds(int count);

}  // namespace kvm::bench
