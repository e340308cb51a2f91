#include "platform/win32/win_fs.h"

#include <shellapi.h>
#include <shlobj.h>

#include <unordered_map>
#include <vector>

namespace tww {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder being listed cannot be renamed, replaced or removed while its handle is held
// without FILE_SHARE_DELETE; the names the enumeration builds then stay its names.
constexpr DWORD kSharePin = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

constexpr int32_t kErrFileNotFound = 2;
constexpr int32_t kErrPathNotFound = 3;
constexpr int32_t kErrAccessDenied = 5;
constexpr int32_t kErrDirNotEmpty = 0x91;
constexpr int32_t kErrNotSupported = 50;

std::wstring TrimSlash(std::wstring P) {
  P = WithoutExtendedPrefix(P);
  while (P.size() > 3 && P.back() == L'\\') P.pop_back();
  return P;
}

bool FinalPath(HANDLE H, std::wstring& Out) {
  std::wstring Buf(512, L'\0');
  for (int Try = 0; Try < 3; ++Try) {
    DWORD N = GetFinalPathNameByHandleW(H, Buf.data(), static_cast<DWORD>(Buf.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (N == 0) return false;
    if (N < Buf.size()) {
      Buf.resize(N);
      Out = Buf;
      return true;
    }
    Buf.assign(N + 1, L'\0');
  }
  return false;
}

uint64_t Size64(DWORD High, DWORD Low) {
  return (static_cast<uint64_t>(High) << 32) | Low;
}

// The attribute bits the core knows, from what the system reports.
uint32_t Attributes(DWORD A) {
  return A & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
              FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL |
              FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsDots(const wchar_t* N) {
  return (N[0] == L'.' && N[1] == 0) || (N[0] == L'.' && N[1] == L'.' && N[2] == 0);
}

// A pinned folder and its enumeration.
class TWinFind : public TTWFindHandle {
 public:
  TWinFind(TOpened Dir, bool Lazy) : FDir(std::move(Dir)), FLazy(Lazy) {}
  ~TWinFind() override {
    if (FFind != INVALID_HANDLE_VALUE) FindClose(FFind);
  }

  bool Start(const std::wstring& Mask) {
    const std::wstring Pattern = TrimSlash(FDir.Path) + (FDir.Path.back() == L'\\' ? L"" : L"\\");
    const std::wstring Query = L"\\\\?\\" + Pattern + Mask;
    FFind = FindFirstFileExW(Query.c_str(), FindExInfoStandard, &FData, FindExSearchNameMatch,
                             nullptr, 0);
    FPending = FFind != INVALID_HANDLE_VALUE;
    return FPending;
  }

  bool Next(TTWFindData& Data) override {
    for (;;) {
      if (!FPending) {
        if (FFind == INVALID_HANDLE_VALUE || !FindNextFileW(FFind, &FData)) {
          FLastValid = false;
          return false;
        }
      }
      FPending = false;
      std::string Name;
      // A name the ANSI code page cannot hold could not be named again: not listed.
      if (!ToAnsi(FData.cFileName, wcslen(FData.cFileName), Name)) continue;
      FLastWide = FData.cFileName;
      FLastAttr = FData.dwFileAttributes;
      FLastValid = true;
      Data.Name = Name;
      Data.Attributes = Attributes(FData.dwFileAttributes);
      Data.Size = (FData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                      ? 0
                      : Size64(FData.nFileSizeHigh, FData.nFileSizeLow);
      Data.Id = TTWFileId();
      Data.HasDetails = false;
      if (!FLazy && !Details(Data)) continue;
      return true;
    }
  }

  bool Details(TTWFindData& Data) override {
    if (!FLastValid) return false;
    if (IsDots(FLastWide.c_str())) {
      Data.Id = FLastWide == L"." ? FDir.Id() : TTWFileId();
      Data.HasDetails = true;
      return true;
    }
    LoadIds();
    auto It = FIds.find(FLastWide);
    if (It != FIds.end()) {
      Data.Id = {FDir.Info.dwVolumeSerialNumber, It->second};
    } else {
      // Not in the listing by handle (created since): ask the object itself.
      TOpened O;
      if (!OpenExact(ChildPath(), FILE_READ_ATTRIBUTES, kShareAll, kOpenFlags, O)) return false;
      Data.Id = O.Id();
    }
    Data.HasDetails = true;
    return true;
  }

  std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& Child, const std::wstring& Mask,
                                             bool Lazy) {
    std::wstring Wide;
    if (!FLastValid || !ToWide(Child.Name, Wide) || Wide != FLastWide || IsDots(Wide.c_str()))
      return nullptr;
    // The listing's own view: a folder that is a junction, link or mount point is never
    // entered, whatever the caller passes.
    if (!(FLastAttr & FILE_ATTRIBUTE_DIRECTORY) || (FLastAttr & FILE_ATTRIBUTE_REPARSE_POINT))
      return nullptr;
    TOpened Sub;
    if (!OpenExact(ChildPath(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kSharePin,
                   kOpenFlags, Sub))
      return nullptr;
    if (!Sub.IsDir() || Sub.IsReparse()) return nullptr;
    // Another volume mounted here would have another serial number.
    if (Sub.Info.dwVolumeSerialNumber != FDir.Info.dwVolumeSerialNumber) return nullptr;
    if (Child.Id.Valid() && !(Child.Id == Sub.Id())) return nullptr;
    auto H = std::make_unique<TWinFind>(std::move(Sub), Lazy);
    if (!H->Start(Mask)) return nullptr;
    return H;
  }

  std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& Child, const std::string& Pattern,
                                             bool Lazy) override {
    std::wstring Mask;
    if (Pattern.empty() || !ToWide(Pattern, Mask) ||
        Mask.find_first_of(L"\\/") != std::wstring::npos)
      return nullptr;
    return FindFirstIn(Child, Mask, Lazy);
  }

 private:
  std::wstring ChildPath() const {
    std::wstring P = FDir.Path;
    if (P.back() != L'\\') P += L'\\';
    return P + FLastWide;
  }

  // File ids of the whole folder, read through the pinned handle in one pass.
  void LoadIds() {
    if (FIdsLoaded) return;
    FIdsLoaded = true;
    std::vector<unsigned char> Buf(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS Class = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(FDir.H.Get(), Class, Buf.data(),
                                        static_cast<DWORD>(Buf.size()))) {
      Class = FileIdBothDirectoryInfo;
      for (size_t Off = 0;;) {
        auto* E = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(Buf.data() + Off);
        FIds.emplace(std::wstring(E->FileName, E->FileNameLength / sizeof(wchar_t)),
                     static_cast<uint64_t>(E->FileId.QuadPart));
        if (E->NextEntryOffset == 0) break;
        Off += E->NextEntryOffset;
      }
    }
  }

  TOpened FDir;
  bool FLazy;
  HANDLE FFind = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW FData{};
  bool FPending = false;
  bool FLastValid = false;
  std::wstring FLastWide;
  DWORD FLastAttr = 0;
  bool FIdsLoaded = false;
  std::unordered_map<std::wstring, uint64_t> FIds;
};

// Opens Path's folder and the object's own name within it.
bool SplitLast(const std::wstring& Ext, std::wstring& Parent, std::wstring& Name) {
  const std::wstring P = TrimSlash(Ext);
  const size_t Slash = P.find_last_of(L'\\');
  if (Slash == std::wstring::npos || Slash + 1 >= P.size()) return false;
  Parent = L"\\\\?\\" + P.substr(0, Slash == 2 ? 3 : Slash);
  Name = P.substr(Slash + 1);
  return true;
}

bool Dispose(HANDLE H) {
  // FILE_DISPOSITION_INFO: one BOOLEAN, whose field name the headers turn into a macro.
  BOOLEAN Delete = TRUE;
  static_assert(sizeof Delete == sizeof(FILE_DISPOSITION_INFO));
  return SetFileInformationByHandle(H, FileDispositionInfo, &Delete, sizeof Delete) != 0;
}

class TWinFile : public TTWFile {
 public:
  explicit TWinFile(THandle H) : F(std::move(H)) {}
  bool GetSize(uint64_t& Size) override {
    LARGE_INTEGER L;
    if (!GetFileSizeEx(F.Get(), &L) || L.QuadPart < 0) return false;
    Size = static_cast<uint64_t>(L.QuadPart);
    return true;
  }
  bool Seek(uint64_t Offset) override {
    if (Offset > static_cast<uint64_t>(INT64_MAX)) return false;
    LARGE_INTEGER L;
    L.QuadPart = static_cast<LONGLONG>(Offset);
    return SetFilePointerEx(F.Get(), L, nullptr, FILE_BEGIN) != 0;
  }
  uint64_t WritePieces(const uint8_t* Block, uint32_t BlockSize, uint64_t Total) override {
    if (!Block || BlockSize == 0) return 0;
    // Sixteen pieces per call, each the same block.
    constexpr uint32_t kRepeat = 16;
    if (FBuf.size() != static_cast<size_t>(BlockSize) * kRepeat) FBuf.resize(BlockSize * kRepeat);
    for (uint32_t I = 0; I < kRepeat; ++I) memcpy(FBuf.data() + I * BlockSize, Block, BlockSize);
    uint64_t Done = 0;
    while (Done < Total) {
      const uint64_t Off = Done % BlockSize;
      uint64_t Len = FBuf.size() - Off;
      if (Len > Total - Done) Len = Total - Done;
      DWORD Written = 0;
      if (!WriteFile(F.Get(), FBuf.data() + Off, static_cast<DWORD>(Len), &Written, nullptr) ||
          Written == 0)
        break;  // an error, or no progress: never spin
      Done += Written;
    }
    return Done;
  }
  bool Flush() override { return FlushFileBuffers(F.Get()) != 0; }

 private:
  THandle F;
  std::vector<uint8_t> FBuf;
};

}  // namespace

bool RunningOnWine() {
  static const bool Wine = [] {
    HMODULE Nt = GetModuleHandleW(L"ntdll.dll");
    return Nt && GetProcAddress(Nt, "wine_get_version") != nullptr;
  }();
  return Wine;
}

bool OpenExact(const std::wstring& Path, DWORD Access, DWORD Share, DWORD Flags, TOpened& O) {
  O.H.Reset(CreateFileW(Path.c_str(), Access, Share, nullptr, OPEN_EXISTING, Flags, nullptr));
  if (!O.H.Valid()) return false;
  std::wstring Final;
  if (!GetFileInformationByHandle(O.H.Get(), &O.Info) || !FinalPath(O.H.Get(), Final) ||
      !SamePathNoCase(TrimSlash(Final), TrimSlash(Path))) {
    O.H.Reset();
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  O.Path = Path;
  return true;
}

bool OpenExactAnsi(const std::string& Path, DWORD Access, DWORD Share, DWORD Flags, TOpened& O) {
  std::wstring W, Ext;
  if (!ToWide(Path, W) || !ExtendedPath(W, Ext)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return OpenExact(L"\\\\?\\" + TrimSlash(Ext), Access, Share, Flags, O);
}

std::unique_ptr<TTWFindHandle> WinFindFirst(const std::string& Pattern, bool Lazy) {
  const size_t Sep = Pattern.find_last_of("\\/");
  if (Sep == std::string::npos || Sep + 1 >= Pattern.size()) return nullptr;
  std::wstring Mask;
  if (!ToWide(Pattern.substr(Sep + 1), Mask)) return nullptr;
  TOpened Dir;
  if (!OpenExactAnsi(Pattern.substr(0, Sep + 1),
                     FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kSharePin,
                     kOpenFlags, Dir))
    return nullptr;
  if (!Dir.IsDir() || Dir.IsReparse()) return nullptr;
  auto H = std::make_unique<TWinFind>(std::move(Dir), Lazy);
  if (!H->Start(Mask)) return nullptr;
  return H;
}

bool WinFindOne(const std::string& Path, TTWFindData& Data) {
  if (Path.find_first_of("*?") != std::string::npos) return false;
  std::wstring W, Ext, Parent, Name;
  if (!ToWide(Path, W) || !ExtendedPath(W, Ext) || !SplitLast(Ext, Parent, Name)) return false;
  TOpened Dir;
  if (!OpenExact(Parent, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kSharePin,
                 kOpenFlags, Dir) ||
      !Dir.IsDir() || Dir.IsReparse())
    return false;
  auto H = std::make_unique<TWinFind>(std::move(Dir), false);
  if (!H->Start(Name)) return false;
  return H->Next(Data);
}

bool WinDeleteFile(const std::string& Path, const TTWFileId& Expected) {
  TOpened O;
  if (!OpenExactAnsi(Path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, kOpenFlags, O))
    return false;
  if (O.IsDir()) return false;  // a folder, or a link to one
  if (Expected.Valid() && !(Expected == O.Id())) return false;
  // As DeleteFileA: a read-only file is refused. A symbolic link opened as itself goes
  // as a link.
  if ((O.Info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && !O.IsReparse()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (GetFileType(O.H.Get()) != FILE_TYPE_DISK) return false;
  return Dispose(O.H.Get());
}

bool WinRemoveDirectory(const std::string& Path, const TTWFileId& Expected) {
  TOpened O;
  if (!OpenExactAnsi(Path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, kOpenFlags, O))
    return false;
  // A junction, a directory link or a mount point is never removed.
  if (!O.IsDir() || O.IsReparse()) return false;
  if (Expected.Valid() && !(Expected == O.Id())) return false;
  return Dispose(O.H.Get());  // fails with ERROR_DIR_NOT_EMPTY when something is left
}

TTWOpenResult WinOpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                  std::unique_ptr<TTWFile>& File) {
  File.reset();
  TOpened Look;
  if (!OpenExactAnsi(Path, FILE_READ_ATTRIBUTES, kShareAll, kOpenFlags, Look))
    return TTWOpenResult::Failed;
  if (Expected.Valid() && !(Expected == Look.Id())) return TTWOpenResult::Failed;
  if (Look.IsReparse() && !Look.IsDir()) return TTWOpenResult::RemoveOnly;
  if (Look.IsDir() || Look.IsReparse()) return TTWOpenResult::Failed;
  if (Look.Info.nNumberOfLinks > 1) return TTWOpenResult::RemoveOnly;
  if (Look.Info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return TTWOpenResult::Failed;
  const TTWFileId Seen = Look.Id();
  Look.H.Reset();

  // Exclusive, as the shredder's CreateFileA: in use elsewhere means a failure.
  TOpened W;
  if (!OpenExact(Look.Path, GENERIC_READ | GENERIC_WRITE, 0,
                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, W))
    return TTWOpenResult::Failed;
  if (!(W.Id() == Seen) || W.IsDir() || W.IsReparse()) return TTWOpenResult::Failed;
  if (W.Info.nNumberOfLinks > 1) return TTWOpenResult::RemoveOnly;
  if (GetFileType(W.H.Get()) != FILE_TYPE_DISK) return TTWOpenResult::Failed;
  File = std::make_unique<TWinFile>(std::move(W.H));
  return TTWOpenResult::Opened;
}

int32_t WinMoveToRecycleBin(const std::string& Path, bool IsDirectory, const TTWFileId& Expected) {
  TOpened O;
  if (!OpenExactAnsi(Path, FILE_READ_ATTRIBUTES, kShareAll, kOpenFlags, O)) {
    const DWORD E = GetLastError();
    return E == ERROR_FILE_NOT_FOUND   ? kErrFileNotFound
           : E == ERROR_PATH_NOT_FOUND ? kErrPathNotFound
                                       : kErrAccessDenied;
  }
  if (Expected.Valid() && !(Expected == O.Id())) return kErrAccessDenied;
  // The shell would move a link's target, or a folder with everything in it.
  if (O.IsReparse()) return kErrAccessDenied;
  if (IsDirectory != O.IsDir()) return kErrAccessDenied;
  if (IsDirectory) {
    TOpened Dir;
    if (!OpenExact(O.Path, FILE_LIST_DIRECTORY | SYNCHRONIZE, kSharePin, kOpenFlags, Dir))
      return kErrAccessDenied;
    auto H = std::make_unique<TWinFind>(std::move(Dir), true);
    TTWFindData D;
    if (H->Start(L"*")) {
      while (H->Next(D))
        if (D.Name != "." && D.Name != "..") return kErrDirNotEmpty;
    }
  }
  // Where the drive has no Recycle Bin the shell deletes for good without asking:
  // such a drive is a failure here. Wine's shell does the same whenever its move to the
  // desktop's trash fails (even for a trash folder it has only just made), and it
  // answers no query that would tell beforehand: under Wine the Recycle Bin is refused.
  if (RunningOnWine()) return kErrNotSupported;
  std::wstring Plain = WithoutExtendedPrefix(O.Path);
  const std::wstring Root = Plain.substr(0, 3);
  SHQUERYRBINFO Info{};
  Info.cbSize = sizeof Info;
  if (GetDriveTypeW(Root.c_str()) != DRIVE_FIXED || FAILED(SHQueryRecycleBinW(Root.c_str(), &Info)))
    return kErrAccessDenied;
  O.H.Reset();

  // The shell takes plain paths only, as a list ending in two NULs.
  if (Plain.size() >= MAX_PATH) return kErrAccessDenied;
  std::wstring From = Plain;
  From.push_back(L'\0');
  From.push_back(L'\0');
  SHFILEOPSTRUCTW Op{};
  Op.wFunc = FO_DELETE;
  Op.pFrom = From.c_str();
  Op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  const int R = SHFileOperationW(&Op);
  if (R != 0) return R;
  if (Op.fAnyOperationsAborted) return kErrAccessDenied;
  return 0;
}

}  // namespace tww
