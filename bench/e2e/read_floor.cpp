// The least processor time a read of the programmer's answer can take: one thread, one
// blocking read() per hand-over of the line, no copies, no events. bench_e2e runs it against
// the same simulated programmer as the program and sets the program's processor time
// against it.
//
// Usage: read_floor PORT COMMAND
// Sends COMMAND, reads until "Ready" has come, then prints one line of figures
// ("cpu SECONDS wall SECONDS reads N") and the answer as it came.
#include "FloorLine.h"

namespace {

constexpr std::size_t Capacity = 1 << 20;
char Answer[Capacity];

using FloorLine::Seconds;

int Fail(const char* what) { return FloorLine::Fail("read_floor", what); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read_floor PORT COMMAND\n");
    return 2;
  }
  const int fd = FloorLine::Open("read_floor", argv[1]);
  if (fd < 0) return 1;
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
