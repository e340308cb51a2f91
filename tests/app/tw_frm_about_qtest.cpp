// Widget tests of the About window, offscreen, with a platform double that records the
// links the window opens.
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/tw_frm_about.h"
#include "support/null_platform.h"

namespace {

class TLinkPlatform : public TTWNullPlatform {
 public:
  std::string GetProgramFileName() override { return ProgramDir + "/tidewell"; }
  void OpenLink(const std::string& Target) override { Opened.push_back(Target); }
  std::string ProgramDir;
  std::vector<std::string> Opened;
};

}  // namespace

class TFrmAboutTest : public QObject {
  Q_OBJECT

 private:
  TLinkPlatform FPlatform;
  std::unique_ptr<ScopedPlatform> FScoped;
  std::unique_ptr<QTemporaryDir> FDir;

  void WriteLogo() {
    QImage Logo(64, 48, QImage::Format_ARGB32);
    Logo.fill(Qt::blue);
    QVERIFY(Logo.save(FDir->filePath("logo.png")));
  }
  template <class T>
  static T* Find(QWidget* Form, const char* Name) {
    T* W = Form->findChild<T*>(Name);
    if (!W) qFatal("no control %s", Name);
    return W;
  }
  static QString Text(QWidget* Form, const char* Name) { return Find<QLabel>(Form, Name)->text(); }

 private slots:
  void initTestCase() { QApplication::setApplicationDisplayName("Tidewell"); }
  void init() {
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FPlatform.ProgramDir = FDir->path().toStdString();
    FPlatform.Opened.clear();
    FScoped = std::make_unique<ScopedPlatform>(FPlatform);
    GlobalVars = TGlobalVars();
    GlobalVars.Version = "1.2.3";
    GlobalVars.Copyright = "The Holders";
    GlobalVars.HelpHomePageLink = "https://example.org/home";
    GlobalVars.HelpSupportLink = "mailto:help@example.org";
    WriteLogo();
  }
  void cleanup() {
    FScoped.reset();
    FDir.reset();
    GlobalVars = TGlobalVars();
  }

  void filledTextsAndPages() {
    TFrmAbout Form;
    QCOMPARE(Form.windowTitle(), QString("About..."));
    QCOMPARE(Form.size(), QSize(602, 305));
    QCOMPARE(Text(&Form, "LabelWeb"), QString("https://example.org/home"));
    QCOMPARE(Text(&Form, "LabelSupportEmail"), QString("mailto:help@example.org"));
    QCOMPARE(Text(&Form, "LabelVersion"), QString("1.2.3"));
    QCOMPARE(Text(&Form, "LabalTitle"), QString("Tidewell 1.2.3"));
    const QString Copyright = Text(&Form, "LabelCopyright");
    QVERIFY2(Copyright.contains(QString::number(QDate::currentDate().year())),
             qPrintable(Copyright));
    QVERIFY(Copyright.endsWith("The Holders"));
    QCOMPARE(Text(&Form, "LabelWebTitle"), QString("Web site:"));
    QCOMPARE(Text(&Form, "LabelSupport"), QString("Support:"));
    QCOMPARE(Text(&Form, "LabelPInfo"), QString("Product information"));
    QCOMPARE(Text(&Form, "LabelCheckTitle"), QString("Check for update"));
    QCOMPARE(Text(&Form, "LabelCheck"),
             QString("To ensure you're using the latest version, click on the \nUpdates button "
                     "below."));
    QCOMPARE(Find<QPushButton>(&Form, "ButtonUpdates")->text(), QString("&Updates..."));
    QCOMPARE(Find<QPushButton>(&Form, "ButtonOK")->text(), QString("&OK"));
    QVERIFY(Find<QPushButton>(&Form, "ButtonOK")->isDefault());

    auto* Pages = Find<QTabWidget>(&Form, "PageControlMain");
    QCOMPARE(Pages->count(), 3);
    const char* Names[] = {"TabSheetAbout", "TabSheetRegister", "TabSheetUpdate"};
    const char* Titles[] = {"About", "License", "Update"};
    for (int I = 0; I < 3; ++I) {
      QCOMPARE(Pages->widget(I)->objectName(), QString(Names[I]));
      QCOMPARE(Pages->tabText(I), QString(Titles[I]));
    }
    QCOMPARE(Pages->currentIndex(), 0);

    auto* Licence = Find<QPlainTextEdit>(&Form, "reComment");
    QVERIFY(Licence->isReadOnly());
    QVERIFY(Licence->toPlainText().contains("GNU General Public License"));
    QVERIFY(Licence->toPlainText().contains("either version 3 of the License, or"));

    auto* Image = Find<QLabel>(&Form, "ImageLeft");
    QCOMPARE(Image->pixmap().size(), QSize(64, 48));
    QCOMPARE(Image->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(Find<QLabel>(&Form, "LabelWeb")->cursor().shape(), Qt::PointingHandCursor);
  }

  void emptyVersionGivesTitleAndOneSpace() {
    GlobalVars.Version.clear();
    TFrmAbout Form;
    QCOMPARE(Text(&Form, "LabelVersion"), QString());
    QCOMPARE(Text(&Form, "LabalTitle"), QString("Tidewell "));
  }

  void brandingValuesAreNeverMarkup() {
    GlobalVars.Version = "<b>9</b> & <img src=x>";
    GlobalVars.Copyright = "%s %d %n";
    TFrmAbout Form;
    for (const char* Name : {"LabalTitle", "LabelVersion", "LabelCopyright", "LabelWeb"})
      QCOMPARE(Find<QLabel>(&Form, Name)->textFormat(), Qt::PlainText);
    QCOMPARE(Text(&Form, "LabalTitle"), QString("Tidewell <b>9</b> & <img src=x>"));
    QVERIFY(Text(&Form, "LabelCopyright").endsWith("%s %d %n"));
  }

  void copyrightTemplateTakesTheYear() {
    QCOMPARE(QString::fromStdString(FormatCopyright("Copyright %d %s", 2030, "Me")),
             QString("Copyright 2030 Me"));
    QCOMPARE(QString::fromStdString(FormatCopyright("(c) 2025-%d %s", 2030, "")),
             QString("(c) 2025-2030 "));
  }

  void clicksOpenTheLinks() {
    TFrmAbout Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QTest::mouseClick(Find<QLabel>(&Form, "LabelWeb"), Qt::LeftButton);
    QTest::mouseClick(Find<QLabel>(&Form, "ImageLeft"), Qt::LeftButton);
    QTest::mouseClick(Find<QLabel>(&Form, "LabelSupportEmail"), Qt::LeftButton);
    // Labels that are no links open nothing.
    QTest::mouseClick(Find<QLabel>(&Form, "LabelWebTitle"), Qt::LeftButton);
    QTest::mouseClick(Find<QLabel>(&Form, "LabalTitle"), Qt::LeftButton);
    const std::vector<std::string> Want = {"https://example.org/home", "https://example.org/home",
                                           "mailto:help@example.org"};
    QVERIFY(FPlatform.Opened == Want);
  }

  void okClosesAndTheLastPageStays() {
    TFrmAbout Form;
    auto* Pages = Find<QTabWidget>(&Form, "PageControlMain");
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(Form.isVisible());
      Pages->setCurrentIndex(2);
      QTest::mouseClick(Find<QPushButton>(&Form, "ButtonOK"), Qt::LeftButton);
    });
    QCOMPARE(Form.exec(), int(QDialog::Accepted));
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(Form.isVisible());
      QCOMPARE(Pages->currentIndex(), 2);
      QTest::keyClick(&Form, Qt::Key_Return);
    });
    Form.exec();
    QVERIFY(!Form.isVisible());
  }

  void unreadableLogo_data() {
    QTest::addColumn<QByteArray>("Content");
    QTest::addColumn<bool>("Folder");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("not a picture") << QByteArray("\x89PNG\r\n\x1a\nbroken", 15) << false;
    QTest::newRow("folder") << QByteArray() << true;
  }
  void unreadableLogo() {
    QFETCH(QByteArray, Content);
    QFETCH(bool, Folder);
    const QString Logo = FDir->filePath("logo.png");
    QFile::remove(Logo);
    if (Folder) QVERIFY(QDir().mkdir(Logo));
    if (!Content.isEmpty()) {
      QFile F(Logo);
      QVERIFY(F.open(QIODevice::WriteOnly));
      F.write(Content);
    }
    QString Title, Message;
    QTimer::singleShot(0, this, [&] {
      QMessageBox* Box = nullptr;
      QTRY_VERIFY((Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
      Title = Box->windowTitle();
      Message = Box->text();
      Box->accept();
    });
    TFrmAbout Form;
    QCOMPARE(Title, QString("Tidewell"));
    QVERIFY2(Message.startsWith(QString("Cannot open file \"%1\". ").arg(Logo)),
             qPrintable(Message));
    QVERIFY(Message.size() > QString("Cannot open file \"%1\". ").arg(Logo).size());
    // The window is still made with its texts.
    QCOMPARE(Text(&Form, "LabalTitle"), QString("Tidewell 1.2.3"));
    QVERIFY(Find<QLabel>(&Form, "ImageLeft")->pixmap().isNull());
  }
};

QTEST_MAIN(TFrmAboutTest)
#include "tw_frm_about_qtest.moc"
