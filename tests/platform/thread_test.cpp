#include "platform/tw_thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

class TCountingThread : public TThread {
 public:
  ~TCountingThread() override { WaitFor(); }
  std::atomic<int> Runs{0};
  std::atomic<bool> SawTerminated{false};
  std::atomic<bool> WaitForStop{false};

 protected:
  void Execute() override {
    ++Runs;
    while (WaitForStop && !Terminated()) std::this_thread::yield();
    SawTerminated = Terminated();
  }
};

TEST(ThreadTest, RunsOnlyAfterResumeAndOnlyOnce) {
  TCountingThread t;
  t.WaitFor();  // never started: returns at once
  EXPECT_EQ(t.Runs, 0);
  EXPECT_FALSE(t.Started());
  t.Resume();
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(t.Runs, 1);
  EXPECT_TRUE(t.Finished());
  t.Resume();  // a thread cannot be restarted
  t.WaitFor();
  EXPECT_EQ(t.Runs, 1);
}

TEST(ThreadTest, TerminateIsSeenByExecute) {
  TCountingThread t;
  t.WaitForStop = true;
  t.Resume();
  t.Terminate();
  t.WaitFor();
  EXPECT_TRUE(t.Terminated());
  EXPECT_TRUE(t.SawTerminated);
}

TEST(ThreadTest, DestructionWaitsForTheThread) {
  class TSlowThread : public TThread {
   public:
    explicit TSlowThread(std::atomic<bool>& Done) : FDone(Done) {}
    ~TSlowThread() override { WaitFor(); }

   protected:
    void Execute() override {
      while (!Terminated()) std::this_thread::yield();
      for (int i = 0; i < 1000; ++i) std::this_thread::yield();
      FDone = true;
    }

   private:
    std::atomic<bool>& FDone;
  };
  std::atomic<bool> done{false};
  auto t = std::make_unique<TSlowThread>(done);
  t->Resume();
  t->Terminate();
  t.reset();
  EXPECT_TRUE(done);
}

TEST(ThreadTest, TerminateBeforeResumeStillRunsExecuteOnce) {
  TCountingThread t;
  t.Terminate();
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(t.Runs, 1);
  EXPECT_TRUE(t.SawTerminated);
}

}  // namespace
