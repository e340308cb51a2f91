// The Found files dialog: the review step of a run.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeView;
class TTWFileList;

class TFrmSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmSelect(QWidget* Parent = nullptr);
  // Fills the rows from List, shows the dialog modally, removes the rows again; true
  // exactly when closed with btnNext.
  bool SelectFiles(TTWFileList* List);
  void TranslateForm(bool Retranslate);

 private:
  QTreeView* lvSelectFiles;
  QPushButton* btnNext;
};

extern TFrmSelect* FrmSelect;
