// The Deleted files dialog: the report at the end of a run.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeView;
class TTWFileList;

class TFrmDeleted : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmDeleted(QWidget* Parent = nullptr);
  // Lists the ticked-and-deleted entries of List, modally; Canceled selects the
  // cancelled-run text.
  void ShowDeletedFiles(TTWFileList* List, bool Canceled);
  void TranslateForm(bool Retranslate);

 private:
  QTreeView* lvDeletedFiles;
  QPushButton* bbtnClose;
};

extern TFrmDeleted* FrmDeleted;
