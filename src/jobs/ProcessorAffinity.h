// Keeps a session's threads together on one processor. Its reader hands
// each report over to the session's thread and waits for the handler to
// return, so the two wake each other twice a block: on one processor such a
// wake-up is a switch, across two it must wake the other processor, which
// costs the more the idler that processor was. Sessions take the processors
// in turn, so that many of them still spread over all.
#pragma once

namespace kvm::jobs {

// Binds the calling thread, and every thread it starts from now on (they
// inherit it), to the next of the processors this process may run on.
// Returns that processor; -1 when it left the thread as it was: a single
// processor allowed, or a system without the call (then nothing is lost but
// the saving).
int KeepOnNextProcessor();

}  // namespace kvm::jobs
