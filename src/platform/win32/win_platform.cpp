// The host platform on Windows: the services answered by the Windows API itself. Paths
// and names cross into the core as 8-bit text in the ANSI code page, converted exactly
// (see win_text.h); the file system is reached as described in win_fs.h.
#include "platform/win32/win_fs.h"
// After the platform headers (see win_fs.h).
#include <shellapi.h>
#include <shlobj.h>
#include <algorithm>

#include "platform/win32/win_unmacro.h"

#include <string>
#include <vector>

using namespace tww;

namespace {

constexpr DWORD kPathBuffer = MAX_PATH;  // what the program's A calls are given

bool DriveRoot(const std::string& Root, std::string& Out) {
  if (Root.size() < 2 || Root.size() > 3 || Root[1] != ':') return false;
  if (Root.size() == 3 && Root[2] != '\\' && Root[2] != '/') return false;
  const char L = static_cast<char>(Root[0] & ~0x20);
  if (L < 'A' || L > 'Z') return false;
  Out = std::string(1, L) + ":\\";
  return true;
}

class TWinPlatform : public TTWPlatform {
 public:
  // --- Drives and system folders

  uint32_t GetDriveType(const std::string& Root) override {
    std::string R;
    if (!DriveRoot(Root, R)) return DRIVE_NO_ROOT_DIR;
    return GetDriveTypeA(R.c_str());
  }

  bool GetDiskFreeSpace(const std::string& Root, uint64_t& FreeBytes,
                        uint64_t& TotalBytes) override {
    std::string R;
    if (!DriveRoot(Root, R)) return false;
    // No "insert a disk" dialog for an empty drive.
    const UINT Old = SetErrorMode(SEM_FAILCRITICALERRORS);
    ULARGE_INTEGER Avail, Total, Free;
    const BOOL Ok = GetDiskFreeSpaceExA(R.c_str(), &Avail, &Total, &Free);
    SetErrorMode(Old);
    if (!Ok) return false;
    FreeBytes = Avail.QuadPart;
    TotalBytes = Total.QuadPart;
    return true;
  }

  std::string GetDriveDisplayName(char Letter) override {
    const char U = static_cast<char>(Letter & ~0x20);
    const std::string Root = std::string(1, U) + ":\\";
    SHFILEINFOA Info{};
    if (SHGetFileInfoA(Root.c_str(), 0, &Info, sizeof Info, SHGFI_DISPLAYNAME) &&
        Info.szDisplayName[0])
      return Info.szDisplayName;
    return std::string(1, U) + ":";
  }

  std::string GetWindowsDirectory() override {
    char Buf[kPathBuffer];
    const UINT N = GetWindowsDirectoryA(Buf, kPathBuffer);
    if (N == 0 || N >= kPathBuffer) return "C:\\Windows";
    return std::string(Buf, N);
  }

  std::string GetTempPath() override {
    char Buf[kPathBuffer + 1];
    const DWORD N = GetTempPathA(kPathBuffer, Buf);
    std::string P = (N == 0 || N > kPathBuffer) ? GetWindowsDirectory() : std::string(Buf, N);
    if (P.empty() || P.back() != '\\') P += '\\';
    return P;
  }

  bool GetSpecialFolderPath(int Csidl, std::string& Path) override {
    char Buf[kPathBuffer];
    if (!SHGetSpecialFolderPathA(nullptr, Buf, Csidl, FALSE)) return false;
    // Reached only through a link or junction: not a folder a run may clean.
    TOpened O;
    if (!OpenExactAnsi(Buf, FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, O) ||
        !O.IsDir() || O.IsReparse())
      return false;
    Path = Buf;
    return true;
  }

  bool GetFullPathName(const std::string& Path, std::string& Full) override {
    if (Path.empty()) return false;
    char Buf[kPathBuffer];
    const DWORD N = GetFullPathNameA(Path.c_str(), kPathBuffer, Buf, nullptr);
    if (N == 0 || N >= kPathBuffer) return false;
    Full.assign(Buf, N);
    return true;
  }

  // --- Enumeration

  std::unique_ptr<TTWFindHandle> FindFirst(const std::string& Pattern, bool Lazy) override {
    return WinFindFirst(Pattern, Lazy);
  }
  bool FindOne(const std::string& Path, TTWFindData& Data) override {
    return WinFindOne(Path, Data);
  }

  // --- Destruction

  bool DeleteFile(const std::string& Path, const TTWFileId& Expected) override {
    return WinDeleteFile(Path, Expected);
  }
  bool RemoveDirectory(const std::string& Path, const TTWFileId& Expected) override {
    return WinRemoveDirectory(Path, Expected);
  }
  int32_t MoveToRecycleBin(const std::string& Path, bool IsDirectory,
                           const TTWFileId& Expected) override {
    return WinMoveToRecycleBin(Path, IsDirectory, Expected);
  }
  TTWOpenResult OpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                 std::unique_ptr<TTWFile>& File) override {
    return WinOpenForOverwrite(Path, Expected, File);
  }

  // --- Registry and INI files

  bool RegKeyExists(TTWHive Hive, const std::string& KeyPath) override {
    HKEY K;
    if (RegOpenKeyExA(Root(Hive), KeyPath.c_str(), 0, KEY_READ, &K) != ERROR_SUCCESS) return false;
    RegCloseKey(K);
    return true;
  }

  bool RegQueryValue(TTWHive Hive, const std::string& KeyPath, const std::string& ValueName,
                     uint32_t& Type, std::string& Data) override {
    HKEY K;
    if (RegOpenKeyExA(Root(Hive), KeyPath.c_str(), 0, KEY_READ, &K) != ERROR_SUCCESS) return false;
    const char* Name = ValueName.empty() ? nullptr : ValueName.c_str();
    bool Ok = false;
    DWORD T = 0, Size = 0;
    // The value may grow between the two calls: ask again, a few times.
    for (int Try = 0; Try < 4; ++Try) {
      LONG R = RegQueryValueExA(K, Name, nullptr, &T, nullptr, &Size);
      if (R != ERROR_SUCCESS || Size > (16u << 20)) break;
      std::string Buf(Size, '\0');
      DWORD Got = Size;
      R = RegQueryValueExA(K, Name, nullptr, &T, reinterpret_cast<BYTE*>(Buf.data()), &Got);
      if (R == ERROR_MORE_DATA) continue;
      if (R != ERROR_SUCCESS) break;
      Buf.resize(Got);
      Type = T;
      Data.swap(Buf);
      Ok = true;
      break;
    }
    RegCloseKey(K);
    return Ok;
  }

  std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                      const std::string& Default,
                                      const std::string& FileName) override {
    std::vector<char> Buf(2048);
    const DWORD N =
        GetPrivateProfileStringA(Section.c_str(), Key.c_str(), Default.c_str(), Buf.data(),
                                 static_cast<DWORD>(Buf.size()), FileName.c_str());
    return std::string(Buf.data(), N < Buf.size() ? N : Buf.size() - 1);
  }

  // --- The program's own files

  std::string GetProgramFileName() override {
    std::vector<char> Buf(MAX_PATH);
    for (;;) {
      const DWORD N = GetModuleFileNameA(nullptr, Buf.data(), static_cast<DWORD>(Buf.size()));
      if (N == 0) return std::string();
      if (N < Buf.size()) return std::string(Buf.data(), N);
      if (Buf.size() >= 32768) return std::string();
      Buf.resize(Buf.size() * 2);
    }
  }
  char HostPathDelimiter() override { return '\\'; }

  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    THandle F(CreateFileA(HostPath.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!F.Valid() || GetFileType(F.Get()) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION Info;
    if (!GetFileInformationByHandle(F.Get(), &Info) ||
        (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return false;
    std::string Out;
    std::vector<char> Buf(65536);
    for (;;) {
      DWORD N = 0;
      if (!ReadFile(F.Get(), Buf.data(), static_cast<DWORD>(Buf.size()), &N, nullptr)) return false;
      if (N == 0) break;
      Out.append(Buf.data(), N);
    }
    Data.swap(Out);
    return true;
  }

  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    const size_t Slash = HostPath.find_last_of("\\/");
    const std::string Name = Slash == std::string::npos ? HostPath : HostPath.substr(Slash + 1);
    if (Name.empty() || Name == "." || Name == "..") return false;
    std::string Tmp;
    THandle F;
    for (int Try = 0; Try < 100 && !F.Valid(); ++Try) {
      char Suffix[32];
      snprintf(
          Suffix, sizeof Suffix, ".%08lx.tmp",
          static_cast<unsigned long>(GetTickCount() * 2654435761u + GetCurrentProcessId() + Try));
      Tmp = HostPath + Suffix;
      F.Reset(CreateFileA(Tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
      if (!F.Valid() && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (!F.Valid()) return false;
    bool Ok = true;
    for (size_t Done = 0; Ok && Done < Data.size();) {
      const size_t Chunk = Data.size() - Done > (1u << 20) ? (1u << 20) : Data.size() - Done;
      DWORD N = 0;
      Ok = WriteFile(F.Get(), Data.data() + Done, static_cast<DWORD>(Chunk), &N, nullptr) && N > 0;
      Done += N;
    }
    Ok = Ok && FlushFileBuffers(F.Get());
    F.Reset();
    // The rename is atomic; write-through makes it durable before the call returns.
    if (!Ok || !MoveFileExA(Tmp.c_str(), HostPath.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DeleteFileA(Tmp.c_str());
      return false;
    }
    return true;
  }

  bool CanWriteFolder(const std::string& HostFolder) override {
    // Rights on Windows are ACLs (and UAC's virtualisation), which only an attempt
    // answers truly: a probe file that the system removes when it is closed.
    if (HostFolder.empty()) return false;
    std::string Dir = HostFolder;
    if (Dir.back() != '\\' && Dir.back() != '/') Dir += '\\';
    for (int Try = 0; Try < 100; ++Try) {
      char Name[48];
      snprintf(
          Name, sizeof Name, ".tw-probe-%08lx.tmp",
          static_cast<unsigned long>(GetTickCount() * 2654435761u + GetCurrentProcessId() + Try));
      THandle F(CreateFileA(
          (Dir + Name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
          FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
      if (F.Valid()) return true;
      if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
  }

  std::string GetUserConfigFolder() override {
    char Buf[kPathBuffer];
    if (!SHGetSpecialFolderPathA(nullptr, Buf, CSIDL_APPDATA, FALSE)) return std::string();
    std::string P = Buf;
    while (P.size() > 3 && (P.back() == '\\' || P.back() == '/')) P.pop_back();
    return P;
  }

  bool CreateFolders(const std::string& HostFolder) override {
    if (HostFolder.empty()) return false;
    // Every level in turn; levels that exist, or cannot be made (a drive root, a share),
    // only matter through the last one. The new folders inherit the parent's ACL, which
    // below the user's profile is the user's own.
    for (size_t I = HostFolder.find_first_of("\\/", 1); I != std::string::npos;
         I = HostFolder.find_first_of("\\/", I + 1))
      CreateDirectoryA(HostFolder.substr(0, I).c_str(), nullptr);
    CreateDirectoryA(HostFolder.c_str(), nullptr);
    const DWORD A = GetFileAttributesA(HostFolder.c_str());
    return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
  }

  // --- Shell

  void OpenLink(const std::string& Target) override {
    if (Target.empty()) return;
    ShellExecuteA(nullptr, "Open", Target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  bool ShowProperties(const std::string& Path) override {
    SHELLEXECUTEINFOA Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = SEE_MASK_INVOKEIDLIST;
    Info.lpVerb = "properties";
    Info.lpFile = Path.c_str();
    Info.nShow = 0;
    return ShellExecuteExA(&Info) != FALSE;
  }

  // --- Environment and clock

  std::string GetEnvironmentVariable(const std::string& Name) override {
    std::vector<char> Buf(256);
    for (int Try = 0; Try < 4; ++Try) {
      const DWORD N =
          GetEnvironmentVariableA(Name.c_str(), Buf.data(), static_cast<DWORD>(Buf.size()));
      if (N == 0) return std::string();
      if (N < Buf.size()) return std::string(Buf.data(), N);
      Buf.resize(N + 1);
    }
    return std::string();
  }

  bool GetUserLocale(std::string& Language, std::string& Country) override {
    char L[16], C[16];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, L, sizeof L) <= 1) return false;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, C, sizeof C) <= 1) C[0] = '\0';
    Language = L;
    Country = C;
    return true;
  }

  std::string Utf8ToSystemText(const std::string& Utf8) override {
    if (Utf8.empty()) return std::string();
    const int Len = static_cast<int>(std::min<size_t>(Utf8.size(), 1u << 30));
    const int Wide = MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Len, nullptr, 0);
    if (Wide <= 0) return std::string();
    std::wstring W(static_cast<size_t>(Wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), Len, W.data(), Wide);
    // Lossy on purpose: what the code page lacks becomes its default character.
    const int Ansi = WideCharToMultiByte(CP_ACP, 0, W.data(), Wide, nullptr, 0, nullptr, nullptr);
    if (Ansi <= 0) return std::string();
    std::string Out(static_cast<size_t>(Ansi), '\0');
    WideCharToMultiByte(CP_ACP, 0, W.data(), Wide, Out.data(), Ansi, nullptr, nullptr);
    return Out;
  }

  bool QueryPerformanceCounter(uint64_t& Counter) override {
    LARGE_INTEGER L;
    if (!::QueryPerformanceCounter(&L)) return false;
    Counter = static_cast<uint64_t>(L.QuadPart);
    return true;
  }
  uint32_t GetTickCount() override { return ::GetTickCount(); }

  // The system the program runs on is the one it cleans.
  bool SystemFound(std::string& Why) override {
    Why.clear();
    return true;
  }

 private:
  static HKEY Root(TTWHive Hive) {
    return Hive == TTWHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  }
};

}  // namespace

std::unique_ptr<TTWPlatform> CreateHostPlatform() {
  return std::make_unique<TWinPlatform>();
}
