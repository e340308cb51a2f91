#include "app/tw_gui_startup.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/tw_frm_about.h"
#include "app/tw_frm_main.h"
#include "app/tw_gui_instance.h"
#include "app/tw_gui_status.h"
#include "app/tw_gui_translate.h"
#include "app/tw_i18n.h"
#include "config/tw_config.h"
#include "dialogs/tw_frm_deleted.h"
#include "dialogs/tw_frm_options.h"
#include "dialogs/tw_frm_select.h"
#include "platform/tw_platform.h"
#include "search/tw_helper.h"

namespace {

constexpr int kExitUsage = 2;

QString Q(const std::string& Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}

}  // namespace

void ShowLocalisationProblem(const std::string& Title, const std::string& Text) {
  auto Show = [Title, Text] {
    QMessageBox Box(QMessageBox::Warning, Q(Title), Q(Text), QMessageBox::Ok,
                    QApplication::activeWindow());
    Box.setObjectName("LocalizationProblemBox");
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
  };
  // Only the main thread shows windows; a lookup elsewhere hands the box over to it.
  if (QCoreApplication::instance() &&
      QThread::currentThread() != QCoreApplication::instance()->thread())
    QMetaObject::invokeMethod(QCoreApplication::instance(), Show, Qt::QueuedConnection);
  else
    Show();
}

int TidewellMain(QApplication& App, const std::vector<std::string>& Args,
                 const TTWStartupOptions& Options) {
  auto step = [&](const char* Name) {
    if (Options.OnStep) Options.OnStep(Name);
  };

  // 1-3. One instance per session: a later start only raises the first one.
  step("RegisterMessage");
  std::unique_ptr<TTWInstance> instance = CreateInstance(TW_INSTANCE_GUID, Options.InstanceFolder);
  const uint32_t instanceMessage = instance->RegisterMessage();
  step("CreateInstanceLock");
  if (instance->AlreadyRunning()) {
    step("Broadcast");
    instance->Broadcast();
    step("CloseInstance");
    instance->Close();
    return 0;
  }
  InstallStatusPanelAccessibility();

  // 4. Fonts are never translated; Qt's own texts come from the same catalog; a catalog
  // that cannot be used is reported once, over whatever window is up.
  ExemptClassFromTranslation("QFont");
  InstallCatalogTranslator();
  SetLocalisationProblemHandler(ShowLocalisationProblem);

  // 5. The helper, in the environment's language.
  step("CreateHelper");
  auto helper = std::make_unique<TTWHelper>();
  Helper = helper.get();

  // 6.
  step("ParseCommandLine");
  TTWCommandLine cmd;
  try {
    cmd = TTWHelper::ParseCommandLine(Args);
  } catch (const ECommandLineError& e) {
    std::fprintf(stderr, "tidewell: %s\n", e.what());
    QMessageBox::critical(nullptr, "Tidewell", Q(e.what()));
    Helper = nullptr;
    instance->Close();
    return kExitUsage;
  }

  // 7. The settings: defaults, then the file.
  step("CreateConfig");
  auto config = std::make_unique<TTWConfig>(cmd.ConfigPath, cmd.ConfigInUserFolder);
  Config = config.get();
  step("LoadConfig");
  config->Load();

  // 8-9. The configured language, and the names again in it.
  step("UseLanguage");
  UseLanguage(config->Current.Language);
  step("LoadNames");
  helper->LoadNames();

  // 10.
  step("SetTitle");
  QApplication::setApplicationDisplayName("Tidewell");

  // 11-13. The windows, the main one first: the others read what it loaded.
  step("CreateFrmMain");
  auto frmMain = std::make_unique<TFrmMain>();
  FrmMain = frmMain.get();
  frmMain->SetInstanceMessage(instanceMessage);
  step("SetAutoRun");
  frmMain->SetAutoRun(cmd.AutoRun);
  step("CreateFrmOptions");
  FrmOptions = new TFrmOptions(frmMain.get());
  step("CreateFrmAbout");
  FrmAbout = new TFrmAbout(frmMain.get());
  step("CreateFrmSelect");
  FrmSelect = new TFrmSelect(frmMain.get());
  step("CreateFrmDeleted");
  FrmDeleted = new TFrmDeleted(frmMain.get());

  // Later starts reach the main window's application-message hook from now on.
  instance->Listen([](uint32_t Msg) {
    if (FrmMain) FrmMain->aeMainAppMessage(Msg);
  });

  // 14. The loop; it ends when the main window closes.
  bool closed = false;
  QObject::connect(frmMain.get(), &TFrmMain::Closed, &App, [&closed] {
    closed = true;
    QCoreApplication::exit(0);
  });
  std::string why;
  if (!Platform().SystemFound(why)) {
    // Said once, over the window, which then shows an empty drive list.
    QTimer::singleShot(0, frmMain.get(), [why] {
      if (FrmMain)
        QMessageBox::warning(FrmMain, QApplication::applicationDisplayName(),
                             "No Windows system was found.\n" + Q(why));
    });
  }
  if (Options.BeforeLoop) Options.BeforeLoop();
  step("MessageLoop");
  frmMain->show();
  if (!closed) App.exec();

  // Shut-down. The window saved the settings as it closed; no worker is left.
  step("FreeConfig");
  Config = nullptr;
  config.reset();
  step("FreeHelper");
  Helper = nullptr;
  helper.reset();
  step("CloseInstance");
  instance->Close();
  // The windows go last; nothing in their destruction uses the settings or the helper.
  FrmDeleted = nullptr;
  FrmSelect = nullptr;
  FrmAbout = nullptr;
  FrmOptions = nullptr;
  frmMain.reset();
  return 0;
}
