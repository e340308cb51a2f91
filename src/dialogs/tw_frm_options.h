// The Options window: edits every setting but the drives and the language, in a copy
// held by its controls; OK stores the controls into the current settings.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <string>

#include "app/tw_gui_translate.h"
#include "config/tw_types.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;

// A list box of mask lines: sorted without regard to case, several lines selectable, and
// a horizontal scroll extent that is set explicitly, as a list box of the system has.
class TTWListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(int horizontalExtent READ HorizontalExtent WRITE SetHorizontalExtent)
 public:
  explicit TTWListBox(QWidget* Parent = nullptr);
  // Adds a line at its sorted place; the line keeps Text's bytes exactly.
  QListWidgetItem* AddLine(const std::string& Text);
  std::string LineText(int Row) const;
  int HorizontalExtent() const { return FExtent; }
  void SetHorizontalExtent(int Extent);
  // Pixel width of Text in the list box's font.
  int TextWidth(const std::string& Text) const;

 protected:
  void updateGeometries() override;

 private:
  int FExtent = 0;
};

class TFrmOptions : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmOptions(QWidget* Parent = nullptr);

  void LoadSettings(const TTWRecordConfig& Settings);
  void StoreSettings();
  void TranslateForm(bool Retranslate);
  const TTWFormTranslator& Translator() const { return FTranslator; }
  void AddMask(const std::string& Text, TTWListBox* ListBox);
  void RemoveSelectedMasks(TTWListBox* ListBox);

 protected:
  void showEvent(QShowEvent* Event) override;
  bool event(QEvent* Event) override;

 private slots:
  void ShowHintText(const QString& Hint);
  void bbtnOKClick();
  void btnDefaultClick();
  void btnAddFileSearchMaskClick();
  void btnRemoveFileSearchMaskClick();
  void btnAddFileExceptionsClick();
  void btnRemoveFileExceptionsClick();
  void btnAddDirectoryExceptionsClick();
  void btnRemoveDirectoryExceptionsClick();
  void rbtnRemoveClick();
  void rbtnMoveToRecycleBinClick();
  void rbtnShredClick();

 private:
  // The modal input box of the Add buttons; Cancel gives the empty text.
  std::string InputLine(const QString& Caption, const QString& Prompt);

  QTabWidget* pgcOptions;
  QWidget* tbsGeneral;
  QWidget* tbsAdvanced;
  QGroupBox* gbDeleteFiles;
  QRadioButton* rbtnRemove;
  QRadioButton* rbtnMoveToRecycleBin;
  QRadioButton* rbtnShred;
  QCheckBox* cbConformationDialog;
  QGroupBox* gbBrowsers;
  QListWidget* clbBrowsers;
  QCheckBox* cbCookies;
  QCheckBox* cbCache;
  QCheckBox* cbHistory;
  QGroupBox* gbAdditionalOptions;
  QCheckBox* cbFileSearchMasks;
  QCheckBox* cbTemporaryDirectory;
  QCheckBox* cbRecentDocuments;
  QCheckBox* cbRecycleBin;
  QCheckBox* cbOldUpdates;
  QCheckBox* cbSystemLog;
  QGroupBox* gbAdvancedUsers;
  QLabel* lblAdvancedUsers1;
  QLabel* lbAdvancedUsers2;
  QGroupBox* gbFileSearchMasks;
  TTWListBox* lbFileSearchMasks;
  QPushButton* btnAddFileSearchMask;
  QPushButton* btnRemoveFileSearchMask;
  QGroupBox* gbFileExceptions;
  TTWListBox* lbFileExceptions;
  QPushButton* btnAddFileExceptions;
  QPushButton* btnRemoveFileExceptions;
  QGroupBox* gbDirectoryExceptions;
  TTWListBox* lbDirectoryExceptions;
  QPushButton* btnAddDirectoryExceptions;
  QPushButton* btnRemoveDirectoryExceptions;
  QPushButton* bbtnOK;
  QPushButton* bbtnCancel;
  QPushButton* btnDefault;
  QStatusBar* sbOptions;
  QLabel* FHintPanel;
  bool FHintsInstalled = false;
  TTWFormTranslator FTranslator;
};

extern TFrmOptions* FrmOptions;
