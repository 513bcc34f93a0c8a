// Which file names are containers.
#include <gtest/gtest.h>

#include "firmware/FirmwareImage.h"

namespace kvm::firmware {
namespace {

TEST(FileNames, ExtensionIsTakenFromTheNameOnly) {
  EXPECT_EQ(FileExtension("/home/op/kvm.usb"), ".usb");
  EXPECT_EQ(FileExtension("kvm.fw.osd"), ".osd");
  EXPECT_EQ(FileExtension("/home/op/fw.d/kvm"), "");
  EXPECT_EQ(FileExtension("C:\\fw.28\\kvm"), "");
  EXPECT_EQ(FileExtension("C:\\fw\\kvm.28"), ".28");
  EXPECT_EQ(FileExtension("A:kvm.usb"), ".usb");
  EXPECT_EQ(FileExtension("fw.usb:kvm"), "");
  EXPECT_EQ(FileExtension("/fw/kvm."), ".");
  EXPECT_EQ(FileExtension("/fw.usb/"), "");
  EXPECT_EQ(FileExtension(""), "");
}

TEST(FileNames, OnlyTheThreeExactExtensionsAreContainers) {
  for (const char* name : {"kvm.28", "/a/b/kvm.usb", "C:\\fw\\kvm.osd", "x.y.usb", ".usb"})
    EXPECT_TRUE(IsContainerName(name)) << name;
  for (const char* name : {"kvm.USB", "kvm.OSD", "kvm.Usb", "kvm.bin", "kvm.hex", "kvm.56", "kvm.300",
                           "kvm.usb.bak", "kvm.usb ", "kvm28", "usb", "/fw.usb/kvm", "C:\\fw.osd\\kvm",
                           "/fw/kvm.2", "/fw/kvm.280"})
    EXPECT_FALSE(IsContainerName(name)) << name;
}

}  // namespace
}  // namespace kvm::firmware
