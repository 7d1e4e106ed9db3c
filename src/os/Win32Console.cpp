#include "os/Console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdint>

namespace Os {

namespace {

std::atomic<int> Caught{0};

constexpr int Interrupt = 2;   // SIGINT
constexpr int Terminate = 15;  // SIGTERM

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnControl(DWORD event) {
  const bool ending = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  int none = 0;
  // A second request is left to the system, which ends the program.
  if (!Caught.compare_exchange_strong(none, ending ? Terminate : Interrupt)) return FALSE;
  // The system ends the program as soon as the handler returns from these: wait here while
  // the program releases the port and ends by itself (the system allows a few seconds).
  if (ending) ::Sleep(10000);
  return TRUE;
}

HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

// A program started without standard handles (from a service, or with them closed) gets C
// runtime descriptors 0 to 2 without a handle behind them; the null device is put behind each,
// so that nothing the program opens later can take its place.
void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    const intptr_t handle = ::_get_osfhandle(fd);
    if (handle != -1 && handle != -2) continue;
    const int null = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (null < 0) ::_exit(127);
    if (null == fd) continue;
    if (::_dup2(null, fd) != 0) ::_exit(127);
    ::_close(null);
  }
}

void UseBinaryStandardStreams() {
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
}

void CatchInterruptions() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

int Interruption() { return Caught.load(); }

void EndAsBrokenPipe() {}

bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return ::GetConsoleMode(HandleOf(stream), &mode) != 0;
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(HandleOf(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace Os
