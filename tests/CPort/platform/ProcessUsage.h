#pragma once
#include <dirent.h>
#include <time.h>

#include <chrono>
#include <thread>

// What the test process itself uses: processor time, open descriptors, threads.

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Entries of a folder such as /proc/self/fd or /proc/self/task.
inline int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// The count once it has stopped changing: a thread that has just been joined can linger in
// /proc for a moment, which would make a baseline taken then look like a leak later.
inline int SettledCount(const char* dir) {
  int last = CountEntries(dir);
  for (int same = 0, tries = 0; same < 5 && tries < 200; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int now = CountEntries(dir);
    same = now == last ? same + 1 : 0;
    last = now;
  }
  return last;
}
