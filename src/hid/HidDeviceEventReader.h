// THidDeviceEventReader: reads one device's input reports on the device's own
// thread, in its event loop, when the read handle's descriptor turns
// readable, and runs the handlers there directly. For devices whose thread
// does nothing but wait for them (a session on a thread of its own): a report
// then costs one wake-up of that thread instead of a reader thread's wake-up
// and a hand-over. The reads, the refused starts and the pauses after
// failures are those of THidDeviceReadThread.
#pragma once

#include <cstddef>
#include <memory>

#include "hid/HidDeviceReader.h"

namespace kvm::hid {

class THidDevice;

class THidDeviceEventReader final : public THidDeviceReader {
 public:
  THidDeviceEventReader(THidDevice* device, std::size_t reportLength);
  ~THidDeviceEventReader() override;
  THidDeviceEventReader(const THidDeviceEventReader&) = delete;
  THidDeviceEventReader& operator=(const THidDeviceEventReader&) = delete;

  void Start() override;
  void RequestTermination() override;
  void Stop() override;
  bool InHandOver() const override;
  void Abandon() override;
  void ReadHandleClosing() override;

  struct State;

 private:
  // One pass of the reader's loop; `readable`: the descriptor said so.
  static void Pass(const std::shared_ptr<State>& s, bool readable);

  std::shared_ptr<State> state_;
};

}  // namespace kvm::hid
