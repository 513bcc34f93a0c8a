#include "station/UnitDiscovery.h"

#include <chrono>
#include <set>

#include "hid/HidDevice.h"
#include "hid/platform/NativeHidPlatform.h"
#include "wire/ProgrammerWire.h"

namespace kvm::station {

namespace {

using wire::ProgrammerInputReportLength;
using wire::ProgrammerProductID;
using wire::ProgrammerVendorID;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

using hid::platform::THidInterface;

TUnitDiscovery::TUnitDiscovery(std::shared_ptr<hid::platform::THidPlatform> platform)
    : platform_(std::move(platform)) {
  recheck_.setSingleShot(true);
  QObject::connect(&recheck_, &QTimer::timeout, [this] { Rescan(); });
}

TUnitDiscovery::~TUnitDiscovery() {
  notices_.reset();
  if (hidAccessBound_) platform_->UnloadHidAccess();
  if (enumerationBound_) platform_->UnloadEnumeration();
}

bool TUnitDiscovery::Start(std::string& error) {
  enumerationBound_ = platform_->LoadEnumeration();
  hidAccessBound_ = enumerationBound_ && platform_->LoadHidAccess();
  if (!hidAccessBound_) {
    error = hid::platform::NativeHidUnreachableText();
    return false;
  }
  notices_ = std::make_unique<hid::TNoticeWatch>(*platform_, [this] { Rescan(); });
  return true;
}

void TUnitDiscovery::Rescan() {
  const std::vector<THidInterface> present = platform_->ScanInterfaces();
  std::set<std::uint64_t> ids;
  for (const THidInterface& device : present) ids.insert(device.DeviceID);
  const std::int64_t now = NowMs();
  for (auto it = recentlyLeft_.begin(); it != recentlyLeft_.end();)
    it = now - it->second >= RecheckMs ? recentlyLeft_.erase(it) : std::next(it);
  for (auto it = known_.begin(); it != known_.end();) {
    if (ids.count(it->first) != 0) {
      ++it;
      continue;
    }
    const std::uint64_t id = it->first;
    const TKnown gone = it->second;
    it = known_.erase(it);
    if (!gone.Programmer) continue;
    recentlyLeft_[gone.Path] = now;
    if (OnRemoval) OnRemoval(id);
  }
  for (const THidInterface& device : present) {
    if (known_.count(device.DeviceID) != 0) continue;
    if (const auto left = recentlyLeft_.find(device.DevicePath); left != recentlyLeft_.end()) {
      // Asked again once the node has had time to go, if it is going.
      const int wait = static_cast<int>(RecheckMs - (now - left->second));
      if (!recheck_.isActive() || recheck_.remainingTime() > wait) recheck_.start(std::max(wait, 1));
      continue;
    }
    bool retry = false;
    const std::optional<TProgrammerSeen> programmer = Identify(device, retry);
    // A device that could not be asked (gone between the scan and the
    // question) is asked again at the next scan.
    if (retry) continue;
    known_[device.DeviceID] = {programmer.has_value(), device.DevicePath};
    if (programmer && OnArrival) OnArrival(*programmer);
  }
}

std::optional<TProgrammerSeen> TUnitDiscovery::Identify(const THidInterface& device, bool& retry) {
  std::uint32_t error = 0;
  const std::unique_ptr<hid::platform::THidHandle> handle =
      platform_->Open(device.DevicePath, hid::platform::TOpenMode::QueryOnly, error);
  if (!handle) {
    retry = true;
    return std::nullopt;
  }
  hid::THidAttributes attributes;
  if (!handle->GetAttributes(attributes)) {
    retry = true;
    return std::nullopt;
  }
  if (attributes.VendorID != ProgrammerVendorID || attributes.ProductID != ProgrammerProductID) return std::nullopt;
  hid::THidCaps caps;
  const std::unique_ptr<hid::platform::TPreparsedData> preparsed = handle->GetPreparsedData();
  if (!preparsed || !platform_->GetCaps(*preparsed, caps) || caps.InputReportByteLength != ProgrammerInputReportLength)
    return std::nullopt;
  std::u16string serial;
  if (!handle->GetSerialNumberString(serial)) serial.clear();
  return TProgrammerSeen{device.DeviceID, {device.PortPath, hid::ToText(serial), device.DevicePath}};
}

}  // namespace kvm::station
