// Runs kvmflash-cli as a separate process and collects what it prints.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <string>
#include <vector>

namespace kvm::test {

struct TCliResult {
  bool Finished = false;  // false: killed after the time-out
  int ExitCode = -1;
  std::string Out;
  std::string Err;
  // Standard output cut at line ends; an empty line stays an empty entry.
  std::vector<std::string> OutLines() const;
};

class TCliRun {
 public:
  explicit TCliRun(const QStringList& arguments,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
  ~TCliRun();
  TCliRun(const TCliRun&) = delete;
  TCliRun& operator=(const TCliRun&) = delete;

  // True once standard output (or error) holds `text` (within timeoutMs).
  bool WaitForOutput(const std::string& text, int timeoutMs);
  bool WaitForError(const std::string& text, int timeoutMs);
  void SendSignal(int signal);
  long long Pid() const { return process_.processId(); }
  // Waits for the end; kills the process after timeoutMs.
  TCliResult Finish(int timeoutMs);

 private:
  void Collect();
  bool WaitForText(const std::string& stream, const std::string& text, int timeoutMs);
  QProcess process_;
  std::string out_, err_;
};

TCliResult RunCli(const QStringList& arguments, int timeoutMs = 5000,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace kvm::test
