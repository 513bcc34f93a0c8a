#include "station/UnitIdentity.h"

#include <algorithm>

namespace kvm::station {

namespace {
bool Among(const std::vector<std::string>& values, const std::string& value) {
  return values.empty() || std::find(values.begin(), values.end(), value) != values.end();
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
  return Among(ports_, unit.Port) && Among(serials_, unit.Serial);
}

}  // namespace kvm::station
