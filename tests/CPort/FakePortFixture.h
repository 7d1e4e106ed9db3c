#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "CPort/ComPort.h"
#include "CPort/platform/FakeSerialPlatform.h"
#include "framework/Thread.h"
#include "link/ProgrammerLine.h"

// Ports made inside these tests talk to a recording fake device.
class FakePortTest : public ::testing::Test {
protected:
  void SetUp() override { ComPlatform::SetSerialPlatform(&Fake); }
  void TearDown() override {
    CheckSynchronize();
    ComPlatform::SetSerialPlatform(nullptr);
  }

  // Runs the main thread's queued work until done() holds; false after the time limit.
  static bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  ComPlatform::TFakeSerialPlatform Fake;
};
