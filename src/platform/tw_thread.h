// A worker thread object: created suspended, started once with Resume, stopped
// cooperatively through the Terminated flag. Its creator frees it; destruction waits.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

class TThread {
 public:
  TThread();  // suspended: nothing runs until Resume
  // Waits for the thread. A derived class must call WaitFor in its own destructor,
  // since Execute may still be using the derived part.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts Execute on a new thread; later calls do nothing.
  void Resume();
  // Asks Execute to stop at its next check.
  void Terminate() { FTerminated.store(true, std::memory_order_relaxed); }
  bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
  // Blocks until Execute has returned (at once when the thread was never started).
  void WaitFor();
  // Execute has returned.
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }
  bool Started() const { return FStarted; }

 protected:
  virtual void Execute() = 0;

 private:
  std::mutex FLock;  // guards starting and joining
  std::thread FThread;
  bool FStarted = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
};
