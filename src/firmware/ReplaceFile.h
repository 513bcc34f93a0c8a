// Writing a file whole, so that readers never see half of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvm::firmware::detail {

// Makes data the whole content of path, with mode 0600. The bytes go to a new
// file beside it, created exclusively, which is then renamed over path: a link
// planted at path is replaced rather than followed, and a failed write leaves
// neither a partial file nor a changed path. ImageOk or FileUnwritable.
int ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace kvm::firmware::detail
