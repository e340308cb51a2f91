// The main window: the drive list, Run and Cancel, the status fields, the menus, and the
// receiver of every message of the worker threads. It drives the cleaning run.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "app/tw_gui_translate.h"
#include "platform/tw_messages.h"

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class TTWFileList;
class TTWMessagePump;
class TTWStatusPanel;
class TTWThreadDelete;
class TTWThreadFind;

class TFrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFrmMain(QWidget* Parent = nullptr);  // runs FormCreate
  ~TFrmMain() override;

  void SetAutoRun(bool Value) { FAutoRun = Value; }
  bool AutoRun() const { return FAutoRun; }
  void UpdateRunEnabled(bool Allow);
  void EnableControls(bool Idle);
  void SetStatusLabel(const std::string& Text);
  void SetStatusValue(const std::string& Text);
  void LoadBranding();
  void SelectLanguage(const std::string& Code, bool Apply);
  void TranslateForm(bool Retranslate);
  const TTWFormTranslator& Translator() const { return FTranslator; }

  // The receiver of the workers' messages; its handler runs on the main thread.
  TTWMessageReceiver* Receiver() { return &FReceiver; }
  // Posts a message to this window (PostMessageA to its own handle).
  void PostToSelf(uint32_t Msg);
  // The application-message hook: the activation by a later start.
  bool aeMainAppMessage(uint32_t Msg);
  // The instance message number this window reacts to.
  void SetInstanceMessage(uint32_t Msg) { FInstanceMessage = Msg; }

  // The run, as far as others may look at it.
  TTWFileList* RunList() const { return FList.get(); }
  TTWThreadFind* ThreadFind() const { return FThreadFind.get(); }
  TTWThreadDelete* ThreadDelete() const { return FThreadDelete.get(); }
  bool Canceled() const { return FCanceled; }
  bool RunActive() const { return FList || FThreadFind || FThreadDelete; }

 public slots:
  void btnRunClick();
  void bbtnCancelClick();
  void btnOptionsClick();
  void bbtnCloseClick();
  void miAboutClick();
  void miHomepageClick();
  void HowTosTutorialVideos1Click();
  void HomePage1Click();
  void MoreFreeTools1Click();
  void CheckforUpdates1Click();
  void ContactTechnicalSupport1Click();
  void miDutchClick();
  void miEnglishClick();
  void miFrenchClick();
  void miGermanClick();
  void miJapaneseClick();
  void miTurkishClick();
  void lvDrivesChange(QListWidgetItem* Item);

 signals:
  // The window accepted a close: the message loop is to end.
  void Closed();

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void FormCreate();
  void FormShow();
  bool FormClose();
  void FormCanResize();
  void CreateControls();
  void CreateMenus();
  void FillDriveList();
  void DeclareExemptions();
  void DeriveAccessibleNames();

  void StartFind();
  void StartDelete();
  void ReleaseRun();
  TTWLResult WndProc(uint32_t Msg, TTWWParam WParam, TTWLParam LParam);
  void WMShowMain();
  void WMFindFinished();
  void WMDeleteFinished();
  void WMShowStatus(const char* Text);

  // Controls, named as the window's design names them.
  QWidget* FClient = nullptr;
  QGroupBox* gbRunCleaner = nullptr;
  QListWidget* lvDrives = nullptr;
  QLabel* ImageRight = nullptr;
  QPushButton* btnRun = nullptr;
  QPushButton* bbtnCancel = nullptr;
  TTWStatusPanel* pnlStatusLabel = nullptr;
  TTWStatusPanel* pnlStatusValue = nullptr;
  QPushButton* btnOptions = nullptr;
  QPushButton* bbtnClose = nullptr;
  QMenu* miFiles = nullptr;
  QAction* miRun = nullptr;
  QAction* miCancel = nullptr;
  QAction* N1 = nullptr;
  QAction* miExit = nullptr;
  QMenu* miEdit = nullptr;
  QMenu* miLanguageMenu = nullptr;
  QAction* miLanguage = nullptr;
  QAction* miDutch = nullptr;
  QAction* miEnglish = nullptr;
  QAction* miFrench = nullptr;
  QAction* miGerman = nullptr;
  QAction* miJapanese = nullptr;
  QAction* miTurkish = nullptr;
  QAction* miOptions = nullptr;
  QMenu* miHelp = nullptr;
  QAction* miHomepage = nullptr;
  QAction* HowTosTutorialVideos1 = nullptr;
  QAction* HomePage1 = nullptr;
  QAction* MoreFreeTools1 = nullptr;
  QAction* CheckforUpdates1 = nullptr;
  QAction* ContactTechnicalSupport1 = nullptr;
  QAction* miAbout = nullptr;

  // Anchoring: each control keeps its distances to the sides it is anchored to.
  struct TAnchor {
    QWidget* Control;
    QRect Design;  // at the parent's design size
    QSize ParentDesign;
    bool Left, Top, Right, Bottom;
  };
  std::vector<TAnchor> FAnchors;
  void Anchor(QWidget* Control, QRect Design, QSize ParentDesign, bool Left, bool Top, bool Right,
              bool Bottom);
  void ApplyAnchors(QWidget* Parent);

  // The run.
  std::unique_ptr<TTWFileList> FList;
  std::unique_ptr<TTWThreadFind> FThreadFind;
  std::unique_ptr<TTWThreadDelete> FThreadDelete;
  bool FCanceled = false;
  bool FAutoRun = false;
  bool FRunEnabled = false;
  bool FShown = false;

  TTWFormTranslator FTranslator;
  uint32_t FInstanceMessage = 0;
  TTWMessageReceiver FReceiver;
  TTWMessagePump* FPump = nullptr;
};

extern TFrmMain* FrmMain;
