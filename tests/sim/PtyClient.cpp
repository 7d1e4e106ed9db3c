#include "PtyClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

TPtyClient::TPtyClient(const std::string& path) {
  FFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FFd < 0) throw std::runtime_error("open " + path + ": " + std::strerror(errno));
  termios tio{};
  tcgetattr(FFd, &tio);
  cfmakeraw(&tio);
  tcsetattr(FFd, TCSANOW, &tio);
}

TPtyClient::~TPtyClient() { close(FFd); }

void TPtyClient::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(FFd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error(std::string("write: ") + std::strerror(errno));
    done += std::size_t(n);
  }
}

std::string TPtyClient::ReadUntil(const std::string& ending, int deadlineMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(deadlineMs);
  std::string text;
  char buf[4096];
  while (!text.ends_with(ending)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, int(left)) <= 0) continue;
    const ssize_t n = read(FFd, buf, sizeof buf);
    if (n > 0) text.append(buf, std::size_t(n));
  }
  return text;
}

std::string TPtyClient::ReadSome(int deadlineMs) {
  char buf[4096];
  pollfd p{FFd, POLLIN, 0};
  if (poll(&p, 1, deadlineMs) <= 0) return {};
  const ssize_t n = read(FFd, buf, sizeof buf);
  return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
}

std::string TPtyClient::ReadFor(int ms) {
  std::string text;
  char buf[4096];
  pollfd p{FFd, POLLIN, 0};
  while (poll(&p, 1, ms) > 0) {
    const ssize_t n = read(FFd, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, std::size_t(n));
  }
  return text;
}

std::string HexFileAsSent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line, all;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    all += line;
  }
  return all;
}
