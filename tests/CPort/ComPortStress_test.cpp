#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "CPort/ComPort.h"
#include "framework/Thread.h"
#include "link/ProgrammerLine.h"
#include "platform/PtyPair.h"

// A megabyte of random bytes, written in bursts of random size, through a pseudo-terminal
// into an open port: its event thread reports them and the received-bytes handler reads
// them, all of them, each once, in order.
TEST(ComPortStress, RandomBurstsArriveCompleteAndInOrder) {
  constexpr std::size_t Total = 1 << 20;
  std::mt19937 random(20261208);
  std::vector<unsigned char> sent(Total);
  for (auto& b : sent) b = static_cast<unsigned char>(random());

  TPtyPair device;
  TComPort port(nullptr);
  port.SetPort(device.SlavePath());
  ConfigureProgrammerLine(port);
  std::string received;
  received.reserve(Total);
  int events = 0;
  std::string chunk;
  port.OnRxChar = [&](TObject*, int count) {
    ++events;
    EXPECT_EQ(port.ReadText(chunk, count), count);
    received += chunk;
  };
  port.OpenPort();

  std::thread writer([&] {
    std::mt19937 sizes(1);
    for (std::size_t at = 0; at < Total;) {
      const std::size_t burst = std::min<std::size_t>(Total - at, 1 + sizes() % 3000);
      device.Send(std::vector<unsigned char>(sent.begin() + at, sent.begin() + at + burst));
      at += burst;
      if (sizes() % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(sizes() % 500));
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (received.size() < Total && std::chrono::steady_clock::now() < deadline)
    if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  writer.join();
  // Anything extra would arrive now.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
  while (std::chrono::steady_clock::now() < settle) CheckSynchronize();
  port.ClosePort();

  ASSERT_EQ(received.size(), Total);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), received.begin(),
                         [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
  EXPECT_GT(events, 1);
}
