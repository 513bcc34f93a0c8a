#include "hid/platform/sim/SimDeviceInfo.h"

#include <algorithm>

namespace kvm::hid::platform {

namespace {

TSimDeviceInfo Make(std::uint16_t vendor, std::uint16_t product, std::vector<std::uint8_t> descriptor,
                    std::u16string manufacturer, std::u16string productName, std::u16string serial,
                    TSimAccess access) {
  TSimDeviceInfo info;
  info.Attributes.VendorID = vendor;
  info.Attributes.ProductID = product;
  info.Attributes.VersionNumber = 0x0100;
  info.ReportDescriptor = std::move(descriptor);
  info.Manufacturer = std::move(manufacturer);
  info.Product = std::move(productName);
  info.SerialNumber = std::move(serial);
  info.Access = access;
  return info;
}

}  // namespace

std::vector<std::uint8_t> VendorDescriptor(std::uint8_t inputId, std::uint8_t inputBytes, std::uint8_t outputId,
                                           std::uint8_t outputBytes) {
  return {
      0x06, 0x00, 0xFF,        // Usage Page (Vendor 0xFF00)
      0x09, 0x01,              // Usage (1)
      0xA1, 0x01,              // Collection (Application)
      0x15, 0x00,              //   Logical Minimum (0)
      0x26, 0xFF, 0x00,        //   Logical Maximum (255)
      0x75, 0x08,              //   Report Size (8)
      0x85, inputId,           //   Report ID
      0x09, 0x02,              //   Usage (2)
      0x95, inputBytes,        //   Report Count
      0x81, 0x02,              //   Input (Data, Variable, Absolute)
      0x85, outputId,          //   Report ID
      0x09, 0x03,              //   Usage (3)
      0x95, outputBytes,       //   Report Count
      0x91, 0x02,              //   Output (Data, Variable, Absolute)
      0xC0,                    // End Collection
  };
}

TSimDeviceInfo SimProgrammer() { return SimProgrammerWithInputLength(8); }

TSimDeviceInfo SimProgrammerWithInputLength(std::uint16_t inputReportByteLength) {
  // The report count is a one-byte item here: 1 to 255 data bytes.
  const auto dataBytes = static_cast<std::uint8_t>(std::clamp<int>(inputReportByteLength - 1, 1, 255));
  return Make(0x0B39, 0xFF03, VendorDescriptor(0x01, dataBytes, 0x04, 63), u"KVM Corp", u"KVM Programmer",
              u"KP000001", TSimAccess::ReadWrite);
}

TSimDeviceInfo SimOtherProduct() {
  return Make(0x0B39, 0xFF02, VendorDescriptor(0x01, 7, 0x04, 63), u"KVM Corp", u"KVM Switch", u"KS000001",
              TSimAccess::ReadWrite);
}

TSimDeviceInfo SimBootKeyboard() {
  // The standard HID boot keyboard: 8-byte input, 1-byte LED output.
  std::vector<std::uint8_t> descriptor = {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
      0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
      0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
      0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
  };
  return Make(0x046D, 0xC31C, std::move(descriptor), u"Logitech", u"USB Keyboard", u"", TSimAccess::QueryOnly);
}

TSimDeviceInfo SimMouse() {
  // The standard HID boot mouse: three buttons, X and Y.
  std::vector<std::uint8_t> descriptor = {
      0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
      0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x01,
      0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06,
      0xC0, 0xC0,
  };
  return Make(0x046D, 0xC077, std::move(descriptor), u"Logitech", u"USB Optical Mouse", u"", TSimAccess::QueryOnly);
}

}  // namespace kvm::hid::platform
