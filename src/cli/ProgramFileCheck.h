// The checks a job makes of its file, made by `program` before it waits for a
// programmer, so that a refused file ends the run before anything is sent.
#pragma once

#include <string>

#include "core/JobView.h"

namespace kvm::cli {

// Empty when a job would program the file; otherwise one line naming the file
// and what is wrong with it. `asPlain` allows a plain image whose header the
// target would take for a container's.
std::string ProgramFileRefusal(TTarget target, const std::string& path, bool asPlain);

// The advice for a plain image that starts with a container header the target
// accepts: rename it, or program it byte for byte with --as-plain.
std::string ContainerLookalikeAdvice(TTarget target, const std::string& path);

}  // namespace kvm::cli
