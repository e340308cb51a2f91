// Window messages between the worker threads and the main window, without a toolkit.
// A receiver belongs to one thread (the one that runs its loop); any thread may send
// or post to it. A sent message blocks the sender until the receiver's thread has
// handled it; posted messages are queued in order. A pending sent message is always
// handled before the posted queue, so a worker's end message, posted after its last
// send, arrives after it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

inline constexpr uint32_t WM_USER = 0x0400;
inline constexpr uint32_t WM_SHOWMAIN = WM_USER + 1;  // 1025
inline constexpr uint32_t WM_FINDFINISHED = 5274;     // 0x149A
inline constexpr uint32_t WM_DELETEFINISHED = 5275;   // 0x149B
inline constexpr uint32_t WM_SHOWSTATUS = 5276;       // 0x149C

using TTWWParam = uintptr_t;
using TTWLParam = intptr_t;
using TTWLResult = intptr_t;

// Counters of the hand-off, for benchmarks and tuning. Read them on the receiver's
// thread while nothing is being sent.
struct TTWMessageStats {
  uint64_t Sent = 0;            // sent messages handled
  uint64_t Posted = 0;          // posted messages handled
  uint64_t SenderSleeps = 0;    // sends that had to block after spinning
  uint64_t ReceiverSleeps = 0;  // waits of the receiver that had to block
  uint64_t Wakes = 0;           // wake-ups issued (each one a system call)
};

class TTWMessageReceiver {
 public:
  using THandler = std::function<TTWLResult(uint32_t Msg, TTWWParam WParam, TTWLParam LParam)>;

  // The constructing thread is the receiver's thread until SetOwnerThread says otherwise.
  TTWMessageReceiver();
  explicit TTWMessageReceiver(THandler Handler);
  ~TTWMessageReceiver();
  TTWMessageReceiver(const TTWMessageReceiver&) = delete;
  TTWMessageReceiver& operator=(const TTWMessageReceiver&) = delete;

  // Set before any message can arrive.
  void SetHandler(THandler Handler);
  // Makes the calling thread the one that handles messages.
  void SetOwnerThread();
  // Spinning before blocking cuts a round trip to well under a microsecond when both
  // threads run on their own CPU. It is on by default only when the process may run on
  // two or more CPUs; off, every wait blocks at once.
  void SetSpinning(bool On);
  bool Spinning() const { return FSpinAllowed.load(std::memory_order_relaxed); }

  // --- Any thread
  // Returns after the receiver's thread has handled the message, with the handler's
  // result. On the receiver's own thread the handler is called directly.
  TTWLResult SendMessage(uint32_t Msg, TTWWParam WParam, TTWLParam LParam);
  // Queues the message and returns at once.
  void PostMessage(uint32_t Msg, TTWWParam WParam, TTWLParam LParam);

  // --- The receiver's thread
  // Waits until a message is pending or Timeout has passed; true when one is pending.
  // Does not handle anything.
  bool WaitMessage(std::chrono::microseconds Timeout);
  // Handles what is pending: a sent message first, then the posted messages that are
  // queued now, each posted one followed by any sent message that arrived meanwhile.
  // Returns how many were handled.
  int DispatchMessages();
  // Waits for and handles messages until Done() is true (checked after each one and
  // before the first wait).
  void RunUntil(const std::function<bool()>& Done);

  TTWMessageStats Stats() const;

 private:
  enum : uint32_t { SlotEmpty = 0, SlotFull = 1, SlotBusy = 2, SlotDone = 3 };

  bool OnOwnerThread() const;
  bool HasWork() const;
  bool HandleSent();  // the slot, if full
  bool HandleOnePosted();
  void WakeReceiver();
  void WakeSender();

  // The members are grouped by the thread that writes them, each group on cache lines
  // of its own, so that a round trip moves as few lines between the CPUs as it can.
  static constexpr size_t kLine = 64;

  // Read-mostly.
  THandler FHandler;
  std::atomic<std::thread::id> FOwner;
  std::atomic<bool> FSpinAllowed{false};

  // The mailbox: one message in flight at a time; senders queue on FSendLock. Written
  // by the sender (the receiver writes only the state and the result). A slot that is
  // Done stays so until the next send: to the receiver it is as empty.
  alignas(kLine) std::atomic<uint32_t> FSlot{SlotEmpty};
  uint32_t FSlotMsg = 0;
  TTWWParam FSlotWParam = 0;
  TTWLParam FSlotLParam = 0;
  TTWLResult FSlotResult = 0;
  std::atomic<int> FSenderCpu{-1};  // where the last sender ran

  // Senders only: the lock they queue on, and the adaptive spin budget in nanoseconds,
  // halved after a spin that ended in sleep, doubled after one that succeeded; at 0 a
  // short probe now and then finds out whether spinning pays again. Guarded by the lock.
  // The lock lives here, not beside the slot, so taking it moves no line the receiver
  // is watching.
  alignas(kLine) std::mutex FSendLock;
  int64_t FSenderSpinNs;
  uint32_t FSenderSkipped = 0;
  std::atomic<uint64_t> FSenderSleeps{0};
  std::atomic<uint64_t> FWakes{0};

  // Receiver-only.
  alignas(kLine) int64_t FReceiverSpinNs;
  bool FSenderActive = false;  // a sent message was handled since the last posted one
  uint64_t FSentCount = 0;
  uint64_t FPostedHandled = 0;
  uint64_t FReceiverSleeps = 0;

  // Sleeping: each side sets its flag before it blocks, the other side wakes it only
  // when the flag is set.
  alignas(kLine) std::mutex FSleepLock;
  std::condition_variable FReceiverCond;
  std::condition_variable FSenderCond;
  std::atomic<bool> FReceiverSleeping{false};
  std::atomic<bool> FSenderSleeping{false};

  // Posted queue.
  std::deque<uint32_t> FPostedMsg;
  std::deque<TTWWParam> FPostedWParam;
  std::deque<TTWLParam> FPostedLParam;
  std::atomic<uint32_t> FPostedCount{0};
};
