// Main of test binaries that emulate devices with umockdev: runs the binary
// again under the umockdev preload (which must be in place before anything
// touches /dev or /sys), then offscreen Qt and the tests.
#include <gtest/gtest.h>
#include <link.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UmockdevHid.h"

namespace {

constexpr const char* Preload = "libumockdev-preload.so.0";
// Set before the re-execution, so that a preload that fails to load cannot
// lead to an endless chain of them.
constexpr const char* ReexecMarker = "KVM_UMOCKDEV_REEXEC";

// The path of the AddressSanitizer runtime when this binary loaded it as a
// shared library (empty otherwise). It refuses to run unless it comes first
// in the list of preloaded libraries.
std::string AsanRuntime() {
  std::string path;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* found) {
        const char* name = info->dlpi_name;
        if (name == nullptr || std::strstr(name, "/libasan.so") == nullptr) return 0;
        *static_cast<std::string*>(found) = name;
        return 1;
      },
      &path);
  return path;
}

void RunUnderPreload(char** argv) {
  const char* current = std::getenv("LD_PRELOAD");
  if ((current != nullptr && std::strstr(current, Preload) != nullptr) || std::getenv(ReexecMarker) != nullptr) return;
  // A sanitizer runtime, if any, must stay first.
  std::string preload = current != nullptr && *current != '\0' ? std::string(current) + ":" + Preload : Preload;
  const std::string asan = AsanRuntime();
  if (!asan.empty() && (current == nullptr || std::strstr(current, "libasan.so") == nullptr))
    preload = asan + ":" + preload;
  setenv("LD_PRELOAD", preload.c_str(), 1);
  setenv(ReexecMarker, "1", 1);
  execv("/proc/self/exe", argv);
  std::fprintf(stderr, "cannot run %s again under %s: %s\n", argv[0], Preload, std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
  RunUnderPreload(argv);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
