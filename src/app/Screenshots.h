// Window states that kvmflash-screenshot can render, to check the layout
// with texts, lamps and progress in place.
#pragma once

#include <string>

namespace kvm::app {

class TMainForm;

// False for an unknown name.
bool ApplyScreenshotScenario(TMainForm& form, const std::string& name);
std::string ScreenshotScenarioNames();

}  // namespace kvm::app
