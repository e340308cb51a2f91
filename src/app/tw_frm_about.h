// The About window: product, version, copyright, links, licence and the update page.
#pragma once

#include <QDialog>
#include <QLabel>
#include <string>

#include "app/tw_gui_translate.h"

class QFrame;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// A label that reports a click of the left mouse button (the links and the logo).
class TTWClickLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;
};

// The copyright line: the template's "%d" is the year, its "%s" the holder.
std::string FormatCopyright(const std::string& Template, int Year, const std::string& Holder);

class TFrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmAbout(QWidget* Parent = nullptr);
  void TranslateForm(bool Retranslate);
  const TTWFormTranslator& Translator() const { return FTranslator; }

 private slots:
  void LabelWebClick();
  void LabelSupportEmailClick();
  void ButtonOKClick();

 private:
  QFrame* PanelMain;
  QFrame* PanelmageLeft;
  TTWClickLabel* ImageLeft;
  QTabWidget* PageControlMain;
  QWidget* TabSheetAbout;
  QLabel* LabalTitle;
  QLabel* LabelCopyright;
  QLabel* LabelWebTitle;
  TTWClickLabel* LabelWeb;
  QLabel* LabelSupport;
  TTWClickLabel* LabelSupportEmail;
  QWidget* TabSheetRegister;
  QPlainTextEdit* reComment;
  QWidget* TabSheetUpdate;
  QLabel* LabelPInfo;
  QGroupBox* GroupBoxPInfo;
  QLabel* LabelVersion;
  QLabel* LabelCheckTitle;
  QLabel* LabelCheck;
  QPushButton* ButtonUpdates;
  QPushButton* ButtonOK;
  std::string FWebLink;
  int FYear = 0;
  TTWFormTranslator FTranslator;
  void ShowCopyright();
};

extern TFrmAbout* FrmAbout;
