#include "CPort/EventWindow.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "framework/Thread.h"

struct TEventWindow::TSentMessage {
  std::mutex Lock;
  std::condition_variable Taken;
  bool Replied = false;
  std::intptr_t Result = 0;

  void Reply(std::intptr_t result) {
    {
      std::lock_guard lock(Lock);
      if (Replied) return;
      Replied = true;
      Result = result;
    }
    Taken.notify_all();
  }
};

std::intptr_t TEventWindow::SendMessageA(unsigned message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  if (IsMainThread()) return FProc(message, wParam, lParam);

  auto sent = std::make_shared<TSentMessage>();
  QueueOnMainThread([this, sent, message, wParam, lParam] {
    // A procedure that runs a message loop of its own may take another message meanwhile.
    auto outer = std::exchange(FCurrent, sent);
    std::intptr_t result = 0;
    try {
      result = FProc(message, wParam, lParam);
    } catch (...) {
      FCurrent = outer;
      sent->Reply(0);
      throw;
    }
    FCurrent = outer;
    sent->Reply(result);
  });
  std::unique_lock lock(sent->Lock);
  sent->Taken.wait(lock, [&] { return sent->Replied; });
  return sent->Result;
}

bool TEventWindow::InSendMessage() const {
  if (!FCurrent) return false;
  std::lock_guard lock(FCurrent->Lock);
  return !FCurrent->Replied;
}

void TEventWindow::ReplyMessage(std::intptr_t result) {
  if (FCurrent) FCurrent->Reply(result);
}

std::intptr_t TEventWindow::DefWindowProcA(unsigned, std::uintptr_t, std::intptr_t) { return 0; }
