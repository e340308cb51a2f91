// Shared pieces of the widget tests: a platform that can hold a worker at a chosen
// folder or file, a driver for modal dialogs, and a whole world (sample prefix, helper,
// settings, the five windows) for runs of the main window.
#pragma once

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/tw_frm_about.h"
#include "app/tw_frm_main.h"
#include "config/tw_config.h"
#include "dialogs/tw_frm_deleted.h"
#include "dialogs/tw_frm_options.h"
#include "dialogs/tw_frm_select.h"
#include "platform/tw_platform.h"
#include "search/tw_helper.h"
#include "support/sample_prefix.h"

// A gate that holds every thread arriving at it until it is opened.
class TGate {
 public:
  void Arrive() {
    std::unique_lock<std::mutex> lock(FLock);
    FReached.store(true);
    FCond.wait(lock, [this] { return FOpen; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FOpen = true;
    }
    FCond.notify_all();
  }
  bool Reached() const { return FReached.load(); }

 private:
  std::mutex FLock;
  std::condition_variable FCond;
  bool FOpen = false;
  std::atomic<bool> FReached{false};
};

// The host platform, with optional gates where a worker waits until the test opens them.
class TGatePlatform : public TTWPlatform {
 public:
  explicit TGatePlatform(std::unique_ptr<TTWPlatform> Inner) : I(std::move(Inner)) {}
  std::string FindText;  // gate the first enumeration of a pattern holding this
  int DeleteAt = 0;      // gate the DeleteAt-th file removal (from 1); 0 never
  std::atomic<int> Deletes{0};
  TGate FindGate, DeleteGate;
  std::atomic<int> Links{0};

  uint32_t GetDriveType(const std::string& R) override { return I->GetDriveType(R); }
  bool GetDiskFreeSpace(const std::string& R, uint64_t& F, uint64_t& T) override {
    return I->GetDiskFreeSpace(R, F, T);
  }
  std::string GetDriveDisplayName(char L) override { return I->GetDriveDisplayName(L); }
  std::string GetWindowsDirectory() override { return I->GetWindowsDirectory(); }
  std::string GetTempPath() override { return I->GetTempPath(); }
  bool GetSpecialFolderPath(int C, std::string& P) override {
    return I->GetSpecialFolderPath(C, P);
  }
  bool GetFullPathName(const std::string& P, std::string& F) override {
    return I->GetFullPathName(P, F);
  }
  std::unique_ptr<TTWFindHandle> FindFirst(const std::string& P, bool Lazy) override {
    if (!FindText.empty() && P.find(FindText) != std::string::npos) FindGate.Arrive();
    return I->FindFirst(P, Lazy);
  }
  bool FindOne(const std::string& P, TTWFindData& D) override { return I->FindOne(P, D); }
  bool DeleteFile(const std::string& P, const TTWFileId& E) override {
    if (++Deletes == DeleteAt) DeleteGate.Arrive();
    return I->DeleteFile(P, E);
  }
  bool RemoveDirectory(const std::string& P, const TTWFileId& E) override {
    return I->RemoveDirectory(P, E);
  }
  int32_t MoveToRecycleBin(const std::string& P, bool D, const TTWFileId& E) override {
    return I->MoveToRecycleBin(P, D, E);
  }
  TTWOpenResult OpenForOverwrite(const std::string& P, const TTWFileId& E,
                                 std::unique_ptr<TTWFile>& F) override {
    return I->OpenForOverwrite(P, E, F);
  }
  bool RegKeyExists(TTWHive H, const std::string& K) override { return I->RegKeyExists(H, K); }
  bool RegQueryValue(TTWHive H, const std::string& K, const std::string& N, uint32_t& T,
                     std::string& D) override {
    return I->RegQueryValue(H, K, N, T, D);
  }
  std::string GetPrivateProfileString(const std::string& S, const std::string& K,
                                      const std::string& D, const std::string& F) override {
    return I->GetPrivateProfileString(S, K, D, F);
  }
  std::string GetProgramFileName() override { return I->GetProgramFileName(); }
  char HostPathDelimiter() override { return I->HostPathDelimiter(); }
  bool ReadWholeFile(const std::string& P, std::string& D) override {
    return I->ReadWholeFile(P, D);
  }
  bool ReplaceFile(const std::string& P, const std::string& D) override {
    return I->ReplaceFile(P, D);
  }
  bool CanWriteFolder(const std::string& F) override { return I->CanWriteFolder(F); }
  std::string GetUserConfigFolder() override { return I->GetUserConfigFolder(); }
  bool CreateFolders(const std::string& F) override { return I->CreateFolders(F); }
  // Never hand a link to the desktop from a test: count it.
  void OpenLink(const std::string&) override { ++Links; }
  bool ShowProperties(const std::string&) override { return true; }
  bool DriveInsideSystem(char L) override { return I->DriveInsideSystem(L); }
  void BeginDeleteRun() override { I->BeginDeleteRun(); }
  void EndDeleteRun() override { I->EndDeleteRun(); }
  std::unique_ptr<TTWIniFile> OpenIniFile(const std::string& F) override {
    return I->OpenIniFile(F);
  }
  bool ReadSmallFile(const std::string& P, size_t L, std::string& D, std::string& W) override {
    return I->ReadSmallFile(P, L, D, W);
  }
  bool GetHostPath(const std::string& P, std::string& H) override { return I->GetHostPath(P, H); }
  bool GetLastWriteTime(const std::string& P, int64_t& S) override {
    return I->GetLastWriteTime(P, S);
  }
  std::string GetEnvironmentVariable(const std::string& N) override {
    return I->GetEnvironmentVariable(N);
  }
  bool GetUserLocale(std::string& L, std::string& C) override { return I->GetUserLocale(L, C); }
  bool QueryPerformanceCounter(uint64_t& C) override { return I->QueryPerformanceCounter(C); }
  uint32_t GetTickCount() override { return I->GetTickCount(); }
  bool SystemFound(std::string& W) override { return I->SystemFound(W); }

 private:
  std::unique_ptr<TTWPlatform> I;
};

// Acts on modal dialogs as they open, from inside their own event loops: polls the
// active modal widget and runs the action registered for its object name once per
// showing.
class TModalDriver : public QObject {
 public:
  using TAction = std::function<void(QWidget*)>;
  TModalDriver() {
    FTimer.setInterval(2);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
    FTimer.start();
  }
  void On(const QString& Name, TAction Action) { FActions[Name] = std::move(Action); }
  // Names of the dialogs seen, in order.
  QStringList Seen;

 private:
  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w == FLast) return;
    if (!w->isVisible()) return;
    FLast = w;
    Seen << w->objectName();
    auto it = FActions.find(w->objectName());
    if (it != FActions.end()) {
      TAction action = it->second;
      action(w);
    }
    QTimer::singleShot(0, this, [this, w] {
      if (QApplication::activeModalWidget() != w) FLast = nullptr;
    });
  }
  QTimer FTimer;
  std::map<QString, TAction> FActions;
  QWidget* FLast = nullptr;
};

inline void ClickChild(QWidget* Dialog, const char* Name) {
  if (auto* b = Dialog->findChild<QAbstractButton*>(Name)) b->click();
}

// Sample prefix, host platform with gates, helper and settings; the windows on demand.
struct TWorld {
  TSamplePrefix Prefix;
  TGatePlatform* Gates = nullptr;
  std::unique_ptr<TTWPlatform> Owned;
  std::unique_ptr<TTWHelper> HelperObj;
  std::unique_ptr<TTWConfig> ConfigObj;
  std::unique_ptr<TFrmMain> Main;

  TWorld() {
    auto gates = std::make_unique<TGatePlatform>(CreateHostPlatform());
    Gates = gates.get();
    Owned = std::move(gates);
    SetPlatform(Owned.get());
    HelperObj = std::make_unique<TTWHelper>();
    Helper = HelperObj.get();
    ConfigObj = std::make_unique<TTWConfig>(SettingsPath());
    Config = ConfigObj.get();
    // A small, known run: the drive search for one mask on C:, nothing else.
    TTWRecordConfig& c = Config->Current;
    c.FileSearchMasks = {"*.twtest"};
    c.Exceptions.FileMasks.clear();
    c.Exceptions.DirectoryMasks.clear();
    c.Browsers = TTWRecordBrowsers{};
    c.AdditionalOptions = {1, 0, 0, 0, 0, 0};
    c.DeleteFiles.DeleteMethod = 0;
    for (TTWDriveEntry& d : c.Drives.Entries) d.Selected = d.Letter == 'C';
  }
  ~TWorld() {
    CloseWindows();
    Config = nullptr;
    ConfigObj.reset();
    Helper = nullptr;
    HelperObj.reset();
    SetPlatform(nullptr);
  }
  std::string SettingsPath() const { return Prefix.Root() + "/system.dat"; }

  TFrmMain* Open(bool AutoRun = false, bool Show = true) {
    QApplication::setApplicationDisplayName("Tidewell");
    Main = std::make_unique<TFrmMain>();
    FrmMain = Main.get();
    Main->SetAutoRun(AutoRun);
    FrmOptions = new TFrmOptions(Main.get());
    FrmAbout = new TFrmAbout(Main.get());
    FrmSelect = new TFrmSelect(Main.get());
    FrmDeleted = new TFrmDeleted(Main.get());
    if (Show) Main->show();
    return Main.get();
  }
  void CloseWindows() {
    FrmOptions = nullptr;
    FrmAbout = nullptr;
    FrmSelect = nullptr;
    FrmDeleted = nullptr;
    Main.reset();
  }
  // Host path of a Windows path, and whether it exists.
  bool Exists(const std::string& WinPath) const {
    struct stat st;
    return lstat(Prefix.HostPath(WinPath).c_str(), &st) == 0;
  }
};
