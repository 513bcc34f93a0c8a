// Who a unit is: the USB port it is plugged into, its serial number and its
// device node; and which units a station run serves.
#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

namespace kvm::station {

struct TUnitIdentity {
  std::string Port;    // USB port chain ("1-2.3"), or the node where there is no USB parent
  std::string Serial;  // possibly empty
  std::string Node;    // "/dev/hidraw3"

  // "[PORT SERIAL] ", the prefix of the unit's lines on standard output.
  std::string Prefix() const;
  // {"port": ..., "serial": ..., "node": ...}
  QJsonObject Json() const;
  friend bool operator==(const TUnitIdentity&, const TUnitIdentity&) = default;
};

// --port and --serial: with neither given every unit is served; otherwise a
// unit whose port is among the ports given or whose serial number (in any
// letter case) is among the serials given.
class TUnitFilter {
 public:
  TUnitFilter(std::vector<std::string> ports, std::vector<std::string> serials);
  bool Serves(const TUnitIdentity& unit) const;

 private:
  std::vector<std::string> ports_;
  std::vector<std::string> serials_;
};

}  // namespace kvm::station
