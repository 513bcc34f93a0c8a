#include "app/station/StationRunner.h"

#include <QMetaObject>
#include <QObject>

namespace kvm::stationwindow {

TStationRunner::TStationRunner(TStationFeed& feed, TMachineFactory machine)
    : feed_(feed), machine_(std::move(machine)) {}

TStationRunner::~TStationRunner() {
  if (!thread_) return;
  if (Running()) Stop();
  thread_->wait();
}

bool TStationRunner::Running() const { return thread_ && !thread_->isFinished(); }

bool TStationRunner::Wait(int ms) { return !thread_ || thread_->wait(QDeadlineTimer(ms)); }

bool TStationRunner::Start(station::TStationPlan plan) {
  if (Running()) return false;
  if (thread_) thread_->wait();
  {
    std::lock_guard lock(mutex_);
    stops_ = 0;
  }
  thread_.reset(QThread::create([this, plan = std::move(plan)]() mutable { Run(std::move(plan)); }));
  thread_->setObjectName("station");
  thread_->start();
  return true;
}

void TStationRunner::Stop() {
  std::lock_guard lock(mutex_);
  ++stops_;
  if (context_ != nullptr) {
    station::TStation* station = station_;
    const int stops = stops_;
    QMetaObject::invokeMethod(
        context_, [station, stops] { stops == 1 ? station->Interrupt() : station->Hurry(); }, Qt::QueuedConnection);
  }
}

void TStationRunner::Run(station::TStationPlan plan) {
  station::TStationSetup setup;
  setup.TapEvents([this](const QJsonObject& event) { feed_.Event(event); });
  std::string error;
  if (!setup.Prepare(plan, machine_(), error)) {
    feed_.Error(error);
    feed_.RunEnded(1);
    return;
  }
  station::TStationOutput output;
  output.PrintLine = [this](const std::string& line) { feed_.Line(line); };
  output.PrintError = [this](const std::string& message) { feed_.Error(message); };
  output.Progress = [this](const std::string& prefix, const station::TUnitProgress& progress) {
    feed_.Progress(prefix, progress);
  };
  station::TStation& station = setup.MakeStation(std::move(output));
  int exitCode = 0;
  {
    QObject context;
    int stops = 0;
    {
      std::lock_guard lock(mutex_);
      context_ = &context;
      station_ = &station;
      stops = stops_;
    }
    // A Stop that came while the files were checked.
    if (stops >= 1) station.Interrupt();
    if (stops >= 2) station.Hurry();
    exitCode = station.Run();
    std::lock_guard lock(mutex_);
    context_ = nullptr;
    station_ = nullptr;
  }
  exitCode = setup.Finish(exitCode, [this](const std::string& message) { feed_.Error(message); });
  feed_.RunEnded(exitCode);
}

}  // namespace kvm::stationwindow
