#include "platform/linux/wine_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "platform/tw_platform.h"

namespace {

const char kSessionEnvironment[] =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kProfileList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kWindowsDir[] = "C:\\windows";
// The longest environment value Windows keeps; also bounds expansion of hostile values.
constexpr size_t kMaxValue = 32767;
// The most the variables read from the registry may hold together, each counted as
// "name=value" and its NUL: the environment block limit of the Windows versions this
// program was made for. A value that does not fit is not set, as SetEnvironmentVariable
// would refuse it there; the process's own variables are always set.
constexpr size_t kMaxBlock = 32767;
// What the expansions of one environment may produce together. A value that expands to
// more than the block has room for is dropped, but only after it was expanded; without
// this, a file of many such values would cost their count times the longest value.
constexpr size_t kMaxExpansion = 1 << 20;
constexpr int kMaxLeadingRounds = 8;

std::string Upper(std::string_view S) {
  std::string out(S);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string UnixGet(const TWineSystemInfo& Info, const std::string& Name) {
  return Info.UnixEnv ? Info.UnixEnv(Name) : std::string();
}

// What the Unix environment contributes under a Windows name. Wine keeps the Unix PATH,
// PWD, HOME, TEMP, TMP and the Qt and Vulkan variables away from Windows programs, and
// takes WINETEMP, WINETMP and WINEPATH in their place.
std::string UnixLayer(const TWineSystemInfo& Info, const std::string& Name) {
  const std::string up = Upper(Name);
  if (up == "TEMP") return UnixGet(Info, "WINETEMP");
  if (up == "TMP") return UnixGet(Info, "WINETMP");
  if (up == "PATH") return UnixGet(Info, "WINEPATH");
  if (up == "PWD" || up == "HOME" || up.rfind("QT_", 0) == 0 || up.rfind("VK_", 0) == 0)
    return std::string();
  std::string v = UnixGet(Info, Name);
  if (v.empty() && up != Name) v = UnixGet(Info, up);
  return v;
}

// A Windows environment block: names without regard to ASCII case, over the Unix layer.
class TEnvironment {
 public:
  explicit TEnvironment(const TWineSystemInfo& Info) : FInfo(Info) {}
  bool Get(const std::string& Name, std::string& Value) const {
    const auto it = FVars.find(Upper(Name));
    Value = it != FVars.end() ? it->second : UnixLayer(FInfo, Name);
    return !Value.empty();
  }
  bool Has(const std::string& Name) const { return FVars.count(Upper(Name)) != 0; }
  // A variable of the process itself: always set.
  void Set(const std::string& Name, std::string Value) { Put(Upper(Name), std::move(Value)); }
  // A variable from the registry: set only while the block has room for it. Later blocks
  // add to PATH instead of replacing it.
  void SetOrAppend(const std::string& Name, const std::string& Value) {
    const std::string key = Upper(Name);
    std::string old;
    std::string value =
        key == "PATH" && Get(Name, old) && !Value.empty() ? old + ";" + Value : Value;
    if (value.size() > kMaxValue) value.resize(kMaxValue);
    const auto it = FVars.find(key);
    const size_t freed = it == FVars.end() ? 0 : Cost(key, it->second);
    if (FSize - freed + Cost(key, value) > kMaxBlock) return;
    Put(key, std::move(value));
  }
  // The longest value Name could take now, replacing what it holds.
  size_t RoomFor(const std::string& Name) const {
    const std::string key = Upper(Name);
    const auto it = FVars.find(key);
    const size_t used = FSize - (it == FVars.end() ? 0 : Cost(key, it->second)) + Cost(key, "");
    return used >= kMaxBlock ? 0 : kMaxBlock - used;
  }
  size_t Size() const { return FSize; }
  // Takes what an expansion produced from the budget; 0 when nothing is left.
  size_t ExpansionLeft() const { return FExpansionLeft; }
  void Spend(size_t N) { FExpansionLeft -= N < FExpansionLeft ? N : FExpansionLeft; }

 private:
  static size_t Cost(const std::string& Key, const std::string& Value) {
    return Key.size() + Value.size() + 2;
  }
  void Put(const std::string& Key, std::string Value) {
    if (Value.size() > kMaxValue) Value.resize(kMaxValue);
    auto it = FVars.find(Key);
    if (it != FVars.end()) {
      FSize -= Cost(Key, it->second);
      it->second = std::move(Value);
    } else {
      it = FVars.emplace(Key, std::move(Value)).first;
    }
    FSize += Cost(Key, it->second);
  }

  const TWineSystemInfo& FInfo;
  std::map<std::string, std::string> FVars;
  size_t FSize = 0;
  size_t FExpansionLeft = kMaxExpansion;
};

// ExpandEnvironmentStrings: %NAME% becomes its value; an unknown or empty name stays as
// written, and its closing '%' may open the next name.
std::string Expand(const TEnvironment& Env, std::string_view Text, size_t Limit = kMaxValue) {
  std::string out;
  size_t pos = 0;
  while (pos < Text.size() && out.size() <= Limit) {
    const size_t open = Text.find('%', pos);
    if (open == std::string_view::npos) {
      out.append(Text.substr(pos));
      break;
    }
    out.append(Text.substr(pos, open - pos));
    const size_t close = Text.find('%', open + 1);
    if (close == std::string_view::npos) {
      out.append(Text.substr(open));
      break;
    }
    std::string value;
    if (close > open + 1 && Env.Get(std::string(Text.substr(open + 1, close - open - 1)), value)) {
      out += value;
      pos = close + 1;
    } else {
      out += '%';
      pos = open + 1;
    }
  }
  if (out.size() > Limit) out.resize(Limit + 1);  // still too long for whoever asked
  return out;
}

std::string UpToNul(const std::string& S) {
  return S.substr(0, S.find('\0'));
}

// A REG_SZ or REG_EXPAND_SZ value with some text in it.
bool ReadText(const TWineRegistry* Reg, const char* Key, const std::string& Name, uint32_t& Type,
              std::string& Text) {
  std::string data;
  if (!Reg || !Reg->QueryValue(Key, Name, Type, data)) return false;
  if (Type != REG_SZ && Type != REG_EXPAND_SZ) return false;
  Text = UpToNul(data);
  return !Text.empty();
}

// One registry block of variables: plain strings first, then the expandable ones, which
// see everything set so far.
void ApplyBlock(TEnvironment& Env, const TWineRegistry* Reg, const char* Key) {
  std::vector<std::string> names;
  if (!Reg || !Reg->ValueNames(Key, names)) return;
  for (const uint32_t pass : {REG_SZ, REG_EXPAND_SZ}) {
    for (const std::string& name : names) {
      uint32_t type;
      std::string data;
      if (name.empty() || !Reg->QueryValue(Key, name, type, data) || type != pass) continue;
      const std::string text = UpToNul(data);
      // An expansion need not go beyond what the block could still take: hostile values
      // that each expand to the longest value then cost no more than the file's size.
      if (type != REG_EXPAND_SZ) {
        Env.SetOrAppend(name, text);
        continue;
      }
      if (Env.ExpansionLeft() == 0) continue;
      const size_t limit = std::min({kMaxValue, Env.RoomFor(name), Env.ExpansionLeft()});
      std::string value = Expand(Env, text, limit);
      Env.Spend(value.size() + 1);
      // Cut short by the block or the budget: not set at all, never set shortened.
      if (value.size() > limit && limit < kMaxValue) continue;
      Env.SetOrAppend(name, value);
    }
  }
}

void SetFixed(TEnvironment& Env) {
  Env.Set("SystemDrive", "C:");
  Env.Set("SystemRoot", kWindowsDir);
}

// A ProfileList value, expanded with the variables every process has.
std::string ProfileValue(const TWineSystemInfo& Info, const char* Name, const char* Default) {
  uint32_t type;
  std::string text;
  if (!ReadText(Info.Machine, kProfileList, Name, type, text)) return Default;
  if (type == REG_EXPAND_SZ) {
    TEnvironment base(Info);
    SetFixed(base);
    base.Set("windir", kWindowsDir);
    text = Expand(base, text);
  }
  return text.empty() ? std::string(Default) : text;
}

std::string JoinPath(std::string Dir, std::string_view Rest) {
  while (!Dir.empty() && Dir.back() == '\\' && !Rest.empty() && Rest.front() == '\\')
    Dir.pop_back();
  return Dir + std::string(Rest);
}

std::string ProgramDataDir(const TWineSystemInfo& Info) {
  uint32_t type;
  std::string text;
  if (ReadText(Info.Machine, kShellFolders, "Common AppData", type, text)) return text;
  return ProfileValue(Info, "ProgramData", "C:\\ProgramData");
}

std::string PublicDir(const TWineSystemInfo& Info) {
  return ProfileValue(Info, "Public", "C:\\users\\Public");
}

TEnvironment BuildEnvironment(const TWineSystemInfo& Info) {
  TEnvironment env(Info);
  SetFixed(env);
  env.Set("windir", kWindowsDir);
  ApplyBlock(env, Info.Machine, kSessionEnvironment);
  ApplyBlock(env, Info.User, "Environment");
  ApplyBlock(env, Info.User, "Volatile Environment");
  env.Set("ALLUSERSPROFILE", ProgramDataDir(Info));
  env.Set("ProgramData", ProgramDataDir(Info));
  env.Set("PUBLIC", PublicDir(Info));
  // A prefix whose first start did not fill Volatile Environment still has a profile.
  if (!env.Has("USERPROFILE")) env.Set("USERPROFILE", WineProfileDir(Info));
  if (!env.Has("USERNAME")) env.Set("USERNAME", Info.UserName);
  SetFixed(env);
  return env;
}

// Special-folder rule for a leading variable: the profile folders come from ProfileList,
// never from the environment.
std::string ExpandLeading(const TWineSystemInfo& Info, std::string Text) {
  for (int round = 0; round < kMaxLeadingRounds && !Text.empty() && Text[0] == '%'; ++round) {
    const size_t close = Text.find('%', 1);
    if (close == std::string::npos) break;
    const std::string name = Upper(std::string_view(Text).substr(1, close - 1));
    const std::string_view rest = std::string_view(Text).substr(close + 1);
    std::string next;
    if (name == "USERPROFILE")
      next = JoinPath(WineProfileDir(Info), rest);
    else if (name == "ALLUSERSPROFILE" || name == "PUBLIC")
      next = JoinPath(PublicDir(Info), rest);
    else if (name == "PROGRAMDATA")
      next = JoinPath(ProgramDataDir(Info), rest);
    else if (name == "SYSTEMDRIVE")
      next = JoinPath("C:", rest);
    else
      next = Expand(BuildEnvironment(Info), Text);
    if (next == Text) break;
    Text = std::move(next);
  }
  return Text;
}

struct TFolder {
  int Csidl;
  const char* ValueName;
  const char* Default;  // below the profile
};

const TFolder kFolders[] = {
    {CSIDL_RECENT, "Recent", "AppData\\Roaming\\Microsoft\\Windows\\Recent"},
    {CSIDL_APPDATA, "AppData", "AppData\\Roaming"},
    {CSIDL_LOCAL_APPDATA, "Local AppData", "AppData\\Local"},
    {CSIDL_INTERNET_CACHE, "Cache", "AppData\\Local\\Microsoft\\Windows\\INetCache"},
    {CSIDL_COOKIES, "Cookies", "AppData\\Local\\Microsoft\\Windows\\INetCookies"},
    {CSIDL_HISTORY, "History", "AppData\\Local\\Microsoft\\Windows\\History"},
};

}  // namespace

std::string WineUserName(const std::function<std::string(const std::string&)>& UnixEnv) {
  auto get = [&](const char* Name) { return UnixEnv ? UnixEnv(Name) : std::string(); };
  std::string name = get("USER");
  if (name.empty() || get("HOME").empty()) {
    name.clear();
    std::vector<char> buf(16384);
    passwd pw;
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_name)
      name = pw.pw_name;
  }
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return name.empty() ? "wine" : name;
}

std::string WineProfileDir(const TWineSystemInfo& Info) {
  std::string dir = ProfileValue(Info, "ProfilesDirectory", "C:\\users");
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  const std::string user = Info.UserName.empty() ? WineUserName(Info.UnixEnv) : Info.UserName;
  return JoinPath(dir, "\\" + user);
}

size_t WineEnvironmentSize(const TWineSystemInfo& Info) {
  return BuildEnvironment(Info).Size();
}

std::string WineEnvironmentVariable(const TWineSystemInfo& Info, const std::string& Name) {
  std::string value;
  BuildEnvironment(Info).Get(Name, value);
  return value;
}

std::string WineExpand(const TWineSystemInfo& Info, const std::string& Text) {
  return Expand(BuildEnvironment(Info), Text);
}

std::string WineTempPathRaw(const TWineSystemInfo& Info) {
  const TEnvironment env = BuildEnvironment(Info);
  std::string path;
  if (!env.Get("TMP", path) && !env.Get("TEMP", path) && !env.Get("USERPROFILE", path))
    path = kWindowsDir;
  if (path.back() != '\\') path += '\\';
  return path;
}

bool WineSpecialFolderRaw(const TWineSystemInfo& Info, int Csidl, std::string& Path) {
  if (Csidl == CSIDL_PROFILE) {  // no User Shell Folders value: from ProfileList
    Path = WineProfileDir(Info);
    return true;
  }
  const TFolder* folder = nullptr;
  for (const TFolder& f : kFolders)
    if (f.Csidl == Csidl) folder = &f;
  if (!folder) return false;
  uint32_t type;
  std::string text;
  if (!ReadText(Info.User, kUserShellFolders, folder->ValueName, type, text) &&
      !ReadText(Info.Machine, kUserShellFolders, folder->ValueName, type, text))
    text = std::string("%USERPROFILE%\\") + folder->Default;
  text = ExpandLeading(Info, text);
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  Path = text;
  return true;
}
