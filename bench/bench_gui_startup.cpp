// Start-up to the main window shown, against a bare Qt Widgets window with one label.
// Each run is one process that ends as soon as its window has painted once; hyperfine
// times the processes.
//
//   bench_gui_startup --bare | --tidewell [--root R]
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/tw_frm_main.h"
#include "app/tw_gui_startup.h"
#include "bench_prefix.h"

namespace {

// Ends the loop after the first paint of the watched window.
class TFirstPaint : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Paint && !FDone) {
      FDone = true;
      QTimer::singleShot(0, [] {
        if (FrmMain)
          FrmMain->close();
        else
          QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  bool FDone = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  std::string root = argc > 3 && std::string(argv[2]) == "--root" ? argv[3] : "/tmp";
  QApplication app(argc, argv);
  TFirstPaint watch;
  if (mode == "--bare") {
    QLabel label("Tidewell");
    label.installEventFilter(&watch);
    label.show();
    return app.exec();
  }
  if (mode != "--tidewell") {
    std::fprintf(stderr, "usage: bench_gui_startup --bare | --tidewell [--root R]\n");
    return 2;
  }
  TBenchPrefix prefix(root);
  QTemporaryDir runtime;
  TTWStartupOptions o;
  o.InstanceFolder = runtime.path().toStdString();
  o.BeforeLoop = [&] { FrmMain->installEventFilter(&watch); };
  return TidewellMain(app, {"/f", prefix.Dir() + "/system.dat"}, o);
}
