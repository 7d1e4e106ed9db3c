#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

std::string SimulatorPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tolvane-sim").string();
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

TSimProcess::TSimProcess(const std::vector<std::string>& options) {
  const std::string program = SimulatorPath();
  std::vector<std::string> arguments{program, "--no-publish"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) Fail("pipe");
  FPid = ::fork();
  if (FPid < 0) Fail("fork");
  if (FPid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);

  // The first line of its output is the port; it may be used as soon as it is there.
  std::string line;
  for (;;) {
    pollfd fd{out[0], POLLIN, 0};
    if (::poll(&fd, 1, 10000) <= 0) break;
    char c;
    if (::read(out[0], &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  ::close(out[0]);
  if (line.empty()) {
    Stop();
    throw std::runtime_error("the simulator " + program + " did not start");
  }
  FSlavePath = line;
}

TSimProcess::~TSimProcess() { Stop(); }

void TSimProcess::Stop() noexcept {
  if (FPid <= 0) return;
  ::kill(FPid, SIGTERM);
  int status = 0;
  while (::waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
  }
  FPid = -1;
}
