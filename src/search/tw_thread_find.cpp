#include "search/tw_thread_find.h"

#include <optional>
#include <utility>
#include <vector>

#include "config/tw_config.h"
#include "platform/tw_messages.h"
#include "search/Masks.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "search/tw_mask_set.h"
#include "search/tw_paths.h"

namespace {

constexpr uint8_t kGroupSearch = 0;
constexpr uint8_t kGroupIECookies = 1;
constexpr uint8_t kGroupIECache = 2;
constexpr uint8_t kGroupIEHistory = 3;
constexpr uint8_t kGroupFirefoxCookies = 4;
constexpr uint8_t kGroupFirefoxCache = 5;
constexpr uint8_t kGroupFirefoxHistory = 6;
constexpr uint8_t kGroupOperaCookies = 7;
constexpr uint8_t kGroupOperaCache = 8;
constexpr uint8_t kGroupOperaHistory = 9;
constexpr uint8_t kGroupSafariCookies = 10;
constexpr uint8_t kGroupSafariCache = 11;
constexpr uint8_t kGroupSafariHistory = 12;
constexpr uint8_t kGroupChromeCookies = 13;
constexpr uint8_t kGroupChromeCache = 14;
constexpr uint8_t kGroupChromeHistory = 15;
constexpr uint8_t kGroupTemporary = 16;
constexpr uint8_t kGroupRecent = 17;
constexpr uint8_t kGroupRecycleBin = 18;
constexpr uint8_t kGroupOldUpdates = 19;
constexpr uint8_t kGroupSystemLog = 20;

// Open enumeration handles are bounded by the depth of a walk; Windows paths of that
// depth do not exist in practice, and a tree that changes underneath the walk cannot
// make it run away.
constexpr size_t kMaxDepth = 256;

bool IsDots(const std::string& Name) {
  return Name == "." || Name == "..";
}

bool IsDirectory(const TTWFindData& D) {
  return (D.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A directory that is a link, junction or mount point leads somewhere else: it is
// neither entered nor recorded.
bool IsLinkedDirectory(const TTWFindData& D) {
  return IsDirectory(D) && (D.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsProtectedFile(const TTWFindData& D) {
  return (D.Attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

std::string WithBackslash(const std::string& Folder) {
  if (!Folder.empty() && Folder.back() == '\\') return Folder;
  return Folder + '\\';
}

// An INI integer: decimal or "0x" hexadecimal, optionally signed. False when the text
// is not a number.
bool ParseIniInteger(const std::string& Text, long long& Value) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  int base = 10;
  if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= Text.size()) return false;
  unsigned long long v = 0;
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (v > 0xFFFFFFFFull) return false;
  }
  Value = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
  return true;
}

// A profile path from profiles.ini must not climb out of where it is put: "." and ".."
// components are refused.
bool HasDotComponent(const std::string& Path) {
  size_t start = 0;
  while (start <= Path.size()) {
    size_t end = Path.find('\\', start);
    if (end == std::string::npos) end = Path.size();
    const std::string part = Path.substr(start, end - start);
    if (part == "." || part == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

TTWThreadFind::TTWThreadFind(TTWFileList* FileList, const TTWConfig& Cfg,
                             TTWMessageReceiver* Target)
    : FFileList(FileList), FCfg(Cfg), FTarget(Target) {
  TTWHelper::CreateMasks(FSearchMasks, Cfg.Current.FileSearchMasks);
  TTWHelper::CreateMasks(FDirectoryExceptions, Cfg.Current.Exceptions.DirectoryMasks);
}

TTWThreadFind::~TTWThreadFind() {
  WaitFor();
  TTWHelper::FreeMasks(FSearchMasks);
  TTWHelper::FreeMasks(FDirectoryExceptions);
}

void TTWThreadFind::Execute() {
  try {
    if (!Terminated()) FindInDrives();
    if (!Terminated()) FindInBrowsers();
    if (!Terminated()) FindAdditional();
  } catch (...) {
    // Out of memory or the like: end the search with what was found; the main window
    // must still get its end message.
  }
  if (Terminated()) ShowStatus(std::string());
  if (FTarget) FTarget->PostMessage(WM_FINDFINISHED, 0, 0);
}

void TTWThreadFind::ShowStatus(const std::string& Text) {
  if (FTarget) FTarget->SendMessage(WM_SHOWSTATUS, 0, reinterpret_cast<TTWLParam>(Text.c_str()));
}

bool TTWThreadFind::IsDirectoryException(const std::string& Name) const {
  return TTWHelper::MatchesAny(FDirectoryExceptions, Name);
}

bool TTWThreadFind::Wants(uint8_t Option) const {
  return Option != 0 && !Terminated();
}

// --- Start-folder check

bool TTWThreadFind::CheckPath(const std::string& Path, bool CheckDrive) const {
  if (Path.empty()) return false;
  const std::string path = WithBackslash(Path);
  const auto& drives = FCfg.Current.Drives.Entries;
  if (drives.empty()) return false;
  if (CheckDrive) {
    bool ticked = false;
    for (const TTWDriveEntry& d : drives) {
      if (d.Letter == path[0] && d.Selected) {
        ticked = true;
        break;
      }
    }
    if (!ticked) return false;
  }
  size_t start = path.find('\\') + 1;
  while (start < path.size()) {
    const size_t end = path.find('\\', start);
    if (end == std::string::npos) break;
    if (end > start && IsDirectoryException(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

// --- Collection primitives

void TTWThreadFind::AddTree(const std::string& Folder, uint8_t Group) {
  const std::string folder = WithBackslash(Folder);
  WalkFrom(Platform().FindFirst(folder + "*.*", false), folder, true, Group);
}

void TTWThreadFind::SearchDrive(const std::string& Folder) {
  const std::string folder = WithBackslash(Folder);
  WalkFrom(Platform().FindFirst(folder + "*.*", true), folder, false, kGroupSearch);
}

void TTWThreadFind::WalkFrom(std::unique_ptr<TTWFindHandle> Start, const std::string& Folder,
                             bool RecordTree, uint8_t Group) {
  if (!Start) return;
  const bool lazy = !RecordTree;
  struct TLevel {
    std::unique_ptr<TTWFindHandle> Handle;
    std::string Folder;  // with a trailing backslash
    bool Started = false;
  };
  // An explicit stack instead of recursion: the depth of a tree on disk must not decide
  // how much of the thread's stack the walk takes.
  std::vector<TLevel> stack;
  stack.push_back({std::move(Start), WithBackslash(Folder), false});
  // Every file of a drive meets the search masks: tested as one set, each name meets
  // only the few masks that can match its last byte.
  std::optional<TTWMaskSet> search;
  if (lazy) search.emplace(FSearchMasks, FCfg.Current.FileSearchMasks);
  TTWFindData d;
  while (!stack.empty()) {
    TLevel& top = stack.back();
    // Each folder handles its first entry even after a stop was requested; later
    // entries only while none is.
    bool got = top.Handle->Next(d);
    if (got && top.Started && Terminated()) got = false;
    top.Started = true;
    if (!got) {
      stack.pop_back();
      continue;
    }
    if (IsDots(d.Name)) continue;
    if (IsDirectory(d)) {
      if (IsLinkedDirectory(d) || IsDirectoryException(d.Name)) continue;
      const std::string path = top.Folder + d.Name;
      if (RecordTree)
        FFileList->Add(path, static_cast<int64_t>(d.Size), TW_KIND_DIRECTORY, Group, d.Id);
      ShowStatus(path);
      if (stack.size() >= kMaxDepth) continue;
      std::unique_ptr<TTWFindHandle> child = top.Handle->FindFirstIn(d, "*.*", lazy);
      if (child) stack.push_back({std::move(child), path + '\\', false});  // top is stale now
      continue;
    }
    // A file, or a link that does not lead to a directory: recorded as itself.
    if (lazy) {
      if (!search->Matches(d.Name)) continue;
      if (!d.HasDetails && !top.Handle->Details(d)) continue;
    }
    if (IsProtectedFile(d)) continue;
    FFileList->Add(top.Folder + d.Name, static_cast<int64_t>(d.Size), TW_KIND_FILE, Group, d.Id);
  }
}

void TTWThreadFind::AddMatching(const std::string& Folder, const std::string& Pattern,
                                uint8_t Group) {
  const std::string folder = WithBackslash(Folder);
  std::unique_ptr<TTWFindHandle> h = Platform().FindFirst(folder + Pattern, false);
  if (!h) return;
  TTWFindData d;
  bool first = true;
  while (h->Next(d)) {
    if (!first && Terminated()) break;
    first = false;
    if (IsDots(d.Name) || IsDirectory(d) || IsProtectedFile(d)) continue;
    FFileList->Add(folder + d.Name, static_cast<int64_t>(d.Size), TW_KIND_FILE, Group, d.Id);
  }
}

// --- Step 1: the ticked drives

void TTWThreadFind::FindInDrives() {
  const TTWRecordConfig& cfg = FCfg.Current;
  if (!cfg.AdditionalOptions.FileSearchMasks || cfg.FileSearchMasks.empty()) return;
  for (const TTWDriveEntry& drive : cfg.Drives.Entries) {
    if (!drive.Selected) continue;
    if (!TTWPaths::IsFixedDrive(drive.Letter) && !TTWPaths::IsDriveReady(drive.Letter)) continue;
    SearchDrive(std::string(1, drive.Letter) + ":\\");
  }
}

// --- Step 2: browser data

void TTWThreadFind::FindInBrowsers() {
  FindInternetExplorer();
  FindFirefox();
  FindOpera();
  FindSafari();
  FindChrome();
}

void TTWThreadFind::FindInternetExplorer() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.InternetExplorer || !b.InternetExplorer) return;
  if (Wants(b.Options.Cookies)) {
    const std::string p = TTWPaths::GetIECookiesDir();
    if (CheckPath(p, true)) AddTree(p, kGroupIECookies);
  }
  if (Wants(b.Options.Cache)) {
    const std::string p = TTWPaths::GetIECacheDir();
    if (CheckPath(p, true)) AddTree(p, kGroupIECache);
  }
  if (Wants(b.Options.History)) {
    const std::string p = TTWPaths::GetIEHistoryDir();
    if (CheckPath(p, true)) AddTree(p, kGroupIEHistory);
  }
}

void TTWThreadFind::FindFirefox() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.Firefox || !b.Firefox) return;
  // Without a roaming folder there is no profiles.ini to read; a path made of the bare
  // suffix would be taken relative to wherever the system happens to be.
  if (TTWPaths::GetAppDataDir().empty()) return;
  const std::string roaming = TTWPaths::GetFirefoxDir() + "\\";
  const std::string local = TTWPaths::GetFirefoxLocalDir() + "\\";
  const std::string ini = roaming + "profiles.ini";
  for (unsigned i = 0; !Terminated(); ++i) {
    const std::string section = "Profile" + std::to_string(i);
    std::string p = Platform().GetPrivateProfileString(section, "Path", "", ini);
    if (p.empty()) break;
    long long value = 0;
    const std::string relativeText =
        Platform().GetPrivateProfileString(section, "IsRelative", "", ini);
    const bool relative = !ParseIniInteger(relativeText, value) || value != 0;
    std::string localPath;
    if (relative) {
      localPath = local + p;
      p = roaming + p;
    }
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    for (char& c : localPath) {
      if (c == '/') c = '\\';
    }
    if (HasDotComponent(p)) continue;
    if (CheckPath(p, true)) {
      FirefoxCookies(p);
      if (!relative) FirefoxCache(p);
      FirefoxHistory(p);
    }
    if (relative && CheckPath(localPath, true)) FirefoxCache(localPath);
  }
}

void TTWThreadFind::FirefoxCookies(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.Cookies)) return;
  FFileList->AddFile(F + "\\cookies.txt", kGroupFirefoxCookies);
  FFileList->AddFile(F + "\\cookies.sqlite", kGroupFirefoxCookies);
}

void TTWThreadFind::FirefoxCache(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.Cache)) return;
  if (CheckPath("\\Cache", false)) AddTree(F + "\\Cache", kGroupFirefoxCache);
  if (CheckPath("\\OfflineCache", false)) AddTree(F + "\\OfflineCache", kGroupFirefoxCache);
}

void TTWThreadFind::FirefoxHistory(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.History)) return;
  FFileList->AddFile(F + "\\history.dat", kGroupFirefoxHistory);
  FFileList->AddFile(F + "\\formhistory.sqlite", kGroupFirefoxHistory);
  FFileList->AddFile(F + "\\places.sqlite", kGroupFirefoxHistory);
}

void TTWThreadFind::FindOpera() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.Opera || !b.Opera) return;
  const std::pair<std::string, std::string> layouts[] = {
      {TTWPaths::GetOperaDir(), TTWPaths::GetOperaLocalDir()},
      {TTWPaths::GetOperaProfileDir(), TTWPaths::GetOperaLocalProfileDir()},
  };
  for (const auto& [roaming, local] : layouts) {
    if (CheckPath(roaming, true)) {
      OperaCookies(roaming);
      OperaHistory(roaming);
    }
    if (CheckPath(local, true)) OperaCache(local);
  }
}

void TTWThreadFind::OperaCookies(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.Cookies)) return;
  FFileList->AddFile(F + "\\cookies4.dat", kGroupOperaCookies);
}

void TTWThreadFind::OperaCache(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.Cache)) return;
  if (CheckPath("\\cache4", false)) AddTree(F + "\\cache4", kGroupOperaCache);
  if (CheckPath("\\cache", false)) AddTree(F + "\\cache", kGroupOperaCache);
}

void TTWThreadFind::OperaHistory(const std::string& F) {
  if (!Wants(FCfg.Current.Browsers.Options.History)) return;
  FFileList->AddFile(F + "\\global.dat", kGroupOperaHistory);
  FFileList->AddFile(F + "\\global_history.dat", kGroupOperaHistory);
}

void TTWThreadFind::FindSafari() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.Safari || !b.Safari) return;
  const std::string roaming = TTWPaths::GetSafariDir();
  const std::string local = TTWPaths::GetSafariLocalDir();
  if (CheckPath(roaming, true)) {
    if (Wants(b.Options.Cookies)) {
      FFileList->AddFile(roaming + "\\Cookies\\Cookies.plist", kGroupSafariCookies);
    }
    if (Wants(b.Options.History))
      FFileList->AddFile(roaming + "\\History.plist", kGroupSafariHistory);
  }
  if (CheckPath(local, true) && Wants(b.Options.Cache)) {
    FFileList->AddFile(local + "\\Cache.db", kGroupSafariCache);
  }
}

void TTWThreadFind::FindChrome() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.Chrome || !b.Chrome) return;
  const std::string base = TTWPaths::GetChromeDir();
  if (!CheckPath(base, true)) return;
  if (Wants(b.Options.Cookies)) {
    FFileList->AddFile(base + "\\User Data\\Default\\Cookies", kGroupChromeCookies);
  }
  if (Wants(b.Options.Cache) && CheckPath("\\User Data\\Default\\Cache", false)) {
    AddTree(base + "\\User Data\\Default\\Cache", kGroupChromeCache);
  }
  if (Wants(b.Options.History)) {
    AddMatching(base + "\\User Data\\Default", "History*", kGroupChromeHistory);
  }
}

// --- Step 3: system locations

void TTWThreadFind::FindAdditional() {
  FindTemporaryDirectory();
  FindRecentDocuments();
  FindRecycleBin();
  FindOldUpdateFiles();
  FindSystemLog();
}

void TTWThreadFind::FindTemporaryDirectory() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.TemporaryDirectory) return;
  const std::string user = TTWPaths::GetTempDir();
  const std::string windows = TTWPaths::GetWindowsTempDir();
  if (CheckPath(user, true)) AddTree(user, kGroupTemporary);
  std::string userBare = user;
  if (!userBare.empty() && userBare.back() == '\\') userBare.pop_back();
  if (userBare != windows && CheckPath(windows, true)) AddTree(windows, kGroupTemporary);
}

void TTWThreadFind::FindRecentDocuments() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.RecentDocuments) return;
  const std::string p = TTWPaths::GetRecentDir();
  if (CheckPath(p, true)) AddTree(p, kGroupRecent);
}

void TTWThreadFind::FindRecycleBin() {
  const TTWRecordConfig& cfg = FCfg.Current;
  if (Terminated() || !cfg.AdditionalOptions.RecycleBin) return;
  // Moving to the Recycle Bin and emptying it in the same run would lose the files.
  if (cfg.DeleteFiles.DeleteMethod == 1) return;
  for (const TTWDriveEntry& drive : cfg.Drives.Entries) {
    if (!drive.Selected || !TTWPaths::IsFixedDrive(drive.Letter)) continue;
    FindRecycled(TTWPaths::GetRecycledDir(drive.Letter));
    FindRecyclerUsers(TTWPaths::GetRecyclerDir(drive.Letter));
    FindRecyclerUsers(TTWPaths::GetRecycleBinDir(drive.Letter));
  }
}

void TTWThreadFind::FindRecycled(const std::string& Folder) {
  TTWFindData info;
  if (!Platform().FindOne(Folder + "\\INFO2", info) || IsDirectory(info)) return;
  if (CheckPath(Folder, false)) AddTree(Folder, kGroupRecycleBin);
}

void TTWThreadFind::FindRecyclerUsers(const std::string& Folder) {
  if (!CheckPath(Folder, false)) return;
  std::unique_ptr<TTWFindHandle> h = Platform().FindFirst(Folder + "\\S-1-5-21-*-*-*-*", false);
  if (!h) return;
  TTWFindData d;
  bool first = true;
  while (h->Next(d)) {
    if (!first && Terminated()) break;
    first = false;
    if (IsDots(d.Name) || IsDirectoryException(d.Name)) continue;
    if (!IsDirectory(d) || IsLinkedDirectory(d)) continue;
    const std::string path = Folder + "\\" + d.Name;
    WalkFrom(h->FindFirstIn(d, "*.*", false), path, true, kGroupRecycleBin);
  }
}

void TTWThreadFind::FindOldUpdateFiles() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.OldUpdateFiles) return;
  const std::string windows = TTWPaths::GetWindowsDir();
  if (CheckPath(windows, true)) {
    std::unique_ptr<TTWFindHandle> h = Platform().FindFirst(windows + "\\$*$", false);
    if (h) {
      TTWFindData d;
      bool first = true;
      while (h->Next(d)) {
        if (!first && Terminated()) break;
        first = false;
        if (IsDots(d.Name) || IsDirectoryException(d.Name)) continue;
        // Only real folders are update folders; a file or a link of that name is not.
        if (!IsDirectory(d) || IsLinkedDirectory(d)) continue;
        const std::string path = windows + "\\" + d.Name;
        FFileList->Add(path, static_cast<int64_t>(d.Size), TW_KIND_DIRECTORY, kGroupOldUpdates,
                       d.Id);
        WalkFrom(h->FindFirstIn(d, "*.*", false), path, true, kGroupOldUpdates);
      }
    }
  }
  const std::string download = TTWPaths::GetUpdateDownloadDir();
  if (CheckPath(download, true)) AddTree(download, kGroupOldUpdates);
}

void TTWThreadFind::FindSystemLog() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.SystemLog) return;
  const std::string p = TTWPaths::GetSystemLogDir();
  if (CheckPath(p, true)) AddTree(p, kGroupSystemLog);
}
