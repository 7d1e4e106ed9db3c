// The command line's link session in this process, on the recording platform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "CPort/platform/FakeSerialPlatform.h"
#include "cli/LinkSession.h"

using namespace ComPlatform;

namespace {

// Waits for what another thread brings about; the limit only keeps a fault from hanging.
bool Eventually(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string Contents(std::FILE* file) {
  std::string text(65536, '\0');
  const ssize_t n = ::pread(::fileno(file), text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

}  // namespace

TEST(LinkSession, WriteProgressFollowsWhatHasLeftThePortNotWhatItTook) {
  TFakeSerialPlatform fake;
  SetSerialPlatform(&fake);
  Cli::InstallMainLoop();
  std::FILE* shown = std::tmpfile();
  ASSERT_NE(shown, nullptr);
  Cli::TProgress progress(Cli::TProgress::pmTenths, shown);
  std::string image;
  for (int i = 0; i < 100; ++i) image += ":020000000528D1\r\n";
  image += ":00000001FF\r\n";

  std::string shownWhenAllTaken;
  std::thread programmer([&] {
    ASSERT_TRUE(Eventually([&] { return fake.Written().find('\xA4') != std::string::npos; }));
    fake.Receive("0E28\r\nReady\r\n");
    // The port has taken the whole image, but its driver still holds every character.
    ASSERT_TRUE(Eventually([&] { return fake.Written().ends_with(":00000001FF"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    shownWhenAllTaken = Contents(shown);
    fake.SetOutputQueue(0);
    fake.Receive("Ready\r\n");
  });
  {
    Cli::TLinkSession session(progress);
    session.Connect({"COM9", {}});
    fake.SetOutputQueue(1 << 20);
    EXPECT_TRUE(session.Write(image, 0).empty());
  }
  programmer.join();
  EXPECT_EQ(shownWhenAllTaken, "");
  EXPECT_NE(Contents(shown).find("Writing PIC16F877A: 100 %"), std::string::npos) << Contents(shown);
  std::fclose(shown);
  SetSerialPlatform(nullptr);
}
