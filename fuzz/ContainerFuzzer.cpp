// Any bytes as a firmware file, under each name kind and target: the
// container check and unscrambling, the file measures and `kvmflash-cli info`
// must either describe the file correctly or refuse it with a reason; never
// crash, leak, over-read or leave a half-written output behind.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "core/Target.h"
#include "firmware/ContainerHeader.h"
#include "firmware/FileExamination.h"
#include "firmware/FirmwareImage.h"

namespace {

namespace firmware = kvm::firmware;
using kvm::TTarget;

std::string folder;

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The payload as the format defines it, byte by byte in closed form.
std::vector<std::uint8_t> ClosedForm(const std::vector<std::uint8_t>& container) {
  const int k0 = container[2] & 0x0F;
  const std::uint8_t key = container[4 + k0];
  std::vector<std::uint8_t> payload(container.begin() + 16, container.end());
  for (std::size_t n = 0; n < payload.size(); ++n)
    payload[n] = static_cast<std::uint8_t>(payload[n] ^ key ^ ((k0 + 7 * (n + 1)) & 0xFF));
  return payload;
}

int RunInfo(const std::string& path, TTarget target, bool json) {
  CLI::App app;
  kvm::cli::TCommandAction action;
  kvm::cli::AddInfoCommand(app, action);
  std::vector<const char*> argv{"kvmflash-cli", "info", path.c_str(), "--target",
                                target == TTarget::Osd ? "osd" : "usb-host"};
  if (json) argv.push_back("--json");
  app.parse(static_cast<int>(argv.size()), argv.data());
  if (!action) std::abort();
  const int status = action();
  std::fflush(stdout);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/kvmflash-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  folder = pattern;
  std::atexit([] { std::filesystem::remove_all(folder); });
  // The info command prints its report; only the verdicts matter here.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const extensions[] = {".usb", ".osd", ".28", ".bin"};
  const std::uint8_t choice = data[0];
  const std::string path = folder + "/fw" + extensions[choice & 3];
  const TTarget target = (choice & 4) != 0 ? TTarget::Osd : TTarget::UsbHost;
  const bool json = (choice & 8) != 0;
  const std::vector<std::uint8_t> content(data + 1, data + size);
  WriteFile(path, content.data(), content.size());
  const std::int64_t length = static_cast<std::int64_t>(content.size());

  // The file measures.
  unsigned sum = 0;
  for (const std::uint8_t byte : content) sum = (sum + byte) & 0xFFFF;
  if (firmware::FileCheckSum(path) != static_cast<int>(sum)) std::abort();

  // Unscrambling: the closed form exactly, or a refusal that writes nothing.
  const std::string output = folder + "/payload";
  std::filesystem::remove(output);
  const int result = firmware::UnscrambleContainerTo(kvm::TargetCode(target), path, output);
  if (result == firmware::ImageOk) {
    if (length <= 16 || ReadFile(output) != ClosedForm(content)) std::abort();
  } else {
    if (std::filesystem::exists(output) || firmware::ImageResultText(result).empty()) std::abort();
    // A file its name makes a container is refused with a reason; under a
    // plain name the same bytes are an image, which the job would send as it is.
    const firmware::TFileExamination examined = firmware::Examine(kvm::TargetCode(target), path);
    if (examined.Container && examined.Reason.empty()) std::abort();
  }

  // Scrambling the payload again with the container's own key gives its payload bytes back.
  if (result == firmware::ImageOk) {
    firmware::TScrambleKey key;
    key.ChipType = content[0] << 8 | content[1];
    key.KeyOffset = content[2] & 0x0F;
    key.StepLength = content[3] & 0x0F;
    key.KeyByte = content[4 + key.KeyOffset];
    const std::vector<std::uint8_t> rebuilt = firmware::BuildContainer(ReadFile(output), key);
    if (!std::equal(rebuilt.begin() + 16, rebuilt.end(), content.begin() + 16, content.end())) std::abort();
  }

  // info accepts exactly what a job would program.
  const int status = RunInfo(path, target, json);
  const bool container = firmware::IsContainerName(path);
  const bool accepted = container ? result == firmware::ImageOk : firmware::CheckImageLength(length) == firmware::ImageOk;
  if (status != (accepted ? 0 : 1)) std::abort();
  return 0;
}
