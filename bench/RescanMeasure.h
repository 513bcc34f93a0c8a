// The time a rescan of the HID interfaces takes, with the window's handlers
// bound as the window binds them.
#pragma once

#include <memory>
#include <string>

#include "hid/platform/HidPlatform.h"

namespace kvm::bench {

struct TRescanTimes {
  // The first rescan after the window's activation: every interface is new,
  // so device objects are made, the countdown is armed and the device list is
  // rebuilt with every device checked out and described.
  double AllNewMs = 0;
  // A rescan after a notice that changed nothing: scan and compare only.
  double UnchangedMs = 0;
};

// False with `failure` set when the rescan did not list `expected` devices.
bool MeasureRescan(std::shared_ptr<hid::platform::THidPlatform> platform, int expected, TRescanTimes& times,
                   std::string& failure);

}  // namespace kvm::bench
