// The narrow interface through which the core reaches the host: file system, drives,
// registry, shell, environment and clock. The core never calls the host directly, so a
// test can put a double or a sample Windows system in a temporary folder behind it.
//
// All paths handed in and out are Windows paths ("C:\users\tester\Temp") as 8-bit text;
// on Linux the 8-bit text is UTF-8. Host paths (the program's own files: settings,
// branding) are marked as such and use the host's separator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Windows constants the core relies on.
inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x0001;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x0002;
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x0004;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x0010;
inline constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x0020;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x0080;
inline constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x0400;

// What a reparse point is (WIN32_FIND_DATAA dwReserved0).
inline constexpr uint32_t IO_REPARSE_TAG_MOUNT_POINT = 0xA0000003;  // mount point or junction
inline constexpr uint32_t IO_REPARSE_TAG_SYMLINK = 0xA000000C;

inline constexpr uint32_t DRIVE_UNKNOWN = 0;
inline constexpr uint32_t DRIVE_NO_ROOT_DIR = 1;
inline constexpr uint32_t DRIVE_REMOVABLE = 2;
inline constexpr uint32_t DRIVE_FIXED = 3;
inline constexpr uint32_t DRIVE_REMOTE = 4;
inline constexpr uint32_t DRIVE_CDROM = 5;
inline constexpr uint32_t DRIVE_RAMDISK = 6;

inline constexpr int CSIDL_RECENT = 0x08;
inline constexpr int CSIDL_APPDATA = 0x1A;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
inline constexpr int CSIDL_INTERNET_CACHE = 0x20;
inline constexpr int CSIDL_COOKIES = 0x21;
inline constexpr int CSIDL_HISTORY = 0x22;
inline constexpr int CSIDL_PROFILE = 0x28;

inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_LINK = 6;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_QWORD = 11;

// Identity of a file-system object as it was found (device and inode on Linux, volume
// serial and file index on Windows). Destructive services refuse to act when the object
// at the path is no longer this one. An invalid id (both 0) skips that check.
struct TTWFileId {
  uint64_t Dev = 0;
  uint64_t Ino = 0;
  bool Valid() const { return Dev != 0 || Ino != 0; }
  friend bool operator==(const TTWFileId&, const TTWFileId&) = default;
};

// One entry of an enumeration or lookup (WIN32_FIND_DATAA, reduced to what is used).
// A symbolic link is reported as what it is: FILE_ATTRIBUTE_REPARSE_POINT is set, plus
// FILE_ATTRIBUTE_DIRECTORY when it leads to a directory; Size and Id are the link's own.
// A mount point, folder or file, is reported as DIRECTORY + REPARSE_POINT; an enumeration
// leaves a file that is a mount point out. ReparseTag tells links from mount points (0 for
// anything that is no reparse point).
struct TTWFindData {
  std::string Name;         // name as stored on disk (long form, stored case)
  uint32_t Attributes = 0;  // FILE_ATTRIBUTE_*
  uint64_t Size = 0;        // whole 64-bit size; directories report 0
  TTWFileId Id;
  bool HasDetails = false;  // false after a lazy Next: see TTWFindHandle
  uint32_t ReparseTag = 0;  // IO_REPARSE_TAG_* when REPARSE_POINT is set
};

// An open enumeration (FindFirstFileA / FindNextFileA / FindClose). It holds the
// directory open (on Linux a descriptor reached without following links), so that
// subdirectories can be opened relative to it.
class TTWFindHandle {
 public:
  virtual ~TTWFindHandle() = default;
  // Moves to the next matching entry; false when there is none. The first entry is
  // fetched by the first call. In a lazy enumeration only Name and the DIRECTORY,
  // REPARSE_POINT and HIDDEN bits are filled, and HasDetails is false.
  virtual bool Next(TTWFindData& Data) = 0;
  // Completes Size, Id and the remaining attribute bits of the entry last returned by
  // Next. False when it vanished in the meantime (Data is then unchanged).
  virtual bool Details(TTWFindData& Data) = 0;
  // Enumerates, with a file-system Pattern, the subdirectory Child last returned by
  // Next, opened relative to this directory without following links and without
  // crossing into another file system. Null when that is refused or fails.
  virtual std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& Child,
                                                     const std::string& Pattern, bool Lazy) = 0;
};

// What a read-ahead did, for benchmarks and tests.
struct TTWReadAheadStats {
  uint64_t Listed = 0;     // folders listed ahead of the walk
  uint64_t Used = 0;       // of those, handed to the walk
  uint64_t Waited = 0;     // times the walk waited for a listing under way
  uint64_t Refused = 0;    // listings not used: the folder the walk reached was another one
  uint64_t Dropped = 0;    // listings the walk passed by (skipped folders, a stop, the end)
  uint64_t PeakBytes = 0;  // most memory held at once by listings not yet handed over
};

// Lists, on threads of its own, the folders a walk will enter next, so that the walk
// waits for the disk as little as it can. The walk must enter folders depth first, each
// folder's subfolders in the order its enumeration returns them, through FindFirstIn with
// the pattern "*.*"; it gets exactly the enumeration it would have read itself, and reads
// it itself whenever no listing ahead is ready, was read from another object than the one
// it reaches now, or the run is stopping. Folders are opened as FindFirstIn opens them:
// relative to their parent, never through a link, never on another file system. Memory
// held by listings ahead is bounded.
class TTWReadAhead {
 public:
  virtual ~TTWReadAhead() = default;  // stops and waits for its threads
  // Starts reading ahead below Root, an enumeration the platform started, for one walk;
  // what an earlier walk left is dropped. False when Root cannot be read ahead.
  virtual bool Begin(TTWFindHandle& Root) = 0;
  // Ends the walk: everything read ahead is dropped, nothing more is listed.
  virtual void End() = 0;
  virtual TTWReadAheadStats Stats() const = 0;
};

// An open file for overwriting (CreateFileA with GENERIC_READ | GENERIC_WRITE, share
// mode 0, OPEN_EXISTING).
class TTWFile {
 public:
  virtual ~TTWFile() = default;
  virtual bool GetSize(uint64_t& Size) = 0;  // SetFilePointer(FILE_END)
  virtual bool Seek(uint64_t Offset) = 0;    // SetFilePointer(FILE_BEGIN)
  // Writes Total bytes from the current position as pieces of BlockSize bytes that each
  // carry Block (the last piece only as long as what remains). Several pieces may go out
  // in one system call. Returns the bytes written; less than Total means a failure.
  virtual uint64_t WritePieces(const uint8_t* Block, uint32_t BlockSize, uint64_t Total) = 0;
  virtual bool Flush() = 0;  // FlushFileBuffers: the data reaches the device
  // The first range of the file's data at or after From: Start >= From, Length > 0, the
  // bytes between From and Start being a hole (never written, read as zeros, taking no
  // room on the device). Length 0 (Start the size) when only holes follow From. False
  // when it cannot be told. Overwriting writes the data, never the holes. On Linux this
  // is lseek SEEK_DATA / SEEK_HOLE, on Windows FSCTL_QUERY_ALLOCATED_RANGES. The default
  // takes the whole file for data.
  virtual bool NextData(uint64_t From, uint64_t& Start, uint64_t& Length) {
    uint64_t Size = 0;
    if (!GetSize(Size)) return false;
    Start = From < Size ? From : Size;
    Length = Size - Start;
    return true;
  }
};

enum class TTWOpenResult {
  Opened,      // a regular file with one link, opened exclusively for writing
  Failed,      // missing, read-only, in use, not accessible, not a regular file
  RemoveOnly,  // a symbolic link or a file with other hard links: never written into
};

enum class TTWHive { LocalMachine, CurrentUser };

// An INI file read once (GetPrivateProfileStringA over a file that does not change while
// it is asked).
class TTWIniFile {
 public:
  virtual ~TTWIniFile() = default;
  virtual std::string GetString(const std::string& Section, const std::string& Key,
                                const std::string& Default) = 0;
};

class TTWPlatform {
 public:
  virtual ~TTWPlatform() = default;

  // --- Drives and system folders
  virtual uint32_t GetDriveType(const std::string& Root) = 0;  // Root is "X:\"
  // Whether the drive lies inside the Windows system being cleaned. Every drive of a real
  // Windows does; on a Wine-style prefix only a drive whose link leads into the prefix.
  virtual bool DriveInsideSystem(char Letter);
  // GetDiskFreeSpaceExA with critical-error dialogs suppressed.
  virtual bool GetDiskFreeSpace(const std::string& Root, uint64_t& FreeBytes,
                                uint64_t& TotalBytes) = 0;
  virtual std::string GetDriveDisplayName(char Letter) = 0;  // SHGetFileInfoA display name
  virtual std::string GetWindowsDirectory() = 0;             // "C:\windows"
  virtual std::string GetTempPath() = 0;                     // ends with a backslash
  // SHGetSpecialFolderPathA(0, buf, Csidl, FALSE): false when unknown or missing.
  virtual bool GetSpecialFolderPath(int Csidl, std::string& Path) = 0;
  virtual bool GetFullPathName(const std::string& Path, std::string& Full) = 0;

  // --- Enumeration
  // FindFirstFileA: the last component of Pattern is a file-system wildcard pattern
  // ("*.*", "S-1-5-21-*-*-*-*"). Null when the enumeration cannot start (missing
  // folder, no access, path too long, no match).
  virtual std::unique_ptr<TTWFindHandle> FindFirst(const std::string& Pattern, bool Lazy) = 0;
  // A read-ahead for the walks of one thread, or null where the platform has none (the
  // default). Stopped is asked, from the read-ahead's threads, whether the run is
  // stopping: then no listing more is started and the walk reads its folders itself.
  virtual std::unique_ptr<TTWReadAhead> CreateReadAhead(std::function<bool()> Stopped) {
    (void)Stopped;
    return nullptr;
  }
  // FindFirstFileA on a plain path without wildcards: the object itself, links not
  // followed. False when nothing is there.
  virtual bool FindOne(const std::string& Path, TTWFindData& Data) = 0;

  // --- Destruction. Every service reaches its object without following links and
  // refuses when it is not the object Expected (when valid) or not of the right kind.
  virtual bool DeleteFile(const std::string& Path, const TTWFileId& Expected) = 0;
  virtual bool RemoveDirectory(const std::string& Path, const TTWFileId& Expected) = 0;
  // SHFileOperationA FO_DELETE with FOF_ALLOWUNDO and no UI: 0 when moved to the Recycle
  // Bin. A directory must be empty. A failure leaves the object where it was.
  virtual int32_t MoveToRecycleBin(const std::string& Path, bool IsDirectory,
                                   const TTWFileId& Expected) = 0;
  virtual TTWOpenResult OpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                         std::unique_ptr<TTWFile>& File) = 0;
  // Nothing that is a mount point (folder or file) is written, moved or removed, and
  // nothing in use elsewhere: open in another process, or locked by one. DeleteFile,
  // RemoveDirectory and MoveToRecycleBin then fail and OpenForOverwrite gives Failed.
  //
  // A deletion run: the delete thread calls BeginDeleteRun once before its first
  // destructive call and EndDeleteRun after its last, on its own thread. In between, a
  // platform that must look for the objects other processes hold open (Linux scans
  // /proc) may look once, at BeginDeleteRun, instead of once per object; outside a run
  // each call looks for itself. Locks are still probed per object. Where the host itself
  // refuses an object in use (Windows: the share modes of the open handles), there is
  // nothing to do, which is the default.
  virtual void BeginDeleteRun() {}
  virtual void EndDeleteRun() {}

  // --- Registry (read only) and INI files
  virtual bool RegKeyExists(TTWHive Hive, const std::string& KeyPath) = 0;
  // RegQueryValueExA; ValueName "" is the default value. String types come back as 8-bit
  // text with their terminating NUL, as the A functions return them.
  virtual bool RegQueryValue(TTWHive Hive, const std::string& KeyPath, const std::string& ValueName,
                             uint32_t& Type, std::string& Data) = 0;
  // GetPrivateProfileStringA with a 2048-character buffer; FileName is a Windows path.
  virtual std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                              const std::string& Default,
                                              const std::string& FileName) = 0;
  // The same file for many questions. By default every question reads the file again.
  virtual std::unique_ptr<TTWIniFile> OpenIniFile(const std::string& FileName);

  // --- The program's own files (host paths)
  virtual std::string GetProgramFileName() = 0;  // host path of the running program
  virtual char HostPathDelimiter() = 0;          // '/' on Linux, '\\' on Windows
  // Whole-file read, opened without denying other processes any access.
  virtual bool ReadWholeFile(const std::string& HostPath, std::string& Data) = 0;
  // Reads a small file of the program's whole, for files a deployer may get wrong: false
  // when it cannot be opened, is not a regular file or holds more than Limit bytes, with
  // the system's reason in Why. A FIFO or device in its place never blocks the caller.
  virtual bool ReadSmallFile(const std::string& HostPath, size_t Limit, std::string& Data,
                             std::string& Why);
  // Replaces the file atomically: a temporary file in the same folder, created
  // exclusively and never through a link, flushed, then renamed over the old one. On
  // failure the old file stays as it was and false is returned. Works in any folder the
  // user may write to, shared ones such as /tmp included. A symbolic link at HostPath is
  // followed, and the file it names is replaced (the link stays), except for another
  // user's link in a shared sticky folder, which is refused. The replaced file keeps its
  // permissions (and owner and group where the user may set them); a new file gets the
  // user's default permissions (umask). A file with other hard links is replaced at this
  // name only: the other names keep the old content. Temporary files that an earlier
  // save of the same file left behind when it was killed are removed.
  virtual bool ReplaceFile(const std::string& HostPath, const std::string& Data) = 0;
  // Whether this user may create and replace files in HostFolder, as the system decides
  // for the effective user (read-only mounts and ACLs included; a root user may write
  // anywhere else). The default says yes.
  virtual bool CanWriteFolder(const std::string& /*HostFolder*/) { return true; }
  // The base folder of per-user settings, no trailing separator: on Linux
  // $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; on Windows the
  // user's roaming application data folder. Empty when there is none.
  virtual std::string GetUserConfigFolder() { return {}; }
  // Creates HostFolder and any missing parents, each private to the user (0700 on
  // Linux); folders that exist are left as they are. True when HostFolder is a folder
  // afterwards.
  virtual bool CreateFolders(const std::string& /*HostFolder*/) { return false; }

  // --- Shell
  virtual void OpenLink(const std::string& Target) = 0;  // ShellExecuteA "Open"
  // Asks the desktop to show its properties sheet for Path (ShellExecuteExA "properties";
  // on Linux the file manager over D-Bus). True when the desktop took the request; false
  // when there is none that answers, so the caller can show what it knows itself.
  virtual bool ShowProperties(const std::string& Path) = 0;
  // The host's own path of the object at Path, for showing it. Where Windows paths are
  // the host's (Windows) that is Path itself; on Linux the file under the prefix's
  // drive, reached without following links. False when there is no such object.
  virtual bool GetHostPath(const std::string& Path, std::string& HostPath) {
    HostPath = Path;
    return !Path.empty();
  }
  // The last modification of the object at Path itself (links not followed), in seconds
  // since 1970-01-01 UTC, for showing it. False when unknown.
  virtual bool GetLastWriteTime(const std::string& /*Path*/, int64_t& /*Seconds*/) { return false; }

  // --- Environment and clock
  virtual std::string GetEnvironmentVariable(const std::string& Name) = 0;
  // GetLocaleInfoA LOCALE_SISO639LANGNAME / LOCALE_SISO3166CTRYNAME of the user's locale.
  // On Linux: the message locale of the environment (LC_ALL, else LC_MESSAGES, else
  // LANG); the process locale is never changed.
  virtual bool GetUserLocale(std::string& Language, std::string& Country) = 0;
  virtual bool QueryPerformanceCounter(uint64_t& Counter) = 0;
  virtual uint32_t GetTickCount() = 0;

  // A UTF-8 text (a translation) in the program's 8-bit text: the ANSI code page on
  // Windows, where characters it lacks are lost; elsewhere UTF-8 itself, with every
  // invalid sequence replaced by U+FFFD.
  virtual std::string Utf8ToSystemText(const std::string& Utf8);

  // Whether a Windows system is there to work on; Why says what is missing.
  virtual bool SystemFound(std::string& Why) = 0;
};

// The platform the core uses. Start-up installs the host's; tests install their own.
TTWPlatform& Platform();
void SetPlatform(TTWPlatform* P);  // nullptr restores the host's
// The host's implementation (the Wine-style prefix on Linux).
std::unique_ptr<TTWPlatform> CreateHostPlatform();
