// Recording why a file operation failed, for LastImageErrorDetail().
#pragma once

#include <string>

namespace kvm::firmware::detail {

void ClearErrorDetail();
// Records "<action> <path>: <system reason for err>" and returns result.
int FailWithErrno(int result, const std::string& action, const std::string& path, int err);
// Records text as it stands and returns result.
int FailWithText(int result, std::string text);

}  // namespace kvm::firmware::detail
