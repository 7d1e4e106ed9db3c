#include "ReadFloor.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "SimProcess.h"

TFloorRead RunFloorRead(const std::vector<std::string>& simOptions, const std::string& command,
                        const std::string& reader) {
  TSimProcess device(simOptions);
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / reader).string();
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::execl(program.c_str(), program.c_str(), device.SlavePath().c_str(), command.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string output;
  char chunk[65536];
  for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    output.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  TFloorRead read;
  const std::size_t lineEnd = output.find('\n');
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || lineEnd == std::string::npos ||
      std::sscanf(output.c_str(), "cpu %lf wall %lf reads %ld", &read.CpuSeconds,
                  &read.WallSeconds, &read.Reads) != 3)
    throw std::runtime_error(program + " failed");
  read.Answer = output.substr(lineEnd + 1);
  return read;
}
