// The Options window (its controls come with the settings editor).
#pragma once

#include <QDialog>

class TFrmOptions : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmOptions(QWidget* Parent = nullptr);
  void TranslateForm(bool Retranslate);
};

extern TFrmOptions* FrmOptions;
