#pragma once
#include <atomic>
#include <exception>
#include <functional>
#include <thread>

// Threads and the hand-over of work to the main thread.
//
// Work that must run on the main thread is queued there; the main loop learns of it through
// WakeMainThread, which the program installs, and runs it with CheckSynchronize.

// Called (from any thread) whenever work is queued for the main thread.
extern std::function<void()> WakeMainThread;

// How a thread that has handed work to the main thread with TThread::Synchronize may sleep
// before it waits for that work to end: whoever knows what the thread will wait for next can
// keep it asleep past the work's end until that comes, which saves waking it for the end
// alone. It returns when the thread has more to do, or after a while; Synchronize then
// waits for the work as usual. nullptr: none.
extern std::atomic<void (*)()> SynchronizeIdle;

bool IsMainThread();

// Runs the queued work on the main thread; returns whether anything ran. Called off the main
// thread it does nothing.
bool CheckSynchronize();

// Queues fn for the main thread and returns at once.
void QueueOnMainThread(std::function<void()> fn);

class TThread {
public:
  TThread();  // made without starting; Start runs Execute on a new thread at normal priority
  virtual ~TThread();  // waits for a started thread to end
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  bool Finished() const { return FFinished; }

  // Waits until Execute has returned. On the main thread it keeps running queued work while it
  // waits, so a thread that waits for the main thread can always end.
  void WaitFor();

  // The exception that ended Execute, if one did.
  std::exception_ptr FatalException() const { return FFatalException; }

  // Runs fn on the main thread and returns once it has run; an exception from fn is raised
  // again here. On the main thread fn runs at once.
  static void Synchronize(const std::function<void()>& fn);

protected:
  virtual void Execute() = 0;

private:
  void Run();

  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::exception_ptr FFatalException;
};
