// The Found files dialog with a large run, against sorting the same entries with
// CompareItems alone.
//
//   bench_dialogs [--entries N] [--runs R]
//
// select: SelectFiles from its call to the end of the list's first paint (fill, sort by
// Name, layout, paint), on the offscreen platform. Its peer sorts an index permutation of
// rows that already hold their texts, by Name, with CompareItems and nothing else. Then
// a click on "Size (KB)" in the open dialog (sort and repaint) against the same peer
// sorting by that column. Prints medians in milliseconds and the ratios.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "bench_util.h"
#include "config/tw_types.h"
#include "dialogs/tw_file_model.h"
#include "dialogs/tw_frm_select.h"
#include "platform/tw_platform.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"

namespace {

// Paths as a run finds them: many folders, names in no particular order.
void Fill(TTWFileList& List, int N) {
  uint32_t Seed = 12345;
  auto Next = [&Seed] {
    Seed = Seed * 1103515245u + 12345u;
    return Seed >> 8;
  };
  const char* const Roots[] = {"C:\\users\\tester\\AppData\\Local\\Temp\\",
                               "C:\\users\\tester\\AppData\\Local\\Google\\Chrome\\User Data\\"
                               "Default\\Cache\\",
                               "C:\\windows\\SoftwareDistribution\\Download\\",
                               "C:\\Documents and Settings\\tester\\Recent\\"};
  for (int I = 0; I < N; ++I) {
    const uint32_t R = Next();
    std::string P = Roots[R % 4];
    P += 'd';
    P += std::to_string(Next() % 500);
    P += "\\f_";
    P += std::to_string(Next());
    P += ".tmp";
    List.Add(P, static_cast<int64_t>(Next() % (8u << 20)), TW_KIND_FILE,
             static_cast<uint8_t>(R % 21));
  }
}

// Milliseconds from Start to the end of the first paint of the view that follows.
class TFirstPaint : public QObject {
 public:
  TFirstPaint(QWidget* Viewport, QDialog* Dialog) : FDialog(Dialog) {
    Viewport->installEventFilter(this);
  }
  QElapsedTimer Clock;
  double Ms = -1;
  bool Close = true;

 protected:
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Paint && Ms < 0) {
      // Runs once the paint event has been handled.
      QTimer::singleShot(0, FDialog, [this] {
        Ms = Clock.nsecsElapsed() / 1e6;
        if (Close) FDialog->reject();
      });
    }
    return false;
  }

 private:
  QDialog* FDialog;
};

volatile int GSink = 0;  // keeps the peer's result alive

double PeerSort(const std::vector<TTWListRow>& Rows, int Column, int Kind) {
  std::vector<int> Order(Rows.size());
  std::iota(Order.begin(), Order.end(), 0);
  QElapsedTimer T;
  T.start();
  std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) {
    return Helper->CompareItems(Rows[static_cast<size_t>(A)], Rows[static_cast<size_t>(B)], Column,
                                Kind, false) < 0;
  });
  const double Ms = T.nsecsElapsed() / 1e6;
  GSink = Order.front();
  return Ms;
}

}  // namespace

int main(int argc, char** argv) {
  int N = 100000;
  int Runs = 7;
  for (int I = 1; I < argc; ++I) {
    if (!std::strcmp(argv[I], "--entries") && I + 1 < argc) {
      N = std::atoi(argv[++I]);
    } else if (!std::strcmp(argv[I], "--runs") && I + 1 < argc) {
      Runs = std::atoi(argv[++I]);
    } else {
      std::fprintf(stderr, "usage: bench_dialogs [--entries N] [--runs R]\n");
      return 2;
    }
  }
  if (N < 1 || Runs < 1) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication App(argc, argv);
  TTWHelper TheHelper;
  TheHelper.SetDecimalSeparator(".");
  Helper = &TheHelper;

  TTWRecordConfig Settings;
  TTWFileList List(Settings);
  Fill(List, N);

  // The rows a per-item list would hold, with all their texts, for the peer.
  std::vector<TTWListRow> Rows(static_cast<size_t>(N));
  for (int I = 0; I < N; ++I) {
    const TTWRecordFile& E = List.Items(I);
    TTWListRow& R = Rows[static_cast<size_t>(I)];
    R.SubItems = {TheHelper.GetKindName(E.Kind), E.Path, TheHelper.GetGroupName(E.Group),
                  TheHelper.SizeToKB(E.Size)};
    R.Checked = E.Checked;
  }

  TFrmSelect Dialog;
  auto* View = Dialog.findChild<QTreeView*>(QStringLiteral("lvSelectFiles"));
  std::vector<double> Open, Click, PeerName, PeerSize;
  for (int Run = 0; Run <= Runs; ++Run) {  // run 0 warms up (first window, fonts)
    TFirstPaint Probe(View->viewport(), &Dialog);
    Probe.Close = false;
    QTimer::singleShot(0, &Dialog, [&] {
      // Waits for the first paint, then clicks "Size (KB)" and repaints at once.
      auto Step = [&](auto&& Self) -> void {
        if (Probe.Ms < 0) {
          QTimer::singleShot(1, &Dialog, [&, Self] { Self(Self); });
          return;
        }
        QElapsedTimer T;
        T.start();
        Dialog.lvSelectFilesColumnClick(4);
        View->viewport()->repaint();
        if (Run > 0) Click.push_back(T.nsecsElapsed() / 1e6);
        Dialog.reject();
      };
      Step(Step);
    });
    Probe.Clock.start();
    Dialog.SelectFiles(&List);
    if (Run > 0) {
      Open.push_back(Probe.Ms);
      PeerName.push_back(PeerSort(Rows, 2, TW_COLUMN_TEXT));
      PeerSize.push_back(PeerSort(Rows, 4, TW_COLUMN_NUMBER));
    }
  }
  const double O = Median(Open), C = Median(Click), PN = Median(PeerName), PS = Median(PeerSize);
  std::printf("== Found files list, %d entries, median of %d runs\n", N, Runs);
  std::printf("%-44s %9s\n", "", "ms");
  std::printf("%-44s %9.1f\n", "select: fill, sort by Name, first paint", O);
  std::printf("%-44s %9.1f\n", "peer: CompareItems sort by Name", PN);
  std::printf("%-44s %9.1f\n", "click Size (KB): sort and repaint", C);
  std::printf("%-44s %9.1f\n", "peer: CompareItems sort by Size (KB)", PS);
  std::printf("ratios: select/peer-name %.2f  click-size/peer-size %.2f  (target <= 3)\n", O / PN,
              C / PS);
  return 0;
}
