#include "link/DeviceListBox.h"

#include <stdexcept>

#include "hid/HidDevice.h"

namespace kvm::link {

TDeviceListBox::~TDeviceListBox() { Clear(); }

int TDeviceListBox::Add(std::string text) {
  lines_.push_back(TLine{std::move(text), nullptr});
  return Count() - 1;
}

void TDeviceListBox::AttachDevice(int index, hid::THidDevice* device) {
  TLine& line = lines_.at(static_cast<std::size_t>(index));
  if (line.Device != nullptr && line.Device != device) delete line.Device;
  line.Device = device;
}

void TDeviceListBox::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) throw std::out_of_range("device list: no line " + std::to_string(index));
  itemIndex_ = index;
}

void TDeviceListBox::Clear() {
  // Taken out of the list first: a device's destruction may run handlers that
  // look at the list.
  std::vector<TLine> lines;
  lines.swap(lines_);
  itemIndex_ = -1;
  for (TLine& line : lines) delete line.Device;
}

}  // namespace kvm::link
