// The finder run from the main window on the offscreen platform, with the real status
// panel updated for every folder, against the console front end's way of running the
// same finder (this thread serving the receiver synchronously, the handler copying the
// text), on the same tree in the same process, alternating.
//
//   bench_gui_find --root R [--runs N]
//
// The window's run goes as far as the end of the search: the review is on, so the
// Found files dialog opens at the end of the walk; the time is taken when it shows, and
// the dialog is then declined, so nothing is ever deleted. During the window's walks a
// 10 ms timer on the main thread records how late it fires.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/tw_frm_main.h"
#include "app/tw_gui_status.h"
#include "bench_prefix.h"
#include "bench_util.h"
#include "config/tw_config.h"
#include "dialogs/tw_frm_deleted.h"
#include "dialogs/tw_frm_select.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "search/tw_thread_find.h"

namespace {

// The console front end's loop: wait, dispatch, until the end message.
double PeerRun(TTWConfig& Cfg, int& Hits) {
  std::string shown;
  shown.reserve(4096);
  bool finished = false;
  TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam LParam) -> TTWLResult {
    if (Msg == WM_SHOWSTATUS)
      shown.assign(reinterpret_cast<const char*>(LParam));
    else if (Msg == WM_FINDFINISHED)
      finished = true;
    return 0;
  });
  TTWFileList list(Cfg.Current);
  const TClock::time_point start = TClock::now();
  TTWThreadFind find(&list, Cfg, &receiver);
  find.Resume();
  while (!finished) {
    if (receiver.WaitMessage(std::chrono::milliseconds(50))) receiver.DispatchMessages();
  }
  const double ms = Ms(TClock::now() - start);
  Hits = list.Count();
  return ms;
}

// Takes the time when the review dialog shows, then declines it.
class TReviewWatch : public QObject {
 public:
  TClock::time_point Shown;
  int Hits = 0;
  bool Seen = false;
  bool eventFilter(QObject* O, QEvent* E) override {
    if (E->type() == QEvent::Show && O == FrmSelect) {
      Shown = TClock::now();
      Seen = true;
      Hits = FrmMain->RunList() ? FrmMain->RunList()->Count() : -1;
      QTimer::singleShot(0, FrmSelect, [] { FrmSelect->reject(); });
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  int runs = 7;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--root" && i + 1 < argc)
      root = argv[++i];
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else {
      std::fprintf(stderr, "usage: bench_gui_find --root R [--runs N]\n");
      return 2;
    }
  }
  if (root.empty()) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Tidewell");
  TBenchPrefix prefix(root);
  TTWHelper helper;
  Helper = &helper;
  TTWConfig cfg(prefix.Dir() + "/system.dat");
  Config = &cfg;
  TTWRecordConfig& s = cfg.Current;
  s.DeleteFiles.ConformationDialog = 1;  // the walk ends at the review, never deletes
  s.AdditionalOptions = {1, 0, 0, 0, 0, 0};
  s.Browsers = TTWRecordBrowsers{};
  for (auto& d : s.Drives.Entries) d.Selected = d.Letter == 'C';

  auto* main = new TFrmMain();
  FrmMain = main;
  FrmSelect = new TFrmSelect(main);
  FrmDeleted = new TFrmDeleted(main);
  main->show();
  app.processEvents();
  TReviewWatch watch;
  FrmSelect->installEventFilter(&watch);
  auto* panel = main->findChild<TTWStatusPanel*>("pnlStatusValue");

  std::vector<double> peer, gui, late;
  int peerHits = 0;
  for (int r = 0; r < runs; ++r) {
    peer.push_back(PeerRun(cfg, peerHits));

    watch.Seen = false;
    const uint64_t updates0 = panel->Updates();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    TClock::time_point last = TClock::now();
    double worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const TClock::time_point now = TClock::now();
      worst = std::max(worst, Ms(now - last) - 10.0);
      last = now;
    });
    const TClock::time_point start = TClock::now();
    tick.start();
    last = TClock::now();
    main->findChild<QPushButton*>("btnRun")->click();
    while (!watch.Seen) app.processEvents(QEventLoop::WaitForMoreEvents);
    tick.stop();
    while (main->RunActive()) app.processEvents(QEventLoop::WaitForMoreEvents);
    gui.push_back(Ms(watch.Shown - start));
    late.push_back(worst);
    if (watch.Hits != peerHits) {
      std::fprintf(stderr, "different results: window %d, console %d\n", watch.Hits, peerHits);
      return 1;
    }
    std::fprintf(
        stderr,
        "run %d: console %.1f ms, window %.1f ms, status updates %llu, timer late %.1f ms\n", r + 1,
        peer.back(), gui.back(), static_cast<unsigned long long>(panel->Updates() - updates0),
        worst);
  }
  const double p = Median(peer), g = Median(gui);
  // Each window run follows its console run at once, so the ratio of a pair is less
  // disturbed by a load that changes over the benchmark than the ratio of the medians.
  std::vector<double> pairs;
  for (size_t i = 0; i < peer.size(); ++i) pairs.push_back(gui[i] / peer[i]);
  std::printf("hits %d; medians of %d runs: console finder %.1f ms, window finder %.1f ms\n",
              peerHits, runs, p, g);
  std::printf(
      "ratio window/console: of the medians %.2f, median of the pairs %.2f (target <= 1.20)\n",
      g / p, Median(pairs));
  std::printf(
      "main-thread timer lateness during the walk: worst %.1f ms, median of the runs' "
      "worst %.1f ms (target <= 50)\n",
      *std::max_element(late.begin(), late.end()), Median(late));
  FrmSelect = nullptr;
  FrmDeleted = nullptr;
  FrmMain = nullptr;
  delete main;
  Config = nullptr;
  Helper = nullptr;
  return 0;
}
