#pragma once
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// A pseudo-terminal whose master side the test drives. The test's own slave descriptor is
// closed at once, so the port under test is the only one on the slave side and a hang-up
// of the master reaches it.
class TPtyPair {
public:
  TPtyPair() {
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&FMaster, &slave, nullptr, &raw, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    FSlavePath = ttyname(slave);
    ::close(slave);
  }
  ~TPtyPair() { CloseMaster(); }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }
  int Master() const { return FMaster; }
  void CloseMaster() {
    if (FMaster >= 0) ::close(FMaster);
    FMaster = -1;
  }

  void Send(const std::vector<unsigned char>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
      if (n <= 0) throw std::runtime_error("write to master failed");
      done += static_cast<std::size_t>(n);
    }
  }
  void Send(const std::string& text) const { Send(std::vector<unsigned char>(text.begin(), text.end())); }

  // Reads what the port sent until count bytes have come or a second has passed.
  std::vector<unsigned char> Receive(std::size_t count) const {
    std::vector<unsigned char> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd p{FMaster, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      unsigned char buffer[4096];
      const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

private:
  int FMaster = -1;
  std::string FSlavePath;
};

// Waits up to two seconds for a condition that another thread makes true.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
