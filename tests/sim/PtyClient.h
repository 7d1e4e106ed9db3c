#pragma once
#include <string>

// The host's end of the line in tests: opens the simulator's slave raw, writes, and reads
// until an expected text arrives. The generous deadline only keeps a broken simulator from
// hanging the suite; no test depends on timing.
class TPtyClient {
public:
  explicit TPtyClient(const std::string& path);
  ~TPtyClient();
  TPtyClient(const TPtyClient&) = delete;
  TPtyClient& operator=(const TPtyClient&) = delete;

  void Send(const std::string& bytes);
  // Reads until the received text ends with `ending`; returns everything read.
  std::string ReadUntil(const std::string& ending, int deadlineMs = 20000);
  // Sends, then reads the answer up to and including "Ready" CR LF.
  std::string Ask(const std::string& bytes) {
    Send(bytes);
    return ReadUntil("Ready\r\n");
  }
  // The first bytes that arrive.
  std::string ReadSome(int deadlineMs = 20000);
  // Whatever arrives within `ms`, for checking that nothing does.
  std::string ReadFor(int ms);

private:
  int FFd;
};

// Every character of every line of a HEX file, without line breaks, as the host sends them.
std::string HexFileAsSent(const std::string& path);
