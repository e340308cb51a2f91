// The product's drive search on a host tree, for timing against the floor walker, find
// and fd.
//
//   bench_scan --root R [--status=sync|none] [--no-spin] [--readahead=N] [--readahead-eager]
//              [--print] [--memory]
//
// A temporary prefix maps drive C: to R; the settings are the defaults with only drive C
// ticked and every step but the mask search switched off, so the real finder thread runs
// just its drive step. With --status=sync (the default) the main thread is the receiver
// and handles every WM_SHOWSTATUS through the real hand-off, as the windows do, with a
// handler that only copies the text. With --status=none the status is handled on the
// finder's own thread (no hand-off), which shows what the hand-off costs. The receiver
// spins as the product decides (not when the process may use only one CPU); --no-spin
// turns spinning off.
// --readahead=N runs the folder read-ahead with N threads (0: none; by default as the
// product decides; --readahead-eager from the start of the walk, however fast the
// listings). --print writes "size<TAB>path" per hit, with R in place of "C:" and
// "/" separators. --memory prints the heap the found list takes per entry against its
// path's length, and the peak resident size. Read-ahead and hand-off counters go to stderr.
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_prefix.h"
#include "config/tw_config.h"
#include "platform/linux/wine_find.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "search/tw_thread_find.h"

namespace {

// Takes over the receiver on its own thread, so that every send is a direct call.
class TInlineFind : public TTWThreadFind {
 public:
  TInlineFind(TTWFileList* List, const TTWConfig& Cfg, TTWMessageReceiver* Target)
      : TTWThreadFind(List, Cfg, Target), FTarget(Target) {}
  ~TInlineFind() override { WaitFor(); }

 protected:
  void Execute() override {
    FTarget->SetOwnerThread();
    TTWThreadFind::Execute();
  }

 private:
  TTWMessageReceiver* FTarget;
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_scan --root R [--status=sync|none] [--no-spin] [--readahead=N] "
               "[--readahead-eager] [--print] [--memory]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root, status = "sync";
  bool print = false, spin = true, memory = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--root" && i + 1 < argc)
      root = argv[++i];
    else if (a.rfind("--status=", 0) == 0)
      status = a.substr(9);
    else if (a == "--print")
      print = true;
    else if (a == "--memory")
      memory = true;
    else if (a == "--no-spin")
      spin = false;
    else if (a == "--readahead-eager")
      twl::GReadAheadEager.store(true);
    else if (a.rfind("--readahead=", 0) == 0)
      twl::GReadAheadThreads.store(std::atoi(a.c_str() + 12));
    else
      return Usage();
  }
  if (root.empty() || (status != "sync" && status != "none")) return Usage();
  while (root.size() > 1 && root.back() == '/') root.pop_back();

  try {
    TBenchPrefix prefix(root);
    TTWHelper helper;
    Helper = &helper;
    TTWConfig cfg(prefix.Dir() + "/system.dat");
    Config = &cfg;
    TTWRecordConfig& s = cfg.Current;
    s.DeleteFiles.ConformationDialog = 0;
    s.AdditionalOptions = {};
    s.AdditionalOptions.FileSearchMasks = 1;
    s.AdditionalOptions.TemporaryDirectory = 0;
    s.AdditionalOptions.RecentDocuments = 0;
    s.AdditionalOptions.RecycleBin = 0;
    s.AdditionalOptions.OldUpdateFiles = 0;
    s.AdditionalOptions.SystemLog = 0;
    s.Browsers.InternetExplorer = s.Browsers.Firefox = s.Browsers.Opera = s.Browsers.Safari =
        s.Browsers.Chrome = 0;
    for (auto& d : s.Drives.Entries) d.Selected = d.Letter == 'C';

    std::string shown;  // the status text, as a window would keep it
    shown.reserve(4096);
    bool finished = false;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam LParam) -> TTWLResult {
      if (Msg == WM_SHOWSTATUS)
        shown.assign(reinterpret_cast<const char*>(LParam));
      else if (Msg == WM_FINDFINISHED)
        finished = true;
      return 0;
    });
    if (!spin) receiver.SetSpinning(false);  // else the product's own choice

    // The heap the list takes: what is still allocated after the run, the finder and its
    // read-ahead gone, against before it.
    const struct mallinfo2 heapBefore = mallinfo2();
    TTWFileList list(cfg.Current);
    TTWReadAheadStats ra;
    auto start = std::chrono::steady_clock::now();
    if (status == "sync") {
      TTWThreadFind find(&list, cfg, &receiver);
      find.Resume();
      receiver.RunUntil([&] { return finished; });
      ra = find.ReadAheadStats();
    } else {
      TInlineFind find(&list, cfg, &receiver);
      find.Resume();
      find.WaitFor();
      ra = find.ReadAheadStats();
    }
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    if (memory) {
      const struct mallinfo2 heapAfter = mallinfo2();
      const double bytes = static_cast<double>(heapAfter.uordblks + heapAfter.hblkhd) -
                           static_cast<double>(heapBefore.uordblks + heapBefore.hblkhd);
      double pathBytes = 0;
      for (int i = 0; i < list.Count(); ++i) pathBytes += list.Items(i).Path.size();
      const double n = list.Count() > 0 ? list.Count() : 1;
      struct rusage ru;
      getrusage(RUSAGE_SELF, &ru);
      std::printf(
          "entries %d  list heap %.0f bytes  per entry %.1f  mean path %.1f  over path %.1f"
          "  peak rss %ld KiB\n",
          list.Count(), bytes, bytes / n, pathBytes / n, (bytes - pathBytes) / n, ru.ru_maxrss);
    }
    if (print) {
      static char out[1 << 16];
      std::setvbuf(stdout, out, _IOFBF, sizeof out);
      for (int i = 0; i < list.Count(); ++i) {
        std::string p = list.Items(i).Path;
        if (p.size() < 2 || p[1] != ':') continue;
        p = root + p.substr(2);
        for (char& c : p)
          if (c == '\\') c = '/';
        std::printf("%lld\t%s\n", static_cast<long long>(list.Items(i).Size), p.c_str());
      }
      std::fflush(stdout);
    }
    TTWMessageStats st = receiver.Stats();
    std::fprintf(stderr,
                 "hits %d  %.1f ms  status %s  sent %llu  sender sleeps %llu  receiver sleeps "
                 "%llu  wakes %llu\n",
                 list.Count(), ms, status.c_str(), static_cast<unsigned long long>(st.Sent),
                 static_cast<unsigned long long>(st.SenderSleeps),
                 static_cast<unsigned long long>(st.ReceiverSleeps),
                 static_cast<unsigned long long>(st.Wakes));
    std::fprintf(
        stderr,
        "read-ahead: listed %llu  used %llu  waited %llu  refused %llu  dropped %llu  "
        "peak %llu KiB\n",
        static_cast<unsigned long long>(ra.Listed), static_cast<unsigned long long>(ra.Used),
        static_cast<unsigned long long>(ra.Waited), static_cast<unsigned long long>(ra.Refused),
        static_cast<unsigned long long>(ra.Dropped),
        static_cast<unsigned long long>(ra.PeakBytes / 1024));
    Config = nullptr;
    Helper = nullptr;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_scan: %s\n", e.what());
    return 1;
  }
  return 0;
}
