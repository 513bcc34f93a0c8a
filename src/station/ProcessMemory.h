// Memory habits of a process that runs all day and starts two short-lived
// threads (a session and its programmer's reader) for every unit.
#pragma once

namespace kvm::station {

// glibc gives each new thread an arena of its own while there are fewer than
// eight per core, and an arena keeps the pages it has touched: resident memory
// would climb with every new peak of units at once, more on bigger machines.
// Units allocate little (log lines, events), so two arenas serve them. Takes
// effect for arenas not yet made: call it before the first unit starts.
void LimitAllocatorArenas();

// Hands pages the allocator holds free back to the system, so that a burst
// of units does not stay resident. Called when the last running unit ends.
void ReleaseFreeMemory();

}  // namespace kvm::station
