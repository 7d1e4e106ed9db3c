#include "station/WorkerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "framework/Exception.h"

namespace Station {

TWorkerProcess::TWorkerProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  int commands[2], events[2];
  if (::pipe2(commands, O_CLOEXEC) != 0) throw Exception(std::string("cannot make a pipe: ") + std::strerror(errno));
  if (::pipe2(events, O_CLOEXEC) != 0) {
    ::close(commands[0]);
    ::close(commands[1]);
    throw Exception(std::string("cannot make a pipe: ") + std::strerror(errno));
  }
  const pid_t station = ::getpid();
  FPid = ::fork();
  if (FPid == 0) {
    // Only async-signal-safe calls until exec.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != station) ::_exit(127);  // the station died before the line above
    ::setpgid(0, 0);
    ::dup2(commands[0], STDIN_FILENO);
    ::dup2(events[1], STDOUT_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(commands[0]);
  ::close(events[1]);
  FCommands = commands[1];
  FEvents = events[0];
  if (FPid < 0) {
    ::close(FCommands);
    ::close(FEvents);
    throw Exception(std::string("cannot start a worker: ") + std::strerror(forkError));
  }
  ::fcntl(FEvents, F_SETFL, ::fcntl(FEvents, F_GETFL) | O_NONBLOCK);
}

TWorkerProcess::~TWorkerProcess() {
  Stop();
  ::close(FEvents);
}

bool TWorkerProcess::Send(const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size() && FCommands >= 0) {
    const ssize_t n = ::write(FCommands, text.data() + sent, text.size() - sent);
    if (n > 0) sent += std::size_t(n);
    else if (n < 0 && errno != EINTR) return false;  // EPIPE: it is gone
  }
  return sent == text.size();
}

bool TWorkerProcess::Take(std::vector<std::string>& lines) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(FEvents, chunk, sizeof chunk);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    FPartial.append(chunk, std::size_t(n));
    std::size_t start = 0, end;
    while ((end = FPartial.find('\n', start)) != std::string::npos) {
      lines.push_back(FPartial.substr(start, end - start));
      start = end + 1;
    }
    FPartial.erase(0, start);
  }
}

void TWorkerProcess::Interrupt() {
  if (FPid > 0) ::kill(FPid, SIGTERM);
}

void TWorkerProcess::EndInput() {
  if (FCommands < 0) return;
  ::close(FCommands);
  FCommands = -1;
}

void TWorkerProcess::Stop(std::chrono::milliseconds grace) {
  EndInput();
  if (FPid <= 0) return;
  const auto until = std::chrono::steady_clock::now() + grace;
  int status = 0;
  while (::waitpid(FPid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= until) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FPid = -1;
}

}  // namespace Station
