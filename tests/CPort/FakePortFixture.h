#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "CPort/ComPort.h"
#include "CPort/platform/FakeSerialPlatform.h"
#include "framework/Thread.h"

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

  // The configuration the programmer front end gives its port.
  static void Configure(TCustomComPort& port) {
    port.SetBaudRate(br57600);
    port.SetDataBits(dbEight);
    port.Parity().SetBits(prNone);
    port.SetStopBits(sbOneStopBit);
    port.FlowControl().SetOutCTSFlow(true);
    port.FlowControl().SetControlRTS(rtsHandshake);
    port.FlowControl().SetControlDTR(dtrDisable);
    port.Buffer().SetInputSize(8192);
    port.Buffer().SetOutputSize(8192);
  }

  ComPlatform::TFakeSerialPlatform Fake;
};
