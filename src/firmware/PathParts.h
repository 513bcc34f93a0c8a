// The folder and the last name of a path, for the files that are written
// beside the one they replace. Windows paths may use either slash.
#pragma once

#include <string>

namespace kvm::firmware {

#ifdef _WIN32
inline constexpr const char* PathSeparators = "/\\";
#else
inline constexpr const char* PathSeparators = "/";
#endif

// "." for a bare name, the root itself for a name in the root folder.
inline std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of(PathSeparators);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

inline std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of(PathSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kvm::firmware
