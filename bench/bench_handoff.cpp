// Round trips of the synchronous status hand-off (the worker sends, the main thread
// handles, the worker goes on), against a plain condition-variable ping-pong.
//
//   bench_handoff [--count N]
//
// Rows: the product's receiver idle (empty handler), with the real handler (copy the
// text, redraw at most every 50 ms), with the receiver busy 8 ms of every 16 ms, all
// three spinning as the product decides; then the real handler with spinning forced on
// and off, and the condvar baseline. Run it under "taskset -c 0" as well
// to see both threads on one CPU. Prints mean, p50, p99 and max in microseconds.
#include <sched.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tw_messages.h"

namespace {

using TClock = std::chrono::steady_clock;

void Report(const char* Name, std::vector<double> Us) {
  std::sort(Us.begin(), Us.end());
  double sum = 0;
  for (double u : Us) sum += u;
  auto at = [&](double q) {
    return Us[std::min(Us.size() - 1, static_cast<size_t>(q * Us.size()))];
  };
  std::printf("%-34s %9.2f %9.2f %9.2f %10.1f\n", Name, sum / Us.size(), at(0.50), at(0.99),
              Us.back());
}

enum class TLoad { Idle, Real, Busy };
enum class TSpin { Default, On, Off };

std::vector<double> Product(int Count, TLoad Load, TSpin Spin) {
  std::vector<double> us(Count);
  std::string shown;
  shown.reserve(512);
  auto lastDraw = TClock::now();
  unsigned draws = 0;
  std::atomic<bool> done{false};
  TTWMessageReceiver receiver;
  if (Spin != TSpin::Default) receiver.SetSpinning(Spin == TSpin::On);
  receiver.SetHandler([&](uint32_t Msg, TTWWParam, TTWLParam LParam) -> TTWLResult {
    if (Msg == WM_SHOWSTATUS && Load != TLoad::Idle) {
      shown.assign(reinterpret_cast<const char*>(LParam));
      auto now = TClock::now();
      if (now - lastDraw >= std::chrono::milliseconds(50)) {
        lastDraw = now;
        ++draws;
      }
    } else if (Msg == WM_FINDFINISHED) {
      done = true;
    }
    return 0;
  });
  std::thread worker([&] {
    const char* path = "C:\\users\\tester\\AppData\\Local\\Google\\Chrome\\User Data\\Default";
    for (int i = 0; i < Count; ++i) {
      auto t0 = TClock::now();
      receiver.SendMessage(WM_SHOWSTATUS, 0, reinterpret_cast<TTWLParam>(path));
      us[i] = std::chrono::duration<double, std::micro>(TClock::now() - t0).count();
    }
    receiver.PostMessage(WM_FINDFINISHED, 0, 0);
  });
  if (Load == TLoad::Busy) {
    // 8 ms of work without looking at messages, then 8 ms of handling them.
    auto phase = TClock::now();
    while (!done) {
      while (TClock::now() - phase < std::chrono::milliseconds(8)) {
      }
      phase = TClock::now();
      while (!done && TClock::now() - phase < std::chrono::milliseconds(8)) {
        if (receiver.WaitMessage(std::chrono::microseconds(500))) receiver.DispatchMessages();
      }
      phase = TClock::now();
    }
  } else {
    receiver.RunUntil([&] { return done.load(); });
  }
  worker.join();
  if (draws > 1u << 30) std::puts(shown.c_str());  // keeps the handler's work observable
  return us;
}

std::vector<double> Condvar(int Count) {
  std::vector<double> us(Count);
  std::mutex m;
  std::condition_variable cv;
  int request = 0, answer = 0;
  bool stop = false;
  std::thread receiver([&] {
    std::unique_lock<std::mutex> lock(m);
    for (;;) {
      cv.wait(lock, [&] { return request != answer || stop; });
      if (stop) return;
      answer = request;
      cv.notify_all();
    }
  });
  for (int i = 0; i < Count; ++i) {
    auto t0 = TClock::now();
    std::unique_lock<std::mutex> lock(m);
    ++request;
    cv.notify_all();
    cv.wait(lock, [&] { return answer == request; });
    lock.unlock();
    us[i] = std::chrono::duration<double, std::micro>(TClock::now() - t0).count();
  }
  {
    std::lock_guard<std::mutex> lock(m);
    stop = true;
  }
  cv.notify_all();
  receiver.join();
  return us;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20000;
  if (argc == 3 && std::strcmp(argv[1], "--count") == 0) {
    count = std::max(1, std::atoi(argv[2]));
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: bench_handoff [--count N]\n");
    return 2;
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  const int usable = sched_getaffinity(0, sizeof cpus, &cpus) == 0
                         ? CPU_COUNT(&cpus)
                         : static_cast<int>(std::thread::hardware_concurrency());
  std::printf("%d usable CPUs, spinning %s by default, %d round trips per row\n", usable,
              TTWMessageReceiver().Spinning() ? "on" : "off", count);
  std::printf("%-34s %9s %9s %9s %10s\n", "hand-off (us)", "mean", "p50", "p99", "max");
  Report("product, idle receiver", Product(count, TLoad::Idle, TSpin::Default));
  Report("product, real handler", Product(count, TLoad::Real, TSpin::Default));
  Report("product, receiver busy 8/16 ms", Product(count, TLoad::Busy, TSpin::Default));
  Report("product, real handler, spin forced", Product(count, TLoad::Real, TSpin::On));
  Report("product, real handler, no spin", Product(count, TLoad::Real, TSpin::Off));
  Report("condvar ping-pong", Condvar(count));
  return 0;
}
