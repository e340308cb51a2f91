// The program's start-up and shut-down sequence, and the single instance, with the real
// program started as the other process.
#include <unistd.h>

#include <QListWidget>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/app_test_util.h"
#include "app/tw_gui_instance.h"
#include "app/tw_gui_startup.h"

namespace {

QString SocketPath(const QString& RuntimeDir) {
  return RuntimeDir + "/tidewell-" + TW_INSTANCE_GUID + "-" +
         QString::number(static_cast<unsigned long>(getuid())) + ".socket";
}

// Asks whatever listens on the instance socket to come to the front; true when it
// acknowledged.
bool Activate(const QString& RuntimeDir) {
  QLocalSocket s;
  s.connectToServer(SocketPath(RuntimeDir));
  if (!s.waitForConnected(200)) return false;
  s.write("activate\n");
  s.waitForBytesWritten(1000);
  return s.waitForReadyRead(3000) && s.readAll() == "ok\n";
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FRuntime;
  std::unique_ptr<TSamplePrefix> FPrefix;
  std::unique_ptr<TTWPlatform> FHost;

  std::string Settings() const { return FPrefix->Root() + "/system.dat"; }
  // A settings file with the review off and every drive unticked.
  void WriteSettings() {
    TTWConfig cfg(Settings());
    cfg.Current.DeleteFiles.ConformationDialog = 0;
    for (TTWDriveEntry& d : cfg.Current.Drives.Entries) d.Selected = 0;
    cfg.Save();
  }
  QProcess* Start(const QStringList& Args) {
    auto* p = new QProcess(this);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(TW_TIDEWELL_BIN, Args);
    return p;
  }

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(FRuntime.isValid());
    // This process and the programs it starts share one runtime folder of their own.
    qputenv("XDG_RUNTIME_DIR", FRuntime.path().toLocal8Bit());
  }
  void init() {
    FPrefix = std::make_unique<TSamplePrefix>();
    FHost = CreateHostPlatform();
    SetPlatform(FHost.get());
    WriteSettings();
  }
  void cleanup() {
    SetPlatform(nullptr);
    FHost.reset();
    FPrefix.reset();
  }

  void startsAndEndsInOrder() {
    QStringList steps;
    bool loadedBeforeMain = false, mainBeforeAbout = false, reviewFromFile = false;
    TTWStartupOptions o;
    o.OnStep = [&](const std::string& Step) {
      steps << QString::fromStdString(Step);
      if (Step == "CreateFrmMain") {
        loadedBeforeMain = Config && Helper && !FrmMain;
        reviewFromFile = Config && Config->Current.DeleteFiles.ConformationDialog == 0;
      }
      if (Step == "CreateFrmAbout") mainBeforeAbout = FrmMain && FrmOptions && !FrmAbout;
    };
    bool windowsBeforeLoop = false;
    o.BeforeLoop = [&] {
      windowsBeforeLoop =
          FrmMain && FrmOptions && FrmAbout && FrmSelect && FrmDeleted && !FrmMain->AutoRun();
      // The loop has started when the window is shown; close it from there.
      QTimer::singleShot(0, [] { FrmMain->close(); });
    };
    QFile::remove(QString::fromStdString(Settings()));
    WriteSettings();
    const QDateTime before = QFileInfo(QString::fromStdString(Settings())).lastModified();
    QApplication& app = *static_cast<QApplication*>(QCoreApplication::instance());
    QCOMPARE(TidewellMain(app, {"/f", Settings()}, o), 0);
    const QStringList expected = {
        "RegisterMessage", "CreateInstanceLock", "CreateHelper",     "ParseCommandLine",
        "CreateConfig",    "LoadConfig",         "UseLanguage",      "LoadNames",
        "SetTitle",        "CreateFrmMain",      "SetAutoRun",       "CreateFrmOptions",
        "CreateFrmAbout",  "CreateFrmSelect",    "CreateFrmDeleted", "MessageLoop",
        "FreeConfig",      "FreeHelper",         "CloseInstance"};
    QCOMPARE(steps, expected);
    QVERIFY(loadedBeforeMain);
    QVERIFY(reviewFromFile);
    QVERIFY(mainBeforeAbout);
    QVERIFY(windowsBeforeLoop);
    QVERIFY(!Config && !Helper && !FrmMain && !FrmSelect);
    // Closing saved the settings.
    QVERIFY(QFileInfo(QString::fromStdString(Settings())).lastModified() >= before);
    // The lock is free again.
    QVERIFY(!CreateInstance(TW_INSTANCE_GUID)->AlreadyRunning());
  }

  void unknownArgumentEndsBeforeAnyWindow() {
    TModalDriver driver;
    QString text;
    bool windowExisted = true;
    driver.On("", [&](QWidget* D) {
      windowExisted = FrmMain != nullptr;
      text = static_cast<QMessageBox*>(D)->text();
      static_cast<QMessageBox*>(D)->accept();
    });
    QApplication& app = *static_cast<QApplication*>(QCoreApplication::instance());
    QCOMPARE(TidewellMain(app, {"/F", Settings()}), 2);
    QVERIFY(!windowExisted);
    QVERIFY2(text.contains("/F"), qPrintable(text));
    QVERIFY(!CreateInstance(TW_INSTANCE_GUID)->AlreadyRunning());
  }

  void noWindowsSystemIsSaidOnce() {
    // A prefix folder with nothing of Windows in it.
    QTemporaryDir empty;
    qputenv("WINEPREFIX", empty.path().toLocal8Bit());
    std::unique_ptr<TTWPlatform> host = CreateHostPlatform();
    SetPlatform(host.get());
    TModalDriver driver;
    QString text;
    int drives = -1;
    bool runEnabled = true;
    driver.On("", [&](QWidget* D) {
      text = static_cast<QMessageBox*>(D)->text();
      drives = FrmMain->findChild<QListWidget*>("lvDrives")->count();
      runEnabled = FrmMain->findChild<QPushButton*>("btnRun")->isEnabled();
      static_cast<QMessageBox*>(D)->accept();
      QTimer::singleShot(0, [] { FrmMain->close(); });
    });
    QApplication& app = *static_cast<QApplication*>(QCoreApplication::instance());
    QCOMPARE(TidewellMain(app, {"/f", Settings()}), 0);
    SetPlatform(FHost.get());
    QCOMPARE(driver.Seen, QStringList{""});
    QVERIFY2(text.contains(empty.path()), qPrintable(text));
    QCOMPARE(drives, 0);
    QVERIFY(!runEnabled);
  }

  void secondStartRaisesTheFirst_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("/autorun") << QStringList{"/autorun"};
  }
  void secondStartRaisesTheFirst() {
    QFETCH(QStringList, args);
    int exitCode = -1;
    bool restored = false, idle = false;
    QProcess* second = nullptr;
    TTWStartupOptions o;
    o.BeforeLoop = [&] {
      QTimer::singleShot(0, [&] {
        FrmMain->showMinimized();
        second = Start(args);
        connect(second, &QProcess::finished, [&](int Code) {
          exitCode = Code;
          // Wait for the activation to arrive, then end the first instance.
          auto* poll = new QTimer(FrmMain);
          QElapsedTimer clock;
          clock.start();
          connect(poll, &QTimer::timeout, [&, poll, clock] {
            if (!FrmMain->isMinimized() || clock.elapsed() > 10000) {
              poll->stop();
              restored = !FrmMain->isMinimized();
              idle = !FrmMain->RunActive();
              FrmMain->close();
            }
          });
          poll->start(5);
        });
      });
    };
    QApplication& app = *static_cast<QApplication*>(QCoreApplication::instance());
    QCOMPARE(TidewellMain(app, {"/f", Settings()}, o), 0);
    QVERIFY(second);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(exitCode, 0);
    QVERIFY(restored);
    // The second start's "/autorun" was never parsed: no run in the first.
    QVERIFY(idle);
  }

  void secondStartDuringARunOnlyRaises() {
    // The first instance's finder is held at the start of its walk while the second
    // start comes and goes.
    auto gates = std::make_unique<TGatePlatform>(CreateHostPlatform());
    SetPlatform(gates.get());
    TTWConfig cfg(Settings());
    cfg.Load();
    for (TTWDriveEntry& d : cfg.Current.Drives.Entries) d.Selected = d.Letter == 'C';
    cfg.Save();
    gates->FindText = "C:\\";
    int exitCode = -1;
    bool runningAfter = false, idleAtEnd = false;
    QProcess* second = nullptr;
    TTWStartupOptions o;
    o.BeforeLoop = [&] {
      QTimer::singleShot(0, [&] {
        FrmMain->btnRunClick();
        auto* poll = new QTimer(FrmMain);
        connect(poll, &QTimer::timeout, [&, poll] {
          if (!second && gates->FindGate.Reached()) {
            second = Start({"/autorun"});
            connect(second, &QProcess::finished, [&](int Code) {
              exitCode = Code;
              runningAfter = FrmMain->RunActive() && FrmMain->ThreadFind();
              gates->FindGate.Open();
            });
          }
          // The run ends with its report: close it.
          if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
          if (second && second->state() == QProcess::NotRunning && !FrmMain->RunActive()) {
            poll->stop();
            idleAtEnd = true;
            FrmMain->close();
          }
        });
        poll->start(5);
      });
    };
    QApplication& app = *static_cast<QApplication*>(QCoreApplication::instance());
    QCOMPARE(TidewellMain(app, {"/f", Settings()}, o), 0);
    SetPlatform(FHost.get());
    QCOMPARE(exitCode, 0);
    QVERIFY(runningAfter);
    QVERIFY(idleAtEnd);
  }

  void twoStartsRaceAndOneSurvives() {
    for (int round = 0; round < 3; ++round) {
      QProcess* a = Start({"/f", QString::fromStdString(Settings())});
      QProcess* b = Start({"/f", QString::fromStdString(Settings())});
      QTRY_VERIFY_WITH_TIMEOUT(
          a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning, 20000);
      QProcess* gone = a->state() == QProcess::NotRunning ? a : b;
      QProcess* survivor = gone == a ? b : a;
      QCOMPARE(gone->exitCode(), 0);
      QCOMPARE(gone->exitStatus(), QProcess::NormalExit);
      // The survivor is the one that answers.
      QTRY_VERIFY_WITH_TIMEOUT(Activate(FRuntime.path()), 10000);
      QCOMPARE(survivor->state(), QProcess::Running);
      survivor->kill();
      QVERIFY(survivor->waitForFinished(10000));
      delete a;
      delete b;
    }
  }

  void killedInstanceDoesNotBlock() {
    QProcess* first = Start({"/f", QString::fromStdString(Settings())});
    QTRY_VERIFY_WITH_TIMEOUT(Activate(FRuntime.path()), 20000);
    first->kill();  // SIGKILL: its lock file and socket stay behind
    QVERIFY(first->waitForFinished(10000));
    QVERIFY(QFile::exists(SocketPath(FRuntime.path())));
    std::unique_ptr<TTWInstance> next = CreateInstance(TW_INSTANCE_GUID);
    QVERIFY(!next->AlreadyRunning());
    int activations = 0;
    next->Listen([&](uint32_t) { ++activations; });
    QProcess* later = Start({"/autorun"});
    QVERIFY(later->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(later->state() == QProcess::NotRunning, 20000);
    QCOMPARE(later->exitCode(), 0);
    QTRY_COMPARE(activations, 1);
    next->Close();
    delete first;
    delete later;
  }
};

QTEST_MAIN(StartupTest)
#include "startup_qtest.moc"
