// Records what the HID controller and its devices report, in order.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "hid/HidControllerClass.h"

namespace kvm::hid::test {

struct TReceivedData {
  std::uint8_t ReportID = 0;
  std::vector<std::uint8_t> Data;
  std::thread::id Thread;
};

class TControllerEvents {
 public:
  std::vector<std::string> Log;
  int Changes = 0;
  int StopAtOffer = 0;  // OnEnumerate says stop at this offer (1-based); 0: never
  std::vector<int> OfferedIndexes;
  std::vector<TReceivedData> Received;
  std::vector<std::uint32_t> DataErrors;

  static std::string Name(THidDevice* device) { return std::to_string(device->PnPInfo().DeviceID); }

  void Arrival(THidDevice* device) { Log.push_back("arrival " + Name(device)); }
  void Removal(THidDevice* device) { Log.push_back("removal " + Name(device)); }
  void Unplug(THidDevice* device) { Log.push_back("unplug " + Name(device)); }
  void OtherUnplug(THidDevice* device) { Log.push_back("other unplug " + Name(device)); }
  void DeviceChange(THidDeviceController*) {
    ++Changes;
    Log.push_back("change");
  }
  bool Enumerate(THidDevice*, int index) {
    OfferedIndexes.push_back(index);
    return StopAtOffer == 0 || static_cast<int>(OfferedIndexes.size()) < StopAtOffer;
  }
  void Data(THidDevice*, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
    Received.push_back({reportId, std::vector<std::uint8_t>(data, data + size), std::this_thread::get_id()});
  }
  void OtherData(THidDevice* device, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size) {
    Data(device, reportId, data, size);
  }
  void DataError(THidDevice*, std::uint32_t error) { DataErrors.push_back(error); }
};

}  // namespace kvm::hid::test
