// "Deleted files": the last step of a cleaning run. Lists the entries that were ticked
// and deleted, with their total, and says whether the run completed or was cancelled.
#pragma once

#include <QDialog>
#include <cstdint>
#include "app/tw_gui_translate.h"

class QLabel;
class QPushButton;
class QTreeView;
class TTWFileList;
class TTWFileListModel;
struct TTWListRow;

class TFrmDeleted : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmDeleted(QWidget* Parent = nullptr);
  // Lists the ticked-and-deleted entries of List, modally; closes with bbtnClose or the
  // window's close button. Canceled selects the cancelled-run text.
  void ShowDeletedFiles(TTWFileList* List, bool Canceled);
  void TranslateForm(bool Retranslate);
  const TTWFormTranslator& Translator() const { return FTranslator; }

  void SortByColumn(int Column);
  bool FormCanResize(int& NewWidth, int& NewHeight);

  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FSortDescending; }
  int64_t DeletedTotal() const { return FDeletedTotal; }
  TTWFileListModel* Model() const { return FModel; }

  // Event handlers.
  void lvDeletedFilesColumnClick(int Column);
  int lvDeletedFilesCompare(const TTWListRow& Item1, const TTWListRow& Item2) const;
  void bbtnCloseClick();

 protected:
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void FormCreate();
  void PlaceControls();
  void ShowOutcome();
  void ShowDeletedSize();

  QLabel* lblDeletedFiles;
  QTreeView* lvDeletedFiles;
  QLabel* lblDeletedFilesSize;
  QLabel* lblSize;
  QPushButton* bbtnClose;
  TTWFileListModel* FModel;

  int FSortColumn = 1;
  bool FSortDescending = false;
  bool FCanceled = false;
  int64_t FDeletedTotal = 0;
  TTWFormTranslator FTranslator;
};
extern TFrmDeleted* FrmDeleted;  // defined in tw_frm_deleted.cpp
