#include "CliProcess.h"

#include <signal.h>

#include <QElapsedTimer>

#include "WaitFor.h"

namespace kvm::test {

std::vector<std::string> TCliResult::OutLines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = Out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(Out.substr(start, end - start));
  if (start < Out.size()) lines.push_back(Out.substr(start));
  return lines;
}

TCliRun::TCliRun(const QStringList& arguments, const QProcessEnvironment& environment) {
  process_.setProcessEnvironment(environment);
  process_.start(QStringLiteral(KVMFLASH_CLI), arguments);
  process_.waitForStarted(5000);
}

TCliRun::~TCliRun() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(2000);
  }
}

void TCliRun::Collect() {
  out_ += process_.readAllStandardOutput().toStdString();
  err_ += process_.readAllStandardError().toStdString();
}

bool TCliRun::WaitForText(const std::string& stream, const std::string& text, int timeoutMs) {
  const auto found = [&] { return stream.find(text) != std::string::npos; };
  WaitFor(
      [&] {
        Collect();
        return found() || process_.state() == QProcess::NotRunning;
      },
      timeoutMs);
  Collect();
  return found();
}

bool TCliRun::WaitForOutput(const std::string& text, int timeoutMs) { return WaitForText(out_, text, timeoutMs); }
bool TCliRun::WaitForError(const std::string& text, int timeoutMs) { return WaitForText(err_, text, timeoutMs); }

void TCliRun::SendSignal(int signal) {
  // Never 0: that would signal the whole process group, the test included.
  const auto pid = static_cast<pid_t>(process_.processId());
  if (pid > 0) ::kill(pid, signal);
}

TCliResult TCliRun::Finish(int timeoutMs) {
  TCliResult result;
  result.Finished = WaitFor([&] { return process_.state() == QProcess::NotRunning; }, timeoutMs);
  if (!result.Finished) {
    process_.kill();
    process_.waitForFinished(2000);
  }
  Collect();
  result.ExitCode = process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  result.Out = out_;
  result.Err = err_;
  return result;
}

TCliResult RunCli(const QStringList& arguments, int timeoutMs, const QProcessEnvironment& environment) {
  TCliRun run(arguments, environment);
  return run.Finish(timeoutMs);
}

}  // namespace kvm::test
