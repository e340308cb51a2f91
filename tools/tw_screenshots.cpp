// Takes the documentation's screenshots: starts the program as usual (on the Windows
// system that WINEPREFIX names), walks through a run with the review on, and saves each
// window as it shows on the X server into a folder.
//
//   tw_screenshots OUTDIR SETTINGS
//
// Meant for scripts/screenshots.sh, under Xvfb. Nothing is deleted: the Found files
// dialog is declined after its picture, then a second run with the review confirmed
// produces the Deleted files report on the sample system. Then one window is taken in
// each of the other interface languages.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/tw_frm_about.h"
#include "app/tw_frm_main.h"
#include "app/tw_gui_startup.h"
#include "dialogs/tw_frm_deleted.h"
#include "dialogs/tw_frm_options.h"
#include "dialogs/tw_frm_select.h"
#include "search/tw_files.h"

namespace {

QString g_out;

void Save(QWidget* W, const char* Name) {
  QApplication::processEvents();
  QPixmap pm;
  if (QScreen* s = W->screen()) pm = s->grabWindow(W->winId());
  if (pm.isNull()) pm = W->grab();
  const QString file = g_out + "/" + Name + ".png";
  if (!pm.save(file)) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
  std::printf("%s\n", qPrintable(file));
}

// Saves every page of the tab control Tabs of W, one picture per page, then runs Then.
void SavePages(QWidget* W, const char* Tabs, QStringList Names, std::function<void()> Then) {
  auto* tabs = W->findChild<QTabWidget*>(Tabs);
  if (!tabs) {
    Save(W, qPrintable(Names.value(0)));
    Then();
    return;
  }
  for (int i = 0; i < tabs->count() && i < Names.size(); ++i) {
    tabs->setCurrentIndex(i);
    Save(W, qPrintable(Names[i]));
  }
  tabs->setCurrentIndex(0);
  Then();
}

// Runs Then once W has been on screen for a moment (painted, fonts settled).
void WhenShown(QWidget* W, std::function<void()> Then) {
  auto* t = new QTimer(W);
  t->setInterval(50);
  int* ticks = new int(0);
  QObject::connect(t, &QTimer::timeout, [W, t, ticks, Then] {
    if (!W->isVisible() || ++*ticks < 8) return;
    t->stop();
    t->deleteLater();
    delete ticks;
    Then();
  });
  t->start();
}

void Click(QWidget* Dialog, const char* Name) {
  if (auto* b = Dialog->findChild<QAbstractButton*>(Name)) b->click();
}

class TShowHook : public QObject {
 public:
  std::function<void(QWidget*)> OnShow;
  bool eventFilter(QObject* O, QEvent* E) override {
    if (E->type() == QEvent::Show && OnShow) {
      QWidget* w = static_cast<QWidget*>(O);
      QTimer::singleShot(0, w, [this, w] { OnShow(w); });
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: tw_screenshots OUTDIR SETTINGS\n");
    return 2;
  }
  g_out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(g_out);
  QTemporaryDir runtime;
  TShowHook selectHook, deletedHook;
  int run = 0;
  // One window in each of the other languages, then back to English and out.
  std::function<void()> ShootLanguages = [] {
    FrmMain->SelectLanguage("nl", true);
    Save(FrmMain, "main-window-nl");
    FrmMain->SelectLanguage("de", true);
    FrmOptions->open();
    WhenShown(FrmOptions, [] {
      Save(FrmOptions, "options-de");
      FrmOptions->reject();
      FrmMain->SelectLanguage("fr", true);
      FrmAbout->open();
      WhenShown(FrmAbout, [] {
        Save(FrmAbout, "about-fr");
        FrmAbout->reject();
        FrmMain->SelectLanguage("ja", true);
        Save(FrmMain, "main-window-ja");
        FrmMain->SelectLanguage("tr", true);
        FrmOptions->open();
        WhenShown(FrmOptions, [] {
          SavePages(FrmOptions, "pgcOptions", {"options-tr", "options-advanced-tr"}, [] {});
          FrmOptions->reject();
          FrmMain->SelectLanguage("en", true);
          FrmMain->close();
        });
      });
    });
  };
  TTWStartupOptions o;
  o.InstanceFolder = runtime.path().toStdString();
  o.BeforeLoop = [&] {
    FrmSelect->installEventFilter(&selectHook);
    FrmDeleted->installEventFilter(&deletedHook);
    selectHook.OnShow = [&](QWidget* D) {
      WhenShown(D, [&, D] {
        if (run == 1) {
          Save(D, "found-files");
          static_cast<QDialog*>(D)->reject();
          return;
        }
        Click(D, "btnEnableAll");
        // Without the real dialog's buttons, tick every entry as a user would.
        if (!D->findChild<QAbstractButton*>("btnEnableAll") && FrmMain->RunList())
          for (int i = 0; i < FrmMain->RunList()->Count(); ++i)
            FrmMain->RunList()->Items(i).Checked = 1;
        Click(D, "btnNext");
      });
    };
    deletedHook.OnShow = [&](QWidget* D) {
      WhenShown(D, [D] {
        Save(D, "deleted-files");
        Click(D, "bbtnClose");
      });
    };
    WhenShown(FrmMain, [&] {
      Save(FrmMain, "main-window");
      FrmAbout->open();
      WhenShown(FrmAbout, [&] {
        SavePages(FrmAbout, "PageControlMain", {"about", "about-license", "about-update"}, [] {});
        FrmAbout->reject();
        FrmOptions->open();
        WhenShown(FrmOptions, [&] {
          SavePages(FrmOptions, "pgcOptions", {"options", "options-advanced"}, [] {});
          FrmOptions->reject();
          run = 1;
          FrmMain->btnRunClick();
          // After the declined review: the second run, confirmed, to the report.
          auto* wait = new QTimer(FrmMain);
          QObject::connect(wait, &QTimer::timeout, [&, wait] {
            if (FrmMain->RunActive()) return;
            if (run == 1) {
              run = 2;
              FrmMain->btnRunClick();
              return;
            }
            wait->stop();
            Save(FrmMain, "main-window-finished");
            ShootLanguages();
          });
          wait->start(100);
        });
      });
    });
  };
  return TidewellMain(app, {"/f", argv[2]}, o);
}
