// Wall and processor clocks of this process, in seconds.
#pragma once

namespace kvm::bench {

double WallSeconds();
// Processor time of every thread of the process (the reader threads included).
double ProcessCpuSeconds();
// Times any thread of the process has given up a processor, by waiting or
// by being pre-empted.
long ProcessContextSwitches();

// Processor time used over a stretch of wall time, as a fraction of one core.
class TCpuShare {
 public:
  TCpuShare();
  // Wall seconds since construction.
  double Elapsed() const;
  // Processor seconds since construction divided by wall seconds.
  double Fraction() const;

 private:
  double wall0_;
  double cpu0_;
};

}  // namespace kvm::bench
