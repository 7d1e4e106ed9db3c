#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

// How the child is started: which program, and where its standard descriptors lead.
struct TCliSetup {
  std::string Program = TOLVANE_CLI_PROGRAM;
  std::string Input = "/dev/null";  // standard input
  bool Piped = false;               // standard input a pipe the test writes with Tell
  int ErrFd = -1;                   // standard error on this descriptor instead of a pipe
  bool Screen = false;              // standard output on ErrFd as well
  int ClosedFd = -1;                // a standard descriptor left closed
};

// tolvane-cli as a child process, its standard output and error on pipes.
class TCliRun {
public:
  explicit TCliRun(std::vector<std::string> args, const TCliSetup& setup = {}) {
    int out[2], err[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        (setup.Piped && ::pipe2(in, O_CLOEXEC) != 0))
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (setup.Piped) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    else posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, setup.Input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, setup.Screen ? setup.ErrFd : out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, setup.ErrFd >= 0 ? setup.ErrFd : err[1], STDERR_FILENO);
    if (setup.ClosedFd >= 0) posix_spawn_file_actions_addclose(&actions, setup.ClosedFd);
    args.insert(args.begin(), setup.Program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&FPid, setup.Program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (setup.Piped) ::close(in[0]);
    FOut = out[0];
    FErr = err[0];
    FIn = in[1];
    if (rc != 0) throw std::runtime_error("cannot start " + setup.Program);
  }
  ~TCliRun() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    if (FOut >= 0) ::close(FOut);
    ::close(FErr);
    EndInput();
  }
  TCliRun(const TCliRun&) = delete;
  TCliRun& operator=(const TCliRun&) = delete;

  std::string Out, Err;

  // Reads what the program wrote until its standard error holds `text`.
  bool AwaitErr(const std::string& text, int limitMs = 60000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (Err.find(text) == std::string::npos)
      if (!Pump(until)) return false;
    return true;
  }
  // Reads until standard output holds `text` `times` times.
  bool AwaitOut(const std::string& text, int times = 1, int limitMs = 60000) {
    return AwaitOut([&](const std::string& out) { return Count(out, text) >= times; }, limitMs);
  }
  bool AwaitOut(const std::function<bool(const std::string&)>& done, int limitMs = 60000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done(Out))
      if (!Pump(until)) return false;
    return true;
  }
  static int Count(const std::string& text, const std::string& part) {
    int found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++found;
    return found;
  }
  void Signal(int signal) const { ::kill(FPid, signal); }
  pid_t Pid() const { return FPid; }
  // Lines on its standard input.
  void Tell(const std::string& text) {
    if (::write(FIn, text.data(), text.size()) != ssize_t(text.size())) throw std::runtime_error("input not taken");
  }
  void EndInput() {
    if (FIn >= 0) ::close(FIn);
    FIn = -1;
  }
  // The reader of standard output goes away, as `head` does once it has its line.
  void CloseOutput() {
    ::close(FOut);
    FOut = -1;
    FOutOpen = 0;
  }

  // Reads everything to the end and returns the exit status (128 + signal when killed). The
  // limit only keeps a hanging program from hanging the suite.
  int Wait(int limitMs = 60000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (Pump(until)) {
    }
    int status = 0;
    if (std::chrono::steady_clock::now() >= until) ::kill(FPid, SIGKILL);
    ::waitpid(FPid, &status, 0);
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

private:
  // One round of reading; false once both pipes are at their end or the limit has passed.
  bool Pump(std::chrono::steady_clock::time_point until) {
    pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || (FOutOpen + FErrOpen) == 0) return false;
    if (!FOutOpen) fds[0].fd = -1;
    if (!FErrOpen) fds[1].fd = -1;
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) return false;
    Drain(fds[0], FOut, Out, FOutOpen);
    Drain(fds[1], FErr, Err, FErrOpen);
    return true;
  }
  static void Drain(const pollfd& fd, int from, std::string& into, int& open) {
    if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) return;
    char chunk[4096];
    const ssize_t n = ::read(from, chunk, sizeof chunk);
    if (n <= 0)
      open = 0;
    else
      into.append(chunk, static_cast<std::size_t>(n));
  }

  pid_t FPid = -1;
  int FOut = -1, FErr = -1, FIn = -1;
  int FOutOpen = 1, FErrOpen = 1;
};
