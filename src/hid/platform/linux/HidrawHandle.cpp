#include "hid/platform/linux/HidrawHandle.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "hid/platform/ReportDescriptor.h"
#include "hid/platform/linux/SysfsText.h"

namespace kvm::hid::platform::linux_hid {

namespace {

// The kernel keeps this many input reports per open node; it cannot be changed.
constexpr std::uint32_t HidrawReportQueue = 64;

bool NonEmptyAttribute(const std::string& directory, const char* name, std::u16string& text) {
  const auto value = ReadAttribute(directory, name);
  if (!value || value->empty()) return false;
  text = Utf8ToUtf16(*value);
  return true;
}

bool NonEmptyText(const std::string& value, std::u16string& text) {
  if (value.empty()) return false;
  text = Utf8ToUtf16(value);
  return true;
}

}  // namespace

THidrawHandle::THidrawHandle(THidrawNodeInfo info, int fd, int cancelFd, bool writable)
    : info_(std::move(info)), fd_(fd), cancelFd_(cancelFd), writable_(writable) {}

THidrawHandle::~THidrawHandle() {
  if (fd_ >= 0) ::close(fd_);
  if (cancelFd_ >= 0) ::close(cancelFd_);
}

bool THidrawHandle::GetAttributes(THidAttributes& attributes) {
  unsigned bus = 0, vendor = 0, product = 0;
  if (!info_.HidId.empty() && std::sscanf(info_.HidId.c_str(), "%x:%x:%x", &bus, &vendor, &product) == 3) {
    attributes.VendorID = static_cast<std::uint16_t>(vendor);
    attributes.ProductID = static_cast<std::uint16_t>(product);
  } else {
    hidraw_devinfo devinfo{};
    if (fd_ < 0 || ::ioctl(fd_, HIDIOCGRAWINFO, &devinfo) < 0) return false;
    attributes.VendorID = static_cast<std::uint16_t>(devinfo.vendor);
    attributes.ProductID = static_cast<std::uint16_t>(devinfo.product);
  }
  attributes.VersionNumber = 0;
  if (const auto bcd = ReadAttribute(info_.UsbSysPath, "bcdDevice")) {
    attributes.VersionNumber = static_cast<std::uint16_t>(std::strtoul(bcd->c_str(), nullptr, 16));
  }
  return true;
}

std::unique_ptr<TPreparsedData> THidrawHandle::GetPreparsedData() {
  std::vector<std::uint8_t> descriptor;
  if (!info_.HidSysPath.empty()) {
    if (auto bytes = ReadFileBytes(info_.HidSysPath + "/report_descriptor", HID_MAX_DESCRIPTOR_SIZE)) {
      descriptor = std::move(*bytes);
    }
  }
  if (descriptor.empty() && fd_ >= 0) {
    int size = 0;
    hidraw_report_descriptor raw{};
    if (::ioctl(fd_, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 && size <= HID_MAX_DESCRIPTOR_SIZE) {
      raw.size = static_cast<__u32>(size);
      if (::ioctl(fd_, HIDIOCGRDESC, &raw) == 0) descriptor.assign(raw.value, raw.value + size);
    }
  }
  if (descriptor.empty()) return nullptr;
  return std::make_unique<TDescriptorData>(std::move(descriptor));
}

bool THidrawHandle::GetManufacturerString(std::u16string& text) {
  return NonEmptyAttribute(info_.UsbSysPath, "manufacturer", text);
}

bool THidrawHandle::GetProductString(std::u16string& text) {
  return NonEmptyAttribute(info_.UsbSysPath, "product", text) || NonEmptyText(info_.HidName, text) ||
         RawString(HIDIOCGRAWNAME(256), text);
}

bool THidrawHandle::GetSerialNumberString(std::u16string& text) {
  return NonEmptyAttribute(info_.UsbSysPath, "serial", text) || NonEmptyText(info_.HidUniq, text) ||
         RawString(HIDIOCGRAWUNIQ(256), text);
}

bool THidrawHandle::RawString(unsigned long request, std::u16string& text) {
  if (fd_ < 0) return false;
  char buffer[256] = {};
  const int n = ::ioctl(fd_, request, buffer);
  if (n <= 0) return false;
  buffer[sizeof buffer - 1] = '\0';
  return NonEmptyText(buffer, text);
}

bool THidrawHandle::GetNumInputBuffers(std::uint32_t& count) {
  count = HidrawReportQueue;
  return true;
}

bool THidrawHandle::SetNumInputBuffers(std::uint32_t count) {
  return count == HidrawReportQueue;
}

bool THidrawHandle::Write(const std::uint8_t* buffer, std::size_t count, std::size_t& written, std::uint32_t& error) {
  written = 0;
  if (fd_ < 0 || !writable_) {
    error = EBADF;
    return false;
  }
  ssize_t n;
  do {
    n = ::write(fd_, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error = static_cast<std::uint32_t>(errno);
    return false;
  }
  written = static_cast<std::size_t>(n);
  return true;
}

TReadStatus THidrawHandle::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                                std::uint32_t& error) {
  got = 0;
  if (cancelled_ || fd_ < 0) return TReadStatus::Gone;
  pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
  const int ready = ::poll(fds, cancelFd_ >= 0 ? 2 : 1, timeoutMs);
  if (ready < 0) {
    if (errno == EINTR) return TReadStatus::Timeout;
    error = static_cast<std::uint32_t>(errno);
    return TReadStatus::Error;
  }
  if (cancelled_ || (cancelFd_ >= 0 && fds[1].revents != 0)) return TReadStatus::Gone;
  if (ready == 0) return TReadStatus::Timeout;
  if ((fds[0].revents & POLLIN) == 0) return TReadStatus::Gone;  // hang-up or error without data
  // One read gives one report; a short buffer drops the rest of it. A
  // zero-length read would leave the report queued and wake poll for ever.
  // Reports of devices without report IDs come without the ID byte: put
  // the 0 there, so that every report starts with its ID.
  const std::size_t skip = prefixReportId_ && capacity > 0 ? 1 : 0;
  std::uint8_t scratch[1];
  const bool room = capacity > skip;
  const ssize_t n = room ? ::read(fd_, buffer + skip, capacity - skip) : ::read(fd_, scratch, sizeof scratch);
  if (n >= 0) {
    if (skip != 0) buffer[0] = 0;
    got = (room ? static_cast<std::size_t>(n) : 0) + skip;
    return TReadStatus::Data;
  }
  if (errno == EAGAIN || errno == EINTR) return TReadStatus::Timeout;
  if (errno == EIO || errno == ENODEV || errno == EPIPE) return TReadStatus::Gone;
  error = static_cast<std::uint32_t>(errno);
  return TReadStatus::Error;
}

void THidrawHandle::LearnReportNumbering() {
  const auto data = GetPreparsedData();
  const auto* descriptor = dynamic_cast<const TDescriptorData*>(data.get());
  prefixReportId_ = descriptor != nullptr && descriptor->Valid() && !descriptor->UsesReportIds();
}

void THidrawHandle::Cancel() {
  cancelled_ = true;
  if (cancelFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(cancelFd_, &one, sizeof one);
  }
}

}  // namespace kvm::hid::platform::linux_hid
