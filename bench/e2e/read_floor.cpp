// The least processor time a read of the programmer's answer can take: one thread, one
// blocking read() per hand-over of the line, no copies, no events. bench_e2e runs it against
// the same simulated programmer as the program and sets the program's processor time
// against it.
//
// Usage: read_floor PORT COMMAND
// Sends COMMAND, reads until "Ready" has come, then prints one line of figures
// ("cpu SECONDS wall SECONDS reads N") and the answer as it came.
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t Capacity = 1 << 20;
char Answer[Capacity];

double Seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

int Fail(const char* what) {
  std::fprintf(stderr, "read_floor: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read_floor PORT COMMAND\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(argv[1]);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return Fail("tcgetattr");
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;  // a read returns as soon as anything has come
  t.c_cc[VTIME] = 0;
  cfsetspeed(&t, B57600);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return Fail("tcsetattr");
  // The simulator notices a new opener within its own recheck time, as the program's port
  // has been open for a while when a job starts.
  usleep(300'000);
  std::memset(Answer, 0, sizeof Answer);  // no page is first touched during the read

  const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID), wall = Seconds(CLOCK_MONOTONIC);
  const std::size_t commandLength = std::strlen(argv[2]);
  if (::write(fd, argv[2], commandLength) != ssize_t(commandLength)) return Fail("write");
  std::size_t length = 0;
  long reads = 0;
  for (;;) {
    const ssize_t n = ::read(fd, Answer + length, Capacity - length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("read");
    ++reads;
    // "Ready" ends in what just came and starts at most four characters before it.
    const std::size_t from = length > 4 ? length - 4 : 0;
    length += std::size_t(n);
    if (memmem(Answer + from, length - from, "Ready", 5)) break;
    if (length == Capacity) return Fail("answer too long");
  }
  const double cpuUsed = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  const double wallUsed = Seconds(CLOCK_MONOTONIC) - wall;
  ::close(fd);
  std::printf("cpu %.9f wall %.6f reads %ld\n", cpuUsed, wallUsed, reads);
  std::fwrite(Answer, 1, length, stdout);
  return 0;
}
