// THidDeviceReadThread: reads one device's input reports on a thread of its
// own and hands each report (and each refused read start) to the
// user-interface thread, waiting until the handler has returned.
#pragma once

#include <cstddef>
#include <memory>
#include <thread>

#include "hid/HidDeviceReader.h"

namespace kvm::hid {

class THidDevice;

class THidDeviceReadThread final : public THidDeviceReader {
 public:
  // Created on the user-interface thread; the hand-overs run on that thread.
  THidDeviceReadThread(THidDevice* device, std::size_t reportLength);
  ~THidDeviceReadThread() override;
  THidDeviceReadThread(const THidDeviceReadThread&) = delete;
  THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

  void Start() override;

  // Tells the thread to end after its current slice or hand-over.
  void RequestTermination() override;

  // Requests termination and services hand-overs until the thread has ended,
  // then joins it. Never deadlocks against a hand-over in progress.
  void Stop() override;

  // True while this thread's handler runs on the user-interface thread.
  bool InHandOver() const override;

  // Stop from inside this thread's own handler: the thread cannot end before
  // the handler returns, so it is told to end and left to clean up itself,
  // touching nothing of the device any more.
  void Abandon() override;

  struct State;

 private:
  static void Run(std::shared_ptr<State> s);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace kvm::hid
