// Widget tests of the Options window, offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "config/tw_config.h"
#include "dialogs/tw_frm_options.h"
#include "support/null_platform.h"

namespace {

QStringList Lines(const TTWListBox* Box) {
  QStringList Out;
  for (int I = 0; I < Box->count(); ++I) Out << QString::fromStdString(Box->LineText(I));
  return Out;
}

QStringList Selected(const TTWListBox* Box) {
  QStringList Out;
  for (int I = 0; I < Box->count(); ++I)
    if (Box->item(I)->isSelected()) Out << Box->item(I)->text();
  return Out;
}

TStringList Strings(const QStringList& L) {
  TStringList Out;
  for (const QString& S : L) Out.push_back(S.toStdString());
  return Out;
}

}  // namespace

class TFrmOptionsTest : public QObject {
  Q_OBJECT

 private:
  TTWNullPlatform FPlatform;
  std::unique_ptr<ScopedPlatform> FScoped;
  std::unique_ptr<TTWConfig> FConfig;
  std::unique_ptr<TFrmOptions> FForm;

  template <class T>
  T* Find(const char* Name) {
    T* W = FForm->findChild<T*>(Name);
    if (!W) qFatal("no control %s", Name);
    return W;
  }
  TTWListBox* Masks() { return Find<TTWListBox>("lbFileSearchMasks"); }
  QListWidget* Browsers() { return Find<QListWidget>("clbBrowsers"); }

  // Runs the dialog modally; Drive acts on it once it is up.
  int ExecWith(std::function<void()> Drive) {
    QTimer::singleShot(0, this, [this, Drive] {
      QTRY_VERIFY(FForm->isVisible());
      Drive();
    });
    return FForm->exec();
  }
  // Answers the next input box with Text (or cancels it when Accept is false).
  void AnswerInputBox(const QString& Text, bool Accept, int* MaxLength = nullptr) {
    QTimer::singleShot(0, this, [=] {
      QWidget* W = nullptr;
      QTRY_VERIFY((W = QApplication::activeModalWidget()) && W->objectName() == "InputBox");
      auto* Box = qobject_cast<QInputDialog*>(W);
      QVERIFY(Box);
      auto* Edit = Box->findChild<QLineEdit*>();
      QVERIFY(Edit);
      if (MaxLength) *MaxLength = Edit->maxLength();
      QCOMPARE(Edit->text(), QString());
      Edit->setText(Text);
      Accept ? Box->accept() : Box->reject();
    });
  }

 private slots:
  void init() {
    FScoped = std::make_unique<ScopedPlatform>(FPlatform);
    FConfig = std::make_unique<TTWConfig>("/tmp/unused-system.dat");
    // Chrome, Firefox and Safari found; Internet Explorer and Opera not.
    FConfig->Installed = TTWInstalledBrowsers{0, 1, 0, 1, 1};
    Config = FConfig.get();
    FForm = std::make_unique<TFrmOptions>();
  }
  void cleanup() {
    FForm.reset();
    Config = nullptr;
    FConfig.reset();
    FScoped.reset();
  }

  void controlsCarryTheirNamesAndCaptions_data() {
    QTest::addColumn<QString>("Name");
    QTest::addColumn<QString>("Caption");
    const char* Rows[][2] = {
        {"bbtnOK", "&OK"},
        {"bbtnCancel", "&Cancel"},
        {"btnDefault", "&Default"},
        {"gbDeleteFiles", "Delete files"},
        {"rbtnRemove", "Normally remove"},
        {"rbtnMoveToRecycleBin", "Move to recycle bin"},
        {"rbtnShred", "Shred"},
        {"cbConformationDialog", "Display confirmation dialog"},
        {"gbBrowsers", "Browsers"},
        {"cbCookies", "Cookies"},
        {"cbCache", "Cache"},
        {"cbHistory", "History"},
        {"gbAdditionalOptions", "Additional options"},
        {"cbFileSearchMasks", "File search masks"},
        {"cbTemporaryDirectory", "Temporary directory"},
        {"cbRecentDocuments", "Recently used documents"},
        {"cbRecycleBin", "Recycle Bin"},
        {"cbOldUpdates", "Old Update files"},
        {"cbSystemLog", "System log"},
        {"gbAdvancedUsers", ""},
        {"gbFileSearchMasks", "File search masks (wildcards)"},
        {"gbFileExceptions", "File exceptions (wildcards)"},
        {"gbDirectoryExceptions", "Directory exceptions (wildcards)"},
        {"btnAddFileSearchMask", "Add"},
        {"btnRemoveFileSearchMask", "Remove"},
        {"btnAddFileExceptions", "Add"},
        {"btnRemoveFileExceptions", "Remove"},
        {"btnAddDirectoryExceptions", "Add"},
        {"btnRemoveDirectoryExceptions", "Remove"},
        {"lblAdvancedUsers1",
         "These settings are only for advanced users who have sufficient knowledge about the "
         "dangers of changing them."},
        {"lbAdvancedUsers2",
         "You should not change these settings unless you know what effect the changes will have "
         "on your system."},
    };
    for (auto& R : Rows) QTest::newRow(R[0]) << R[0] << R[1];
  }
  void controlsCarryTheirNamesAndCaptions() {
    QFETCH(QString, Name);
    QFETCH(QString, Caption);
    QWidget* W = FForm->findChild<QWidget*>(Name);
    QVERIFY2(W, qPrintable(Name));
    QString Text;
    if (auto* B = qobject_cast<QAbstractButton*>(W))
      Text = B->text();
    else if (auto* G = qobject_cast<QGroupBox*>(W))
      Text = G->title();
    else if (auto* L = qobject_cast<QLabel*>(W))
      Text = L->text();
    QCOMPARE(Text, Caption);
    QVERIFY(W->toolTip().isEmpty());  // hints never pop up
  }

  void windowPagesAndBrowserOrder() {
    QCOMPARE(FForm->windowTitle(), QString("Options"));
    QCOMPARE(FForm->size(), QSize(631, 317));
    auto* Pages = Find<QTabWidget>("pgcOptions");
    QCOMPARE(Pages->count(), 2);
    QCOMPARE(Pages->widget(0)->objectName(), QString("tbsGeneral"));
    QCOMPARE(Pages->tabText(0), QString("General"));
    QCOMPARE(Pages->tabText(1), QString("Advanced"));
    QCOMPARE(Pages->currentIndex(), 0);
    const QStringList Names = {"Chrome", "Internet Explorer", "Mozilla Firefox", "Opera", "Safari"};
    QCOMPARE(Browsers()->count(), 5);
    for (int I = 0; I < 5; ++I) QCOMPARE(Browsers()->item(I)->text(), Names[I]);
    QVERIFY(Find<QPushButton>("bbtnOK")->isDefault());
  }

  void loadThenStoreRoundTrip() {
    TTWRecordConfig& C = Config->Current;
    C.DeleteFiles.DeleteMethod = 2;
    C.DeleteFiles.ConformationDialog = 7;  // any non-zero byte is on
    C.Browsers = {};
    C.Browsers.Chrome = 1;
    C.Browsers.Opera = 200;
    C.Browsers.Options = {0, 9, 0};
    C.AdditionalOptions = {0, 1, 0, 255, 0, 1};
    C.FileSearchMasks = {"b.tmp", "A.bak", "*.old", "a.aaa", "C.x"};
    C.Exceptions.FileMasks = {"Zeta", "alpha", "Beta"};
    C.Exceptions.DirectoryMasks = {"winsxs", "$hf_mig$", "WinSxS"};
    FForm->LoadSettings(C);

    QVERIFY(Find<QRadioButton>("rbtnShred")->isChecked());
    QVERIFY(Find<QCheckBox>("cbConformationDialog")->isChecked());
    QCOMPARE(Browsers()->item(0)->checkState(), Qt::Checked);    // Chrome
    QCOMPARE(Browsers()->item(1)->checkState(), Qt::Unchecked);  // Internet Explorer
    QCOMPARE(Browsers()->item(3)->checkState(), Qt::Checked);    // Opera
    QVERIFY(Find<QCheckBox>("cbCache")->isChecked());
    QVERIFY(!Find<QCheckBox>("cbCookies")->isChecked());
    QCOMPARE(Lines(Masks()), QStringList({"*.old", "a.aaa", "A.bak", "b.tmp", "C.x"}));

    FForm->StoreSettings();
    QCOMPARE(int(C.DeleteFiles.DeleteMethod), 2);
    QCOMPARE(int(C.DeleteFiles.ConformationDialog), 1);
    QCOMPARE(int(C.Browsers.Chrome), 1);
    QCOMPARE(int(C.Browsers.Opera), 1);
    QCOMPARE(int(C.Browsers.InternetExplorer), 0);
    QCOMPARE(int(C.Browsers.Options.Cache), 1);
    QCOMPARE(int(C.AdditionalOptions.RecycleBin), 1);
    QCOMPARE(int(C.AdditionalOptions.RecentDocuments), 0);
    QVERIFY(C.FileSearchMasks == Strings({"*.old", "a.aaa", "A.bak", "b.tmp", "C.x"}));
    QVERIFY(C.Exceptions.FileMasks == Strings({"alpha", "Beta", "Zeta"}));
    // Duplicates from the file are kept as they are.
    QCOMPARE(C.Exceptions.DirectoryMasks.size(), size_t(3));
  }

  void deleteMethodLoads_data() {
    QTest::addColumn<int>("Method");
    QTest::addColumn<QString>("Button");
    QTest::addColumn<int>("Stored");
    QTest::newRow("remove") << 0 << "rbtnRemove" << 0;
    QTest::newRow("recycle bin") << 1 << "rbtnMoveToRecycleBin" << 1;
    QTest::newRow("shred") << 2 << "rbtnShred" << 2;
    QTest::newRow("unknown value") << 9 << "rbtnRemove" << 0;
  }
  void deleteMethodLoads() {
    QFETCH(int, Method);
    QFETCH(QString, Button);
    QFETCH(int, Stored);
    Config->Current.DeleteFiles.DeleteMethod = static_cast<uint8_t>(Method);
    FForm->LoadSettings(Config->Current);
    QVERIFY(FForm->findChild<QRadioButton*>(Button)->isChecked());
    QCOMPARE(Find<QCheckBox>("cbRecycleBin")->isEnabled(), Method != 1);
    FForm->StoreSettings();
    QCOMPARE(int(Config->Current.DeleteFiles.DeleteMethod), Stored);
  }

  void recycleBinBoxGreyedWhileMovingToRecycleBin() {
    TTWRecordConfig& C = Config->Current;
    C.DeleteFiles.DeleteMethod = 1;
    C.AdditionalOptions.RecycleBin = 1;
    FForm->LoadSettings(C);
    auto* Box = Find<QCheckBox>("cbRecycleBin");
    QVERIFY(!Box->isEnabled());
    QVERIFY(Box->isChecked());
    QTest::mouseClick(Find<QRadioButton>("rbtnShred"), Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(Box->isEnabled());
    QTest::mouseClick(Find<QRadioButton>("rbtnMoveToRecycleBin"), Qt::LeftButton, {},
                      QPoint(8, 10));
    QVERIFY(!Box->isEnabled());
    QTest::mouseClick(Find<QRadioButton>("rbtnRemove"), Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(Box->isEnabled());
    // Loading the same method again still greys it.
    FForm->LoadSettings(C);
    QVERIFY(!Box->isEnabled());
    FForm->StoreSettings();
    QCOMPARE(int(C.AdditionalOptions.RecycleBin), 1);
  }

  void browsersNotInstalledAreGreyedAndKeepTheirTicks() {
    // Internet Explorer (item 1) and Opera (item 3) are not installed.
    const bool Enabled[] = {true, false, true, false, true};
    for (int I = 0; I < 5; ++I)
      QCOMPARE(bool(Browsers()->item(I)->flags() & Qt::ItemIsEnabled), Enabled[I]);
    Config->Current.Browsers.Opera = 1;
    Config->Current.Browsers.InternetExplorer = 0;
    QCOMPARE(ExecWith([this] { QTest::mouseClick(Find<QPushButton>("bbtnOK"), Qt::LeftButton); }),
             int(QDialog::Accepted));
    QCOMPARE(Browsers()->item(3)->checkState(), Qt::Checked);
    QCOMPARE(int(Config->Current.Browsers.Opera), 1);
    QCOMPARE(int(Config->Current.Browsers.InternetExplorer), 0);
  }

  void addMaskSteps() {
    FForm->LoadSettings(Config->Current);
    TTWListBox* Box = Masks();
    Box->clear();
    FForm->AddMask("*.tmp", Box);
    FForm->AddMask("*.bak", Box);
    // The same text in other case only selects the existing line.
    FForm->AddMask("*.TMP", Box);
    QCOMPARE(Lines(Box), QStringList({"*.bak", "*.tmp"}));
    QCOMPARE(Selected(Box), QStringList({"*.tmp"}));
    QCOMPARE(Box->currentRow(), 1);
    // Empty adds nothing and keeps the selection; blanks are a line like any other.
    FForm->AddMask("", Box);
    QCOMPARE(Box->count(), 2);
    QCOMPARE(Selected(Box), QStringList({"*.tmp"}));
    FForm->AddMask("  ", Box);
    QCOMPARE(Lines(Box), QStringList({"  ", "*.bak", "*.tmp"}));
    QCOMPARE(Selected(Box), QStringList({"  "}));
  }

  void addThroughTheInputBox() {
    FForm->LoadSettings(Config->Current);
    auto* Box = Find<TTWListBox>("lbFileExceptions");
    const int Before = Box->count();
    int MaxLength = 0;
    AnswerInputBox("zz-new.bak", true, &MaxLength);
    QTest::mouseClick(Find<QPushButton>("btnAddFileExceptions"), Qt::LeftButton);
    QCOMPARE(MaxLength, 255);
    QCOMPARE(Box->count(), Before + 1);
    QCOMPARE(Selected(Box), QStringList({"zz-new.bak"}));
    QCOMPARE(Box->item(Box->count() - 1)->text(), QString("zz-new.bak"));
    // Cancel, and OK with nothing typed, change nothing.
    AnswerInputBox("ignored", false);
    QTest::mouseClick(Find<QPushButton>("btnAddFileExceptions"), Qt::LeftButton);
    AnswerInputBox("", true);
    QTest::mouseClick(Find<QPushButton>("btnAddFileExceptions"), Qt::LeftButton);
    QCOMPARE(Box->count(), Before + 1);
    QCOMPARE(Selected(Box), QStringList({"zz-new.bak"}));
  }

  void inputBoxCaptions_data() {
    QTest::addColumn<QString>("Button");
    QTest::addColumn<QString>("Caption");
    QTest::addColumn<QString>("Prompt");
    QTest::addColumn<QString>("List");
    QTest::newRow("search") << "btnAddFileSearchMask"
                            << "File search mask"
                            << "Assign file search mask (e.g. *.tmp)."
                            << "lbFileSearchMasks";
    QTest::newRow("file") << "btnAddFileExceptions"
                          << "File exception"
                          << "Assign a file exception (e.g. system.bak)."
                          << "lbFileExceptions";
    QTest::newRow("directory") << "btnAddDirectoryExceptions"
                               << "Directory exception"
                               << "Assign a directory exception (e.g. My Documents)."
                               << "lbDirectoryExceptions";
  }
  void inputBoxCaptions() {
    QFETCH(QString, Button);
    QFETCH(QString, Caption);
    QFETCH(QString, Prompt);
    QFETCH(QString, List);
    QString SeenCaption, SeenPrompt;
    QTimer::singleShot(0, this, [&] {
      QInputDialog* Box = nullptr;
      QTRY_VERIFY((Box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())));
      SeenCaption = Box->windowTitle();
      SeenPrompt = Box->labelText();
      Box->findChild<QLineEdit*>()->setText("Typed Line");
      Box->accept();
    });
    QTest::mouseClick(FForm->findChild<QPushButton*>(Button), Qt::LeftButton);
    QCOMPARE(SeenCaption, Caption);
    QCOMPARE(SeenPrompt, Prompt);
    QVERIFY(Lines(FForm->findChild<TTWListBox*>(List)).contains("Typed Line"));
  }

  void removeSelectedMasks_data() {
    QTest::addColumn<QStringList>("Start");
    QTest::addColumn<QList<int>>("Select");
    QTest::addColumn<QStringList>("Left");
    QTest::addColumn<QStringList>("SelectedAfter");
    const QStringList Six = {"a", "b", "c", "d", "e", "f"};
    QTest::newRow("b and e") << Six << QList<int>{1, 4} << QStringList{"a", "c", "d", "f"}
                             << QStringList{"c"};
    QTest::newRow("last line") << Six << QList<int>{5} << QStringList{"a", "b", "c", "d", "e"}
                               << QStringList{"e"};
    QTest::newRow("only line") << QStringList{"a"} << QList<int>{0} << QStringList{}
                               << QStringList{};
    QTest::newRow("nothing selected") << Six << QList<int>{} << Six << QStringList{};
    QTest::newRow("all") << Six << QList<int>{0, 1, 2, 3, 4, 5} << QStringList{} << QStringList{};
    QTest::newRow("tail") << Six << QList<int>{3, 4, 5} << QStringList{"a", "b", "c"}
                          << QStringList{"c"};
  }
  void removeSelectedMasks() {
    QFETCH(QStringList, Start);
    QFETCH(QList<int>, Select);
    QFETCH(QStringList, Left);
    QFETCH(QStringList, SelectedAfter);
    Config->Current.FileSearchMasks = Strings(Start);
    FForm->LoadSettings(Config->Current);
    TTWListBox* Box = Masks();
    Box->clearSelection();
    for (int Row : Select) Box->item(Row)->setSelected(true);
    QTest::mouseClick(Find<QPushButton>("btnRemoveFileSearchMask"), Qt::LeftButton);
    QCOMPARE(Lines(Box), Left);
    QCOMPARE(Selected(Box), SelectedAfter);
    if (!SelectedAfter.isEmpty()) QCOMPARE(Box->currentItem()->text(), SelectedAfter.first());
  }

  void scrollExtentNeverShrinks() {
    Config->Current.FileSearchMasks = {"a"};
    FForm->LoadSettings(Config->Current);
    TTWListBox* Box = Masks();
    const int Start = Box->HorizontalExtent();
    const std::string Long(120, 'W');
    const int LongWidth = Box->TextWidth(Long);
    QVERIFY(LongWidth - 10 > Start);
    FForm->AddMask(Long, Box);
    QCOMPARE(Box->HorizontalExtent(), LongWidth + 10);
    FForm->AddMask("b", Box);
    QCOMPARE(Box->HorizontalExtent(), LongWidth + 10);
    // Removing the long line leaves the extent where it was.
    Box->clearSelection();
    for (int I = 0; I < Box->count(); ++I)
      if (Box->LineText(I) == Long) Box->item(I)->setSelected(true);
    FForm->RemoveSelectedMasks(Box);
    QCOMPARE(Box->count(), 2);
    QCOMPARE(Box->HorizontalExtent(), LongWidth + 10);
    // Within 10 pixels of the extent nothing changes either.
    const int Extent = Box->HorizontalExtent();
    std::string Near;
    while (Box->TextWidth(Near + 'i') - 10 <= Extent) Near += 'i';
    FForm->AddMask(Near, Box);
    QCOMPARE(Box->HorizontalExtent(), Extent);
    // The sideways scroll range follows the extent.
    QTRY_COMPARE(Box->horizontalScrollBar()->maximum(),
                 std::max(0, Extent - Box->viewport()->width()));
  }

  void defaultThenOkStoresDefaults() {
    Config->Current.FileSearchMasks = {"only.this"};
    Config->Current.DeleteFiles.DeleteMethod = 2;
    Config->Current.Browsers.Options.Cookies = 0;
    QCOMPARE(ExecWith([this] {
               QTest::mouseClick(Find<QPushButton>("btnDefault"), Qt::LeftButton);
               QTest::mouseClick(Find<QPushButton>("bbtnOK"), Qt::LeftButton);
             }),
             int(QDialog::Accepted));
    const TTWRecordConfig& C = Config->Current;
    QCOMPARE(C.FileSearchMasks.size(), size_t(43));
    QCOMPARE(C.Exceptions.FileMasks.size(), size_t(27));
    QVERIFY(C.Exceptions.DirectoryMasks == TStringList({"$hf_mig$", "winsxs"}));
    QCOMPARE(int(C.DeleteFiles.DeleteMethod), 0);
    QCOMPARE(int(C.Browsers.Options.Cookies), 1);
    // Stored in the list box's order: alphabetical without regard to case.
    for (size_t I = 1; I < C.FileSearchMasks.size(); ++I)
      QVERIFY(QString::compare(QString::fromStdString(C.FileSearchMasks[I - 1]),
                               QString::fromStdString(C.FileSearchMasks[I]),
                               Qt::CaseInsensitive) <= 0);
  }

  void cancelLosesEdits() {
    Config->Current.FileSearchMasks = {"keep.me"};
    Config->Current.Browsers.Options.History = 1;
    const int Result = ExecWith([this] {
      QTest::mouseClick(Find<QPushButton>("btnDefault"), Qt::LeftButton);
      FForm->AddMask("new.one", Masks());
      Find<QCheckBox>("cbHistory")->setChecked(false);
      QTest::mouseClick(Find<QPushButton>("bbtnCancel"), Qt::LeftButton);
    });
    QCOMPARE(Result, int(QDialog::Rejected));
    QVERIFY(Config->Current.FileSearchMasks == TStringList({"keep.me"}));
    QCOMPARE(int(Config->Current.Browsers.Options.History), 1);
    // Opening again shows the stored settings, and Escape closes without storing too.
    const int Again = ExecWith([this] {
      QCOMPARE(Lines(Masks()), QStringList({"keep.me"}));
      QVERIFY(Find<QCheckBox>("cbHistory")->isChecked());
      FForm->AddMask("other", Masks());
      QTest::keyClick(FForm.get(), Qt::Key_Escape);
    });
    QCOMPARE(Again, int(QDialog::Rejected));
    QVERIFY(Config->Current.FileSearchMasks == TStringList({"keep.me"}));
  }

  void lastPageStaysShown() {
    auto* Pages = Find<QTabWidget>("pgcOptions");
    ExecWith([&] {
      Pages->setCurrentIndex(1);
      FForm->reject();
    });
    ExecWith([&] {
      QCOMPARE(Pages->currentIndex(), 1);
      FForm->reject();
    });
  }

  void hintsGoToTheStatusBarOnly() {
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    auto* Panel = Find<QLabel>("sbOptionsPanel");
    QCOMPARE(Panel->text(), QString("  "));
    struct {
      const char* Name;
      const char* Hint;
    } Rows[] = {
        {"cbCookies", "Removes the browser cookies."},
        {"btnDefault", "Resets settings to default values."},
        {"clbBrowsers",
         "Choose browser which you would like to inlcude into the cleaning process."},
    };
    for (auto& R : Rows) {
      QWidget* W = FForm->findChild<QWidget*>(R.Name);
      QEvent Enter(QEvent::Enter);
      QApplication::sendEvent(W, &Enter);
      QTRY_COMPARE(Panel->text(), QString("  ") + R.Hint);
      QEvent Leave(QEvent::Leave);
      QApplication::sendEvent(W, &Leave);
      QTRY_COMPARE(Panel->text(), QString("  "));
    }
    FForm->hide();
  }
};

QTEST_MAIN(TFrmOptionsTest)
#include "tw_frm_options_qtest.moc"
