// Texts of failed reads and writes.
#include <gtest/gtest.h>

#include <cerrno>

#include "protocol/ProgrammerProtocol.h"

namespace kvm::protocol {
namespace {

TEST(FormatIoError, CutsTrailingStopsBlanksAndControlCharacters) {
  EXPECT_EQ(FormatIoError("WRITE ERROR", 5, "Access is denied.\r\n"), "WRITE ERROR: Access is denied (5)");
  EXPECT_EQ(FormatIoError("READ ERROR", 1, "Dots.inside. stay. \t.. "), "READ ERROR: Dots.inside. stay (1)");
  EXPECT_EQ(FormatIoError("READ ERROR", 2, "...\r\n"), "READ ERROR: Unknown error (2)");
}

TEST(FormatIoError, PrintsTheCodeInUpperCaseHexWithoutLeadingZeros) {
  EXPECT_EQ(FormatIoError("WRITE ERROR", 0x1F, "x"), "WRITE ERROR: x (1F)");
  EXPECT_EQ(FormatIoError("WRITE ERROR", 0, "x"), "WRITE ERROR: x (0)");
  EXPECT_EQ(FormatIoError("WRITE ERROR", 0xDEADBEEF, "x"), "WRITE ERROR: x (DEADBEEF)");
  EXPECT_EQ(FormatIoError("WRITE ERROR", 0x000A, "x"), "WRITE ERROR: x (A)");
}

TEST(FormatIoError, UsesTheSystemTextOfTheCode) {
  EXPECT_EQ(FormatIoError("READ ERROR", EIO), "READ ERROR: Input/output error (5)");
  EXPECT_EQ(FormatIoError("WRITE ERROR", ENODEV), "WRITE ERROR: No such device (13)");
  EXPECT_EQ(SystemErrorText(nullptr, EPIPE), "Broken pipe");
}

}  // namespace
}  // namespace kvm::protocol
