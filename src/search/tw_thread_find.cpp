#include "search/tw_thread_find.h"

#include <algorithm>
#include <new>
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

// A profiles.ini is written by whoever can write the roaming folder; real ones list a
// handful of profiles.
constexpr unsigned kMaxFirefoxProfiles = 1000;

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

std::string UpperAscii(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return S;
}

std::string WithoutBackslash(std::string Path) {
  if (!Path.empty() && Path.back() == '\\') Path.pop_back();
  return Path;
}

// Whether two folder paths name one folder as the file system resolves them: the same
// object where both can be looked up, else the same text regardless of ASCII case (the
// file system's own rule for the names it stores).
bool SameFolder(const std::string& A, const std::string& B) {
  const std::string a = WithoutBackslash(A), b = WithoutBackslash(B);
  TTWFindData da, db;
  if (Platform().FindOne(a, da) && Platform().FindOne(b, db) && da.Id.Valid() && db.Id.Valid())
    return da.Id == db.Id;
  return UpperAscii(a) == UpperAscii(b);
}

// "X:\a\b" (either separator, a trailing one allowed) as its upper-case drive letter and
// its components. False for anything else: relative texts, a drive without a root, UNC
// names, and "." or ".." components, which a path the system resolved no longer has.
bool SplitFullPath(const std::string& Path, char& Letter, std::vector<std::string>& Comps) {
  Comps.clear();
  if (Path.size() < 3 || Path[1] != ':' || (Path[2] != '\\' && Path[2] != '/')) return false;
  Letter = Path[0];
  if (Letter >= 'a' && Letter <= 'z') Letter = static_cast<char>(Letter - 32);
  if (Letter < 'A' || Letter > 'Z') return false;
  size_t start = 3;
  while (start < Path.size()) {
    size_t end = Path.find_first_of("\\/", start);
    if (end == std::string::npos) end = Path.size();
    const std::string part = Path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    Comps.push_back(part);
    start = end + 1;
  }
  return true;
}

}  // namespace

const char* SkipReasonId(TTWSkipReason Reason) {
  switch (Reason) {
    case TTWSkipReason::NotFullPath:
      return "not-full-path";
    case TTWSkipReason::DriveRoot:
      return "drive-root";
    case TTWSkipReason::OutsideSystem:
      return "outside-system";
    case TTWSkipReason::LinkOrMountPoint:
      return "link-or-mount-point";
    case TTWSkipReason::WindowsFolder:
      return "windows-folder";
    case TTWSkipReason::HoldsWindowsFolder:
      return "holds-windows-folder";
    case TTWSkipReason::ProfileFolder:
      return "profile-folder";
    case TTWSkipReason::HoldsProfileFolder:
      return "holds-profile-folder";
    case TTWSkipReason::ProfilesFolder:
      return "profiles-folder";
    case TTWSkipReason::HoldsProfilesFolder:
      return "holds-profiles-folder";
    case TTWSkipReason::OutOfMemory:
      return "out-of-memory";
    case TTWSkipReason::SearchStopped:
      return "search-stopped";
  }
  return "unknown";
}

const char* SkipReasonText(TTWSkipReason Reason) {
  switch (Reason) {
    case TTWSkipReason::NotFullPath:
      return "is not a full path on a drive";
    case TTWSkipReason::DriveRoot:
      return "is a whole drive";
    case TTWSkipReason::OutsideSystem:
      return "is on a drive outside the Windows system";
    case TTWSkipReason::LinkOrMountPoint:
      return "is or lies behind a link or a mount point";
    case TTWSkipReason::WindowsFolder:
      return "is the Windows folder";
    case TTWSkipReason::HoldsWindowsFolder:
      return "holds the Windows folder";
    case TTWSkipReason::ProfileFolder:
      return "is the user's profile folder";
    case TTWSkipReason::HoldsProfileFolder:
      return "holds the user's profile folder";
    case TTWSkipReason::ProfilesFolder:
      return "is the folder holding the profiles";
    case TTWSkipReason::HoldsProfilesFolder:
      return "holds the folder holding the profiles";
    case TTWSkipReason::OutOfMemory:
      return "ran out of memory; the search went on without it";
    case TTWSkipReason::SearchStopped:
      return "the search stopped early after an unexpected failure";
  }
  return "unknown";
}

TTWThreadFind::TTWThreadFind(TTWFileList* FileList, const TTWConfig& Cfg,
                             TTWMessageReceiver* Target)
    : FFileList(FileList), FCfg(Cfg), FTarget(Target) {
  TTWHelper::CreateMasks(FSearchMasks, Cfg.Current.FileSearchMasks);
  TTWHelper::CreateMasks(FDirectoryExceptions, Cfg.Current.Exceptions.DirectoryMasks);
  // Room for the usual few records, so recording one rarely needs memory.
  FSkipped.reserve(16);
}

TTWThreadFind::~TTWThreadFind() {
  WaitFor();
  EndReadAhead();
  TTWHelper::FreeMasks(FSearchMasks);
  TTWHelper::FreeMasks(FDirectoryExceptions);
}

void TTWThreadFind::Execute() {
  try {
    if (!Terminated()) Guarded(kGroupSearch, [this] { FindInDrives(); });
    if (!Terminated()) FindInBrowsers();
    if (!Terminated()) FindAdditional();
  } catch (...) {
    // Each step handles running out of memory itself; anything else ends the search with
    // what was found, said as such. The main window must still get its end message.
    Skip(kGroupSearch, std::string(), TTWSkipReason::SearchStopped);
  }
  // The read-ahead's threads are gone before the run says it is over.
  EndReadAhead();
  if (Terminated()) ShowStatus(std::string());
  if (FTarget) FTarget->PostMessage(WM_FINDFINISHED, 0, 0);
}

void TTWThreadFind::EndReadAhead() {
  if (!FReadAhead) return;
  FReadAheadStats = FReadAhead->Stats();
  FReadAhead.reset();
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

// --- Locations collected whole

void TTWThreadFind::Skip(uint8_t Group, const std::string& Path, TTWSkipReason Reason) {
  try {
    FSkipped.push_back({Group, Path, Reason});
  } catch (...) {
    // Nothing left to record it with.
  }
}

template <class TStep>
void TTWThreadFind::Guarded(uint8_t Group, TStep&& Step) {
  try {
    Step();
  } catch (const std::bad_alloc&) {
    Skip(Group, std::string(), TTWSkipReason::OutOfMemory);
  }
}

void TTWThreadFind::PrepareGuards() {
  if (FGuardsReady) return;
  FGuardsReady = true;
  const std::string windows = TTWPaths::GetWindowsDir();
  const std::string profile = TTWPaths::GetLongPath(TTWPaths::GetSpecialFolder(CSIDL_PROFILE));
  auto add = [this](const std::string& Path, bool Parent, TTWSkipReason Is, TTWSkipReason Holds) {
    TGuard g;
    std::vector<std::string> comps;
    if (!SplitFullPath(Path, g.Letter, comps)) return;
    if (Parent && !comps.empty()) comps.pop_back();
    if (comps.empty()) return;
    g.Is = Is;
    g.Holds = Holds;
    std::string path(1, g.Letter);
    path += ':';
    for (const std::string& c : comps) {
      path += '\\' + c;
      TTWFindData d;
      g.Ids.push_back(Platform().FindOne(path, d) ? d.Id : TTWFileId());
      g.Comps.push_back(UpperAscii(c));
    }
    FGuards.push_back(std::move(g));
  };
  add(windows, false, TTWSkipReason::WindowsFolder, TTWSkipReason::HoldsWindowsFolder);
  // The folder holding the profiles first: a folder that holds it holds the profile too,
  // and is better named by the outer one.
  add(profile, true, TTWSkipReason::ProfilesFolder, TTWSkipReason::HoldsProfilesFolder);
  add(profile, false, TTWSkipReason::ProfileFolder, TTWSkipReason::HoldsProfileFolder);
}

bool TTWThreadFind::UseLocation(const std::string& Folder, uint8_t Group) {
  char letter = 0;
  std::vector<std::string> comps;
  if (!SplitFullPath(Folder, letter, comps)) {
    Skip(Group, Folder, TTWSkipReason::NotFullPath);
    return false;
  }
  if (comps.empty()) {
    Skip(Group, Folder, TTWSkipReason::DriveRoot);
    return false;
  }
  // Down from the drive root: every folder on the way must be there as a plain folder. A
  // walk would not leave the file system it starts on, nor would a deletion reach below a
  // mount point, so a start folder behind one could list only what no method removes.
  std::string path(1, letter);
  path += ':';
  TTWFindData d;
  for (const std::string& c : comps) {
    path += '\\' + c;
    if (!Platform().FindOne(path, d) || !IsDirectory(d)) return false;  // nothing to collect
    if (d.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      Skip(Group, Folder, TTWSkipReason::LinkOrMountPoint);
      return false;
    }
  }
  if (!Platform().DriveInsideSystem(letter)) {
    Skip(Group, Folder, TTWSkipReason::OutsideSystem);
    return false;
  }
  const TTWFileId id = d.Id;
  std::vector<std::string> upper;
  for (const std::string& c : comps) upper.push_back(UpperAscii(c));
  // Compared by name and, where the platform knows it, by identity, so that another
  // spelling or another drive leading to the same folder is caught as well.
  PrepareGuards();
  for (const TGuard& g : FGuards) {
    if ((g.Letter == letter && g.Comps == upper) || (id.Valid() && g.Ids.back() == id)) {
      Skip(Group, Folder, g.Is);
      return false;
    }
  }
  for (const TGuard& g : FGuards) {
    bool holds = g.Letter == letter && upper.size() < g.Comps.size() &&
                 std::equal(upper.begin(), upper.end(), g.Comps.begin());
    for (size_t i = 0; !holds && id.Valid() && i + 1 < g.Ids.size(); ++i) holds = g.Ids[i] == id;
    if (holds) {
      Skip(Group, Folder, g.Holds);
      return false;
    }
  }
  std::string text(1, letter);
  for (const std::string& c : upper) text += '\\' + c;
  if (std::find(FWalkedTexts.begin(), FWalkedTexts.end(), text) != FWalkedTexts.end()) return false;
  if (id.Valid() && std::find(FWalked.begin(), FWalked.end(), id) != FWalked.end()) return false;
  FWalkedTexts.push_back(text);
  if (id.Valid()) FWalked.push_back(id);
  return true;
}

void TTWThreadFind::AddLocation(const std::string& Folder, uint8_t Group) {
  if (UseLocation(Folder, Group)) AddTree(Folder, Group);
}

void TTWThreadFind::AddSystemFolder(const std::string& Folder, uint8_t Group) {
  // A relative text would fail the drive check silently, or pass it by the chance of its
  // first letter; either way it is reported for what it is.
  char letter = 0;
  std::vector<std::string> comps;
  if (!Folder.empty() && !SplitFullPath(Folder, letter, comps)) {
    Skip(Group, Folder, TTWSkipReason::NotFullPath);
    return;
  }
  if (CheckPath(Folder, true)) AddLocation(Folder, Group);
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
  if (!FReadAheadMade) {
    FReadAheadMade = true;
    FReadAhead = Platform().CreateReadAhead([this] { return Terminated(); });
  }
  // Whatever ends the walk, a thrown out-of-memory included, ends its read-ahead.
  struct TReadAheadWalk {
    TTWReadAhead* Pool;
    ~TReadAheadWalk() {
      if (Pool) Pool->End();
    }
  } readAhead{FReadAhead && FReadAhead->Begin(*Start) ? FReadAhead.get() : nullptr};
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
      if (IsDirectoryException(d.Name)) continue;
      if (IsLinkedDirectory(d)) {
        // A link to a folder goes as the link it is, never entered; a mount point stays.
        if (RecordTree && d.ReparseTag == IO_REPARSE_TAG_SYMLINK)
          FFileList->Add(top.Folder + d.Name, static_cast<int64_t>(d.Size), TW_KIND_FILE, Group,
                         d.Id);
        continue;
      }
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
  Guarded(kGroupIECookies, [this] { FindInternetExplorer(); });
  Guarded(kGroupFirefoxCookies, [this] { FindFirefox(); });
  Guarded(kGroupOperaCookies, [this] { FindOpera(); });
  Guarded(kGroupSafariCookies, [this] { FindSafari(); });
  Guarded(kGroupChromeCookies, [this] { FindChrome(); });
}

void TTWThreadFind::FindInternetExplorer() {
  const TTWRecordBrowsers& b = FCfg.Current.Browsers;
  if (Terminated() || !FCfg.Installed.InternetExplorer || !b.InternetExplorer) return;
  if (Wants(b.Options.Cookies)) {
    const std::string p = TTWPaths::GetIECookiesDir();
    AddSystemFolder(p, kGroupIECookies);
  }
  if (Wants(b.Options.Cache)) {
    const std::string p = TTWPaths::GetIECacheDir();
    AddSystemFolder(p, kGroupIECache);
  }
  if (Wants(b.Options.History)) {
    const std::string p = TTWPaths::GetIEHistoryDir();
    AddSystemFolder(p, kGroupIEHistory);
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
  // Read once for all its profiles, however many sections it has.
  const std::unique_ptr<TTWIniFile> ini = Platform().OpenIniFile(roaming + "profiles.ini");
  for (unsigned i = 0; i < kMaxFirefoxProfiles && !Terminated(); ++i) {
    const std::string section = "Profile" + std::to_string(i);
    std::string p = ini->GetString(section, "Path", "");
    if (p.empty()) break;
    long long value = 0;
    const std::string relativeText = ini->GetString(section, "IsRelative", "");
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
  if (CheckPath("\\Cache", false)) AddLocation(F + "\\Cache", kGroupFirefoxCache);
  if (CheckPath("\\OfflineCache", false)) AddLocation(F + "\\OfflineCache", kGroupFirefoxCache);
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
  if (CheckPath("\\cache4", false)) AddLocation(F + "\\cache4", kGroupOperaCache);
  if (CheckPath("\\cache", false)) AddLocation(F + "\\cache", kGroupOperaCache);
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
    AddLocation(base + "\\User Data\\Default\\Cache", kGroupChromeCache);
  }
  if (Wants(b.Options.History)) {
    AddMatching(base + "\\User Data\\Default", "History*", kGroupChromeHistory);
  }
}

// --- Step 3: system locations

void TTWThreadFind::FindAdditional() {
  Guarded(kGroupTemporary, [this] { FindTemporaryDirectory(); });
  Guarded(kGroupRecent, [this] { FindRecentDocuments(); });
  Guarded(kGroupRecycleBin, [this] { FindRecycleBin(); });
  Guarded(kGroupOldUpdates, [this] { FindOldUpdateFiles(); });
  Guarded(kGroupSystemLog, [this] { FindSystemLog(); });
}

void TTWThreadFind::FindTemporaryDirectory() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.TemporaryDirectory) return;
  const std::string user = TTWPaths::GetTempDir();
  const std::string windows = TTWPaths::GetWindowsTempDir();
  AddSystemFolder(user, kGroupTemporary);
  if (!SameFolder(user, windows) && CheckPath(windows, true)) AddLocation(windows, kGroupTemporary);
}

void TTWThreadFind::FindRecentDocuments() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.RecentDocuments) return;
  const std::string p = TTWPaths::GetRecentDir();
  AddSystemFolder(p, kGroupRecent);
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
  AddSystemFolder(download, kGroupOldUpdates);
}

void TTWThreadFind::FindSystemLog() {
  if (Terminated() || !FCfg.Current.AdditionalOptions.SystemLog) return;
  const std::string p = TTWPaths::GetSystemLogDir();
  AddSystemFolder(p, kGroupSystemLog);
}
