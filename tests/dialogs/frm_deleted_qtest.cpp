// The Deleted files dialog: which entries are listed, the total, the outcome text and
// its colour, sorting, closing and the layout.
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include "dialog_fixture.h"
#include "dialogs/tw_file_model.h"
#include "dialogs/tw_frm_deleted.h"

namespace {

QStringList Names(TFrmDeleted& D) {
  QStringList Out;
  for (int R = 0; R < D.Model()->RowCount(); ++R)
    Out << QString::fromStdString(D.Model()->Entry(R).Path);
  return Out;
}

// Ticked and deleted: the two directories' files and one directory; the rest not.
std::vector<TEntrySpec> AfterARun() {
  return {{"C:\\t", 0, TW_KIND_DIRECTORY, 16, true, false},  // still held a file
          {"C:\\t\\b.tmp", 1048576, TW_KIND_FILE, 16, true, true},
          {"C:\\t\\keep.tmp", 2097152, TW_KIND_FILE, 16, false, false},
          {"C:\\t\\A.tmp", 524288, TW_KIND_FILE, 0, true, true},
          {"C:\\u", 0, TW_KIND_DIRECTORY, 18, true, true},
          {"C:\\t\\odd.tmp", 4096, TW_KIND_FILE, 0, false, true}};  // unticked: not listed
}

}  // namespace

class FrmDeletedTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialogEnvironment> Env;

 private slots:
  void initTestCase() { Env = std::make_unique<TDialogEnvironment>(); }
  void cleanupTestCase() { Env.reset(); }

  void controlsAsDesigned() {
    TFrmDeleted D;
    QCOMPARE(D.windowTitle(), QStringLiteral("Deleted files"));
    QCOMPARE(D.size(), QSize(604, 435));
    QCOMPARE(D.minimumSize(), QSize(600, 300));
    auto* View = D.findChild<QTreeView*>("lvDeletedFiles");
    QVERIFY(View);
    QCOMPARE(View->geometry(), QRect(8, 25, 580, 360));
    QCOMPARE(View->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(View->model()->columnCount(), 4);
    const QStringList Captions = {"Type", "Name", "Group", "Size (KB)"};
    const int Widths[] = {80, 315, 100, 55};
    for (int C = 0; C < 4; ++C) {
      QCOMPARE(View->model()->headerData(C, Qt::Horizontal).toString(), Captions[C]);
      QCOMPARE(View->header()->sectionSize(C), Widths[C]);
    }
    auto* Close = D.findChild<QPushButton*>("bbtnClose");
    QVERIFY(Close);
    QCOMPARE(Close->text(), QStringLiteral("&Close"));
    QCOMPARE(Close->geometry(), QRect(502, 394, 86, 25));
    QVERIFY(!Close->icon().isNull());
    auto* Caption = D.findChild<QLabel*>("lblDeletedFilesSize");
    QCOMPARE(Caption->text(), QStringLiteral("Size of deleted files:"));
    QCOMPARE(Caption->pos(), QPoint(8, 390));
    QCOMPARE(D.findChild<QLabel*>("lblSize")->x(), Caption->x() + Caption->width() + 8);
    for (QLabel* L : D.findChildren<QLabel*>()) QCOMPARE(L->textFormat(), Qt::PlainText);
  }

  void listsOnlyTickedAndDeleted_data() {
    QTest::addColumn<bool>("canceled");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::newRow("completed") << false << "Following files have been successfully deleted."
                               << false;
    QTest::newRow("cancelled") << true << "Following files have been already deleted." << true;
  }
  void listsOnlyTickedAndDeleted() {
    QFETCH(bool, canceled);
    QFETCH(QString, text);
    QFETCH(bool, red);
    TTestList L(AfterARun());
    TFrmDeleted D;
    WhileModal(&D, [&] {
      QCOMPARE(Names(D), QStringList({"C:\\t\\A.tmp", "C:\\t\\b.tmp", "C:\\u"}));
      QCOMPARE(D.DeletedTotal(), int64_t(1572864));
      QCOMPARE(D.findChild<QLabel*>("lblSize")->text(), QStringLiteral("1.5 MB"));
      auto* Outcome = D.findChild<QLabel*>("lblDeletedFiles");
      QCOMPARE(Outcome->text(), text);
      QVERIFY(Outcome->autoFillBackground());
      const QColor Back = Outcome->palette().color(QPalette::Window);
      if (red)
        QCOMPARE(Back, QColor(255, 0, 0));
      else
        QCOMPARE(Back, D.palette().color(QPalette::Window));
      auto* View = D.findChild<QTreeView*>("lvDeletedFiles");
      QCOMPARE(View->model()->index(2, 0).data().toString(), QStringLiteral("Directory"));
      QCOMPARE(View->model()->index(2, 2).data().toString(), QStringLiteral("Recycle Bin"));
      QCOMPARE(View->model()->index(1, 3).data().toString(), QStringLiteral("1024"));
      QCOMPARE(View->model()->index(1, 3).data(Qt::TextAlignmentRole).toInt(),
               int(Qt::AlignRight | Qt::AlignVCenter));
      QVERIFY(!View->model()->index(0, 0).data(Qt::CheckStateRole).isValid());
    });
    D.ShowDeletedFiles(L.Get(), canceled);
    QCOMPARE(D.Model()->RowCount(), 0);
  }

  void cancelledThenCompletedResetsTheColour() {
    TTestList L(AfterARun());
    TFrmDeleted D;
    WhileModal(&D, [] {});
    D.ShowDeletedFiles(L.Get(), true);
    WhileModal(&D, [&] {
      auto* Outcome = D.findChild<QLabel*>("lblDeletedFiles");
      QCOMPARE(Outcome->palette().color(QPalette::Window), D.palette().color(QPalette::Window));
    });
    D.ShowDeletedFiles(L.Get(), false);
  }

  void nothingDeleted() {
    TTestList L({{"C:\\a", 10, TW_KIND_FILE, 0, true, false}});
    TFrmDeleted D;
    WhileModal(&D, [&] {
      QCOMPARE(D.Model()->RowCount(), 0);
      QCOMPARE(D.findChild<QLabel*>("lblSize")->text(), QStringLiteral("0 MB"));
    });
    D.ShowDeletedFiles(L.Get(), false);
  }

  void sorting_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("expected");
    const QString A = "C:\\t\\A.tmp", B = "C:\\t\\b.tmp", U = "C:\\u";
    QTest::newRow("opened by Name ascending") << QList<int>{} << QStringList{A, B, U};
    QTest::newRow("first click descending") << QList<int>{1} << QStringList{U, B, A};
    QTest::newRow("size descending") << QList<int>{3} << QStringList{B, A, U};
    QTest::newRow("size then type") << QList<int>{3, 0} << QStringList{U, B, A};
  }
  void sorting() {
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, expected);
    TTestList L(AfterARun());
    TFrmDeleted D;
    WhileModal(&D, [&] {
      QHeaderView* H = D.findChild<QTreeView*>("lvDeletedFiles")->header();
      for (int C : clicks)
        QTest::mouseClick(H->viewport(), Qt::LeftButton, {},
                          QPoint(H->sectionViewportPosition(C) + 5, H->height() / 2));
      QCOMPARE(Names(D), expected);
      QCOMPARE(D.SortDescending(), clicks.size() % 2 == 0);
    });
    D.ShowDeletedFiles(L.Get(), false);
  }

  void closes_data() {
    QTest::addColumn<bool>("button");
    QTest::newRow("Close button") << true;
    QTest::newRow("window's close button") << false;
  }
  void closes() {
    QFETCH(bool, button);
    TTestList L(AfterARun());
    TFrmDeleted D;
    bool Closed = false;
    WhileModal(
        &D,
        [&] {
          if (button)
            QTest::mouseClick(D.findChild<QPushButton*>("bbtnClose"), Qt::LeftButton);
          else
            D.close();
          Closed = !D.isVisible();
        },
        [&] { D.reject(); });
    D.ShowDeletedFiles(L.Get(), false);
    QVERIFY(Closed);
  }

  void resizing() {
    TTestList L(AfterARun());
    TFrmDeleted D;
    WhileModal(&D, [&] {
      D.resize(10, 10);
      QTRY_COMPARE(D.size(), QSize(600, 300));
      D.resize(900, 700);
      QTRY_COMPARE(D.size(), QSize(900, 700));
      QCOMPARE(D.findChild<QTreeView*>("lvDeletedFiles")->geometry(), QRect(8, 25, 876, 625));
      QCOMPARE(D.findChild<QPushButton*>("bbtnClose")->pos(), QPoint(798, 659));
      QCOMPARE(D.findChild<QLabel*>("lblDeletedFilesSize")->pos(), QPoint(8, 655));
    });
    D.ShowDeletedFiles(L.Get(), false);
  }
};

QTEST_MAIN(FrmDeletedTest)
#include "frm_deleted_qtest.moc"
