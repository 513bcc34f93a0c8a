// Everything the window shows about the programmer: the narrow status sink
// that the protocol, the link and the jobs report through, and the window's
// own layout operations.
#pragma once

#include "core/WindowControls.h"
#include "core/StatusSink.h"

namespace kvm {

class IStatusOps : public IStatusSink, public IWindowControls {};

}  // namespace kvm
