#include "app/tw_frm_main.h"
#include "app/tw_gui_branding.h"

#include <QAccessible>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include "app/UtilFuncs.h"
#include "app/globals.h"
#include "app/tw_frm_about.h"
#include "app/tw_gui_icons.h"
#include "app/tw_gui_pump.h"
#include "app/tw_gui_skin.h"
#include "app/tw_gui_status.h"
#include "app/tw_i18n.h"
#include "config/tw_config.h"
#include "delete/tw_random.h"
#include "delete/tw_thread_delete.h"
#include "dialogs/tw_frm_deleted.h"
#include "dialogs/tw_frm_options.h"
#include "dialogs/tw_frm_select.h"
#include "platform/tw_platform.h"
#include "search/Masks.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "search/tw_thread_find.h"

TFrmMain* FrmMain = nullptr;

namespace {

// The client area at design time, below the menu bar.
constexpr QSize kClientDesign(662, 424);
constexpr QSize kGroupDesign(638, 337);
constexpr int kMinWidth = 222;
constexpr int kMinHeight = 276;

constexpr int kRoleEntry = Qt::UserRole + 1;

QString Q(const std::string& Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The accessible name of a control is its caption without the accelerator marker.
QString Plain(QString Caption) {
  Caption.replace("&&", QString(QChar(0x1)));
  Caption.remove('&');
  Caption.replace(QChar(0x1), "&");
  return Caption;
}

}  // namespace

TFrmMain::TFrmMain(QWidget* Parent)
    : QMainWindow(Parent), FReceiver([this](uint32_t Msg, TTWWParam WParam, TTWLParam LParam) {
        return WndProc(Msg, WParam, LParam);
      }) {
  FPump = new TTWMessagePump(
      FReceiver, [this] { return RunActive(); }, this);
  FormCreate();
}

TFrmMain::~TFrmMain() {
  // A window torn down in the middle of a run (never in the program, where it cannot
  // close then): stop the workers, serving their last messages so none stays blocked.
  for (TThread* t :
       {static_cast<TThread*>(FThreadFind.get()), static_cast<TThread*>(FThreadDelete.get())}) {
    if (!t) continue;
    t->Terminate();
    while (t->Started() && !t->Finished()) {
      if (FReceiver.WaitMessage(std::chrono::milliseconds(10))) FReceiver.DispatchMessages();
    }
  }
  FReceiver.SetHandler(nullptr);
  FThreadDelete.reset();
  FThreadFind.reset();
  FList.reset();
  if (FrmMain == this) FrmMain = nullptr;
}

// --- Creation

void TFrmMain::CreateControls() {
  setObjectName("FrmMain");
  FClient = new QWidget(this);
  FClient->setObjectName("FrmMainClient");
  setCentralWidget(FClient);
  FClient->installEventFilter(this);

  gbRunCleaner = new QGroupBox(FClient);
  gbRunCleaner->setObjectName("gbRunCleaner");
  gbRunCleaner->installEventFilter(this);
  Anchor(gbRunCleaner, QRect(8, 8, 638, 337), kClientDesign, true, true, true, true);

  lvDrives = new QListWidget(gbRunCleaner);
  lvDrives->setObjectName("lvDrives");
  lvDrives->setViewMode(QListView::ListMode);
  lvDrives->setIconSize(QSize(64, 64));
  lvDrives->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvDrives->setSelectionMode(QAbstractItemView::SingleSelection);
  Anchor(lvDrives, QRect(8, 24, 369, 257), kGroupDesign, true, true, true, true);

  ImageRight = new QLabel(gbRunCleaner);
  ImageRight->setObjectName("ImageRight");
  ImageRight->setAttribute(Qt::WA_TranslucentBackground, true);
  ImageRight->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Anchor(ImageRight, QRect(379, 24, 256, 256), kGroupDesign, false, true, true, false);

  auto button = [this](QWidget* Parent, const char* Name, const char* Caption, TTWButtonIcon Icon) {
    auto* b = new QPushButton(QString::fromUtf8(Caption), Parent);
    b->setObjectName(Name);
    b->setIcon(ButtonIcon(Icon));
    b->setIconSize(QSize(32, 32));
    b->setAutoDefault(false);
    return b;
  };
  btnRun = button(gbRunCleaner, "btnRun", N_("&Run"), TTWButtonIcon::Run);
  Anchor(btnRun, QRect(8, 288, 105, 41), kGroupDesign, true, false, false, true);
  bbtnCancel = button(gbRunCleaner, "bbtnCancel", N_("&Cancel"), TTWButtonIcon::Cancel);
  Anchor(bbtnCancel, QRect(120, 288, 105, 41), kGroupDesign, true, false, false, true);
  bbtnCancel->hide();

  pnlStatusLabel = new TTWStatusPanel(FClient);
  pnlStatusLabel->setObjectName("pnlStatusLabel");
  pnlStatusLabel->setAccessibleDescription(N_("Status"));
  pnlStatusLabel->setGeometry(0, 401, 84, 23);
  pnlStatusValue = new TTWStatusPanel(FClient);
  pnlStatusValue->setObjectName("pnlStatusValue");
  pnlStatusValue->setGeometry(84, 401, 130, 23);

  btnOptions = button(FClient, "btnOptions", N_("&Options"), TTWButtonIcon::Options);
  Anchor(btnOptions, QRect(424, 358, 105, 41), kClientDesign, false, false, true, true);
  bbtnClose = button(FClient, "bbtnClose", N_("&Close"), TTWButtonIcon::Close);
  Anchor(bbtnClose, QRect(541, 358, 105, 41), kClientDesign, false, false, true, true);

  // Tab order: the drives, then the buttons as they are read.
  setTabOrder(lvDrives, btnRun);
  setTabOrder(btnRun, bbtnCancel);
  setTabOrder(bbtnCancel, btnOptions);
  setTabOrder(btnOptions, bbtnClose);

  connect(btnRun, &QPushButton::clicked, this, &TFrmMain::btnRunClick);
  connect(bbtnCancel, &QPushButton::clicked, this, &TFrmMain::bbtnCancelClick);
  connect(btnOptions, &QPushButton::clicked, this, &TFrmMain::btnOptionsClick);
  connect(bbtnClose, &QPushButton::clicked, this, &TFrmMain::bbtnCloseClick);
  connect(lvDrives, &QListWidget::itemChanged, this, &TFrmMain::lvDrivesChange);
  connect(lvDrives, &QListWidget::currentItemChanged, this,
          [this](QListWidgetItem* Current, QListWidgetItem*) { lvDrivesChange(Current); });
}

void TFrmMain::CreateMenus() {
  QMenuBar* mmMain = menuBar();
  mmMain->setObjectName("mmMain");
  auto action = [this](QMenu* Menu, const char* Name, const char* Caption,
                       void (TFrmMain::*Slot)()) {
    QAction* a = Menu->addAction(QString::fromUtf8(Caption));
    a->setObjectName(Name);
    if (Slot) connect(a, &QAction::triggered, this, Slot);
    return a;
  };
  miFiles = mmMain->addMenu(N_("File"));
  miFiles->setObjectName("miFiles");
  miRun = action(miFiles, "miRun", N_("&Run"), &TFrmMain::btnRunClick);
  miCancel = action(miFiles, "miCancel", N_("&Cancel"), &TFrmMain::bbtnCancelClick);
  N1 = miFiles->addSeparator();
  N1->setObjectName("N1");
  miExit = action(miFiles, "miExit", N_("E&xit"), &TFrmMain::bbtnCloseClick);

  miEdit = mmMain->addMenu(N_("Edit"));
  miEdit->setObjectName("miEdit");
  miLanguageMenu = miEdit->addMenu(N_("&Language"));
  miLanguageMenu->setObjectName("miLanguageMenu");
  miLanguage = miLanguageMenu->menuAction();
  miLanguage->setObjectName("miLanguage");
  auto* languages = new QActionGroup(this);
  auto language = [&](const char* Name, const char* Caption, void (TFrmMain::*Slot)()) {
    QAction* a = action(miLanguageMenu, Name, Caption, Slot);  // exempt from translation
    a->setCheckable(true);
    languages->addAction(a);
    return a;
  };
  miDutch = language("miDutch", "Dutch", &TFrmMain::miDutchClick);
  miEnglish = language("miEnglish", "English", &TFrmMain::miEnglishClick);
  miFrench = language("miFrench", "French", &TFrmMain::miFrenchClick);
  miGerman = language("miGerman", "German", &TFrmMain::miGermanClick);
  miJapanese = language("miJapanese", "Japanese", &TFrmMain::miJapaneseClick);
  miTurkish = language("miTurkish", "Turkish", &TFrmMain::miTurkishClick);
  miLanguage->setVisible(false);
  miOptions = action(miEdit, "miOptions", N_("&Options..."), &TFrmMain::btnOptionsClick);

  miHelp = mmMain->addMenu(N_("Help"));
  miHelp->setObjectName("miHelp");
  miHomepage = action(miHelp, "miHomepage", N_("Help Content"), &TFrmMain::miHomepageClick);
  miHomepage->setShortcut(QKeySequence(Qt::Key_F1));
  HowTosTutorialVideos1 =
      action(miHelp, "HowTosTutorialVideos1", N_("How Tos && Tutorial Videos..."),
             &TFrmMain::HowTosTutorialVideos1Click);
  miHelp->addSeparator();
  HomePage1 = action(miHelp, "HomePage1", N_("Home Page..."), &TFrmMain::HomePage1Click);
  MoreFreeTools1 =
      action(miHelp, "MoreFreeTools1", N_("More Free Tools..."), &TFrmMain::MoreFreeTools1Click);
  miHelp->addSeparator();
  CheckforUpdates1 = action(miHelp, "CheckforUpdates1", N_("Check for Updates..."),
                            &TFrmMain::CheckforUpdates1Click);
  ContactTechnicalSupport1 =
      action(miHelp, "ContactTechnicalSupport1", N_("Contact Technical Support..."),
             &TFrmMain::ContactTechnicalSupport1Click);
  miHelp->addSeparator();
  miAbout = action(miHelp, "miAbout", N_("About..."), &TFrmMain::miAboutClick);
  // Shortcuts work while the menus are closed, also with the window minimised to a bar.
  for (QAction* a : {miRun, miCancel, miExit, miOptions, miHomepage}) addAction(a);
}

void TFrmMain::FormCreate() {
  CreateControls();
  CreateMenus();
  setWindowIcon(ProgramIcon());
  // 1. The title, the branding values, the logo and the skin.
  LoadBranding();
  // 2. The separator and the language names are never translated.
  DeclareExemptions();
  // 3.
  TranslateForm(false);
  // 4. Tick the configured language; nothing is applied.
  SelectLanguage(Config ? Config->Current.Language.substr(0, 2) : std::string(), false);
  // 5. No run yet.
  FList.reset();
  FThreadFind.reset();
  FThreadDelete.reset();
  FCanceled = false;
  FAutoRun = false;
  // 6. The shredder's generator.
  Randomize();
  // 7. The status fields and the group box paint their own background.
  for (QWidget* w : {static_cast<QWidget*>(pnlStatusLabel), static_cast<QWidget*>(pnlStatusValue),
                     static_cast<QWidget*>(gbRunCleaner)})
    w->setAutoFillBackground(true);
  // 8-9. Cancel only has a meaning during a run.
  miCancel->setEnabled(false);
  FillDriveList();
  UpdateRunEnabled(true);
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kClientDesign.width(), kClientDesign.height() + menuBar()->sizeHint().height());
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect avail = s->availableGeometry();
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }
  // 10.
  PostToSelf(WM_SHOWMAIN);
}

void TFrmMain::LoadBranding() {
  const QString title = QApplication::applicationDisplayName();
  setWindowTitle(title);
  gbRunCleaner->setTitle(Q(FormatText(Translate("Run %s"), {title.toStdString()})));
  // The values, then the logo; each failure shows the open error and keeps the defaults.
  LoadBrandingValues(this);
  const QPixmap pm = LoadBrandingPicture(GetLogoFileName(), this);
  if (!pm.isNull()) {
    ImageRight->setPixmap(pm.width() > 256 || pm.height() > 256
                              ? pm.scaled(256, 256, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                              : pm);
  }
  ApplySkin(GlobalVars.SkinName);
}

void TFrmMain::DeclareExemptions() {
  FTranslator.ExemptProperty(N1, "text");
  for (QAction* a : {miGerman, miEnglish, miFrench, miJapanese, miDutch, miTurkish})
    FTranslator.ExemptObject(a);
  // The product's name, and the heading formatted with it (looked up as "Run %s").
  FTranslator.ExemptProperty(this, "windowTitle");
  FTranslator.ExemptProperty(gbRunCleaner, "title");
  // The drives are the system's names.
  FTranslator.ExemptItems(lvDrives);
}

void TFrmMain::TranslateForm(bool Retranslate) {
  if (!FTranslator.Translate(this, Retranslate)) return;
  gbRunCleaner->setTitle(
      Q(FormatText(Translate("Run %s"), {QApplication::applicationDisplayName().toStdString()})));
  DeriveAccessibleNames();
  FitCaptions(this);
}

void TFrmMain::DeriveAccessibleNames() {
  // The accessible name of a button is its caption without the accelerator marker.
  for (QPushButton* b : {btnRun, bbtnCancel, btnOptions, bbtnClose})
    b->setAccessibleName(Plain(b->text()));
  lvDrives->setAccessibleName(gbRunCleaner->title());
}

void TFrmMain::SelectLanguage(const std::string& Code, bool Apply) {
  const std::pair<const char*, QAction*> items[] = {
      {"de", miGerman}, {"ja", miJapanese}, {"nl", miDutch}, {"tr", miTurkish}, {"fr", miFrench}};
  // 1-2. Exactly one item ticked: the code's, English for any other code.
  for (QAction* a : {miDutch, miEnglish, miFrench, miGerman, miJapanese, miTurkish})
    a->setChecked(false);
  QAction* ticked = miEnglish;
  for (const auto& [code, item] : items)
    if (Code == code) ticked = item;
  ticked->setChecked(true);
  // 3.
  if (!Apply) return;
  // 4-8. The layer, the setting, this window, the names, then the other windows.
  UseLanguage(Code);
  if (Config) Config->Current.Language = Code;
  TranslateForm(true);
  if (Helper) Helper->LoadNames();
  if (FrmAbout) FrmAbout->TranslateForm(true);
  if (FrmOptions) FrmOptions->TranslateForm(true);
  if (FrmSelect) FrmSelect->TranslateForm(true);
  if (FrmDeleted) FrmDeleted->TranslateForm(true);
}

void TFrmMain::FillDriveList() {
  if (!Config) return;
  // Filling happens before the window shows, so lvDrivesChange writes nothing back.
  for (TTWDriveEntry& entry : Config->Current.Drives.Entries) {
    auto* item = new QListWidgetItem(lvDrives);
    item->setData(kRoleEntry, QVariant::fromValue(reinterpret_cast<quintptr>(&entry)));
    item->setText(Q(Helper ? Helper->GetDriveDisplayName(entry.Letter)
                           : TTWHelper::GetDriveDisplayName(entry.Letter)));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(entry.Selected ? Qt::Checked : Qt::Unchecked);
    const std::string root = std::string(1, entry.Letter) + ":\\";
    const uint32_t type = Platform().GetDriveType(root);
    const int icon = type == DRIVE_FIXED ? 0 : type == DRIVE_REMOVABLE ? 2 : 1;
    item->setData(Qt::UserRole + 2, icon);
    item->setIcon(DriveIcon(icon));
  }
}

// --- Controls

void TFrmMain::lvDrivesChange(QListWidgetItem* Item) {
  if (!Item || !isVisible()) return;
  auto* entry = reinterpret_cast<TTWDriveEntry*>(Item->data(kRoleEntry).value<quintptr>());
  if (!entry) return;
  entry->Selected = Item->checkState() == Qt::Checked ? 1 : 0;
  UpdateRunEnabled(true);
}

void TFrmMain::UpdateRunEnabled(bool Allow) {
  bool any = false;
  if (Config) {
    for (const TTWDriveEntry& e : Config->Current.Drives.Entries) any = any || e.Selected;
  }
  FRunEnabled = Allow && any;
  miRun->setEnabled(FRunEnabled);
  btnRun->setEnabled(FRunEnabled);
}

void TFrmMain::EnableControls(bool Idle) {
  if (Idle) {
    UpdateRunEnabled(true);
    btnRun->setVisible(true);
  } else {
    miRun->setEnabled(false);
    btnRun->setEnabled(false);
    btnRun->setVisible(false);
  }
  bbtnCancel->setVisible(!Idle);
  miCancel->setEnabled(!Idle);
  btnOptions->setEnabled(Idle);
  miOptions->setEnabled(Idle);
  bbtnClose->setEnabled(Idle);
  miExit->setEnabled(Idle);
  miLanguage->setEnabled(Idle);
  lvDrives->setEnabled(Idle);
  // Keyboard focus follows the button that takes the place of the other.
  if (!Idle && btnRun->hasFocus()) bbtnCancel->setFocus();
  if (Idle && bbtnCancel->hasFocus())
    (btnRun->isEnabled() ? static_cast<QWidget*>(btnRun) : lvDrives)->setFocus();
}

void TFrmMain::SetStatusLabel(const std::string& Text) {
  pnlStatusLabel->SetText(" " + Text);
}

void TFrmMain::SetStatusValue(const std::string& Text) {
  pnlStatusValue->SetText(" " + Text);
}

void TFrmMain::btnOptionsClick() {
  if (FrmOptions) FrmOptions->exec();
}

void TFrmMain::bbtnCloseClick() {
  close();
}

void TFrmMain::miAboutClick() {
  if (FrmAbout) FrmAbout->exec();
}

void TFrmMain::miHomepageClick() {
  OpenLink(GlobalVars.HelpContectLink);
}
void TFrmMain::HowTosTutorialVideos1Click() {
  OpenLink(GlobalVars.HelpHowTosTutorialVideosLink);
}
void TFrmMain::HomePage1Click() {
  OpenLink(GlobalVars.HelpHomePageLink);
}
void TFrmMain::MoreFreeTools1Click() {
  OpenLink(GlobalVars.HelpMoreFreeToolsLink);
}
void TFrmMain::CheckforUpdates1Click() {
  OpenLink(GlobalVars.HelpCheckForUpdatesLink);
}
void TFrmMain::ContactTechnicalSupport1Click() {
  OpenLink(GlobalVars.HelpSupportLink);
}
void TFrmMain::miDutchClick() {
  SelectLanguage("nl", true);
}
void TFrmMain::miEnglishClick() {
  SelectLanguage("en", true);
}
void TFrmMain::miFrenchClick() {
  SelectLanguage("fr", true);
}
void TFrmMain::miGermanClick() {
  SelectLanguage("de", true);
}
void TFrmMain::miJapaneseClick() {
  SelectLanguage("ja", true);
}
void TFrmMain::miTurkishClick() {
  SelectLanguage("tr", true);
}

// --- Showing, sizing, closing

void TFrmMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!Event->spontaneous()) FormShow();
}

void TFrmMain::FormShow() {
  // Shown once per process; a later show (restored from the task bar) starts nothing.
  const bool first = !FShown;
  FShown = true;
  if (!first || !FAutoRun) return;
  setWindowState(windowState() | Qt::WindowMinimized);
  // The run starts from the event loop, not from inside the show.
  QMetaObject::invokeMethod(this, &TFrmMain::btnRunClick, Qt::QueuedConnection);
}

void TFrmMain::resizeEvent(QResizeEvent* Event) {
  QMainWindow::resizeEvent(Event);
}

bool TFrmMain::eventFilter(QObject* Watched, QEvent* Event) {
  if (Event->type() == QEvent::Resize) {
    if (Watched == FClient) {
      ApplyAnchors(FClient);
      FormCanResize();
    } else if (Watched == gbRunCleaner) {
      ApplyAnchors(gbRunCleaner);
    }
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TFrmMain::FormCanResize() {
  // The minimum size is the window's own; here the status fields follow the bottom edge.
  const int w = FClient->width(), h = FClient->height();
  const int lw = pnlStatusLabel->width(), ph = pnlStatusLabel->height();
  pnlStatusLabel->move(0, h - ph);
  pnlStatusValue->setGeometry(lw, h - ph, std::max(0, w - lw), ph);
}

void TFrmMain::Anchor(QWidget* Control, QRect Design, QSize ParentDesign, bool Left, bool Top,
                      bool Right, bool Bottom) {
  Control->setGeometry(Design);
  FAnchors.push_back({Control, Design, ParentDesign, Left, Top, Right, Bottom});
}

void TFrmMain::ApplyAnchors(QWidget* Parent) {
  const QSize size = Parent->size();
  for (const TAnchor& a : FAnchors) {
    if (a.Control->parentWidget() != Parent) continue;
    const int dw = size.width() - a.ParentDesign.width();
    const int dh = size.height() - a.ParentDesign.height();
    QRect r = a.Design;
    if (a.Right && a.Left)
      r.setWidth(std::max(0, r.width() + dw));
    else if (a.Right)
      r.moveLeft(r.left() + dw);
    if (a.Bottom && a.Top)
      r.setHeight(std::max(0, r.height() + dh));
    else if (a.Bottom)
      r.moveTop(r.top() + dh);
    a.Control->setGeometry(r);
  }
}

void TFrmMain::closeEvent(QCloseEvent* Event) {
  if (FormClose()) {
    Event->accept();
    emit Closed();
  } else {
    Event->ignore();
  }
}

bool TFrmMain::FormClose() {
  // Refused while any run object exists, whatever asked: the menu, the button, the
  // window manager, a key.
  if (FThreadFind || FThreadDelete) return false;
  if (Config) Config->Save();
  return true;
}

// --- Messages

void TFrmMain::PostToSelf(uint32_t Msg) {
  FReceiver.PostMessage(Msg, 0, 0);
  FPump->Arm();
}

TTWLResult TFrmMain::WndProc(uint32_t Msg, TTWWParam, TTWLParam LParam) {
  switch (Msg) {
    case WM_SHOWSTATUS:
      WMShowStatus(reinterpret_cast<const char*>(LParam));
      break;
    case WM_FINDFINISHED:
      WMFindFinished();
      break;
    case WM_DELETEFINISHED:
      WMDeleteFinished();
      break;
    case WM_SHOWMAIN:
      WMShowMain();
      break;
    default:
      break;
  }
  return 0;
}

void TFrmMain::WMShowMain() {
  // A minimised window stays minimised.
  if (!isVisible()) show();
  if (!isMinimized()) {
    raise();
    activateWindow();
  }
}

void TFrmMain::WMShowStatus(const char* Text) {
  // The text belongs to the worker and lives only during this call: copied here.
  SetStatusValue(Text ? std::string(Text) : std::string());
}

bool TFrmMain::aeMainAppMessage(uint32_t Msg) {
  if (FInstanceMessage == 0 || Msg != FInstanceMessage) return false;
  if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  if (!isVisible()) show();
  raise();
  activateWindow();
  // Where the window manager refuses to hand over the focus, at least draw attention.
  if (!isActiveWindow()) QApplication::alert(this);
  return true;
}

// --- The cleaning run

void TFrmMain::btnRunClick() {
  if (RunActive()) return;  // at most one run
  EnableControls(false);
  StartFind();
}

void TFrmMain::StartFind() {
  FCanceled = false;
  try {
    FList = std::make_unique<TTWFileList>(Config->Current);
    SetStatusLabel(Translate("Find Files:"));
    FThreadFind = std::make_unique<TTWThreadFind>(FList.get(), *Config, &FReceiver);
  } catch (const EMaskException& e) {
    // No end message will come for this run: leave the running state here.
    FThreadFind.reset();
    FList.reset();
    SetStatusLabel(std::string());
    SetStatusValue(std::string());
    EnableControls(true);
    // The message in the interface language; the exception keeps its English text.
    const QString text = e.MaskText.empty() && e.Position == 0
                             ? Q(e.what())
                             : Q(FormatText(Translate("'%s' is an invalid mask at (%d)"),
                                            {e.MaskText, std::to_string(e.Position)}));
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.setObjectName("MaskErrorBox");
    box.exec();
    if (FAutoRun) close();
    return;
  }
  FPump->Arm();
  FThreadFind->Resume();
}

void TFrmMain::bbtnCancelClick() {
  if (FThreadFind) FThreadFind->Terminate();
  if (FThreadDelete) FThreadDelete->Terminate();
  FCanceled = true;
  SetStatusLabel(Translate("Canceled"));
  SetStatusValue(std::string());
}

void TFrmMain::WMFindFinished() {
  bool proceed = !FCanceled;
  if (proceed && Config->Current.DeleteFiles.ConformationDialog) {
    // The finder has ended: the list is the main thread's until the deletion starts.
    const bool confirmed = FrmSelect && FrmSelect->SelectFiles(FList.get());
    if (!confirmed) {
      bbtnCancelClick();
      proceed = false;
    }
    repaint();
  }
  if (proceed) {
    StartDelete();
    return;
  }
  ReleaseRun();
  EnableControls(true);
}

void TFrmMain::StartDelete() {
  SetStatusLabel(Translate("Delete Files:"));
  FThreadDelete = std::make_unique<TTWThreadDelete>(FList.get(), *Config, &FReceiver);
  FPump->Arm();
  FThreadDelete->Resume();
}

void TFrmMain::WMDeleteFinished() {
  if (!FAutoRun) {
    if (FrmDeleted) FrmDeleted->ShowDeletedFiles(FList.get(), FCanceled);
    repaint();
  }
  ReleaseRun();
  EnableControls(true);
  SetStatusLabel(Translate("Finished"));
  SetStatusValue(std::string());
}

void TFrmMain::ReleaseRun() {
  // Each end message was its thread's last act: these waits are short.
  FThreadFind.reset();
  FThreadDelete.reset();
  FList.reset();
  if (FAutoRun) bbtnCloseClick();
}
