#include "app/tw_frm_about.h"

#include <QApplication>
#include <QDate>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/UtilFuncs.h"
#include "app/globals.h"
#include "app/tw_gui_branding.h"
#include "app/tw_gui_skin.h"
#include "app/tw_gui_translate.h"
#include "app/tw_i18n.h"

TFrmAbout* FrmAbout = nullptr;

namespace {

// The labels show branding values as plain text: a value is never read as markup.
QLabel* MakeLabel(QLabel* L, const char* Name, int X, int Y, int W, int H) {
  L->setObjectName(Name);
  L->setTextFormat(Qt::PlainText);
  if (W > 0)
    L->setGeometry(X, Y, W, H);
  else
    L->move(X, Y);
  return L;
}

void MakeBold(QLabel* L) {
  QFont F = L->font();
  F.setBold(true);
  L->setFont(F);
}

void MakeLink(QLabel* L) {
  QFont F = L->font();
  F.setUnderline(true);
  L->setFont(F);
  QPalette P = L->palette();
  P.setColor(QPalette::WindowText, QColor(0, 0, 255));
  L->setPalette(P);
  L->setCursor(Qt::PointingHandCursor);
  L->setWordWrap(true);
}

const char* const kCopyrightTemplate = N_("Copyright \u00a9 2025-%d %s");

const char* const kLicenceText =
    N_("Tidewell is free software: you can redistribute it and/or modify it under the terms of "
       "the GNU General Public License as published by the Free Software Foundation, either "
       "version 3 of the License, or (at your option) any later version.\n"
       "\n"
       "Tidewell is distributed in the hope that it will be useful, but WITHOUT ANY WARRANTY; "
       "without even the implied warranty of MERCHANTABILITY or FITNESS FOR A PARTICULAR "
       "PURPOSE. See the GNU General Public License for more details.\n"
       "\n"
       "You should have received a copy of the GNU General Public License along with Tidewell. "
       "If not, see <https://www.gnu.org/licenses/>.");

}  // namespace

void TTWClickLabel::mouseReleaseEvent(QMouseEvent* Event) {
  QLabel::mouseReleaseEvent(Event);
  if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()))
    emit clicked();
}

std::string FormatCopyright(const std::string& Template, int Year, const std::string& Holder) {
  return FormatText(Template, {std::to_string(Year), Holder});
}

TFrmAbout::TFrmAbout(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmAbout");
  setWindowTitle(N_("About..."));
  setFixedSize(602, 305);
  setFont(DesignFont());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  PanelMain = new QFrame(this);
  PanelMain->setObjectName("PanelMain");
  PanelMain->setGeometry(0, 0, 602, 305);
  PanelMain->setAutoFillBackground(true);

  PanelmageLeft = new QFrame(PanelMain);
  PanelmageLeft->setObjectName("PanelmageLeft");
  PanelmageLeft->setGeometry(12, 12, 256, 256);
  PanelmageLeft->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelmageLeft->setLineWidth(2);
  PanelmageLeft->setAutoFillBackground(true);
  QPalette White = PanelmageLeft->palette();
  White.setColor(QPalette::Window, Qt::white);
  PanelmageLeft->setPalette(White);
  ImageLeft = new TTWClickLabel(PanelmageLeft);
  ImageLeft->setObjectName("ImageLeft");
  ImageLeft->setGeometry(2, 2, 252, 252);
  ImageLeft->setAlignment(Qt::AlignCenter);
  ImageLeft->setCursor(Qt::PointingHandCursor);

  PageControlMain = new QTabWidget(PanelMain);
  PageControlMain->setObjectName("PageControlMain");
  PageControlMain->setGeometry(280, 12, 313, 256);

  TabSheetAbout = new QWidget;
  TabSheetAbout->setObjectName("TabSheetAbout");
  LabalTitle = MakeLabel(new QLabel(TabSheetAbout), "LabalTitle", 16, 12, 265, 26);
  LabalTitle->setWordWrap(true);
  MakeBold(LabalTitle);
  LabelCopyright = MakeLabel(new QLabel(TabSheetAbout), "LabelCopyright", 16, 48, 265, 41);
  LabelCopyright->setWordWrap(true);
  LabelWebTitle =
      MakeLabel(new QLabel(N_("Web site:"), TabSheetAbout), "LabelWebTitle", 16, 112, 0, 0);
  LabelWeb = static_cast<TTWClickLabel*>(
      MakeLabel(new TTWClickLabel(TabSheetAbout), "LabelWeb", 16, 128, 281, 26));
  MakeLink(LabelWeb);
  LabelSupport =
      MakeLabel(new QLabel(N_("Support:"), TabSheetAbout), "LabelSupport", 16, 160, 0, 0);
  LabelSupportEmail = static_cast<TTWClickLabel*>(
      MakeLabel(new TTWClickLabel(TabSheetAbout), "LabelSupportEmail", 16, 176, 281, 26));
  MakeLink(LabelSupportEmail);

  TabSheetRegister = new QWidget;
  TabSheetRegister->setObjectName("TabSheetRegister");
  reComment = new QPlainTextEdit(TabSheetRegister);
  reComment->setObjectName("reComment");
  reComment->setGeometry(5, 5, 292, 204);
  reComment->setReadOnly(true);
  reComment->setPlainText(QString::fromUtf8(kLicenceText));
  reComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  TabSheetUpdate = new QWidget;
  TabSheetUpdate->setObjectName("TabSheetUpdate");
  LabelPInfo =
      MakeLabel(new QLabel(N_("Product information"), TabSheetUpdate), "LabelPInfo", 16, 12, 0, 0);
  MakeBold(LabelPInfo);
  GroupBoxPInfo = new QGroupBox(TabSheetUpdate);
  GroupBoxPInfo->setObjectName("GroupBoxPInfo");
  GroupBoxPInfo->setGeometry(16, 32, 275, 73);
  LabelVersion = MakeLabel(new QLabel(GroupBoxPInfo), "LabelVersion", 12, 16, 251, 45);
  LabelVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LabelVersion->setWordWrap(true);
  LabelCheckTitle = MakeLabel(new QLabel(N_("Check for update"), TabSheetUpdate), "LabelCheckTitle",
                              16, 132, 0, 0);
  MakeBold(LabelCheckTitle);
  // The design's line break; the lookup drops the CR and a label breaks at the LF.
  LabelCheck = MakeLabel(
      new QLabel(
          N_("To ensure you're using the latest version, click on the \nUpdates button below."),
          TabSheetUpdate),
      "LabelCheck", 16, 152, 0, 0);
  ButtonUpdates = new QPushButton(N_("&Updates..."), TabSheetUpdate);
  ButtonUpdates->setObjectName("ButtonUpdates");
  ButtonUpdates->setGeometry(206, 184, 75, 25);
  ButtonUpdates->setAutoDefault(false);

  PageControlMain->addTab(TabSheetAbout, N_("About"));
  PageControlMain->addTab(TabSheetRegister, N_("License"));
  PageControlMain->addTab(TabSheetUpdate, N_("Update"));
  PageControlMain->setCurrentWidget(TabSheetAbout);

  ButtonOK = new QPushButton(N_("&OK"), PanelMain);
  ButtonOK->setObjectName("ButtonOK");
  ButtonOK->setGeometry(518, 273, 75, 25);
  ButtonOK->setDefault(true);

  connect(ImageLeft, &TTWClickLabel::clicked, this, &TFrmAbout::LabelWebClick);
  connect(LabelWeb, &TTWClickLabel::clicked, this, &TFrmAbout::LabelWebClick);
  connect(LabelSupportEmail, &TTWClickLabel::clicked, this, &TFrmAbout::LabelSupportEmailClick);
  connect(ButtonOK, &QPushButton::clicked, this, &TFrmAbout::ButtonOKClick);

  // 1. The logo.
  const QPixmap Logo = LoadBrandingPicture(GetLogoFileName(), this);
  if (!Logo.isNull())
    ImageLeft->setPixmap(Logo.width() > 252 || Logo.height() > 252
                             ? Logo.scaled(252, 252, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                             : Logo);
  // 2. The year of the local date.
  FYear = QDate::currentDate().year();
  // 3. The links.
  FWebLink = GlobalVars.HelpHomePageLink;
  LabelWeb->setText(QString::fromStdString(GlobalVars.HelpHomePageLink));
  LabelSupportEmail->setText(QString::fromStdString(GlobalVars.HelpSupportLink));
  // 4. to 6. The version, copyright and title lines.
  const std::string Version = FormatText("%s", {GlobalVars.Version});
  LabelVersion->setText(QString::fromStdString(Version));
  ShowCopyright();
  LabalTitle->setText(QString::fromStdString(
      FormatText("%s %s", {QApplication::applicationDisplayName().toStdString(), Version})));
  // 7. The filled texts are the branding's and the formatted copyright: not recorded.
  for (QLabel* L : std::initializer_list<QLabel*>{LabelWeb, LabelSupportEmail, LabelVersion,
                                                  LabelCopyright, LabalTitle})
    FTranslator.ExemptProperty(L, "text");
  TranslateForm(false);
}

void TFrmAbout::ShowCopyright() {
  LabelCopyright->setText(QString::fromStdString(
      FormatCopyright(Translate(kCopyrightTemplate), FYear, GlobalVars.Copyright)));
}

void TFrmAbout::TranslateForm(bool Retranslate) {
  if (!FTranslator.Translate(this, Retranslate)) return;
  // The copyright's template is a text of the program; its year and holder stay.
  if (Retranslate) ShowCopyright();
  for (QLabel* L : {LabelWebTitle, LabelSupport, LabelPInfo, LabelCheckTitle, LabelCheck})
    L->adjustSize();
  FitCaptions(this);
}

void TFrmAbout::LabelWebClick() {
  OpenLink(FWebLink);
}

void TFrmAbout::LabelSupportEmailClick() {
  OpenLink(GlobalVars.HelpSupportLink);
}

void TFrmAbout::ButtonOKClick() {
  accept();
}
