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

struct TEventWindow::TState {
  TWindowProc Proc;
  std::shared_ptr<TSentMessage> Current;  // the cross-thread message being handled
};

TEventWindow::TEventWindow(TWindowProc proc)
    : FState(std::make_shared<TState>(TState{std::move(proc), nullptr})) {}

std::intptr_t TEventWindow::SendMessageA(unsigned message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  if (IsMainThread()) return FState->Proc(message, wParam, lParam);

  auto sent = std::make_shared<TSentMessage>();
  QueueOnMainThread([state = FState, sent, message, wParam, lParam] {
    // A procedure that runs a message loop of its own may take another message meanwhile.
    auto outer = std::exchange(state->Current, sent);
    std::intptr_t result = 0;
    try {
      result = state->Proc(message, wParam, lParam);
    } catch (...) {
      state->Current = outer;
      sent->Reply(0);
      throw;
    }
    state->Current = outer;
    sent->Reply(result);
  });
  std::unique_lock lock(sent->Lock);
  sent->Taken.wait(lock, [&] { return sent->Replied; });
  return sent->Result;
}

bool TEventWindow::InSendMessage() const {
  const auto& current = FState->Current;
  if (!current) return false;
  std::lock_guard lock(current->Lock);
  return !current->Replied;
}

void TEventWindow::ReplyMessage(std::intptr_t result) {
  if (FState->Current) FState->Current->Reply(result);
}

std::intptr_t TEventWindow::DefWindowProcA(unsigned, std::uintptr_t, std::intptr_t) { return 0; }
