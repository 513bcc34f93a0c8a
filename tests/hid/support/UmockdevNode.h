// One emulated /dev/hidrawN: answers the HID ioctls, takes output reports
// and fails the I/O of a device that has been unplugged. Node names are
// reused by re-plugged devices, as the kernel does; every opened file keeps
// talking to the device that was present when it was opened.
#pragma once

#include <umockdev.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "UmockdevHid.h"

namespace kvm::test {

// One plugged device behind a node.
struct TEmulatedDeviceState {
  TEmulatedHid Emulated;
  TOutputResponder Responder;
  std::atomic<bool> Gone{false};
  int InputFd = -1;  // the emulator's end of the node's report queue, or -1

  std::mutex Lock;
  std::vector<TReport> Written;

  ~TEmulatedDeviceState();
  bool QueueReport(const TReport& report);
};

class TUmockdevNode {
 public:
  TUmockdevNode(UMockdevTestbed* testbed, std::string devNode);
  ~TUmockdevNode();
  TUmockdevNode(const TUmockdevNode&) = delete;
  TUmockdevNode& operator=(const TUmockdevNode&) = delete;

  // The device that files opened from now on talk to.
  void SetDevice(std::shared_ptr<TEmulatedDeviceState> device);

 private:
  static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);

  std::shared_ptr<TEmulatedDeviceState> DeviceOf(UMockdevIoctlClient* client);

  UMockdevIoctlBase* handler_ = nullptr;
  std::string devNode_;
  std::mutex lock_;
  std::shared_ptr<TEmulatedDeviceState> current_;
  std::map<UMockdevIoctlClient*, std::shared_ptr<TEmulatedDeviceState>> clients_;
};

}  // namespace kvm::test
