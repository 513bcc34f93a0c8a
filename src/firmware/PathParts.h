// The folder and the last name of a slash-separated path, for the files that
// are written beside the one they replace.
#pragma once

#include <string>

namespace kvm::firmware {

// "." for a bare name, "/" for a name in the root folder.
inline std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

inline std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kvm::firmware
