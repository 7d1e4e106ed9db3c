#include "framework/Thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "framework/Component.h"

std::function<void()> WakeMainThread;
std::atomic<void (*)()> SynchronizeIdle{nullptr};

namespace {

// The thread that starts the program: static initialisation runs on it.
const std::thread::id MainThreadId = std::this_thread::get_id();

struct TSyncRequest {
  bool Done = false;
  std::exception_ptr Error;
};

struct TQueuedCall {
  std::function<void()> Fn;
  // The waiting caller's, on its stack: it waits until Done. Null for a call nobody waits for.
  TSyncRequest* Request = nullptr;
};

// One lock and one condition for the queue and for thread ends: the main thread waiting for
// a thread must wake for either.
std::mutex QueueLock;
std::condition_variable QueueChanged;
std::deque<TQueuedCall> Queue;

void Enqueue(TQueuedCall call) {
  {
    std::lock_guard lock(QueueLock);
    Queue.push_back(std::move(call));
  }
  QueueChanged.notify_all();
  if (WakeMainThread) WakeMainThread();
}

}  // namespace

bool IsMainThread() { return std::this_thread::get_id() == MainThreadId; }

bool CheckSynchronize() {
  if (!IsMainThread()) return false;
  // Only what is queued now runs: a busy thread cannot keep the main loop here for ever.
  std::size_t pending;
  {
    std::lock_guard lock(QueueLock);
    pending = Queue.size();
  }
  bool ran = false;
  for (; pending > 0; --pending) {
    TQueuedCall call;
    {
      std::lock_guard lock(QueueLock);
      if (Queue.empty()) break;  // a nested call ran it already
      call = std::move(Queue.front());
      Queue.pop_front();
    }
    ran = true;
    std::exception_ptr error;
    try {
      call.Fn();
    } catch (...) {
      error = std::current_exception();
    }
    if (call.Request) {
      {
        // The caller may return as soon as it sees Done: this thread touches the request no
        // more once the lock is released.
        std::lock_guard lock(QueueLock);
        call.Request->Error = std::move(error);
        call.Request->Done = true;
      }
      QueueChanged.notify_all();
    } else if (error) {
      HandleApplicationException(error);
    }
  }
  return ran;
}

void QueueOnMainThread(std::function<void()> fn) { Enqueue({std::move(fn), nullptr}); }

TThread::TThread() = default;

TThread::~TThread() {
  if (FThread.joinable()) WaitFor();
}

void TThread::Start() {
  if (FThread.joinable()) return;
  FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  {
    std::lock_guard lock(QueueLock);
    FFinished = true;
  }
  QueueChanged.notify_all();
}

void TThread::WaitFor() {
  if (!FThread.joinable()) return;
  if (IsMainThread()) {
    std::unique_lock lock(QueueLock);
    for (;;) {
      QueueChanged.wait(lock, [this] { return FFinished || !Queue.empty(); });
      if (FFinished) break;
      lock.unlock();
      CheckSynchronize();
      lock.lock();
    }
  }
  FThread.join();
}

void TThread::Synchronize(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  TSyncRequest request;
  Enqueue({fn, &request});
  if (auto idle = SynchronizeIdle.load(std::memory_order_relaxed)) idle();
  std::unique_lock lock(QueueLock);
  QueueChanged.wait(lock, [&] { return request.Done; });
  if (request.Error) std::rethrow_exception(request.Error);
}
