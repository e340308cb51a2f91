// "Found files": the review step of a cleaning run. The user ticks the entries that are
// to go; ticks are written straight into the entries' Checked flags.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include "app/tw_gui_translate.h"

class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QTreeView;
class TTWFileList;
class TTWFileListModel;
struct TTWListRow;

class TFrmSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmSelect(QWidget* Parent = nullptr);
  // Fills the rows from List, shows the dialog modally (exec), removes the rows again;
  // true exactly when closed with btnNext.
  bool SelectFiles(TTWFileList* List);
  void TranslateForm(bool Retranslate);
  const TTWFormTranslator& Translator() const { return FTranslator; }

  // Sorts by Column in the current direction, then flips the direction.
  void SortByColumn(int Column);
  void ShowTickedSize(int64_t Bytes);
  // Never smaller than 600 x 300; always allowed.
  bool FormCanResize(int& NewWidth, int& NewHeight);

  int SortColumn() const { return FSortColumn; }
  bool SortDescending() const { return FSortDescending; }
  int64_t TickedTotal() const { return FTickedTotal; }
  const std::string& LastPath() const { return FLastPath; }
  TTWFileListModel* Model() const { return FModel; }

  // Event handlers.
  void lvSelectFilesChange(int Row);
  void lvSelectFilesColumnClick(int Column);
  int lvSelectFilesCompare(const TTWListRow& Item1, const TTWListRow& Item2) const;
  // True when the key was handled (and is not to reach the list).
  bool lvSelectFilesKeyDown(int Key);
  void btnEnableAllClick();
  void btnDisableAllClick();
  void piPropertiesClick();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void FormCreate();
  void PlaceControls();
  void ApplyTicks(int64_t Delta, int LastChanged);

  QLabel* lblTickedFiles;
  QTreeView* lvSelectFiles;
  QLabel* lblTickedFilesSize;
  QLabel* lblSize;
  QPushButton* btnEnableAll;
  QPushButton* btnDisableAll;
  QPushButton* btnNext;
  QMenu* pmFiles;
  QAction* piProperties;
  TTWFileListModel* FModel;

  TTWFileList* FList = nullptr;
  int FSortColumn = 2;
  bool FSortDescending = false;
  int64_t FTickedTotal = 0;
  std::string FLastPath;
  TTWFormTranslator FTranslator;
};
extern TFrmSelect* FrmSelect;  // defined in tw_frm_select.cpp, created by the start-up
