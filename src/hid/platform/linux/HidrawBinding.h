// Access to HID interfaces through the kernel's hidraw nodes.
//
// hidraw is part of the kernel's interface, so there is no library to load:
// the binding only records whether HID access is in use. It is not counted:
// one UnloadHidraw releases it however often LoadHidraw ran. Finding and
// describing the nodes needs libudev, so it binds only while udev is bound.
#pragma once

namespace kvm::hid::platform::linux_hid {

bool LoadHidraw();
void UnloadHidraw();
bool IsHidrawLoaded();

}  // namespace kvm::hid::platform::linux_hid
