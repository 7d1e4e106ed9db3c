#pragma once
#include <map>
#include <string>

// Figures of this process, read from the kernel.
struct TUsage {
  double UserSeconds = 0;
  double SystemSeconds = 0;
  long ContextSwitches = 0;  // voluntary and involuntary, all threads
  double CpuSeconds() const { return UserSeconds + SystemSeconds; }
  TUsage operator-(const TUsage& before) const {
    return {UserSeconds - before.UserSeconds, SystemSeconds - before.SystemSeconds,
            ContextSwitches - before.ContextSwitches};
  }
};
TUsage ProcessUsage();
double ProcessCpuSeconds();  // user and system time of all its threads
long VmKiB(const char* field);  // a "Vm..." line of /proc/self/status, such as "VmHWM"
// Processor seconds and context switches of each thread of this process, by thread id.
struct TThreadUsage {
  double CpuSeconds = 0;
  long Switches = 0;     // it went to sleep
  long Preempted = 0;    // it was switched out while it could run
};
std::map<int, TThreadUsage> ThreadUsage();

// One row of the results table. Every benchmark program prints its rows this way and the
// bench script gathers them: item number, what was measured, the figure, the goal, and whether
// it was met ("met", "NOT met", or "-" when there is no goal).
void PrintRow(const std::string& item, const std::string& measurement, const std::string& figure,
              const std::string& goal, const std::string& verdict);
std::string Verdict(bool met);
std::string Format(const char* format, double value);
