// The hidden list of present HID devices: one line per interface, in the
// controller's order, each carrying the device object checked out for it.
#pragma once

#include <string>
#include <vector>

namespace kvm::hid {
class THidDevice;
}

namespace kvm::link {

class TDeviceListBox {
 public:
  struct TLine {
    std::string Text;
    hid::THidDevice* Device = nullptr;  // owned by the list; none when check-out failed
  };

  TDeviceListBox() = default;
  ~TDeviceListBox();
  TDeviceListBox(const TDeviceListBox&) = delete;
  TDeviceListBox& operator=(const TDeviceListBox&) = delete;

  int Count() const { return static_cast<int>(lines_.size()); }
  const TLine& Line(int index) const { return lines_.at(static_cast<std::size_t>(index)); }
  int ItemIndex() const { return itemIndex_; }

  // Returns the index of the new line.
  int Add(std::string text);
  void AttachDevice(int index, hid::THidDevice* device);
  void SetItemIndex(int index);
  // Gives every device back to its controller by destroying it, in line order,
  // then empties the list.
  void Clear();

 private:
  std::vector<TLine> lines_;
  int itemIndex_ = -1;
};

}  // namespace kvm::link
