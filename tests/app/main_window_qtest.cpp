// The main window: its two control states, the drive list, and every path of a
// cleaning run on a sample Windows system, the review dialogs driven as a user would.
#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "app/app_test_util.h"
#include "app/tw_gui_skin.h"
#include "app/tw_gui_status.h"
#include "search/tw_files.h"

namespace {

const char* const kFiles[] = {"C:\\data\\one.twtest", "C:\\data\\two.twtest",
                              "C:\\data\\sub\\three.twtest", "C:\\data\\sub\\four.twtest",
                              "C:\\data\\five.twtest"};

QString Status(TFrmMain* M, const char* Name) {
  return M->findChild<TTWStatusPanel*>(Name)->text();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TWorld> W;
  TFrmMain* M = nullptr;

  QPushButton* Button(const char* Name) { return M->findChild<QPushButton*>(Name); }
  QAction* Action(const char* Name) { return M->findChild<QAction*>(Name); }
  void AddFiles() {
    for (const char* f : kFiles) W->Prefix.AddFile(f, 1000);
    W->Prefix.AddFile("C:\\data\\keep.txt", 10);
  }
  int Remaining() {
    int n = 0;
    for (const char* f : kFiles) n += W->Exists(f) ? 1 : 0;
    return n;
  }
  void WaitIdle() { QTRY_VERIFY_WITH_TIMEOUT(!M->RunActive(), 20000); }
  // The running state as the window shows it, Help and About aside.
  void CheckState(bool Idle, bool RunAllowed) {
    QCOMPARE(!Button("btnRun")->isHidden(), Idle);
    QCOMPARE(Button("btnRun")->isEnabled(), Idle && RunAllowed);
    QCOMPARE(Action("miRun")->isEnabled(), Idle && RunAllowed);
    QCOMPARE(!Button("bbtnCancel")->isHidden(), !Idle);
    QCOMPARE(Action("miCancel")->isEnabled(), !Idle);
    for (const char* b : {"btnOptions", "bbtnClose"}) QCOMPARE(Button(b)->isEnabled(), Idle);
    // miLanguage is left out: Qt keeps a hidden action disabled whatever it is told.
    for (const char* a : {"miOptions", "miExit"}) QCOMPARE(Action(a)->isEnabled(), Idle);
    QCOMPARE(M->findChild<QListWidget*>("lvDrives")->isEnabled(), Idle);
    for (const char* a : {"miAbout", "miHomepage", "HomePage1", "ContactTechnicalSupport1"})
      QVERIFY(Action(a)->isEnabled());
  }

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void init() {
    W = std::make_unique<TWorld>();
    AddFiles();
  }
  void cleanup() {
    M = nullptr;
    W.reset();
  }

  void layoutCaptionsAndMenus() {
    M = W->Open();
    QVERIFY(QTest::qWaitForWindowExposed(M));
    QCOMPARE(M->windowTitle(), QString("Tidewell"));
    QCOMPARE(M->findChild<QGroupBox*>("gbRunCleaner")->title(), QString("Run Tidewell"));
    const std::pair<const char*, const char*> buttons[] = {{"btnRun", "&Run"},
                                                           {"bbtnCancel", "&Cancel"},
                                                           {"btnOptions", "&Options"},
                                                           {"bbtnClose", "&Close"}};
    for (const auto& [name, caption] : buttons) {
      QCOMPARE(Button(name)->text(), QString(caption));
      QCOMPARE(Button(name)->iconSize(), QSize(32, 32));
      QCOMPARE(Button(name)->accessibleName(), QString(caption).remove('&'));
    }
    QCOMPARE(Action("miExit")->text(), QString("E&xit"));
    QCOMPARE(Action("miOptions")->text(), QString("&Options..."));
    QCOMPARE(Action("miHomepage")->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(Action("HowTosTutorialVideos1")->text(), QString("How Tos && Tutorial Videos..."));
    QVERIFY(!Action("miLanguage")->isVisible());
    QVERIFY(Button("bbtnCancel")->isHidden());
    QCOMPARE(Status(M, "pnlStatusLabel"), QString());
    // Help items open their (empty) links and show nothing.
    Action("miHomepage")->trigger();
    Action("CheckforUpdates1")->trigger();
    QCOMPARE(W->Gates->Links.load(), 2);
    QVERIFY(!QApplication::activeModalWidget());

    // Never below 222 x 276; the status fields stay at the bottom, the right one as wide
    // as the client area allows.
    M->resize(100, 100);
    QTRY_VERIFY(M->width() >= 222 && M->height() >= 276);
    M->resize(800, 600);
    QTRY_COMPARE(M->width(), 800);
    auto* label = M->findChild<TTWStatusPanel*>("pnlStatusLabel");
    auto* value = M->findChild<TTWStatusPanel*>("pnlStatusValue");
    QWidget* client = M->centralWidget();
    QTRY_COMPARE(value->geometry().bottom(), client->height() - 1);
    QCOMPARE(label->geometry().bottom(), client->height() - 1);
    QCOMPARE(value->width(), client->width() - label->width());
    // Anchored right and bottom: Close keeps its distance to the corner.
    QCOMPARE(client->width() - Button("bbtnClose")->geometry().right() - 1, 16);
  }

  void statusFieldsAreReadByAssistiveTechnology() {
    InstallStatusPanelAccessibility();
    M = W->Open();
    M->SetStatusValue("C:\\data\\sub");
    auto* value = M->findChild<TTWStatusPanel*>("pnlStatusValue");
    QAccessibleInterface* ai = QAccessible::queryAccessibleInterface(value);
    QVERIFY(ai);
    QCOMPARE(ai->text(QAccessible::Name), QString("C:\\data\\sub"));
    QAccessibleInterface* run = QAccessible::queryAccessibleInterface(Button("btnRun"));
    QCOMPARE(run->text(QAccessible::Name), QString("Run"));
    QVERIFY(run->role() == QAccessible::Button);
  }

  void skinsChangeColoursOnly() {
    QVERIFY(InternalSkinNames().size() >= 2);
    QCOMPARE(InternalSkinNames().front(), std::string("AutumnSky (internal)"));
    QCOMPARE(ApplySkin("no such skin"), std::string("AutumnSky (internal)"));
    const QColor autumn = QApplication::palette().color(QPalette::Window);
    std::map<std::string, QRect> geometry;
    for (const std::string& name : InternalSkinNames()) {
      QCOMPARE(ApplySkin(name), name);
      M = W->Open(false, false);
      M->resize(700, 480);
      QApplication::processEvents();
      for (const char* b : {"btnRun", "bbtnCancel", "btnOptions", "bbtnClose"}) {
        const QRect r = Button(b)->geometry();
        auto [it, fresh] = geometry.emplace(b, r);
        QCOMPARE(it->second, r);
        QCOMPARE(Button(b)->text().isEmpty(), false);
      }
      W->CloseWindows();
      M = nullptr;
    }
    QCOMPARE(ApplySkin(InternalSkinNames()[1]), InternalSkinNames()[1]);
    QVERIFY(QApplication::palette().color(QPalette::Window) != autumn);
    ApplySkin("AutumnSky (internal)");
  }

  void drivesDecideRunAndTheirTicksAreSaved() {
    M = W->Open();
    QVERIFY(QTest::qWaitForWindowExposed(M));
    auto* list = M->findChild<QListWidget*>("lvDrives");
    QCOMPARE(list->count(), static_cast<int>(Config->Current.Drives.Entries.size()));
    QVERIFY(list->count() >= 1);
    CheckState(true, true);
    // Unticking the last ticked drive disables Run; ticking any enables it.
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
    CheckState(true, false);
    QListWidgetItem* last = list->item(list->count() - 1);
    last->setCheckState(Qt::Checked);
    CheckState(true, true);
    QVERIFY(M->close());
    // The next start sees the ticks of the file.
    TTWConfig again(W->SettingsPath());
    again.Load();
    for (size_t i = 0; i < again.Current.Drives.Entries.size(); ++i)
      QCOMPARE(again.Current.Drives.Entries[i].Selected != 0,
               static_cast<int>(i) == list->count() - 1);
  }

  void driveIconsFollowTheDriveType() {
    W->Prefix.AddDrive('e', W->Prefix.Root() + "/pfx/drive_c");
    // A fresh settings object lists the drives the platform has now.
    W->ConfigObj = std::make_unique<TTWConfig>(W->SettingsPath());
    Config = W->ConfigObj.get();
    M = W->Open(false, false);
    auto* list = M->findChild<QListWidget*>("lvDrives");
    for (int i = 0; i < list->count(); ++i) {
      const char letter = Config->Current.Drives.Entries[i].Letter;
      const uint32_t type = Platform().GetDriveType(std::string(1, letter) + ":\\");
      const int want = type == DRIVE_FIXED ? 0 : type == DRIVE_REMOVABLE ? 2 : 1;
      QCOMPARE(list->item(i)->data(Qt::UserRole + 2).toInt(), want);
      QCOMPARE(list->item(i)->text().toStdString(), TTWHelper::GetDriveDisplayName(letter));
    }
  }

  void runningStateAndCloseRefused() {
    // Hold the finder at the start of its walk of C:.
    W->Gates->FindText = "C:\\";
    M = W->Open();
    QVERIFY(QTest::qWaitForWindowExposed(M));
    QSignalSpy closed(M, &TFrmMain::Closed);
    Button("btnRun")->click();
    QTRY_VERIFY(W->Gates->FindGate.Reached());
    CheckState(false, true);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Find Files:"));
    // Every way of closing is refused, and nothing is saved.
    QVERIFY(!M->close());
    Action("miExit")->trigger();
    M->bbtnCloseClick();
    QVERIFY(M->isVisible());
    QCOMPARE(closed.count(), 0);
    QVERIFY(!QFile::exists(QString::fromStdString(W->SettingsPath())));
    // The window answers while the worker is held.
    M->resize(700, 500);
    QTRY_COMPARE(M->width(), 700);
    Action("miCancel")->trigger();
    W->Gates->FindGate.Open();
    WaitIdle();
    CheckState(true, true);
    QVERIFY(M->close());
    QCOMPARE(closed.count(), 1);
  }

  void reviewOffDeletesEverythingFound() {
    Config->Current.DeleteFiles.ConformationDialog = 0;
    M = W->Open();
    TModalDriver driver;
    int listed = -1;
    bool canceled = true;
    driver.On("FrmDeleted", [&](QWidget* D) {
      canceled = M->Canceled();
      listed = 0;
      for (int i = 0; i < M->RunList()->Count(); ++i)
        listed += M->RunList()->Items(i).Checked && M->RunList()->Items(i).Deleted;
      ClickChild(D, "bbtnClose");
    });
    Button("btnRun")->click();
    WaitIdle();
    QCOMPARE(driver.Seen, QStringList{"FrmDeleted"});
    QCOMPARE(listed, 5);
    QVERIFY(!canceled);
    QCOMPARE(Remaining(), 0);
    QVERIFY(W->Exists("C:\\data\\keep.txt"));
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Finished"));
    QCOMPARE(Status(M, "pnlStatusValue"), QString(" "));
    CheckState(true, true);
  }

  void reviewConfirmedDeletesOnlyTheTicked() {
    M = W->Open();
    TModalDriver driver;
    bool arrivedUnticked = false;
    driver.On("FrmSelect", [&](QWidget* D) {
      TTWFileList* list = M->RunList();
      arrivedUnticked = list->Count() == 5;
      for (int i = 0; i < list->Count(); ++i) {
        arrivedUnticked = arrivedUnticked && !list->Items(i).Checked;
        const std::string& p = list->Items(i).Path;
        list->Items(i).Checked = p.ends_with("one.twtest") || p.ends_with("four.twtest");
      }
      ClickChild(D, "btnNext");
    });
    driver.On("FrmDeleted", [&](QWidget* D) { ClickChild(D, "bbtnClose"); });
    Button("btnRun")->click();
    WaitIdle();
    QCOMPARE(driver.Seen, (QStringList{"FrmSelect", "FrmDeleted"}));
    QVERIFY(arrivedUnticked);
    QVERIFY(!W->Exists(kFiles[0]));
    QVERIFY(!W->Exists(kFiles[3]));
    QCOMPARE(Remaining(), 3);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Finished"));
  }

  void declinedReviewCancelsTheRun() {
    M = W->Open();
    TModalDriver driver;
    driver.On("FrmSelect", [&](QWidget* D) {
      for (int i = 0; i < M->RunList()->Count(); ++i) M->RunList()->Items(i).Checked = 1;
      static_cast<QDialog*>(D)->reject();  // the window's close button
    });
    Button("btnRun")->click();
    WaitIdle();
    QCOMPARE(driver.Seen, QStringList{"FrmSelect"});
    QCOMPARE(Remaining(), 5);
    QVERIFY(M->Canceled());
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Canceled"));
    QCOMPARE(Status(M, "pnlStatusValue"), QString(" "));
    CheckState(true, true);
  }

  void nothingFound_data() {
    QTest::addColumn<bool>("review");
    QTest::addColumn<QStringList>("dialogs");
    QTest::newRow("review on: empty review, then empty report")
        << true << QStringList{"FrmSelect", "FrmDeleted"};
    QTest::newRow("review off: empty report") << false << QStringList{"FrmDeleted"};
  }
  void nothingFound() {
    QFETCH(bool, review);
    QFETCH(QStringList, dialogs);
    Config->Current.FileSearchMasks = {"*.nothing-has-this"};
    Config->Current.DeleteFiles.ConformationDialog = review ? 1 : 0;
    M = W->Open();
    TModalDriver driver;
    int count = -1;
    driver.On("FrmSelect", [&](QWidget* D) {
      count = M->RunList()->Count();
      ClickChild(D, "btnNext");
    });
    driver.On("FrmDeleted", [&](QWidget* D) { ClickChild(D, "bbtnClose"); });
    Button("btnRun")->click();
    WaitIdle();
    QCOMPARE(driver.Seen, dialogs);
    if (review) QCOMPARE(count, 0);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Finished"));
  }

  void cancelWhileFinding() {
    W->Gates->FindText = "C:\\";
    M = W->Open();
    TModalDriver driver;
    Button("btnRun")->click();
    QTRY_VERIFY(W->Gates->FindGate.Reached());
    QVERIFY(M->ThreadFind() && M->RunList());
    Button("bbtnCancel")->click();
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Canceled"));
    W->Gates->FindGate.Open();
    WaitIdle();
    QVERIFY(driver.Seen.isEmpty());
    QCOMPARE(Remaining(), 5);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Canceled"));
    QCOMPARE(Status(M, "pnlStatusValue"), QString(" "));
    QVERIFY(!M->ThreadFind() && !M->RunList());
    CheckState(true, true);
  }

  void cancelWhileDeleting() {
    Config->Current.DeleteFiles.ConformationDialog = 0;
    // The second removal waits until the test has pressed Cancel.
    W->Gates->DeleteAt = 2;
    M = W->Open();
    TModalDriver driver;
    bool canceled = false;
    int listed = 0;
    driver.On("FrmDeleted", [&](QWidget* D) {
      canceled = M->Canceled();
      for (int i = 0; i < M->RunList()->Count(); ++i) {
        const TTWRecordFile& e = M->RunList()->Items(i);
        if (e.Checked && e.Deleted) {
          ++listed;
          if (W->Exists(e.Path)) listed = -100;  // recorded as deleted but still there
        } else if (!W->Exists(e.Path)) {
          listed = -100;  // gone but not recorded
        }
      }
      ClickChild(D, "bbtnClose");
    });
    Button("btnRun")->click();
    QTRY_VERIFY_WITH_TIMEOUT(W->Gates->DeleteGate.Reached(), 20000);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Delete Files:"));
    QVERIFY(M->ThreadFind() && M->ThreadDelete());  // the finder object stays to the end
    Button("bbtnCancel")->click();
    W->Gates->DeleteGate.Open();
    WaitIdle();
    QCOMPARE(driver.Seen, QStringList{"FrmDeleted"});
    QVERIFY(canceled);
    // Two removals went ahead (the held one finishes); the rest were not reached.
    QCOMPARE(listed, 2);
    QCOMPARE(Remaining(), 3);
    QCOMPARE(Status(M, "pnlStatusLabel"), QString(" Finished"));
    CheckState(true, true);
  }

  void twoRunsInARow() {
    Config->Current.DeleteFiles.ConformationDialog = 0;
    Config->Current.FileSearchMasks = {"one.twtest"};
    M = W->Open();
    TModalDriver driver;
    std::vector<int> counts;
    driver.On("FrmDeleted", [&](QWidget* D) {
      counts.push_back(M->RunList()->Count());
      ClickChild(D, "bbtnClose");
    });
    Button("btnRun")->click();
    WaitIdle();
    // The second run takes the settings in force when it starts, with a new list.
    Config->Current.FileSearchMasks = {"*.twtest"};
    Button("btnRun")->click();
    WaitIdle();
    QCOMPARE(counts, (std::vector<int>{1, 4}));
    QCOMPARE(Remaining(), 0);
    QCOMPARE(driver.Seen.size(), 2);
  }

  void malformedMask_data() {
    QTest::addColumn<bool>("autoRun");
    QTest::newRow("from Run") << false;
    QTest::newRow("under autorun") << true;
  }
  void malformedMask() {
    QFETCH(bool, autoRun);
    Config->Current.FileSearchMasks = {"*.twtest", "[abc"};
    TModalDriver driver;
    QString title, text;
    driver.On("MaskErrorBox", [&](QWidget* D) {
      title = D->windowTitle();
      text = static_cast<QMessageBox*>(D)->text();
      static_cast<QMessageBox*>(D)->accept();
    });
    M = W->Open(autoRun, false);
    QSignalSpy closed(M, &TFrmMain::Closed);
    if (autoRun)
      M->show();
    else
      QTimer::singleShot(0, M, [this] { M->btnRunClick(); });
    QTRY_COMPARE(driver.Seen, QStringList{"MaskErrorBox"});
    QCOMPARE(title, QString("Tidewell"));
    QCOMPARE(text, QString("'[abc' is an invalid mask at (5)"));
    QTRY_VERIFY(!M->RunActive());
    CheckState(true, true);
    QTRY_COMPARE(closed.count(), autoRun ? 1 : 0);
    QCOMPARE(QFile::exists(QString::fromStdString(W->SettingsPath())), autoRun);
    QCOMPARE(Remaining(), 5);
  }

  void autoRun_data() {
    QTest::addColumn<bool>("review");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("remaining");
    QTest::addColumn<QStringList>("dialogs");
    QTest::newRow("review on, confirmed") << true << true << 0 << QStringList{"FrmSelect"};
    QTest::newRow("review on, declined") << true << false << 5 << QStringList{"FrmSelect"};
    QTest::newRow("review off") << false << true << 0 << QStringList{};
  }
  void autoRun() {
    QFETCH(bool, review);
    QFETCH(bool, confirm);
    QFETCH(int, remaining);
    QFETCH(QStringList, dialogs);
    Config->Current.DeleteFiles.ConformationDialog = review ? 1 : 0;
    // An autorun starts even with no drive ticked; here C: is ticked to find the files.
    TModalDriver driver;
    bool minimised = false;
    driver.On("FrmSelect", [&](QWidget* D) {
      minimised = M->isMinimized();
      for (int i = 0; i < M->RunList()->Count(); ++i) M->RunList()->Items(i).Checked = 1;
      if (confirm)
        ClickChild(D, "btnNext");
      else
        static_cast<QDialog*>(D)->reject();
    });
    M = W->Open(true, false);
    QSignalSpy closed(M, &TFrmMain::Closed);
    M->show();
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 20000);
    QCOMPARE(driver.Seen, dialogs);
    if (review) QVERIFY(minimised);
    QVERIFY(!M->RunActive());
    QVERIFY(!M->isVisible());
    QCOMPARE(Remaining(), remaining);
    // However the run ended, the settings were saved.
    QVERIFY(QFile::exists(QString::fromStdString(W->SettingsPath())));
  }

  void autoRunWithNoDriveTickedStillRuns() {
    for (TTWDriveEntry& d : Config->Current.Drives.Entries) d.Selected = 0;
    Config->Current.DeleteFiles.ConformationDialog = 1;
    TModalDriver driver;
    driver.On("FrmSelect", [&](QWidget* D) { static_cast<QDialog*>(D)->reject(); });
    M = W->Open(true, false);
    QSignalSpy closed(M, &TFrmMain::Closed);
    M->show();
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 20000);
    QCOMPARE(driver.Seen, QStringList{"FrmSelect"});
  }

  void instanceMessageRestoresTheWindow() {
    M = W->Open();
    M->SetInstanceMessage(0xC123);
    QVERIFY(QTest::qWaitForWindowExposed(M));
    M->showMinimized();
    QTRY_VERIFY(M->isMinimized());
    QVERIFY(!M->aeMainAppMessage(0xC124));
    QVERIFY(M->isMinimized());
    QVERIFY(M->aeMainAppMessage(0xC123));
    QTRY_VERIFY(!M->isMinimized());
    QVERIFY(M->isVisible());
    // A second arrival of the same broadcast does the same, harmlessly.
    QVERIFY(M->aeMainAppMessage(0xC123));
    QVERIFY(!M->RunActive());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_qtest.moc"
