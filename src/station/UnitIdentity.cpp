#include "station/UnitIdentity.h"

#include <algorithm>

#include "link/DeviceIdentity.h"

namespace kvm::station {

namespace {
bool Among(const std::vector<std::string>& values, const std::string& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

bool AmongSerials(const std::vector<std::string>& serials, const std::string& serial) {
  return std::any_of(serials.begin(), serials.end(),
                     [&serial](const std::string& wanted) { return link::SameSerial(wanted, serial); });
}
}  // namespace

std::string TUnitIdentity::Prefix() const { return "[" + Port + " " + Serial + "] "; }

QJsonObject TUnitIdentity::Json() const {
  return {{"port", QString::fromStdString(Port)},
          {"serial", QString::fromStdString(Serial)},
          {"node", QString::fromStdString(Node)}};
}

TUnitFilter::TUnitFilter(std::vector<std::string> ports, std::vector<std::string> serials)
    : ports_(std::move(ports)), serials_(std::move(serials)) {}

bool TUnitFilter::Serves(const TUnitIdentity& unit) const {
  if (ports_.empty() && serials_.empty()) return true;
  return Among(ports_, unit.Port) || AmongSerials(serials_, unit.Serial);
}

}  // namespace kvm::station
