#include "platform/tw_thread.h"

TThread::TThread() = default;

TThread::~TThread() {
  WaitFor();
}

void TThread::Resume() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FStarted) return;
  FStarted = true;
  FThread = std::thread([this] {
    Execute();
    FFinished.store(true, std::memory_order_release);
  });
}

void TThread::WaitFor() {
  std::lock_guard<std::mutex> guard(FLock);
  if (FThread.joinable()) FThread.join();
}
