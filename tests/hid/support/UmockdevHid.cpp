#include "UmockdevHid.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <chrono>
#include <thread>
#include <map>
#include <set>
#include <stdexcept>

#include "UmockdevNode.h"

namespace kvm::test {

namespace {

constexpr int HidrawMajor = 241;
constexpr int ReportQueuePages = 64;

struct PluggedDevice {
  std::shared_ptr<TEmulatedDeviceState> State;
  int Port = 0;
  int Minor = 0;
  std::vector<std::string> SysPaths;  // parents first
};

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (std::uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", byte);
    text += pair;
  }
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void RequireOneLine(const std::string& text) {
  if (text.find('\n') != std::string::npos) throw std::runtime_error("device strings must be one line: " + text);
}

// The device in umockdev's record format, parents first.
std::string Record(const TEmulatedHid& emulated, const PluggedDevice& plugged) {
  RequireOneLine(emulated.Manufacturer);
  RequireOneLine(emulated.Product);
  RequireOneLine(emulated.Serial);
  std::string text;
  const std::string hidName = emulated.Manufacturer + (emulated.Manufacturer.empty() ? "" : " ") + emulated.Product;
  const std::string bus = emulated.OnUsb ? "0003" : "0005";
  if (emulated.OnUsb) {
    text += "P: " + plugged.SysPaths[0] + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    text += "A: idVendor=" + Hex4(emulated.VendorID) + "\nA: idProduct=" + Hex4(emulated.ProductID) + "\n";
    text += "A: bcdDevice=" + Hex4(emulated.Version) + "\n";
    if (!emulated.Manufacturer.empty()) text += "A: manufacturer=" + emulated.Manufacturer + "\n";
    if (!emulated.Product.empty()) text += "A: product=" + emulated.Product + "\n";
    if (!emulated.Serial.empty()) text += "A: serial=" + emulated.Serial + "\n";
    text += "\nP: " + plugged.SysPaths[1] + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n\n";
  }
  const std::string& hidPath = plugged.SysPaths[plugged.SysPaths.size() - 2];
  text += "P: " + hidPath + "\nE: SUBSYSTEM=hid\n";
  text += "E: HID_ID=" + bus + ":0000" + Upper(Hex4(emulated.VendorID)) + ":0000" + Upper(Hex4(emulated.ProductID)) + "\n";
  text += "E: HID_NAME=" + hidName + "\nE: HID_UNIQ=" + emulated.Serial + "\n";
  if (!emulated.ReportDescriptor.empty()) text += "H: report_descriptor=" + HexBytes(emulated.ReportDescriptor) + "\n";
  const std::string name = "hidraw" + std::to_string(plugged.Minor);
  text += "\nP: " + plugged.SysPaths.back() + "\nN: " + name + "=00\nE: SUBSYSTEM=hidraw\n";
  text += "E: DEVNAME=/dev/" + name + "\nE: MAJOR=" + std::to_string(HidrawMajor) +
          "\nE: MINOR=" + std::to_string(plugged.Minor) + "\n";
  text += "A: dev=" + std::to_string(HidrawMajor) + ":" + std::to_string(plugged.Minor) + "\\n\n";
  return text;
}

std::vector<std::string> SysPathsFor(const TEmulatedHid& emulated, int port, int minor) {
  const std::string hidName = Upper(Hex4(emulated.OnUsb ? 3 : 5)) + ":" + Upper(Hex4(emulated.VendorID)) + ":" +
                              Upper(Hex4(emulated.ProductID)) + "." + Upper(Hex4(static_cast<unsigned>(port)));
  std::vector<std::string> paths;
  std::string hid;
  if (emulated.OnUsb) {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(port);
    const std::string interface = usb + "/1-" + std::to_string(port) + ":1.0";
    paths = {usb, interface};
    hid = interface + "/" + hidName;
  } else {
    hid = "/devices/virtual/kvmtest/port" + std::to_string(port) + "/" + hidName;
  }
  paths.push_back(hid);
  paths.push_back(hid + "/hidraw/hidraw" + std::to_string(minor));
  return paths;
}

int LowestFree(const std::set<int>& used, int first) {
  int value = first;
  while (used.count(value) != 0) ++value;
  return value;
}

}  // namespace

struct TUmockdevHid::Impl {
  UMockdevTestbed* Testbed = nullptr;
  std::string Root;
  std::map<int, std::unique_ptr<TUmockdevNode>> Nodes;  // by hidraw number, attached once
  std::map<int, PluggedDevice> Devices;                 // by id, plugged or not
  std::set<int> UsedPorts;
  std::set<int> UsedMinors;
  int NextId = 0;

  PluggedDevice& Find(int id) {
    const auto it = Devices.find(id);
    if (it == Devices.end()) throw std::runtime_error("no emulated device " + std::to_string(id));
    return it->second;
  }

  // Makes the node a packet queue (one read per report, like hidraw), or
  // something that cannot be opened for writing, even by root.
  int ReplaceNode(int minor, bool writable) {
    const std::string path = Root + "/dev/hidraw" + std::to_string(minor);
    ::unlink(path.c_str());
    if (!writable) {
      if (::mkdir(path.c_str(), 0555) != 0) throw std::runtime_error("mkdir " + path + ": " + std::strerror(errno));
      return -1;
    }
    if (::mkfifo(path.c_str(), 0666) != 0) throw std::runtime_error("mkfifo " + path + ": " + std::strerror(errno));
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("open " + path + ": " + std::strerror(errno));
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_DIRECT) != 0) {
      ::close(fd);
      throw std::runtime_error("packet mode on " + path + ": " + std::strerror(errno));
    }
    ::fcntl(fd, F_SETPIPE_SZ, ReportQueuePages * static_cast<int>(sysconf(_SC_PAGESIZE)));
    return fd;
  }
};

bool TUmockdevHid::Available() {
  return dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

TUmockdevHid::TUmockdevHid() : d_(std::make_unique<Impl>()) {
  d_->Testbed = umockdev_testbed_new();
  gchar* root = umockdev_testbed_get_root_dir(d_->Testbed);
  d_->Root = root;
  g_free(root);
}

TUmockdevHid::~TUmockdevHid() {
  g_object_unref(d_->Testbed);
  d_->Nodes.clear();
  d_->Devices.clear();
  std::error_code ignored;
  std::filesystem::remove_all(d_->Root, ignored);
}

int TUmockdevHid::Plug(const TEmulatedHid& device, TOutputResponder responder) {
  PluggedDevice plugged;
  plugged.Port = LowestFree(d_->UsedPorts, 1);
  plugged.Minor = LowestFree(d_->UsedMinors, 0);
  plugged.SysPaths = SysPathsFor(device, plugged.Port, plugged.Minor);
  plugged.State = std::make_shared<TEmulatedDeviceState>();
  plugged.State->Emulated = device;
  plugged.State->Responder = std::move(responder);

  const std::string devNode = "/dev/hidraw" + std::to_string(plugged.Minor);
  auto& node = d_->Nodes[plugged.Minor];
  if (!node) node = std::make_unique<TUmockdevNode>(d_->Testbed, devNode);
  node->SetDevice(plugged.State);

  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(d_->Testbed, Record(device, plugged).c_str(), &error)) {
    const std::string message = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    throw std::runtime_error("add emulated device " + devNode + ": " + message);
  }
  plugged.State->InputFd = d_->ReplaceNode(plugged.Minor, device.Writable);

  d_->UsedPorts.insert(plugged.Port);
  d_->UsedMinors.insert(plugged.Minor);
  const int id = d_->NextId++;
  d_->Devices.emplace(id, std::move(plugged));
  return id;
}

void TUmockdevHid::Unplug(int id) { UnplugSlowly(id, 0); }

void TUmockdevHid::UnplugSlowly(int id, int lingerMs) {
  PluggedDevice& plugged = d_->Find(id);
  if (plugged.State->Gone) return;
  if (lingerMs > 0) ::unlink((d_->Root + "/dev/hidraw" + std::to_string(plugged.Minor)).c_str());
  plugged.State->Gone = true;
  // Wakes readers of files still open; their reads now fail like those of a
  // vanished node.
  if (plugged.State->InputFd >= 0) {
    const std::uint8_t marker = 0;
    [[maybe_unused]] const ssize_t n = ::write(plugged.State->InputFd, &marker, 1);
  }
  for (auto it = plugged.SysPaths.rbegin(); it != plugged.SysPaths.rend(); ++it) {
    umockdev_testbed_uevent(d_->Testbed, ("/sys" + *it).c_str(), "remove");
  }
  // The removal as slow as asked: what a scan meanwhile finds is the point.
  if (lingerMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
  for (auto it = plugged.SysPaths.rbegin(); it != plugged.SysPaths.rend(); ++it) {
    umockdev_testbed_remove_device(d_->Testbed, ("/sys" + *it).c_str());
  }
  d_->UsedPorts.erase(plugged.Port);
  d_->UsedMinors.erase(plugged.Minor);
}

std::string TUmockdevHid::DevNode(int id) const {
  return "/dev/hidraw" + std::to_string(d_->Find(id).Minor);
}

std::string TUmockdevHid::SysPath(int id) const {
  return "/sys" + d_->Find(id).SysPaths.back();
}

bool TUmockdevHid::SendInputReport(int id, const TReport& report) {
  return d_->Find(id).State->QueueReport(report);
}

std::vector<TReport> TUmockdevHid::OutputReports(int id) const {
  TEmulatedDeviceState& state = *d_->Find(id).State;
  std::lock_guard<std::mutex> lock(state.Lock);
  return state.Written;
}

TEmulatedHid TUmockdevHid::Programmer() {
  TEmulatedHid programmer;
  programmer.VendorID = 0x0B39;
  programmer.ProductID = 0xFF03;
  programmer.Version = 0x0123;
  programmer.Manufacturer = "KVM Switch Inc.";
  programmer.Product = "KVM Programmer";
  programmer.Serial = "PRG-0001";
  programmer.ReportDescriptor = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,              // vendor page, application collection
      0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,              // bytes
      0x85, 0x01, 0x95, 0x07, 0x09, 0x01, 0x81, 0x02,        // input report 1: 7 bytes
      0x85, 0x04, 0x95, 0x3F, 0x09, 0x01, 0x91, 0x02,        // output report 4: 63 bytes
      0xC0,
  };
  return programmer;
}

TEmulatedHid TUmockdevHid::Mouse() {
  TEmulatedHid mouse;
  mouse.VendorID = 0x046D;
  mouse.ProductID = 0xC077;
  mouse.Version = 0x7200;
  mouse.Manufacturer = "Logitech";
  mouse.Product = "USB Optical Mouse";
  mouse.ReportDescriptor = {
      0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,  // mouse, pointer
      0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,  // three buttons
      0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x01,
      0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F,  // x, y
      0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0,
  };
  return mouse;
}

}  // namespace kvm::test
