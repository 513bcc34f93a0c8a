// The station's one watch on the machine's HID devices: it follows the
// platform's device notices, rescans, and reports every KVM programmer
// (0B39:FF03 with 8-byte input reports) that arrives or leaves, with its
// identity. Lives on the station's thread.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "hid/NoticeWatch.h"
#include "hid/platform/HidPlatform.h"
#include "station/UnitIdentity.h"

namespace kvm::station {

struct TProgrammerSeen {
  std::uint64_t DeviceID = 0;
  TUnitIdentity Identity;
};

class TUnitDiscovery {
 public:
  explicit TUnitDiscovery(std::shared_ptr<hid::platform::THidPlatform> platform);
  ~TUnitDiscovery();
  TUnitDiscovery(const TUnitDiscovery&) = delete;
  TUnitDiscovery& operator=(const TUnitDiscovery&) = delete;

  // Binds the platform and watches its notices; false with the reason.
  bool Start(std::string& error);
  // Looks at the present devices now: OnArrival for each new programmer,
  // OnRemoval for each that left (removals first).
  void Rescan();

  // A device listed at a node that a programmer left less than this long ago
  // is looked at again after this long before it counts: the system may still
  // list a device that is being removed (its removal notice comes before its
  // entries are gone), and such a phantom must not become a unit.
  static constexpr int RecheckMs = 250;

  std::function<void(const TProgrammerSeen&)> OnArrival;
  std::function<void(std::uint64_t deviceId)> OnRemoval;

 private:
  // Null when the device is not a programmer (or could not be asked).
  std::optional<TProgrammerSeen> Identify(const hid::platform::THidInterface& device, bool& retry);

  std::shared_ptr<hid::platform::THidPlatform> platform_;
  std::unique_ptr<hid::TNoticeWatch> notices_;
  bool enumerationBound_ = false;
  bool hidAccessBound_ = false;
  struct TKnown {
    bool Programmer = false;
    std::string Path;
  };
  // Every present interface seen, and whether it is a programmer.
  std::map<std::uint64_t, TKnown> known_;
  // Nodes programmers left recently, with the steady time in milliseconds.
  std::map<std::string, std::int64_t> recentlyLeft_;
  QTimer recheck_;
};

}  // namespace kvm::station
