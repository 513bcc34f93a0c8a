#include "UmockdevNode.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kvm::test {

namespace {

// Copies `bytes` into the client's buffer at the ioctl argument.
bool ReturnBytes(UMockdevIoctlClient* client, std::size_t room, const void* bytes, std::size_t length) {
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, room, &error);
  if (data == nullptr) {
    g_clear_error(&error);
    return false;
  }
  std::memcpy(data->data, bytes, std::min(room, length));
  return true;
}

void Complete(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

std::string DeviceText(const TEmulatedHid& emulated, unsigned nr) {
  if (nr == _IOC_NR(HIDIOCGRAWNAME(0))) return emulated.Manufacturer + (emulated.Manufacturer.empty() ? "" : " ") + emulated.Product;
  if (nr == _IOC_NR(HIDIOCGRAWUNIQ(0))) return emulated.Serial;
  return "usb-kvmtest/input0";  // HIDIOCGRAWPHYS
}

}  // namespace

TEmulatedDeviceState::~TEmulatedDeviceState() {
  if (InputFd >= 0) ::close(InputFd);
}

bool TEmulatedDeviceState::QueueReport(const TReport& report) {
  // The node keeps packet boundaries, so one write is one report.
  return InputFd >= 0 && !Gone && ::write(InputFd, report.data(), report.size()) == static_cast<ssize_t>(report.size());
}

TUmockdevNode::TUmockdevNode(UMockdevTestbed* testbed, std::string devNode) : devNode_(std::move(devNode)) {
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "client-connected", G_CALLBACK(OnConnected), this);
  g_signal_connect(handler_, "client-vanished", G_CALLBACK(OnVanished), this);
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(OnIoctl), this);
  g_signal_connect(handler_, "handle-read", G_CALLBACK(OnRead), this);
  g_signal_connect(handler_, "handle-write", G_CALLBACK(OnWrite), this);
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(testbed, devNode_.c_str(), handler_, &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    g_object_unref(handler_);
    throw std::runtime_error("attach ioctl emulation to " + devNode_ + ": " + message);
  }
}

TUmockdevNode::~TUmockdevNode() {
  g_signal_handlers_disconnect_by_data(handler_, this);
  g_object_unref(handler_);
}

void TUmockdevNode::SetDevice(std::shared_ptr<TEmulatedDeviceState> device) {
  std::lock_guard<std::mutex> lock(lock_);
  current_ = std::move(device);
}

std::shared_ptr<TEmulatedDeviceState> TUmockdevNode::DeviceOf(UMockdevIoctlClient* client) {
  std::lock_guard<std::mutex> lock(lock_);
  auto it = clients_.find(client);
  if (it == clients_.end()) it = clients_.emplace(client, current_).first;
  return it->second;
}

void TUmockdevNode::OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<TUmockdevNode*>(self)->DeviceOf(client);
}

void TUmockdevNode::OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  auto* node = static_cast<TUmockdevNode*>(self);
  std::lock_guard<std::mutex> lock(node->lock_);
  node->clients_.erase(client);
}

gboolean TUmockdevNode::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  const auto device = static_cast<TUmockdevNode*>(self)->DeviceOf(client);
  if (!device || device->Gone) {
    Complete(client, -1, ENODEV);
    return TRUE;
  }
  const TEmulatedHid& emulated = device->Emulated;
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  if (request == HIDIOCGRAWINFO) {
    hidraw_devinfo info{};
    info.bustype = emulated.OnUsb ? 0x03 : 0x05;
    info.vendor = static_cast<__s16>(emulated.VendorID);
    info.product = static_cast<__s16>(emulated.ProductID);
    Complete(client, ReturnBytes(client, sizeof info, &info, sizeof info) ? 0 : -1, 0);
  } else if (request == HIDIOCGRDESCSIZE) {
    const int size = static_cast<int>(emulated.ReportDescriptor.size());
    Complete(client, ReturnBytes(client, sizeof size, &size, sizeof size) ? 0 : -1, 0);
  } else if (request == HIDIOCGRDESC) {
    hidraw_report_descriptor descriptor{};
    GError* error = nullptr;
    UMockdevIoctlData* data =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof descriptor, &error);
    g_clear_error(&error);
    if (data == nullptr) {
      Complete(client, -1, EFAULT);
      return TRUE;
    }
    auto* asked = reinterpret_cast<hidraw_report_descriptor*>(data->data);
    const std::size_t size = std::min<std::size_t>(asked->size, emulated.ReportDescriptor.size());
    std::memcpy(asked->value, emulated.ReportDescriptor.data(), size);
    Complete(client, 0, 0);
  } else if (_IOC_TYPE(request) == 'H' && _IOC_DIR(request) == _IOC_READ &&
             (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0)) || _IOC_NR(request) == _IOC_NR(HIDIOCGRAWUNIQ(0)) ||
              _IOC_NR(request) == _IOC_NR(HIDIOCGRAWPHYS(0)))) {
    const std::string text = DeviceText(emulated, _IOC_NR(request));
    const std::size_t room = _IOC_SIZE(request);
    std::string answer = text.substr(0, room > 0 ? room - 1 : 0);
    answer.push_back('\0');
    const bool ok = room > 0 && ReturnBytes(client, room, answer.c_str(), answer.size());
    Complete(client, ok ? static_cast<long>(answer.size()) : -1, ok ? 0 : EFAULT);
  } else {
    Complete(client, -1, ENOTTY);
  }
  return TRUE;
}

gboolean TUmockdevNode::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  const auto device = static_cast<TUmockdevNode*>(self)->DeviceOf(client);
  if (device && !device->Gone) return FALSE;  // read the queued report from the node itself
  Complete(client, -1, EIO);
  return TRUE;
}

gboolean TUmockdevNode::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  const auto device = static_cast<TUmockdevNode*>(self)->DeviceOf(client);
  if (!device || device->Gone) {
    Complete(client, -1, ENODEV);
    return TRUE;
  }
  UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
  const TReport report(data->data, data->data + data->data_len);
  {
    std::lock_guard<std::mutex> lock(device->Lock);
    device->Written.push_back(report);
  }
  if (device->Responder) {
    for (const TReport& reply : device->Responder(report.data(), report.size())) device->QueueReport(reply);
  }
  Complete(client, static_cast<long>(report.size()), 0);
  return TRUE;
}

}  // namespace kvm::test
