// The interface language: every window in each of the six languages, the switch through
// the language menu and back, the edge cases of the configured code, and a catalog that
// cannot be used.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>
#include <cstdlib>
#include <map>

#include "app/app_test_util.h"
#include "app/tw_gui_startup.h"
#include "app/tw_gui_status.h"
#include "app/tw_gui_translate.h"
#include "app/tw_i18n.h"

namespace {

// The test's own catalogs, or those named by TW_LANGUAGE_TEST_CATALOGS (the program's).
const std::string kCatalogs = [] {
  const char* Env = std::getenv("TW_LANGUAGE_TEST_CATALOGS");
  return std::string(Env && *Env ? Env : TW_LANGUAGE_TEST_CATALOGS);
}();

template <class T>
T* Child(QObject* Window, const char* Name) {
  T* C = Window->findChild<T*>(QString::fromLatin1(Name));
  if (!C) qFatal("no child %s", Name);
  return C;
}

// What the window should show for English in the language's catalog: its translation,
// as the lookup hands it to Qt, or the English text where the catalog has none.
class TExpected {
 public:
  explicit TExpected(const std::string& Code) {
    std::string Data;
    QFile F(QString::fromStdString(kCatalogs + "/" + Code + "/LC_MESSAGES/default.mo"));
    if (!F.open(QIODevice::ReadOnly)) return;
    const QByteArray Bytes = F.readAll();
    std::string Header;
    ReadMoCatalog(std::string(Bytes.constData(), static_cast<size_t>(Bytes.size())), FEntries,
                  Header);
  }
  QString operator()(const char* English) const {
    auto It = FEntries.find(English);
    return QString::fromUtf8(It == FEntries.end() ? English : It->second.c_str());
  }
  bool Has(const char* English) const { return FEntries.count(English) > 0; }

 private:
  TTWCatalog FEntries;
};

// Every text a window holds: each readable text property of each object it owns, tab
// texts, list items and model headers, keyed by where it is.
using TSnapshot = std::map<QString, QString>;

void SnapObject(QObject* O, const QString& Path, TSnapshot& Out) {
  const QMetaObject* M = O->metaObject();
  for (int I = 0; I < M->propertyCount(); ++I) {
    const QMetaProperty P = M->property(I);
    const int Id = P.metaType().id();
    if (Id != QMetaType::QString && Id != QMetaType::QStringList) continue;
    const QVariant V = P.read(O);
    Out[Path + "." + P.name()] =
        Id == QMetaType::QString ? V.toString() : V.toStringList().join(QLatin1Char('|'));
  }
  if (auto* Bar = qobject_cast<QTabBar*>(O))
    for (int I = 0; I < Bar->count(); ++I)
      Out[Path + ".tab" + QString::number(I)] = Bar->tabText(I);
  if (auto* L = qobject_cast<QListWidget*>(O))
    for (int I = 0; I < L->count(); ++I)
      Out[Path + ".item" + QString::number(I)] = L->item(I)->text();
  if (auto* V = qobject_cast<QTreeView*>(O))
    for (int C = 0; C < V->model()->columnCount(); ++C)
      Out[Path + ".header" + QString::number(C)] =
          V->model()->headerData(C, Qt::Horizontal).toString();
  const QObjectList Children = O->children();
  for (int I = 0; I < Children.size(); ++I)
    SnapObject(Children[I], Path + "/" + Children[I]->objectName() + "#" + QString::number(I), Out);
}

TSnapshot Snapshot() {
  TSnapshot Out;
  for (QObject* W :
       std::initializer_list<QObject*>{FrmMain, FrmAbout, FrmOptions, FrmSelect, FrmDeleted})
    SnapObject(W, W->objectName(), Out);
  return Out;
}

QString Header(QDialog* Window, const char* View, int Column) {
  return Child<QTreeView>(Window, View)->model()->headerData(Column, Qt::Horizontal).toString();
}

QAction* LanguageItem(const char* Name) {
  return Child<QAction>(FrmMain, Name);
}

QString TickedLanguage() {
  QString Ticked;
  for (const char* N : {"miDutch", "miEnglish", "miFrench", "miGerman", "miJapanese", "miTurkish"})
    if (LanguageItem(N)->isChecked()) Ticked += QString::fromLatin1(N);
  return Ticked;
}

// The message ids of the template.
QSet<QString> TemplateIds() {
  QFile F(QStringLiteral(TW_POT_FILE));
  if (!F.open(QIODevice::ReadOnly)) qFatal("no template");
  QSet<QString> Ids;
  QString Current;
  bool InId = false;
  auto Unquote = [](QString S) {
    S = S.mid(1, S.size() - 2);
    S.replace("\\n", "\n").replace("\\\"", "\"").replace("\\\\", "\\");
    return S;
  };
  for (const QString& Line : QString::fromUtf8(F.readAll()).split('\n')) {
    if (Line.startsWith("msgid ")) {
      InId = true;
      Current = Unquote(Line.mid(6));
    } else if (InId && Line.startsWith('"')) {
      Current += Unquote(Line);
    } else if (InId) {
      InId = false;
      Ids.insert(Current);
    }
  }
  return Ids;
}

}  // namespace

class LocalisationTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TWorld> FWorld;

  // A start-up in Code: the layer, the names, then the windows.
  void StartIn(const std::string& Code) {
    FWorld = std::make_unique<TWorld>();
    Config->Current.Language = Code;
    UseLanguage(Code);
    Helper->LoadNames();
    FWorld->Open(false, false);
  }

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    ExemptClassFromTranslation("QFont");
    InstallCatalogTranslator();
  }
  void init() {
    ResetTranslationLayer();
    SetCatalogDirectory(kCatalogs);
    SetLocalisationProblemHandler(nullptr);
  }
  void cleanup() {
    FWorld.reset();
    ResetTranslationLayer();
    SetCatalogDirectory(std::string());
    SetLocalisationProblemHandler(nullptr);
  }

  void everyWindowStartsInTheLanguage_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("item");
    QTest::newRow("English") << "en"
                             << "miEnglish";
    QTest::newRow("Dutch") << "nl"
                           << "miDutch";
    QTest::newRow("German") << "de"
                            << "miGerman";
    QTest::newRow("French") << "fr"
                            << "miFrench";
    QTest::newRow("Japanese") << "ja"
                              << "miJapanese";
    QTest::newRow("Turkish") << "tr"
                             << "miTurkish";
  }
  void everyWindowStartsInTheLanguage() {
    QFETCH(QString, code);
    QFETCH(QString, item);
    StartIn(code.toStdString());
    const TExpected T(code.toStdString());
    if (code != "en") QVERIFY2(T.Has("&Run"), "the catalog of the language is missing");

    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), T("&Run"));
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->accessibleName(),
             T("&Run").remove(QLatin1Char('&')));
    QCOMPARE(Child<QMenu>(FrmMain, "miFiles")->title(), T("File"));
    QCOMPARE(Child<QGroupBox>(FrmMain, "gbRunCleaner")->title(),
             T("Run %s").replace("%s", "Tidewell"));
    QCOMPARE(Child<TTWStatusPanel>(FrmMain, "pnlStatusLabel")->accessibleDescription(),
             T("Status"));
    QCOMPARE(TickedLanguage(), item);

    QCOMPARE(FrmAbout->windowTitle(), T("About..."));
    QCOMPARE(Child<QLabel>(FrmAbout, "LabelWebTitle")->text(), T("Web site:"));
    QCOMPARE(Child<QTabWidget>(FrmAbout, "PageControlMain")->tabText(1), T("License"));
    QCOMPARE(Child<QLabel>(FrmAbout, "LabelCheck")->text(),
             T("To ensure you're using the latest version, click on the \nUpdates button below."));

    QCOMPARE(FrmOptions->windowTitle(), T("Options"));
    QCOMPARE(Child<QTabWidget>(FrmOptions, "pgcOptions")->tabText(0), T("General"));
    QCOMPARE(Child<QRadioButton>(FrmOptions, "rbtnShred")->text(), T("Shred"));
    QCOMPARE(Child<QCheckBox>(FrmOptions, "cbCookies")->statusTip(),
             T("Removes the browser cookies."));

    QCOMPARE(FrmSelect->windowTitle(), T("Found files"));
    QCOMPARE(Child<QPushButton>(FrmSelect, "btnEnableAll")->text(), T("Enable all"));
    QCOMPARE(Header(FrmSelect, "lvSelectFiles", 1), T("Type"));
    QVERIFY(Child<QLabel>(FrmSelect, "lblSize")->text().endsWith(" " + T("MB")));

    QCOMPARE(FrmDeleted->windowTitle(), T("Deleted files"));
    QCOMPARE(Child<QLabel>(FrmDeleted, "lblDeletedFilesSize")->text(), T("Size of deleted files:"));
    QCOMPARE(Header(FrmDeleted, "lvDeletedFiles", 1), T("Name"));

    QCOMPARE(QString::fromStdString(Helper->GetKindName(TW_KIND_DIRECTORY)), T("Directory"));
    QCOMPARE(QString::fromStdString(Helper->GetGroupName(1)), "IE/" + T("Cookies"));
    // Qt's own texts come from the same catalog.
    QMessageBox Box(QMessageBox::Warning, "t", "t", QMessageBox::Ok);
    QCOMPARE(Box.button(QMessageBox::Ok)->text(), T("OK"));
  }

  // A caption that does not fit its control loses its end on screen: every button, box
  // title and single-line label of every window must show its whole text.
  void noCaptionIsCutOff_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("switched");
    for (const char* Code : {"en", "nl", "de", "fr", "ja", "tr"}) {
      QTest::addRow("%s", Code) << Code << false;
      QTest::addRow("%s-switched", Code) << Code << true;
    }
  }
  void noCaptionIsCutOff() {
    // About the texts that ship: the test's own catalogs are not fitted to the windows.
    if (kCatalogs == TW_LANGUAGE_TEST_CATALOGS) QSKIP("runs on the program's catalogs");
    QFETCH(QString, code);
    QFETCH(bool, switched);
    StartIn(switched ? "en" : code.toStdString());
    if (switched) FrmMain->SelectLanguage(code.toStdString(), true);
    QStringList Cut;
    for (QWidget* W :
         std::initializer_list<QWidget*>{FrmMain, FrmAbout, FrmOptions, FrmSelect, FrmDeleted}) {
      W->ensurePolished();
      for (QWidget* C : W->findChildren<QWidget*>()) {
        if (C->window() != W) continue;
        QString Text;
        int Need = 0, Room = C->width();
        if (auto* P = qobject_cast<QPushButton*>(C)) {
          // The caption and icon in the style's margins, not the style's minimum width.
          Text = P->text();
          QString Plain = Text;
          Plain.remove(QLatin1Char('&'));
          Need = P->fontMetrics().horizontalAdvance(Plain) +
                 2 * P->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, P) +
                 2 * P->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, P) +
                 (P->icon().isNull() ? 0 : P->iconSize().width() + 4);
        } else if (auto* B = qobject_cast<QAbstractButton*>(C)) {
          Text = B->text();
          Need = B->sizeHint().width();
        } else if (auto* G = qobject_cast<QGroupBox*>(C)) {
          Text = G->title();
          QString Plain = Text;
          Plain.remove(QLatin1Char('&'));
          Need = G->fontMetrics().horizontalAdvance(Plain) + 12;
        } else if (auto* L = qobject_cast<QLabel*>(C)) {
          if (L->wordWrap() || L->text().contains(QLatin1Char('\n')) || !L->pixmap().isNull())
            continue;
          Text = L->text();
          Need = L->fontMetrics().horizontalAdvance(Text);
        }
        if (Text.isEmpty() || Need <= Room) continue;
        Cut << QStringLiteral("%1/%2 \"%3\" needs %4 px, has %5 (%6 pt)")
                   .arg(W->objectName(), C->objectName(), Text)
                   .arg(Need)
                   .arg(Room)
                   .arg(C->font().pointSizeF());
      }
    }
    QVERIFY2(Cut.isEmpty(), qPrintable(Cut.join(QLatin1Char('\n'))));
  }

  void configuredCodes_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("texts");  // the language whose catalog the texts come from
    QTest::addColumn<QString>("item");
    QTest::newRow("country code, only the language's catalog") << "de_DE"
                                                               << "C"
                                                               << "de"
                                                               << "miGerman";
    QTest::newRow("no catalog") << "pt"
                                << "nl_NL.UTF-8"
                                << "pt"
                                << "miEnglish";
    QTest::newRow("empty: the environment's") << ""
                                              << "fr_FR.UTF-8"
                                              << "fr"
                                              << "miEnglish";
    QTest::newRow("language and country spelled as a locale") << "tr_TR.UTF-8"
                                                              << "C"
                                                              << "tr"
                                                              << "miTurkish";
  }
  void configuredCodes() {
    QFETCH(QString, setting);
    QFETCH(QString, environment);
    QFETCH(QString, texts);
    QFETCH(QString, item);
    const QByteArray Saved = qgetenv("LANG");
    qputenv("LANG", environment.toLatin1());
    StartIn(setting.toStdString());
    qputenv("LANG", Saved);
    const TExpected T(texts.toStdString());
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), T("&Run"));
    QCOMPARE(FrmDeleted->windowTitle(), T("Deleted files"));
    QCOMPARE(TickedLanguage(), item);
  }

  void switchingChangesEveryWindowAndEnglishRestoresAll() {
    StartIn("en");
    const TSnapshot English = Snapshot();
    QVERIFY(English.size() > 100);

    LanguageItem("miGerman")->trigger();
    const TExpected De("de");
    QCOMPARE(Config->Current.Language, std::string("de"));
    QCOMPARE(TickedLanguage(), QString("miGerman"));
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), De("&Run"));
    QCOMPARE(Child<QGroupBox>(FrmMain, "gbRunCleaner")->title(),
             De("Run %s").replace("%s", "Tidewell"));
    QCOMPARE(Child<QLabel>(FrmAbout, "LabelWebTitle")->text(), De("Web site:"));
    QCOMPARE(Child<QRadioButton>(FrmOptions, "rbtnShred")->text(), De("Shred"));
    QCOMPARE(Header(FrmSelect, "lvSelectFiles", 1), De("Type"));
    QCOMPARE(Child<QPushButton>(FrmDeleted, "bbtnClose")->text(), De("&Close"));
    QCOMPARE(QString::fromStdString(Helper->GetKindName(TW_KIND_DIRECTORY)), De("Directory"));
    // The language names stay, even where a catalog has them (the test catalogs do).
    const QStringList Names = {"Dutch", "English", "French", "German", "Japanese", "Turkish"};
    auto Captions = [] {
      QStringList Out;
      for (QAction* A : Child<QMenu>(FrmMain, "miLanguageMenu")->actions()) Out << A->text();
      return Out;
    };
    QCOMPARE(Captions(), Names);
    QVERIFY(!LanguageItem("miLanguage")->isVisible());

    // A retranslation puts the recorded text back, whatever the program set meanwhile.
    Child<QPushButton>(FrmMain, "btnRun")->setText("changed");
    LanguageItem("miJapanese")->trigger();
    const TExpected Ja("ja");
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), Ja("&Run"));
    QCOMPARE(Child<QLabel>(FrmAbout, "LabelCheck")->text(),
             Ja("To ensure you're using the latest version, click on the \nUpdates button below."));
    LanguageItem("miTurkish")->trigger();
    QCOMPARE(Captions(), Names);
    LanguageItem("miEnglish")->trigger();
    QCOMPARE(Config->Current.Language, std::string("en"));

    const TSnapshot Back = Snapshot();
    for (const auto& [Where, Text] : English) QCOMPARE(Back.at(Where), Text);
    QCOMPARE(Back.size(), English.size());
  }

  void theSameLanguageAgainChangesNoText() {
    StartIn("de");
    Config->Current.Language = "de_AT";
    Child<QPushButton>(FrmMain, "btnRun")->setText("changed");
    LanguageItem("miGerman")->trigger();
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), QString("changed"));
    QCOMPARE(Config->Current.Language, std::string("de"));
    QCOMPARE(TickedLanguage(), QString("miGerman"));
  }

  void statusFieldsKeepTheirTextUntilTheNextChange() {
    StartIn("en");
    FrmMain->SetStatusLabel(Translate("Finished"));
    FrmMain->SetStatusValue("C:\\Temp");
    LanguageItem("miDutch")->trigger();
    auto* Label = Child<TTWStatusPanel>(FrmMain, "pnlStatusLabel");
    QCOMPARE(Label->text(), QString(" Finished"));
    QCOMPARE(Child<TTWStatusPanel>(FrmMain, "pnlStatusValue")->text(), QString(" C:\\Temp"));
    FrmMain->SetStatusLabel(Translate("Finished"));
    QCOMPARE(Label->text(), " " + TExpected("nl")("Finished"));
    QCOMPARE(QString::fromStdString(Translate("Find Files:")), TExpected("nl")("Find Files:"));
  }

  void aRetranslationBeforeTheFirstDoesNothing() {
    FWorld = std::make_unique<TWorld>();
    TTWFormTranslator T;
    QPushButton B("&Run");
    UseLanguage("de");
    QVERIFY(!T.Translate(&B, true));
    QCOMPARE(B.text(), QString("&Run"));
    QVERIFY(T.Translate(&B, false));
    QCOMPARE(B.text(), TExpected("de")("&Run"));
  }

  void everyRecordedTextIsInTheTemplate() {
    StartIn("en");
    const QSet<QString> Ids = TemplateIds();
    QVERIFY(Ids.contains("&Run"));
    const std::pair<const char*, const TTWFormTranslator*> Windows[] = {
        {"main", &FrmMain->Translator()},
        {"about", &FrmAbout->Translator()},
        {"options", &FrmOptions->Translator()},
        {"select", &FrmSelect->Translator()},
        {"deleted", &FrmDeleted->Translator()}};
    for (const auto& [Name, T] : Windows) {
      QVERIFY2(T->RecordCount() > 0, Name);
      for (const QString& Text : T->RecordedTexts())
        QVERIFY2(Ids.contains(Text), qPrintable(QString("%1: %2").arg(Name, Text)));
    }
    // The user's and the system's texts are never recorded.
    QVERIFY(!FrmMain->Translator().RecordedTexts().contains("German"));
    int Count = 0;
    const char* const* Qt = QtShownTexts(Count);
    for (int I = 0; I < Count; ++I) QVERIFY2(Ids.contains(QString::fromUtf8(Qt[I])), Qt[I]);
  }

  void aCatalogThatIsNotUtf8IsReportedOnceAndTurnsTranslationsOff() {
    SetCatalogDirectory(TW_LATIN1_CATALOGS);
    SetLocalisationProblemHandler(ShowLocalisationProblem);
    TModalDriver Driver;
    QString Title, Text;
    Driver.On("LocalizationProblemBox", [&](QWidget* W) {
      auto* Box = static_cast<QMessageBox*>(W);
      Title = Box->windowTitle();
      Text = Box->text();
      Box->accept();
    });
    StartIn("de");
    QCOMPARE(Driver.Seen, QStringList{"LocalizationProblemBox"});
    QCOMPARE(Title, QString("Localization problem"));
    QCOMPARE(Text, QString("The translation for the language code de (in %1/de/LC_MESSAGES/"
                           "default.mo) does not have charset=utf-8 in its Content-Type. "
                           "Translations are turned off.")
                       .arg(TW_LATIN1_CATALOGS));
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), QString("&Run"));
    // Off for the rest of the process, also for a good catalog.
    SetCatalogDirectory(kCatalogs);
    LanguageItem("miFrench")->trigger();
    QCOMPARE(Child<QPushButton>(FrmMain, "btnRun")->text(), QString("&Run"));
    QCOMPARE(Driver.Seen.size(), 1);
  }
};

QTEST_MAIN(LocalisationTest)
#include "localisation_qtest.moc"
