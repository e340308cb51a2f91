#include "platform/tw_messages.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <sched.h>
#endif

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TLog {
  std::vector<uint32_t> Msgs;
  std::vector<std::string> Texts;
};

// Runs Count sends of WM_SHOWSTATUS with "dir<i>" and then posts WM_FINDFINISHED, on
// a worker, while the test thread runs the receiver's loop.
void RunWorker(TTWMessageReceiver& R, TLog& Log, int Count, bool* SendsReturnedInOrder) {
  std::atomic<bool> finished{false};
  R.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
    Log.Msgs.push_back(Msg);
    if (Msg == WM_SHOWSTATUS) {
      Log.Texts.emplace_back(reinterpret_cast<const char*>(L));
      return static_cast<TTWLResult>(Log.Texts.size());
    }
    if (Msg == WM_FINDFINISHED) finished = true;
    return 0;
  });
  std::thread worker([&] {
    bool inOrder = true;
    for (int i = 0; i < Count; ++i) {
      std::string text = "dir" + std::to_string(i);
      // The handler has run when the send returns: its result is the number of texts so far.
      if (R.SendMessage(WM_SHOWSTATUS, 0, reinterpret_cast<TTWLParam>(text.c_str())) != i + 1) {
        inOrder = false;
      }
      text.assign("overwritten after the call");
    }
    if (SendsReturnedInOrder) *SendsReturnedInOrder = inOrder;
    R.PostMessage(WM_FINDFINISHED, 0, 0);
  });
  R.RunUntil([&] { return finished.load(); });
  worker.join();
}

class MessagesTest : public ::testing::TestWithParam<bool> {};

TEST_P(MessagesTest, SendIsSynchronousAndTheEndMessageComesLast) {
  TTWMessageReceiver r;
  r.SetSpinning(GetParam());
  TLog log;
  bool inOrder = false;
  RunWorker(r, log, 500, &inOrder);
  EXPECT_TRUE(inOrder);
  ASSERT_EQ(log.Msgs.size(), 501u);
  EXPECT_EQ(log.Msgs.back(), WM_FINDFINISHED);
  ASSERT_EQ(log.Texts.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(log.Texts[i], "dir" + std::to_string(i));
  const TTWMessageStats s = r.Stats();
  EXPECT_EQ(s.Sent, 500u);
  EXPECT_EQ(s.Posted, 1u);
}

INSTANTIATE_TEST_SUITE_P(SpinAndBlock, MessagesTest, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Spinning" : "Blocking"; });

TEST(MessagesTest, PostedMessagesKeepTheirOrderAndParameters) {
  TTWMessageReceiver r;
  std::vector<std::pair<uint32_t, TTWLParam>> got;
  r.SetHandler([&](uint32_t Msg, TTWWParam W, TTWLParam L) -> TTWLResult {
    EXPECT_EQ(W, 7u);
    got.emplace_back(Msg, L);
    return 0;
  });
  r.PostMessage(WM_SHOWMAIN, 7, 1);
  r.PostMessage(WM_FINDFINISHED, 7, 2);
  r.PostMessage(WM_DELETEFINISHED, 7, 3);
  EXPECT_TRUE(r.WaitMessage(std::chrono::microseconds(0)));
  EXPECT_EQ(r.DispatchMessages(), 3);
  const std::vector<std::pair<uint32_t, TTWLParam>> want = {
      {WM_SHOWMAIN, 1}, {WM_FINDFINISHED, 2}, {WM_DELETEFINISHED, 3}};
  EXPECT_EQ(got, want);
  EXPECT_FALSE(r.WaitMessage(std::chrono::microseconds(1000)));
  EXPECT_EQ(r.DispatchMessages(), 0);
}

TEST(MessagesTest, SendOnTheReceiversOwnThreadCallsTheHandlerDirectly) {
  TTWMessageReceiver r([](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
    return Msg == WM_SHOWSTATUS ? L * 2 : -1;
  });
  EXPECT_EQ(r.SendMessage(WM_SHOWSTATUS, 0, 21), 42);
}

TEST(MessagesTest, PendingSendGoesBeforeAnEarlierQueuedPost) {
  TTWMessageReceiver r;
  r.SetSpinning(false);
  std::vector<uint32_t> order;
  r.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
    order.push_back(Msg);
    return 0;
  });
  std::thread sender([&] { r.SendMessage(WM_SHOWSTATUS, 0, 0); });
  // Without spinning the sender counts its sleep once its message is in the slot.
  while (r.Stats().SenderSleeps == 0) std::this_thread::yield();
  r.PostMessage(WM_SHOWMAIN, 0, 0);
  EXPECT_EQ(r.DispatchMessages(), 2);
  sender.join();
  const std::vector<uint32_t> want = {WM_SHOWSTATUS, WM_SHOWMAIN};
  EXPECT_EQ(order, want);
}

TEST(MessagesTest, NestedLoopInAHandlerDoesNotHandleTheSameSendTwice) {
  TTWMessageReceiver r;
  int statuses = 0;
  bool done = false;
  r.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
    if (Msg == WM_SHOWSTATUS) {
      ++statuses;
      r.DispatchMessages();  // a modal dialog runs its own loop
    }
    if (Msg == WM_DELETEFINISHED) done = true;
    return 0;
  });
  std::thread worker([&] {
    r.SendMessage(WM_SHOWSTATUS, 0, 0);
    r.SendMessage(WM_SHOWSTATUS, 0, 0);
    r.PostMessage(WM_DELETEFINISHED, 0, 0);
  });
  r.RunUntil([&] { return done; });
  worker.join();
  EXPECT_EQ(statuses, 2);
}

TEST(MessagesTest, ThrowingHandlerStillReleasesTheSender) {
  TTWMessageReceiver r([](uint32_t, TTWWParam, TTWLParam) -> TTWLResult {
    throw std::runtime_error("handler failed");
  });
  std::atomic<bool> returned{false};
  std::thread sender([&] {
    r.SendMessage(WM_SHOWSTATUS, 0, 0);
    returned = true;
  });
  while (!returned) {
    if (r.WaitMessage(std::chrono::milliseconds(10))) {
      EXPECT_THROW(r.DispatchMessages(), std::runtime_error);
    }
  }
  sender.join();
}

TEST(MessagesTest, SeveralSendersAreAllServed) {
  TTWMessageReceiver r;
  int handled = 0;
  int ended = 0;
  r.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
    if (Msg == WM_SHOWSTATUS) ++handled;
    if (Msg == WM_FINDFINISHED) ++ended;
    return 0;
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 200; ++i) r.SendMessage(WM_SHOWSTATUS, 0, 0);
      r.PostMessage(WM_FINDFINISHED, 0, 0);
    });
  }
  r.RunUntil([&] { return ended == 3; });
  for (auto& s : senders) s.join();
  EXPECT_EQ(handled, 600);
}

TEST(MessagesTest, ReceiverOnAnotherThreadAfterSetOwnerThread) {
  TTWMessageReceiver r;
  std::atomic<bool> owned{false};
  std::atomic<bool> stop{false};
  std::thread::id handledOn;
  r.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
    handledOn = std::this_thread::get_id();
    if (Msg == WM_DELETEFINISHED) stop = true;
    return 5;
  });
  std::thread loop([&] {
    r.SetOwnerThread();
    owned = true;
    r.RunUntil([&] { return stop.load(); });
  });
  while (!owned) std::this_thread::yield();
  // The test thread is no longer the owner: the send travels to the loop thread.
  EXPECT_EQ(r.SendMessage(WM_SHOWSTATUS, 0, 0), 5);
  EXPECT_NE(handledOn, std::this_thread::get_id());
  r.PostMessage(WM_DELETEFINISHED, 0, 0);
  loop.join();
}

#ifdef __linux__
// Spinning is decided by the CPUs the process may use, not by how many the machine has:
// pinned to one CPU, a spin only delays the thread it waits for.
TEST(MessagesTest, NoSpinningWhenPinnedToOneCpu) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  int cpu = 0;
  while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &saved)) ++cpu;
  ASSERT_LT(cpu, CPU_SETSIZE);
  bool pinnedOk = false, spinning = true;
  // A thread of its own, so the test thread's affinity is never touched.
  std::thread pinned([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0) return;
    pinnedOk = true;
    TTWMessageReceiver r;
    spinning = r.Spinning();
  });
  pinned.join();
  if (!pinnedOk) GTEST_SKIP() << "cannot set the affinity here";
  EXPECT_FALSE(spinning);
  if (CPU_COUNT(&saved) >= 2) {
    EXPECT_TRUE(TTWMessageReceiver().Spinning());
  }
}
#endif

}  // namespace
