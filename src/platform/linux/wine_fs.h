// File-system building blocks of the Linux platform: descriptors, Windows path parsing,
// Wine's case-insensitive name rules and wildcard masks, and the resolver that reaches a
// folder of a drive through descriptors without following any link except the drive
// link dosdevices/x: itself.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/tw_platform.h"

namespace twl {

// An owned descriptor.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int Fd) : F(Fd) {}
  ~TFd() { Reset(); }
  TFd(TFd&& O) noexcept : F(O.Release()) {}
  TFd& operator=(TFd&& O) noexcept {
    if (this != &O) {
      Reset();
      F = O.Release();
    }
    return *this;
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return F; }
  bool Valid() const { return F >= 0; }
  int Release() {
    int R = F;
    F = -1;
    return R;
  }
  void Reset(int Fd = -1);

 private:
  int F = -1;
};

// A Windows path split into drive letter (lower case) and components. "." is dropped,
// ".." removes the previous component but never the root, '/' and '\' both separate.
struct TWinPath {
  char Letter = 0;
  std::vector<std::string> Comps;
};
bool ParseWinPath(const std::string& Path, TWinPath& Out);

// --- Names (UTF-8 bytes; an invalid byte counts as one unit of its own)

// Equal ignoring case: same length in UTF-16 units, equal after upper-casing each unit.
bool NamesEqualNoCase(const char* A, size_t ALen, const char* B, size_t BLen);
// Wine's listing order: case-insensitive, exact comparison as the tie-break.
int CompareNames(const char* A, size_t ALen, const char* B, size_t BLen);
// Length of a name in UTF-16 units.
size_t Utf16Length(const char* S, size_t Len);

// --- Names on disk and names in Windows paths
//
// A Unix name may hold characters no Windows name can: '\\' and ':' above all, which a
// Windows path would read as separators. As Wine does, each of \\ : * ? " < > | is shown
// as the private-use character U+F000 + its code, and turned back when a path is resolved.
// A Unix name that already holds one of those private-use characters has no Windows name
// of its own (it would collide with the mapped one) and is not listed. Both directions use
// these two functions, so what is listed, what the exceptions see and what is deleted is
// one name.

// Whether the Unix name needs WinNameOf at all (a mappable or private-use character).
bool NameNeedsMapping(const char* Name, size_t Len);
// The Windows name of a Unix name; false when it has none.
bool WinNameOf(const char* Name, size_t Len, std::string& Win);
// The Unix name of a Windows path component; false when the component holds a character
// a Windows name cannot (it names nothing on disk).
bool UnixNameOf(const std::string& Win, std::string& Unix);

// A file-system wildcard mask as Wine matches it: case-insensitive, '*' any run, '?' and
// '>' exactly one character, trailing '.' and '*' ignored at the end. Long names only.
class TNameMask {
 public:
  explicit TNameMask(const std::string& Mask);
  bool Matches(const char* Name, size_t Len) const;
  bool MatchesAll() const { return All; }

 private:
  std::vector<char32_t> M;
  bool All = false;
};
bool HasWildcards(const std::string& Text);

// --- Identity of objects and file systems

struct TStatInfo {
  uint32_t Mode = 0;
  uint64_t Dev = 0;
  uint64_t Ino = 0;
  uint64_t Size = 0;
  uint64_t Nlink = 0;
  uint32_t Uid = 0;
  bool MountRoot = false;  // STATX_ATTR_MOUNT_ROOT, where the kernel reports it
  uint64_t MntId = 0;      // STATX_MNT_ID, 0 where the kernel does not report it
};
// Whether St, an object in the folder PSt, is a mount point or lies on another mount
// than its folder: a bind mount of a file or folder of the same file system included.
inline bool OnOtherMount(const TStatInfo& St, const TStatInfo& PSt) {
  return St.MountRoot || St.Dev != PSt.Dev || (St.MntId && PSt.MntId && St.MntId != PSt.MntId);
}
// statx where available (mount-root bit), else fstatat. Name "" means Dir itself.
bool StatAt(int Dir, const char* Name, bool Follow, TStatInfo& St);
inline TTWFileId IdOf(const TStatInfo& St) {
  return {St.Dev, St.Ino};
}

// --- The prefix

// Opens the drive root: dosdevices/<letter>: is the one link followed.
TFd OpenDriveRoot(const std::string& PrefixDir, char Letter);

// Finds the on-disk spelling of Name in Dir: the exact spelling when it exists (not
// followed), else the first case-insensitive match in directory order. False when none.
bool LookupName(int Dir, const std::string& Name, std::string& Found);

// Opens the folder reached from Root through Comps[0, Count): each component looked up
// with LookupName and opened with O_NOFOLLOW|O_DIRECTORY, so any link on the way refuses
// the path. NoXdev also refuses a step onto another file system or mount. Spelled, when
// given, receives the on-disk names. Err receives an errno value on failure.
TFd ResolveDir(int Root, const std::vector<std::string>& Comps, size_t Count, bool NoXdev,
               std::vector<std::string>* Spelled, int& Err);

// The same for destructive services: openat2 with RESOLVE_NO_SYMLINKS|RESOLVE_NO_MAGICLINKS|
// RESOLVE_NO_XDEV|RESOLVE_BENEATH on the exact spelling where the kernel has it, else (or
// when the exact spelling is not there) the descriptor chain above with NoXdev.
TFd ResolveDirForChange(int Root, const std::vector<std::string>& Comps, size_t Count,
                        std::vector<std::string>* Spelled, int& Err);

// Test seam: forces ResolveDirForChange onto the descriptor chain, as on a kernel
// without openat2. Counts how often each way was taken.
extern std::atomic<bool> GForceOpenatChain;
extern std::atomic<unsigned> GOpenat2Used;
extern std::atomic<unsigned> GOpenatChainUsed;
// The same for the lazy descent of an enumeration (FindFirstIn): openat2 alone, or
// openat with an fstat of the result.
extern std::atomic<unsigned> GDescentOpenat2Used;
extern std::atomic<unsigned> GDescentOpenatUsed;

// Reads user.DOSATTRIB of Dir/Name (not followed): its HIDDEN and SYSTEM bits.
uint32_t DosAttribBits(int Dir, const char* Name);

// Whether an errno means "a link was in the way" (Linux ELOOP, BSD EMLINK).
inline bool IsLinkError(int E) {
  return E == ELOOP || E == EMLINK;
}

}  // namespace twl
