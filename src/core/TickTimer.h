// A window timer: ticks every Interval ms while enabled and carries an integer
// Tag that its handler uses as a counter.
#pragma once

#include <functional>
#include <memory>

class QTimer;

namespace kvm {

class TTickTimer {
 public:
  explicit TTickTimer(int intervalMs = 1000);
  ~TTickTimer();
  TTickTimer(const TTickTimer&) = delete;
  TTickTimer& operator=(const TTickTimer&) = delete;

  // Enabling a running timer does not restart its period.
  void SetEnabled(bool enabled);
  bool Enabled() const;
  int Interval() const;

  int Tag = 0;
  std::function<void()> OnTimer;

 private:
  std::unique_ptr<QTimer> timer_;
};

}  // namespace kvm
