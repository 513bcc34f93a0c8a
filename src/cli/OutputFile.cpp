#include "cli/OutputFile.h"

#include "cli/OutputRefusal.h"
#include "firmware/PathParts.h"
#include "firmware/ReplaceFile.h"

namespace kvm::cli {

bool WriteOutputFile(const std::string& output, const std::string& input, const std::vector<std::uint8_t>& data,
                     std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = "write " + output + ": " + what + "; nothing was written";
    return false;
  };
  if (output.empty()) {
    error = "the output file name is empty";
    return false;
  }
  const std::string name = firmware::NameOf(output);
  if (name.empty() || name == "." || name == "..") return fail("not a file name (it names a folder)");
  if (const std::string refusal = OutputRefusal(output, input); !refusal.empty()) return fail(refusal);

  std::string failed;
  if (!firmware::ReplaceFileContent(output, data.data(), data.size(), firmware::TNewFileMode::LikeTheOld, failed))
    return fail(failed);
  return true;
}

}  // namespace kvm::cli
