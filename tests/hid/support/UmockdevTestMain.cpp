// Main of test binaries that emulate devices with umockdev: runs the binary
// again under the umockdev preload (which must be in place before anything
// touches /dev or /sys), then offscreen Qt and the tests.
#include <gtest/gtest.h>
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

void RunUnderPreload(char** argv) {
  const char* current = std::getenv("LD_PRELOAD");
  if ((current != nullptr && std::strstr(current, Preload) != nullptr) || std::getenv(ReexecMarker) != nullptr) return;
  // An address sanitizer runtime, if any, must stay first.
  const std::string preload = current != nullptr && *current != '\0' ? std::string(current) + ":" + Preload : Preload;
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
