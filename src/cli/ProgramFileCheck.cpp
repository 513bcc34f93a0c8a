#include "cli/ProgramFileCheck.h"

#include "firmware/ContainerLookalike.h"
#include "firmware/FileExamination.h"

namespace kvm::cli {

std::string ContainerLookalikeAdvice(TTarget target, const std::string& path) {
  return path + " starts with a header the " + std::string(TargetName(target)) +
         " target accepts as a scrambled container's, but its name makes it a plain image, which is programmed "
         "byte for byte, still scrambled. Rename it to end in " +
         firmware::ContainerEndingFor(TargetCode(target), path) +
         " (lower case) to have it unscrambled, or give --as-plain to program it byte for byte.";
}

std::string ProgramFileRefusal(TTarget target, const std::string& path, bool asPlain) {
  const firmware::TFileExamination file = firmware::Examine(TargetCode(target), path);
  if (!file.Accepted()) return file.Reason;
  if (!asPlain && file.Lookalike) return ContainerLookalikeAdvice(target, path);
  return {};
}

}  // namespace kvm::cli
