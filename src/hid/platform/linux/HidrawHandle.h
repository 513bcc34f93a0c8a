// An open hidraw node: identity, descriptor and strings from sysfs (readable
// without access to the node, ioctls as the fallback), reports through the
// node itself.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "hid/platform/HidPlatform.h"

namespace kvm::hid::platform::linux_hid {

// Where udev placed the node and its parents.
struct THidrawNodeInfo {
  std::string DevNode;
  std::string HidSysPath;  // the hid device; empty when unknown
  std::string UsbSysPath;  // the usb_device; empty for other buses
  std::string HidId;       // HID_ID, "bus:vendor:product" in hex
  std::string HidName;     // HID_NAME
  std::string HidUniq;     // HID_UNIQ
};

class THidrawHandle final : public THidHandle {
 public:
  // `fd` may be -1 for a query-only handle; `cancelFd` is an eventfd for
  // read handles and -1 otherwise. The handle owns both.
  THidrawHandle(THidrawNodeInfo info, int fd, int cancelFd, bool writable);
  ~THidrawHandle() override;

  bool GetAttributes(THidAttributes& attributes) override;
  std::unique_ptr<TPreparsedData> GetPreparsedData() override;
  bool GetManufacturerString(std::u16string& text) override;
  bool GetProductString(std::u16string& text) override;
  bool GetSerialNumberString(std::u16string& text) override;
  bool GetNumInputBuffers(std::uint32_t& count) override;
  bool SetNumInputBuffers(std::uint32_t count) override;
  bool Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) override;
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                   std::uint32_t& error) override;
  void Cancel() override;
  // The node itself, for read handles.
  int ReadyFd() override { return cancelFd_ >= 0 ? fd_ : -1; }

  // The process's hold on the node, kept as long as this handle is open.
  void KeepHold(std::shared_ptr<void> hold) { hold_ = std::move(hold); }

  // Reads the descriptor once to learn whether reports carry their ID.
  void LearnReportNumbering();

 private:
  bool RawString(unsigned long request, std::u16string& text);

  THidrawNodeInfo info_;
  int fd_;
  int cancelFd_;
  bool writable_;
  std::atomic<bool> cancelled_{false};
  bool prefixReportId_ = false;
  std::shared_ptr<void> hold_;
};

}  // namespace kvm::hid::platform::linux_hid
