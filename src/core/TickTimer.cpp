#include "core/TickTimer.h"

#include <QTimer>

namespace kvm {

TTickTimer::TTickTimer(int intervalMs) : timer_(std::make_unique<QTimer>()) {
  timer_->setInterval(intervalMs);
  timer_->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] {
    if (OnTimer) OnTimer();
  });
}

TTickTimer::~TTickTimer() = default;

void TTickTimer::SetEnabled(bool enabled) {
  if (enabled == timer_->isActive()) return;
  if (enabled)
    timer_->start();
  else
    timer_->stop();
}

bool TTickTimer::Enabled() const { return timer_->isActive(); }
int TTickTimer::Interval() const { return timer_->interval(); }

}  // namespace kvm
