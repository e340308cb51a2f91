// The About window (its texts come with the branding values).
#pragma once

#include <QDialog>

class TFrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmAbout(QWidget* Parent = nullptr);
  void TranslateForm(bool Retranslate);
};

extern TFrmAbout* FrmAbout;
