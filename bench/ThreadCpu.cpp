#include "ThreadCpu.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "CpuClock.h"

namespace kvm::bench {

namespace {

// The kernel's processor clock of another thread of this process (what
// pthread_getcpuclockid gives for a pthread_t): ~tid << 3, per-thread, sched.
clockid_t ThreadClock(pid_t tid) { return static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6); }

double ClockSeconds(clockid_t clock) {
  timespec now{};
  if (clock_gettime(clock, &now) != 0) return -1;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string ThreadName(pid_t tid) {
  std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::vector<pid_t> ThreadIds() {
  std::vector<pid_t> ids;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.') ids.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    closedir(tasks);
  }
  return ids;
}

}  // namespace

double ThreadCpuSeconds(pid_t tid) { return ClockSeconds(ThreadClock(tid)); }
double ThisThreadCpuSeconds() { return ClockSeconds(CLOCK_THREAD_CPUTIME_ID); }
pid_t ThisThreadId() {
  // Asked once per thread: the meter asks on every write.
  thread_local const pid_t id = static_cast<pid_t>(syscall(SYS_gettid));
  return id;
}

long ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

std::set<pid_t> TModelMeter::Writers() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writers_;
}

void TModelMeter::Add(double seconds, pid_t writer) {
  nanoseconds_ += static_cast<long long>(seconds * 1e9);
  std::lock_guard<std::mutex> guard(lock_);
  writers_.insert(writer);
}

hid::platform::TDeviceResponder Metered(hid::platform::TDeviceResponder responder, std::shared_ptr<TModelMeter> meter) {
  return [responder = std::move(responder), meter = std::move(meter)](const std::uint8_t* report, std::size_t length) {
    const double start = ThisThreadCpuSeconds();
    hid::platform::TDeviceResponse response = responder(report, length);
    meter->Add(ThisThreadCpuSeconds() - start, ThisThreadId());
    return response;
  };
}

TThreadCpuSampler::TThreadCpuSampler(std::shared_ptr<TModelMeter> meter, int periodMs)
    : meter_(std::move(meter)), periodMs_(periodMs) {
  processStart_ = ProcessCpuSeconds();
  modelStart_ = meter_->Seconds();
  Sample();
  for (auto& [tid, seen] : threads_) seen.Start = seen.Last;
  if (periodMs_ <= 0) return;
  thread_ = std::thread([this] {
    samplerTid_ = ThisThreadId();
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(periodMs_));
      Sample();
    }
    samplerSeconds_ = ThisThreadCpuSeconds();
  });
}

TThreadCpuSampler::~TThreadCpuSampler() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TThreadCpuSampler::Sample() {
  for (const pid_t tid : ThreadIds()) {
    const double seconds = ThreadCpuSeconds(tid);
    if (seconds < 0) continue;  // ended since the listing
    auto found = threads_.find(tid);
    if (found == threads_.end()) found = threads_.emplace(tid, TSeen{ThreadName(tid), 0, 0}).first;
    found->second.Last = seconds;
  }
  const long resident = ResidentBytes();
  if (resident > peakResident_) peakResident_ = resident;
}

TThreadCpu TThreadCpuSampler::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  Sample();
  TThreadCpu cpu;
  cpu.Models = meter_->Seconds() - modelStart_;
  const std::set<pid_t> writers = meter_->Writers();
  const pid_t main = getpid();
  for (const auto& [tid, seen] : threads_) {
    const double used = seen.Last - seen.Start;
    if (tid == samplerTid_) continue;
    if (tid == main) {
      cpu.Main += used;
    } else if (writers.count(tid) != 0) {
      cpu.Sessions += used;
      ++cpu.SessionThreads;
    } else if (seen.Name.rfind("programming ses", 0) == 0) {
      // The readers start on their session's thread and keep its name.
      cpu.Readers += used;
      ++cpu.ReaderThreads;
    } else {
      cpu.Other += used;
      ++cpu.OtherThreads;
    }
  }
  cpu.Sessions -= cpu.Models;
  cpu.Own = ProcessCpuSeconds() - processStart_ - cpu.Models - samplerSeconds_;
  cpu.PeakResidentBytes = peakResident_;
  return cpu;
}

}  // namespace kvm::bench
