#pragma once
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

// A pseudo-terminal whose slave the program opens as its port while the test plays the
// device on the master.
class TPty {
public:
  TPty() {
    char name[256] = {};
    if (::openpty(&FMaster, &FSlave, name, nullptr, nullptr) == 0) {
      FSlavePath = name;
      termios raw{};
      ::tcgetattr(FSlave, &raw);
      ::cfmakeraw(&raw);
      ::tcsetattr(FSlave, TCSANOW, &raw);
    }
  }
  ~TPty() {
    if (FSlave >= 0) ::close(FSlave);
    if (FMaster >= 0) ::close(FMaster);
  }
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }

  void Send(const std::string& bytes) const {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }

  // What the program has sent so far: reads until count bytes came or nothing more arrives
  // within the quiet time.
  std::string Received(std::size_t count = SIZE_MAX,
                       std::chrono::milliseconds quiet = std::chrono::milliseconds(300)) const {
    std::string bytes;
    while (bytes.size() < count) {
      pollfd fd{FMaster, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(quiet.count())) <= 0 || !(fd.revents & POLLIN)) break;
      char chunk[4096];
      const ssize_t n = ::read(FMaster, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
  }

private:
  int FMaster = -1;
  int FSlave = -1;
  std::string FSlavePath;
};
