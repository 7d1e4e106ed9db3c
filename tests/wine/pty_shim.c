// Preloaded into Wine's processes by the Windows tests. A pseudo-terminal has no modem lines,
// line status register or interrupt counters, and Wine's serial code gives up on a port whose
// TIOCMGET fails: its event waits end at once with an error. Where the real call fails on a
// pseudo-terminal, these answer as an idle line with a device attached would. Every other call,
// and these on any other file, go through unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

// Unix 98 pseudo-terminal slaves (Documentation/admin-guide/devices.txt).
static int IsPseudoTerminal(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
         major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
  static int (*real)(int, unsigned long, ...);
  if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  const int result = real(fd, request, arg);
  if (result == 0 || !arg) return result;
  const int error = errno;
  if (IsPseudoTerminal(fd)) {
    switch (request) {
      case TIOCMGET:
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
      case TIOCGICOUNT:
        memset(arg, 0, sizeof(struct serial_icounter_struct));
        return 0;
      case TIOCSERGETLSR:
        *(unsigned*)arg = TIOCSER_TEMT;
        return 0;
    }
  }
  errno = error;
  return result;
}
