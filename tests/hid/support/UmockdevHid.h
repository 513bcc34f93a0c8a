// Emulated hidraw devices for tests of the real Linux back end.
//
// A TUmockdevHid is an umockdev testbed: every libudev call, every open of
// /dev/hidrawN and every ioctl, read and write on it in this process go to
// the emulation. Create it before anything that creates a udev context or a
// udev monitor (the platform, the controller). The test binary must run under
// the umockdev preload: link kvm_test_umockdev, whose main() re-executes the
// binary with it (kvm_add_umockdev_test does that).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvm::test {

using TReport = std::vector<std::uint8_t>;

// Gets each output report written to the node (report ID first) and returns
// the input reports to queue in reply. Runs on umockdev's worker thread.
using TOutputResponder = std::function<std::vector<TReport>(const std::uint8_t* report, std::size_t length)>;

struct TEmulatedHid {
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t Version = 0;  // the USB device's bcdDevice
  std::string Manufacturer;   // empty: the attribute is missing
  std::string Product;
  std::string Serial;
  std::vector<std::uint8_t> ReportDescriptor;
  bool OnUsb = true;          // false: a HID device without a USB parent
  bool Writable = true;       // false: the node cannot be opened for writing
};

class TUmockdevHid {
 public:
  // Whether this process runs under the umockdev preload.
  static bool Available();

  TUmockdevHid();
  ~TUmockdevHid();
  TUmockdevHid(const TUmockdevHid&) = delete;
  TUmockdevHid& operator=(const TUmockdevHid&) = delete;

  // Adds a device (parents first) on the lowest free USB port and hidraw
  // number, with an add notice; returns its id. Throws std::runtime_error.
  int Plug(const TEmulatedHid& device, TOutputResponder responder = {});
  // Sends the remove notices (child first) and removes the device; open
  // nodes fail from then on like those of a vanished device.
  void Unplug(int id);
  // As a kernel removes a device: its node goes first, then the remove
  // notices come, and its sysfs entries are gone only `lingerMs` later, so
  // that a scan in between still lists it.
  void UnplugSlowly(int id, int lingerMs);

  std::string DevNode(int id) const;
  std::string SysPath(int id) const;

  // Queues an input report as if the device had sent it.
  bool SendInputReport(int id, const TReport& report);
  // The output reports the device has received so far.
  std::vector<TReport> OutputReports(int id) const;

  // The vendor-page programmer (input ID 1 of 7 bytes, output ID 4 of 63).
  static TEmulatedHid Programmer();
  // A boot mouse without report IDs.
  static TEmulatedHid Mouse();

  struct Impl;

 private:
  std::unique_ptr<Impl> d_;
};

}  // namespace kvm::test
