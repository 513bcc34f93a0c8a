// Processor time by thread: which of the process's threads are the
// utility's own and which only model the programmers and their links.
//
// The simulated programmer and its link model run inside each write, on the
// writing thread; TModelMeter times them there, so that what a session thread
// spends on its own work is what remains. TThreadCpuSampler reads every
// thread's processor clock every few milliseconds while a run lasts (a thread
// that ends takes its clock with it), with the process's resident size.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid/platform/sim/SimResponder.h"

namespace kvm::bench {

// Processor seconds of one thread of this process so far; negative when it
// has ended.
double ThreadCpuSeconds(pid_t tid);
double ThisThreadCpuSeconds();
pid_t ThisThreadId();
// The process's resident size now.
long ResidentBytes();

// Time spent in the programmer models, and the threads that wrote to them.
class TModelMeter {
 public:
  double Seconds() const { return static_cast<double>(nanoseconds_.load()) * 1e-9; }
  std::set<pid_t> Writers() const;
  void Add(double seconds, pid_t writer);

 private:
  std::atomic<long long> nanoseconds_{0};
  mutable std::mutex lock_;
  std::set<pid_t> writers_;
};

// The responder with its processor time charged to the meter.
hid::platform::TDeviceResponder Metered(hid::platform::TDeviceResponder responder, std::shared_ptr<TModelMeter> meter);

// Processor time of every thread since the sampler started, by kind.
struct TThreadCpu {
  double Main = 0;      // the thread that runs the station (or waits for the job)
  double Sessions = 0;  // the session threads, without the models they called
  double Readers = 0;   // the devices' reader threads
  double Other = 0;     // any other thread of the process
  double Models = 0;    // the emulators and link models
  int SessionThreads = 0, ReaderThreads = 0, OtherThreads = 0;
  // Processor time of the process (every thread, ended ones too) less the
  // models' and the sampler's: the utility's own.
  double Own = 0;
  long PeakResidentBytes = 0;
};

class TThreadCpuSampler {
 public:
  // Period 0: no thread of its own, a sample now and one at Stop (for
  // threads that outlive the run).
  explicit TThreadCpuSampler(std::shared_ptr<TModelMeter> meter, int periodMs = 5);
  ~TThreadCpuSampler();
  TThreadCpuSampler(const TThreadCpuSampler&) = delete;
  TThreadCpuSampler& operator=(const TThreadCpuSampler&) = delete;

  // Takes a last sample, stops and sums the threads up.
  TThreadCpu Stop();

 private:
  struct TSeen {
    std::string Name;
    double Start = 0;
    double Last = 0;
  };
  void Sample();

  std::shared_ptr<TModelMeter> meter_;
  int periodMs_;
  double processStart_ = 0;
  double modelStart_ = 0;
  std::map<pid_t, TSeen> threads_;
  long peakResident_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<pid_t> samplerTid_{0};
  double samplerSeconds_ = 0;
  std::thread thread_;
};

}  // namespace kvm::bench
