#pragma once
// What the floor readers share: the clocks they report and the line as they open it. Header
// only, so that neither links any library of the program's own.
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace FloorLine {

inline double Seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

inline int Fail(const char* program, const char* what) {
  std::fprintf(stderr, "%s: %s: %s\n", program, what, std::strerror(errno));
  return 1;
}

// Opens the port raw at the line's speed, each read returning as soon as anything has come,
// and waits until the simulator has noticed its opener (as the program's port has been open for
// a while when a job starts). The descriptor, or -1 after saying why.
inline int Open(const char* program, const char* port) {
  const int fd = ::open(port, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    Fail(program, port);
    return -1;
  }
  termios t{};
  const char* failed = nullptr;
  if (tcgetattr(fd, &t) != 0) {
    failed = "tcgetattr";
  } else {
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetspeed(&t, B57600);
    if (tcsetattr(fd, TCSANOW, &t) != 0) failed = "tcsetattr";
  }
  if (failed) {
    Fail(program, failed);
    ::close(fd);
    return -1;
  }
  usleep(300'000);
  return fd;
}

}  // namespace FloorLine
