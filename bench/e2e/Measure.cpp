#include "Measure.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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
  static const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    TThreadUsage usage;
    std::ifstream statFile(entry.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // The fields after the name in parentheses; user and system time are the 12th and 13th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 1; i <= 13 && fields >> field; ++i)
      if (i >= 12) usage.CpuSeconds += std::stod(field) / ticks;
    std::ifstream status(entry.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.find("ctxt_switches:") != std::string::npos)
        usage.Switches += std::stol(line.substr(line.find(':') + 1));
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
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}
