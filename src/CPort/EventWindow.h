#pragma once
#include <cstdint>
#include <functional>
#include <memory>

// A hidden message window of our own: a message sent to it from another thread runs its
// procedure on the main thread (queued there, and the main loop woken), and the sender waits
// until the procedure has taken the message: by ReplyMessage, or by returning.
class TEventWindow {
public:
  using TWindowProc = std::function<std::intptr_t(unsigned message, std::uintptr_t wParam,
                                                  std::intptr_t lParam)>;

  explicit TEventWindow(TWindowProc proc);
  TEventWindow(const TEventWindow&) = delete;
  TEventWindow& operator=(const TEventWindow&) = delete;

  // Sent from the main thread the procedure runs at once.
  std::intptr_t SendMessageA(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

  // Inside the procedure: the message came from another thread that still waits for it.
  bool InSendMessage() const;
  // Inside the procedure: releases the waiting sender with result.
  void ReplyMessage(std::intptr_t result);

  // What the window does with messages it has no use for.
  static std::intptr_t DefWindowProcA(unsigned message, std::uintptr_t wParam,
                                      std::intptr_t lParam);

private:
  struct TSentMessage;
  struct TState;

  // Shared with the messages on their way: a procedure may destroy its own window (a
  // handler that closes the port), and the message it is handling finishes all the same.
  std::shared_ptr<TState> FState;
};
