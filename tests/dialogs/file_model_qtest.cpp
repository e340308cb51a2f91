// The table model of both lists under QAbstractItemModelTester, through fills, sorts,
// tick changes and clearing; and the display form of names.
#include <QAbstractItemModelTester>

#include "dialog_fixture.h"
#include "dialogs/tw_file_model.h"

class FileModelTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialogEnvironment> Env;

 private slots:
  void initTestCase() { Env = std::make_unique<TDialogEnvironment>(); }
  void cleanupTestCase() { Env.reset(); }

  void passesTheModelTester_data() {
    QTest::addColumn<bool>("select");
    QTest::newRow("found files") << true;
    QTest::newRow("deleted files") << false;
  }
  void passesTheModelTester() {
    QFETCH(bool, select);
    TTestList L({{"C:\\b", 2048, TW_KIND_FILE, 0, true, true},
                 {"C:\\a", 1024, TW_KIND_DIRECTORY, 3, false, true},
                 {"C:\\c", 0, TW_KIND_FILE, 20, true, true}});
    TTWFileListModel M(select ? TTWFileListModel::TLayout::Select
                              : TTWFileListModel::TLayout::Deleted);
    QAbstractItemModelTester Tester(&M, QAbstractItemModelTester::FailureReportingMode::QtTest);
    M.SetHeaders({"1", "2", "3", "4", "5"});
    M.SetRows(L.Get(), {0, 1, 2});
    QCOMPARE(M.rowCount(), 3);
    QCOMPARE(M.columnCount(), select ? 5 : 4);
    QPersistentModelIndex Kept = M.index(0, 1);  // the entry C:\b
    const int Name = select ? 2 : 1;
    M.Sort(Name, [&](const TTWListRow& A, const TTWListRow& B) {
      return Helper->CompareItems(A, B, Name, TW_COLUMN_TEXT, false);
    });
    QCOMPARE(M.index(0, Name).data().toString(), QStringLiteral("C:\\a"));
    QCOMPARE(Kept.row(), 1);
    QCOMPARE(M.Entry(Kept.row()).Path, std::string("C:\\b"));
    const int Size = select ? 4 : 3;
    M.Sort(Size, [&](const TTWListRow& A, const TTWListRow& B) {
      return Helper->CompareItems(A, B, Size, TW_COLUMN_NUMBER, true);
    });
    QCOMPARE(M.index(0, Size).data().toString(), QStringLiteral("2"));
    QCOMPARE(M.ListRow(0).SubItems.size(), size_t(select ? 4 : 3));
    if (select) {
      QSignalSpy Ticked(&M, &TTWFileListModel::RowTicked);
      QVERIFY(M.setData(M.index(1, 0), Qt::Checked, Qt::CheckStateRole));
      QVERIFY(M.setData(M.index(1, 0), Qt::Checked, Qt::CheckStateRole));
      QCOMPARE(Ticked.count(), 1);
      QVERIFY(!M.setData(M.index(2, 1), Qt::Checked, Qt::CheckStateRole));
      int Last = -1;
      QCOMPARE(M.SetAllTicks(false, Last), int64_t(-(2048 + 1024 + 0)));
      QCOMPARE(M.SetAllTicks(false, Last), int64_t(0));
      QCOMPARE(Last, -1);
    } else {
      QVERIFY(!(M.flags(M.index(0, 0)) & Qt::ItemIsUserCheckable));
      QVERIFY(!M.setData(M.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    }
    M.Clear();
    QCOMPARE(M.rowCount(), 0);
  }

  void displayText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QByteArray("C:\\a.tmp") << QStringLiteral("C:\\a.tmp");
    QTest::newRow("utf-8") << QByteArray("C:\\\xc3\xa9") << QStringLiteral("C:\\\u00e9");
    QTest::newRow("invalid byte") << QByteArray("a\xff") << QStringLiteral("a\ufffd");
    QTest::newRow("truncated sequence") << QByteArray("a\xc3") << QStringLiteral("a\ufffd");
    QTest::newRow("controls") << QByteArray("a\nb\x7f") << QStringLiteral("a\u240ab\u2421");
    QTest::newRow("markup stays text") << QByteArray("<b>&amp;") << QStringLiteral("<b>&amp;");
  }
  void displayText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(TWDisplayText(bytes.toStdString()), shown);
  }
};

QTEST_MAIN(FileModelTest)
#include "file_model_qtest.moc"
