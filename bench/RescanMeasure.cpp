#include "RescanMeasure.h"

#include "BenchWindow.h"
#include "CpuClock.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "hid/HidControllerClass.h"
#include "jobs/ProgrammerStack.h"
#include "link/ProgrammerLink.h"

namespace kvm::bench {

bool MeasureRescan(std::shared_ptr<hid::platform::THidPlatform> platform, int expected, TRescanTimes& times,
                   std::string& failure) {
  TBenchWindow window;
  TProgrammerState state;
  TQtMessagePump pump;
  jobs::TProgrammerStack stack(std::move(platform), jobs::TStackFrontEnd{window, state, pump, &window, &window});
  hid::THidDeviceController& controller = stack.HidCtl();
  if (!controller.IsBound()) {
    failure = "the HID platform could not be bound";
    return false;
  }
  bool listed = false;
  {
    link::TProgrammerLink& link = stack.Link();
    link.BindController();

    // Installing the change handler rescans at once.
    double start = WallSeconds();
    link.FormActivate();
    times.AllNewMs = (WallSeconds() - start) * 1e3;
    listed = link.DevListBox().Count() == expected;
    if (!listed)
      failure = "the rescan listed " + std::to_string(link.DevListBox().Count()) + " of " +
                std::to_string(expected) + " devices";

    start = WallSeconds();
    controller.DeviceChange();
    times.UnchangedMs = (WallSeconds() - start) * 1e3;
  }
  return listed;
}

}  // namespace kvm::bench
