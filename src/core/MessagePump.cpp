#include "core/MessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace kvm {

void TQtMessagePump::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TQtMessagePump::WaitForMessage() {
  // A Wake that came from an event handled before we got here must not be lost.
  if (woken_) {
    woken_ = false;
    return;
  }
  QEventLoop loop;
  QEventLoop* outer = waiting_;
  waiting_ = &loop;
  // exec() refuses to run (returns at once) once the application is quitting;
  // then block in the dispatcher instead so that the caller does not spin.
  if (loop.exec(QEventLoop::AllEvents) == -1)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  waiting_ = outer;
  woken_ = false;
}

void TQtMessagePump::Wake() {
  if (waiting_ != nullptr)
    waiting_->quit();
  else
    woken_ = true;
}

}  // namespace kvm
