#include "Measure.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

TUsage ProcessUsage() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_nvcsw + usage.ru_nivcsw};
}

double ProcessCpuSeconds() { return ProcessUsage().CpuSeconds(); }

long VmKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

std::map<int, TThreadUsage> ThreadUsage() {
  std::map<int, TThreadUsage> threads;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    TThreadUsage usage;
    // The first figure is the time the thread has run, in nanoseconds.
    std::ifstream schedstat(entry.path() / "schedstat");
    double nanoseconds = 0;
    if (schedstat >> nanoseconds) usage.CpuSeconds = nanoseconds / 1e9;
    std::ifstream status(entry.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        usage.Switches = std::stol(line.substr(line.find(':') + 1));
      else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        usage.Preempted = std::stol(line.substr(line.find(':') + 1));
    }
    threads[std::stoi(entry.path().filename().string())] = usage;
  }
  return threads;
}

void PrintRow(const std::string& item, const std::string& measurement, const std::string& figure,
              const std::string& goal, const std::string& verdict) {
  std::printf("@row\t%s\t%s\t%s\t%s\t%s\n", item.c_str(), measurement.c_str(), figure.c_str(),
              goal.c_str(), verdict.c_str());
  std::fflush(stdout);
}

std::string Verdict(bool met) { return met ? "met" : "NOT met"; }

std::string Format(const char* format, double value) {
  std::string text(std::snprintf(nullptr, 0, format, value), '\0');
  std::snprintf(text.data(), text.size() + 1, format, value);
  return text;
}
