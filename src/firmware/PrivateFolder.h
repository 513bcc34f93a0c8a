// The user's private folder that holds the intermediate file.
#pragma once

#include <string>

namespace kvm::firmware::detail {

// kvmflash under $XDG_RUNTIME_DIR when that is a private folder of this user,
// else kvmflash-<uid> under $TMPDIR (or /tmp). Only computes the path.
std::string IntermediateFolder();

// Creates folder with mode 0700 when missing, then makes sure it is a real
// folder (not a link), owned by this user and closed to everyone else.
// ImageOk or FileUnwritable with the reason recorded.
int PreparePrivateFolder(const std::string& folder);

}  // namespace kvm::firmware::detail
