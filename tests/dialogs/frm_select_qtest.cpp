// The Found files dialog: sorting, ticks and their total, Space, the buttons, the close
// results, Properties, the layout, and a list of 100,000 entries.
#include <QAccessible>
#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

#include "dialog_fixture.h"
#include "dialogs/tw_file_model.h"
#include "dialogs/tw_frm_properties.h"
#include "dialogs/tw_frm_select.h"

namespace {

const std::string kA = "C:\\a";
const std::string kZ = "C:\\Z";
const std::string kB = "C:\\b";
const std::string kE = "C:\\\xc3\xa9";

// Sizes in KB: a 1024, Z 512, b 0, é 3072; Z and b arrive ticked.
std::vector<TEntrySpec> FourEntries() {
  return {{kA, 1048576, TW_KIND_FILE, 0, false},
          {kZ, 524288, TW_KIND_DIRECTORY, 16, true},
          {kB, 0, TW_KIND_FILE, 1, true},
          {kE, 3145728, TW_KIND_FILE, 18, false}};
}

QStringList Names(TFrmSelect& D) {
  QStringList Out;
  for (int R = 0; R < D.Model()->RowCount(); ++R)
    Out << QString::fromStdString(D.Model()->ColumnText(R, 2));
  return Out;
}

int RowOf(TFrmSelect& D, const std::string& Path) {
  for (int R = 0; R < D.Model()->RowCount(); ++R)
    if (D.Model()->Entry(R).Path == Path) return R;
  return -1;
}

int64_t TickedSum(TTWFileList* L) {
  int64_t S = 0;
  for (int I = 0; I < L->Count(); ++I)
    if (L->Items(I).Checked) S += L->Items(I).Size;
  return S;
}

void ClickHeader(QTreeView* View, int Column) {
  QHeaderView* H = View->header();
  QTest::mouseClick(
      H->viewport(), Qt::LeftButton, {},
      QPoint(H->sectionViewportPosition(Column) + H->sectionSize(Column) / 2, H->height() / 2));
}

QString Q(const std::string& S) {
  return QString::fromStdString(S);
}

}  // namespace

class FrmSelectTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TDialogEnvironment> Env;

 private slots:
  void initTestCase() { Env = std::make_unique<TDialogEnvironment>(); }
  void cleanupTestCase() { Env.reset(); }
  void init() {
    Env->Platform.Shown.clear();
    Env->Platform.Answers = true;
    Env->Platform.Objects.clear();
  }

  void controlsAsDesigned() {
    TFrmSelect D;
    QCOMPARE(D.windowTitle(), QStringLiteral("Found files"));
    QCOMPARE(D.size(), QSize(637, 435));
    QCOMPARE(D.minimumSize(), QSize(600, 300));
    auto* View = D.findChild<QTreeView*>("lvSelectFiles");
    QVERIFY(View);
    QCOMPARE(View->geometry(), QRect(8, 25, 613, 360));
    const QStringList Captions = {"Delete", "Type", "Name", "Group", "Size (KB)"};
    const int Widths[] = {60, 60, 305, 100, 55};
    for (int C = 0; C < 5; ++C) {
      QCOMPARE(View->model()->headerData(C, Qt::Horizontal).toString(), Captions[C]);
      QCOMPARE(View->header()->sectionSize(C), Widths[C]);
    }
    QCOMPARE(View->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(View->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(View->editTriggers(), QAbstractItemView::NoEditTriggers);
    const struct {
      const char* Name;
      const char* Text;
      QRect Geometry;
    } Buttons[] = {{"btnEnableAll", "Enable all", {365, 394, 80, 25}},
                   {"btnDisableAll", "Disable all", {453, 394, 80, 25}},
                   {"btnNext", "Next", {541, 394, 80, 25}}};
    for (const auto& B : Buttons) {
      auto* W = D.findChild<QPushButton*>(B.Name);
      QVERIFY2(W, B.Name);
      QCOMPARE(W->text(), QString::fromLatin1(B.Text));
      QCOMPARE(W->geometry(), B.Geometry);
    }
    auto* Ticked = D.findChild<QLabel*>("lblTickedFiles");
    QVERIFY(Ticked);
    QCOMPARE(Ticked->pos(), QPoint(8, 8));
    auto* SizeCaption = D.findChild<QLabel*>("lblTickedFilesSize");
    auto* Size = D.findChild<QLabel*>("lblSize");
    QVERIFY(SizeCaption && Size);
    QCOMPARE(SizeCaption->text(), QStringLiteral("Size of ticked files:"));
    QCOMPARE(SizeCaption->pos(), QPoint(8, 390));
    QCOMPARE(Size->x(), SizeCaption->x() + SizeCaption->width() + 8);
    for (QLabel* L : D.findChildren<QLabel*>()) QCOMPARE(L->textFormat(), Qt::PlainText);
    auto* Item = D.findChild<QAction*>("piProperties");
    QVERIFY(Item);
    QCOMPARE(Item->text(), QStringLiteral("Properties"));
    QVERIFY(D.findChild<QMenu*>("pmFiles"));

    // Tab order: list, Enable all, Disable all, Next.
    QStringList Order;
    QWidget* W = View;
    do {
      if ((W->focusPolicy() & Qt::TabFocus) && W->window() == &D) Order << W->objectName();
      W = W->nextInFocusChain();
    } while (W != View);
    QCOMPARE(Order, QStringList({"lvSelectFiles", "btnEnableAll", "btnDisableAll", "btnNext"}));
  }

  void sorting_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("expected");
    const QString A = Q(kA), Z = Q(kZ), B = Q(kB), E = Q(kE);
    // Text is compared by bytes: "Z" (0x5A) before "a", and é (0xC3 ...) last.
    QTest::newRow("opened by Name ascending") << QList<int>{} << QStringList{Z, A, B, E};
    QTest::newRow("first click descending") << QList<int>{2} << QStringList{E, B, A, Z};
    QTest::newRow("second click ascending") << QList<int>{2, 2} << QStringList{Z, A, B, E};
    QTest::newRow("size descending") << QList<int>{4} << QStringList{E, A, Z, B};
    // The number 512 sorts below 1024, which a text comparison would not do.
    QTest::newRow("size ascending by number") << QList<int>{4, 4} << QStringList{B, Z, A, E};
    QTest::newRow("direction alternates across columns")
        << QList<int>{2, 4} << QStringList{B, Z, A, E};
    QTest::newRow("delete ascending, ticked first") << QList<int>{2, 0} << QStringList{B, Z, E, A};
    QTest::newRow("delete descending, unticked first") << QList<int>{0} << QStringList{A, E, Z, B};
    QTest::newRow("type descending") << QList<int>{1} << QStringList{A, B, E, Z};
    QTest::newRow("group descending") << QList<int>{3} << QStringList{Z, A, E, B};
  }
  void sorting() {
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, expected);
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      for (int C : clicks) ClickHeader(View, C);
      QCOMPARE(Names(D), expected);
      QCOMPARE(D.SortColumn(), clicks.isEmpty() ? 2 : clicks.back());
      QCOMPARE(D.SortDescending(), clicks.size() % 2 == 0);
    });
    QVERIFY(!D.SelectFiles(L.Get()));
  }

  void ticksAndTotal_data() {
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("label");
    const QString A = Q(kA), Z = Q(kZ), E = Q(kE);
    QTest::newRow("opened") << QStringList{} << qint64(524288) << "0.5 MB";
    QTest::newRow("tick") << QStringList{"tick " + A} << qint64(1572864) << "1.5 MB";
    QTest::newRow("untick and tick again")
        << QStringList{"untick " + Z, "tick " + Z} << qint64(524288) << "0.5 MB";
    QTest::newRow("tick an already ticked row")
        << QStringList{"tick " + Z} << qint64(524288) << "0.5 MB";
    QTest::newRow("enable all twice")
        << QStringList{"enable", "enable"} << qint64(4718592) << "4.5 MB";
    QTest::newRow("disable all") << QStringList{"disable"} << qint64(0) << "0 MB";
    QTest::newRow("space flips every selected row")
        << QStringList{"space " + A + " " + Z + " " + E} << qint64(4194304) << "4 MB";
    QTest::newRow("space twice restores")
        << QStringList{"space " + A + " " + Z + " " + E, "space " + A + " " + Z + " " + E}
        << qint64(524288) << "0.5 MB";
    // The focused row is not flipped a second time by the list itself.
    QTest::newRow("space with one selected")
        << QStringList{"space " + A} << qint64(1572864) << "1.5 MB";
    QTest::newRow("space with nothing selected")
        << QStringList{"space"} << qint64(524288) << "0.5 MB";
  }
  void ticksAndTotal() {
    QFETCH(QStringList, actions);
    QFETCH(qint64, total);
    QFETCH(QString, label);
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      QAbstractItemModel* M = View->model();
      for (const QString& Action : actions) {
        QStringList Words = Action.split(' ');
        const QString Verb = Words.takeFirst();
        if (Verb == "tick" || Verb == "untick") {
          const int Row = RowOf(D, Words[0].toStdString());
          QVERIFY(M->setData(M->index(Row, 0), Verb == "tick" ? Qt::Checked : Qt::Unchecked,
                             Qt::CheckStateRole));
        } else if (Verb == "enable" || Verb == "disable") {
          QTest::mouseClick(
              D.findChild<QPushButton*>(Verb == "enable" ? "btnEnableAll" : "btnDisableAll"),
              Qt::LeftButton);
        } else if (Verb == "space") {
          View->clearSelection();
          View->setCurrentIndex(M->index(0, 0));
          View->clearSelection();
          for (const QString& Name : Words) {
            const int Row = RowOf(D, Name.toStdString());
            View->selectionModel()->setCurrentIndex(
                M->index(Row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
          }
          QTest::keyClick(View, Qt::Key_Space);
        }
      }
      QCOMPARE(D.TickedTotal(), total);
      QCOMPARE(TickedSum(L.Get()), total);
      QCOMPARE(D.findChild<QLabel*>("lblSize")->text(), label);
      for (int R = 0; R < D.Model()->RowCount(); ++R)
        QCOMPARE(M->index(R, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked,
                 D.Model()->Entry(R).Checked);
    });
    D.SelectFiles(L.Get());
  }

  void results_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("result");
    QTest::newRow("Next") << "next" << true;
    QTest::newRow("close button") << "close" << false;
    QTest::newRow("Escape") << "escape" << false;
  }
  void results() {
    QFETCH(QString, how);
    QFETCH(bool, result);
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      if (how == "next")
        QTest::mouseClick(D.findChild<QPushButton*>("btnNext"), Qt::LeftButton);
      else if (how == "close")
        D.close();
      else
        QTest::keyClick(D.findChild<QTreeView*>("lvSelectFiles"), Qt::Key_Escape);
    });
    QCOMPARE(D.SelectFiles(L.Get()), result);
    QCOMPARE(D.Model()->RowCount(), 0);
    // The entries keep their ticks.
    QCOMPARE(TickedSum(L.Get()), int64_t(524288));
  }

  void emptyListStillContinues() {
    TTestList L({});
    TFrmSelect D;
    WhileModal(&D, [&] {
      QCOMPARE(D.findChild<QLabel*>("lblSize")->text(), QStringLiteral("0 MB"));
      QTest::mouseClick(D.findChild<QPushButton*>("btnNext"), Qt::LeftButton);
    });
    QVERIFY(D.SelectFiles(L.Get()));
  }

  void enterDoesNotProceed() {
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      QTest::keyClick(D.findChild<QTreeView*>("lvSelectFiles"), Qt::Key_Return);
      QVERIFY(D.isVisible());
      QCOMPARE(D.TickedTotal(), int64_t(524288));
    });
    QVERIFY(!D.SelectFiles(L.Get()));
  }

  void properties() {
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* Item = D.findChild<QAction*>("piProperties");
      // No row has reported a change yet: nothing happens.
      Item->trigger();
      QVERIFY(Env->Platform.Shown.empty());
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      View->setCurrentIndex(View->model()->index(RowOf(D, kE), 2));
      Item->trigger();
      QCOMPARE(Env->Platform.Shown, std::vector<std::string>{kE});
      QVERIFY(D.findChildren<TFrmProperties*>().isEmpty());
    });
    D.SelectFiles(L.Get());
    // The last path stays for the next showing.
    QCOMPARE(D.LastPath(), kE);
  }

  void ownPropertiesWhereNoFileManagerAnswers() {
    Env->Platform.Answers = false;
    const std::string Path = "C:\\t\\<b>x</b>\xff.tmp";
    TTWFindData F;
    F.Name = "<b>x</b>\xff.tmp";
    F.Attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    F.Size = 2048;
    Env->Platform.Objects[Path] = F;
    TTestList L({{Path, 2048}});
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      View->setCurrentIndex(View->model()->index(0, 1));
      D.findChild<QAction*>("piProperties")->trigger();
      QCOMPARE(Env->Platform.Shown, std::vector<std::string>{Path});
      TFrmProperties* P = D.findChild<TFrmProperties*>();
      QVERIFY(P);
      QTRY_VERIFY(P->isVisible());
      const QString Shown = QStringLiteral("<b>x</b>") + QChar(0xFFFD) + QStringLiteral(".tmp");
      QCOMPARE(P->findChild<QLabel*>("lblName")->text(), Shown);
      QCOMPARE(P->findChild<QLabel*>("lblHostPath")->text(), QStringLiteral("C:\\t\\") + Shown);
      QCOMPARE(P->findChild<QLabel*>("lblKind")->text(), QStringLiteral("File"));
      QCOMPARE(P->findChild<QLabel*>("lblFileSize")->text(), QStringLiteral("2 KB (2048 bytes)"));
      QCOMPARE(P->findChild<QLabel*>("lblAttributes")->text(),
               QStringLiteral("Read-only, Archive"));
      QCOMPARE(P->findChild<QLabel*>("lblModified")->text(),
               QLocale().toString(QDateTime::fromSecsSinceEpoch(1000000000), QLocale::LongFormat));
      for (QLabel* Label : P->findChildren<QLabel*>()) QCOMPARE(Label->textFormat(), Qt::PlainText);
      P->close();
      // Gone: not there any more.
      Env->Platform.Objects.clear();
      D.findChild<QAction*>("piProperties")->trigger();
      TFrmProperties* Gone = nullptr;
      QTRY_VERIFY((Gone = D.findChild<TFrmProperties*>()) != nullptr && Gone->isVisible());
      QVERIFY(Gone->findChild<QLabel*>("lblState"));
      QVERIFY(!Gone->findChild<QLabel*>("lblHostPath"));
      Gone->close();
    });
    D.SelectFiles(L.Get());
  }

  void namesAreShownNotInterpreted() {
    TTestList L({{std::string("C:\\a\xff\xfe\x01.tmp"), 1}});
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      const QString Text = View->model()->index(0, 2).data().toString();
      QCOMPARE(Text, QStringLiteral("C:\\a") + QChar(0xFFFD) + QChar(0xFFFD) + QChar(0x2401) +
                         QStringLiteral(".tmp"));
    });
    D.SelectFiles(L.Get());
  }

  void rowsAreAccessible() {
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      auto* View = D.findChild<QTreeView*>("lvSelectFiles");
      QAccessibleInterface* Iface = QAccessible::queryAccessibleInterface(View);
      QVERIFY(Iface && Iface->tableInterface());
      QAccessibleTableInterface* Table = Iface->tableInterface();
      QCOMPARE(Table->rowCount(), 4);
      QCOMPARE(Table->columnCount(), 5);
      const int Row = RowOf(D, kZ);
      QCOMPARE(Table->cellAt(Row, 2)->text(QAccessible::Name), Q(kZ));
      QCOMPARE(Table->cellAt(Row, 1)->text(QAccessible::Name), QStringLiteral("Directory"));
      QVERIFY(Table->cellAt(Row, 0)->state().checkable);
      QVERIFY(Table->cellAt(Row, 0)->state().checked);
      QVERIFY(!Table->cellAt(RowOf(D, kA), 0)->state().checked);
    });
    D.SelectFiles(L.Get());
  }

  void resizing() {
    TTestList L(FourEntries());
    TFrmSelect D;
    WhileModal(&D, [&] {
      D.resize(100, 100);
      QTRY_COMPARE(D.size(), QSize(600, 300));
      D.resize(800, 600);
      QTRY_COMPARE(D.size(), QSize(800, 600));
      QCOMPARE(D.findChild<QTreeView*>("lvSelectFiles")->geometry(), QRect(8, 25, 776, 525));
      QCOMPARE(D.findChild<QPushButton*>("btnNext")->geometry(), QRect(704, 559, 80, 25));
      QCOMPARE(D.findChild<QPushButton*>("btnEnableAll")->pos(), QPoint(528, 559));
      QCOMPARE(D.findChild<QLabel*>("lblTickedFilesSize")->pos(), QPoint(8, 555));
      QCOMPARE(D.findChild<QLabel*>("lblSize")->y(), 555);
    });
    D.SelectFiles(L.Get());
    int W = 10, H = 1000;
    QVERIFY(D.FormCanResize(W, H));
    QCOMPARE(W, 600);
    QCOMPARE(H, 1000);
  }

  void hundredThousandEntries() {
    std::vector<TEntrySpec> Specs;
    Specs.reserve(100000);
    int64_t Sum = 0;
    for (int I = 0; I < 100000; ++I) {
      // Out of order on purpose, with a directory now and then.
      const int K = (I * 7919) % 100000;
      Specs.push_back({"C:\\users\\tester\\Temp\\f" + std::to_string(K) + ".tmp", K,
                       static_cast<uint8_t>(K % 10 == 0 ? 1 : 0), static_cast<uint8_t>(K % 21)});
      Sum += K;
    }
    TTestList L(Specs);
    TFrmSelect D;
    WhileModal(&D, [&] {
      QCOMPARE(D.Model()->RowCount(), 100000);
      for (int R = 1; R < 100000; R += 997)
        QVERIFY(D.Model()->Entry(R - 1).Path < D.Model()->Entry(R).Path);
      QTest::mouseClick(D.findChild<QPushButton*>("btnEnableAll"), Qt::LeftButton);
      QCOMPARE(D.TickedTotal(), Sum);
      ClickHeader(D.findChild<QTreeView*>("lvSelectFiles"), 4);
      QCOMPARE(D.Model()->Entry(0).Size, int64_t(99999));
      QTest::mouseClick(D.findChild<QPushButton*>("btnNext"), Qt::LeftButton);
    });
    QVERIFY(D.SelectFiles(L.Get()));
    QCOMPARE(TickedSum(L.Get()), Sum);
  }
};

QTEST_MAIN(FrmSelectTest)
#include "frm_select_qtest.moc"
