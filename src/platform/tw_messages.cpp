#include "platform/tw_messages.h"

#include <algorithm>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

using TClock = std::chrono::steady_clock;

// Spin budgets. A round trip that spins costs well under a microsecond; one that
// blocks costs a wake-up of tens of microseconds. The budget should exceed the usual
// gap between two messages (a directory takes some tens of microseconds to list).
constexpr int64_t kInitialSpinNs = 50'000;
constexpr int64_t kMinSpinNs = 1'000;
constexpr int64_t kMaxSpinNs = 100'000;
// With the budget at 0, every so many waits spin once more with the initial budget.
constexpr uint32_t kProbeEvery = 64;
// The receiver waits for the worker's next message, which comes after the worker has
// listed a directory. A wake-up from sleep costs the worker 50-100 us in a virtual
// machine, and one every few directories doubles the cost of the hand-off, so the
// receiver keeps spinning for as long as the last gaps took (the budget doubles after a
// message that came in time and halves after one that did not), and never gives up
// altogether: it spins only while the worker runs on another CPU, where the spin takes
// nothing from it. Past 200 us a wake-up costs the worker little against the gap, and a
// longer spin only burns a CPU while the worker waits for the disk.
constexpr int64_t kReceiverMinSpinNs = 50'000;
constexpr int64_t kReceiverMaxSpinNs = 200'000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
  __asm__ __volatile__("yield");
#endif
}

// The CPUs this process may run on: an affinity mask (taskset, a container's cpuset)
// can leave one CPU on a machine with many.
unsigned UsableCpus() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
  return std::thread::hardware_concurrency();
}

// The CPU the calling thread runs on, or -1 where that cannot be known.
int CurrentCpu() {
#ifdef __linux__
  return sched_getcpu();
#else
  return -1;
#endif
}

int64_t ElapsedNs(TClock::time_point Since) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - Since).count();
}

// Spins until Ready() or BudgetNs has passed; the clock is read only every few turns.
template <typename TReady>
bool SpinFor(int64_t BudgetNs, TReady Ready) {
  if (BudgetNs <= 0) return Ready();
  const TClock::time_point start = TClock::now();
  for (uint32_t turn = 0;; ++turn) {
    if (Ready()) return true;
    CpuRelax();
    if ((turn & 15) == 15 && ElapsedNs(start) >= BudgetNs) return Ready();
  }
}

// The budget for the next wait.
int64_t NextBudget(int64_t Budget, uint32_t& Skipped) {
  if (Budget > 0) return Budget;
  if (++Skipped < kProbeEvery) return 0;
  Skipped = 0;
  return kInitialSpinNs;
}

// A spin that succeeded earns a longer one; one that ended in sleep halves the budget,
// down to 0. The time the other side took after the spin gave up says nothing useful:
// on a busy machine the spin itself may have kept it from running.
int64_t AfterSpin(int64_t Budget, int64_t Used, bool Succeeded) {
  if (Used <= 0) return Budget;
  if (Succeeded) return std::min(kMaxSpinNs, std::max(kMinSpinNs, Used * 2));
  Used /= 2;
  return Used < kMinSpinNs ? 0 : Used;
}

}  // namespace

TTWMessageReceiver::TTWMessageReceiver() : TTWMessageReceiver(THandler()) {}

TTWMessageReceiver::TTWMessageReceiver(THandler Handler)
    : FHandler(std::move(Handler)),
      FOwner(std::this_thread::get_id()),
      FSenderSpinNs(kInitialSpinNs),
      FReceiverSpinNs(kReceiverMinSpinNs) {
  // Spinning on a single CPU only delays the thread that is being waited for.
  FSpinAllowed.store(UsableCpus() >= 2, std::memory_order_relaxed);
}

TTWMessageReceiver::~TTWMessageReceiver() = default;

void TTWMessageReceiver::SetHandler(THandler Handler) {
  FHandler = std::move(Handler);
}

void TTWMessageReceiver::SetOwnerThread() {
  FOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void TTWMessageReceiver::SetSpinning(bool On) {
  FSpinAllowed.store(On, std::memory_order_relaxed);
}

bool TTWMessageReceiver::OnOwnerThread() const {
  return FOwner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

bool TTWMessageReceiver::HasWork() const {
  return FSlot.load(std::memory_order_seq_cst) == SlotFull ||
         FPostedCount.load(std::memory_order_seq_cst) != 0;
}

void TTWMessageReceiver::WakeReceiver() {
  { std::lock_guard<std::mutex> guard(FSleepLock); }
  FReceiverCond.notify_one();
  FWakes.fetch_add(1, std::memory_order_relaxed);
}

void TTWMessageReceiver::WakeSender() {
  { std::lock_guard<std::mutex> guard(FSleepLock); }
  FSenderCond.notify_one();
  FWakes.fetch_add(1, std::memory_order_relaxed);
}

TTWLResult TTWMessageReceiver::SendMessage(uint32_t Msg, TTWWParam WParam, TTWLParam LParam) {
  if (OnOwnerThread()) return FHandler ? FHandler(Msg, WParam, LParam) : 0;

  std::lock_guard<std::mutex> sending(FSendLock);
  const int cpu = CurrentCpu();
  if (FSenderCpu.load(std::memory_order_relaxed) != cpu)
    FSenderCpu.store(cpu, std::memory_order_relaxed);
  FSlotMsg = Msg;
  FSlotWParam = WParam;
  FSlotLParam = LParam;
  FSlot.store(SlotFull, std::memory_order_seq_cst);
  if (FReceiverSleeping.load(std::memory_order_seq_cst)) WakeReceiver();

  auto done = [this] { return FSlot.load(std::memory_order_acquire) == SlotDone; };
  const bool spin = FSpinAllowed.load(std::memory_order_relaxed);
  const int64_t budget = spin ? NextBudget(FSenderSpinNs, FSenderSkipped) : 0;
  const bool answered = SpinFor(budget, done);
  FSenderSpinNs = AfterSpin(FSenderSpinNs, budget, answered);
  if (!answered) {
    FSenderSleeps.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(FSleepLock);
    FSenderSleeping.store(true, std::memory_order_seq_cst);
    while (FSlot.load(std::memory_order_seq_cst) != SlotDone) FSenderCond.wait(lock);
    FSenderSleeping.store(false, std::memory_order_relaxed);
  }
  // The slot stays Done: a store of Empty would only move its line once more.
  return FSlotResult;
}

void TTWMessageReceiver::PostMessage(uint32_t Msg, TTWWParam WParam, TTWLParam LParam) {
  bool wake;
  {
    std::lock_guard<std::mutex> guard(FSleepLock);
    FPostedMsg.push_back(Msg);
    FPostedWParam.push_back(WParam);
    FPostedLParam.push_back(LParam);
    FPostedCount.fetch_add(1, std::memory_order_seq_cst);
    wake = FReceiverSleeping.load(std::memory_order_relaxed);
  }
  if (wake) {
    FReceiverCond.notify_one();
    FWakes.fetch_add(1, std::memory_order_relaxed);
  }
}

bool TTWMessageReceiver::HandleSent() {
  uint32_t expected = SlotFull;
  // Busy while the handler runs, so that a nested loop (a modal dialog) does not
  // handle the same message again.
  if (!FSlot.compare_exchange_strong(expected, SlotBusy, std::memory_order_acquire)) return false;
  TTWLResult result = 0;
  struct TComplete {
    TTWMessageReceiver* Self;
    TTWLResult& Result;
    ~TComplete() {
      // Also when the handler throws: the sender must never be left waiting.
      Self->FSlotResult = Result;
      Self->FSlot.store(SlotDone, std::memory_order_seq_cst);
      if (Self->FSenderSleeping.load(std::memory_order_seq_cst)) Self->WakeSender();
    }
  } complete{this, result};
  ++FSentCount;
  FSenderActive = true;
  if (FHandler) result = FHandler(FSlotMsg, FSlotWParam, FSlotLParam);
  return true;
}

bool TTWMessageReceiver::HandleOnePosted() {
  uint32_t msg;
  TTWWParam wparam;
  TTWLParam lparam;
  {
    std::lock_guard<std::mutex> guard(FSleepLock);
    if (FPostedMsg.empty()) return false;
    msg = FPostedMsg.front();
    wparam = FPostedWParam.front();
    lparam = FPostedLParam.front();
    FPostedMsg.pop_front();
    FPostedWParam.pop_front();
    FPostedLParam.pop_front();
    FPostedCount.fetch_sub(1, std::memory_order_seq_cst);
  }
  ++FPostedHandled;
  // A posted message usually ends a worker: no point spinning for its next send.
  FSenderActive = false;
  if (FHandler) FHandler(msg, wparam, lparam);
  return true;
}

bool TTWMessageReceiver::WaitMessage(std::chrono::microseconds Timeout) {
  if (HasWork()) return true;
  const TClock::time_point deadline = TClock::now() + Timeout;
  // Spin only while a worker is sending: its next message is likely to come soon.
  const int cpu = FSpinAllowed.load(std::memory_order_relaxed) && FSenderActive ? CurrentCpu() : -2;
  if (cpu != -2 && (cpu < 0 || cpu != FSenderCpu.load(std::memory_order_relaxed))) {
    const int64_t budget = std::min<int64_t>(
        FReceiverSpinNs, std::chrono::duration_cast<std::chrono::nanoseconds>(Timeout).count());
    const bool arrived = SpinFor(budget, [this] { return HasWork(); });
    if (budget == FReceiverSpinNs)
      FReceiverSpinNs = arrived ? std::min(kReceiverMaxSpinNs, FReceiverSpinNs * 2)
                                : std::max(kReceiverMinSpinNs, FReceiverSpinNs / 2);
    if (arrived) return true;
  }
  std::unique_lock<std::mutex> lock(FSleepLock);
  FReceiverSleeping.store(true, std::memory_order_seq_cst);
  ++FReceiverSleeps;
  bool work;
  while (!(work = HasWork())) {
    if (FReceiverCond.wait_until(lock, deadline) == std::cv_status::timeout) {
      work = HasWork();
      break;
    }
  }
  FReceiverSleeping.store(false, std::memory_order_relaxed);
  return work;
}

int TTWMessageReceiver::DispatchMessages() {
  int handled = HandleSent() ? 1 : 0;
  const uint32_t queued = FPostedCount.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < queued; ++i) {
    if (!HandleOnePosted()) break;
    ++handled;
    if (HandleSent()) ++handled;
  }
  return handled;
}

void TTWMessageReceiver::RunUntil(const std::function<bool()>& Done) {
  while (!Done()) {
    if (HandleSent()) continue;
    if (FPostedCount.load(std::memory_order_acquire) != 0 && HandleOnePosted()) continue;
    WaitMessage(std::chrono::milliseconds(100));
  }
}

TTWMessageStats TTWMessageReceiver::Stats() const {
  TTWMessageStats s;
  s.Sent = FSentCount;
  s.Posted = FPostedHandled;
  s.SenderSleeps = FSenderSleeps.load(std::memory_order_relaxed);
  s.ReceiverSleeps = FReceiverSleeps;
  s.Wakes = FWakes.load(std::memory_order_relaxed);
  return s;
}
