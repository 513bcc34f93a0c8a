// The user-interface thread's event loop as the subsystems see it.
#pragma once

class QEventLoop;

namespace kvm {

class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  // Handles every pending event (timers, input, device hand-overs) and returns.
  virtual void ProcessMessages() = 0;
  // Blocks, handling events, until Wake() is called from a handler (or the
  // application is quitting). Costs no CPU while nothing happens.
  virtual void WaitForMessage() = 0;
  // Ends the current WaitForMessage (called on the user-interface thread).
  virtual void Wake() = 0;
};

// The Qt implementation, shared by the window and the command line.
class TQtMessagePump final : public IMessagePump {
 public:
  void ProcessMessages() override;
  void WaitForMessage() override;
  void Wake() override;

 private:
  QEventLoop* waiting_ = nullptr;
  bool woken_ = false;
};

}  // namespace kvm
