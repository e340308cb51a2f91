#include "platform/linux/wine_fs.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace twl {

std::atomic<bool> GForceOpenatChain{false};
std::atomic<unsigned> GOpenat2Used{0};
std::atomic<unsigned> GOpenatChainUsed{0};
std::atomic<unsigned> GDescentOpenat2Used{0};
std::atomic<unsigned> GDescentOpenatUsed{0};

void TFd::Reset(int Fd) {
  if (F >= 0) close(F);
  F = Fd;
}

// --- Windows paths

bool ParseWinPath(const std::string& Path, TWinPath& Out) {
  std::string P = Path;
  if (P.size() >= 6 && (P.compare(0, 4, "\\\\?\\") == 0 || P.compare(0, 4, "\\??\\") == 0) &&
      P[5] == ':')
    P.erase(0, 4);
  if (P.size() < 2 || P[1] != ':') return false;
  char L = static_cast<char>(P[0] | 0x20);
  if (L < 'a' || L > 'z') return false;
  if (P.size() > 2 && P[2] != '\\' && P[2] != '/') return false;  // "C:foo" is relative
  Out.Letter = L;
  Out.Comps.clear();
  size_t I = 2;
  while (I < P.size()) {
    while (I < P.size() && (P[I] == '\\' || P[I] == '/')) ++I;
    size_t Start = I;
    while (I < P.size() && P[I] != '\\' && P[I] != '/') ++I;
    if (I == Start) break;
    std::string C = P.substr(Start, I - Start);
    if (C == ".") continue;
    if (C == "..") {
      if (!Out.Comps.empty()) Out.Comps.pop_back();
      continue;
    }
    if (C.find('\0') != std::string::npos) return false;
    Out.Comps.push_back(std::move(C));
  }
  return true;
}

// --- Names

namespace {

constexpr char32_t kInvalidBase = 0x110000;  // an invalid byte B decodes as this + B

inline char32_t Decode(const unsigned char*& P, const unsigned char* E) {
  unsigned char B = *P;
  if (B < 0x80) {
    ++P;
    return B;
  }
  int N;
  char32_t C;
  if (B >= 0xC2 && B <= 0xDF) {
    N = 1;
    C = B & 0x1Fu;
  } else if (B >= 0xE0 && B <= 0xEF) {
    N = 2;
    C = B & 0x0Fu;
  } else if (B >= 0xF0 && B <= 0xF4) {
    N = 3;
    C = B & 0x07u;
  } else {
    ++P;
    return kInvalidBase + B;
  }
  if (E - P <= N) {
    ++P;
    return kInvalidBase + B;
  }
  for (int I = 1; I <= N; ++I) {
    if ((P[I] & 0xC0) != 0x80) {
      ++P;
      return kInvalidBase + B;
    }
    C = (C << 6) | (P[I] & 0x3Fu);
  }
  if ((N == 2 && (C < 0x800 || (C >= 0xD800 && C <= 0xDFFF))) ||
      (N == 3 && (C < 0x10000 || C > 0x10FFFF))) {
    ++P;
    return kInvalidBase + B;
  }
  P += N + 1;
  return C;
}

// Simple upper-casing of the scripts Windows file names commonly use.
inline char32_t Upper(char32_t C) {
  if (C < 0x80) return (C >= 'a' && C <= 'z') ? C - 32 : C;
  if (C < 0x100) {
    if (C >= 0xE0 && C <= 0xFE && C != 0xF7) return C - 0x20;
    if (C == 0xFF) return 0x178;
    return C;
  }
  if (C <= 0x17F) {
    if ((C >= 0x139 && C <= 0x148) || (C >= 0x179 && C <= 0x17E)) return (C % 2 == 0) ? C - 1 : C;
    if (C == 0x131 || C == 0x138 || C == 0x149 || C == 0x178 || C == 0x17F) return C;
    return (C % 2 == 1) ? C - 1 : C;
  }
  if (C >= 0x3B1 && C <= 0x3C9 && C != 0x3C2) return C - 0x20;
  if (C >= 0x430 && C <= 0x44F) return C - 0x20;
  if (C >= 0x450 && C <= 0x45F) return C - 0x50;
  return C;
}

inline unsigned char UpperAscii(unsigned char C) {
  return (C >= 'a' && C <= 'z') ? static_cast<unsigned char>(C - 32) : C;
}

}  // namespace

bool NamesEqualNoCase(const char* A, size_t ALen, const char* B, size_t BLen) {
  const auto* P = reinterpret_cast<const unsigned char*>(A);
  const auto* Q = reinterpret_cast<const unsigned char*>(B);
  const unsigned char* PE = P + ALen;
  const unsigned char* QE = Q + BLen;
  while (P < PE && Q < QE) {
    if (*P < 0x80 && *Q < 0x80) {
      if (UpperAscii(*P) != UpperAscii(*Q)) return false;
      ++P;
      ++Q;
      continue;
    }
    if (Upper(Decode(P, PE)) != Upper(Decode(Q, QE))) return false;
  }
  return P == PE && Q == QE;
}

int CompareNames(const char* A, size_t ALen, const char* B, size_t BLen) {
  const auto* P = reinterpret_cast<const unsigned char*>(A);
  const auto* Q = reinterpret_cast<const unsigned char*>(B);
  const unsigned char* PE = P + ALen;
  const unsigned char* QE = Q + BLen;
  while (P < PE && Q < QE) {
    char32_t X, Y;
    if (*P < 0x80 && *Q < 0x80) {
      X = UpperAscii(*P++);
      Y = UpperAscii(*Q++);
    } else {
      X = Upper(Decode(P, PE));
      Y = Upper(Decode(Q, QE));
    }
    if (X != Y) return X < Y ? -1 : 1;
  }
  if (P != PE) return 1;
  if (Q != QE) return -1;
  int R = memcmp(A, B, ALen < BLen ? ALen : BLen);
  if (R != 0) return R < 0 ? -1 : 1;
  return ALen == BLen ? 0 : (ALen < BLen ? -1 : 1);
}

size_t Utf16Length(const char* S, size_t Len) {
  const auto* P = reinterpret_cast<const unsigned char*>(S);
  const unsigned char* E = P + Len;
  size_t N = 0;
  while (P < E) {
    char32_t C = Decode(P, E);
    N += (C >= 0x10000 && C < kInvalidBase) ? 2 : 1;
  }
  return N;
}

namespace {

inline bool IsMappedAscii(unsigned char C) {
  switch (C) {
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

// The private-use character of a mapped ASCII character: U+F000 + C, as UTF-8
// EF 80|81 xx. True when P (with at least 3 bytes) holds one; C receives the ASCII code.
inline bool IsMappedPrivate(const unsigned char* P, const unsigned char* E, unsigned char& C) {
  if (E - P < 3 || P[0] != 0xEF || (P[1] != 0x80 && P[1] != 0x81) || (P[2] & 0xC0) != 0x80)
    return false;
  const unsigned Code = ((P[1] & 0x3Fu) << 6) | (P[2] & 0x3Fu);  // below 0x80
  C = static_cast<unsigned char>(Code);
  return Code < 0x80 && IsMappedAscii(C);
}

}  // namespace

bool NameNeedsMapping(const char* Name, size_t Len) {
  for (size_t I = 0; I < Len; ++I) {
    const auto C = static_cast<unsigned char>(Name[I]);
    if (C == 0xEF || IsMappedAscii(C)) return true;
  }
  return false;
}

bool WinNameOf(const char* Name, size_t Len, std::string& Win) {
  Win.clear();
  const auto* P = reinterpret_cast<const unsigned char*>(Name);
  const unsigned char* E = P + Len;
  while (P < E) {
    unsigned char C;
    if (IsMappedPrivate(P, E, C)) return false;  // would read back as C
    if (IsMappedAscii(*P)) {
      const unsigned Code = 0xF000u + *P;
      Win += static_cast<char>(0xE0 | (Code >> 12));
      Win += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
      Win += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
      Win += static_cast<char>(*P);
    }
    ++P;
  }
  return true;
}

bool UnixNameOf(const std::string& Win, std::string& Unix) {
  Unix.clear();
  const auto* P = reinterpret_cast<const unsigned char*>(Win.data());
  const unsigned char* E = P + Win.size();
  while (P < E) {
    unsigned char C;
    if (IsMappedPrivate(P, E, C)) {
      Unix += static_cast<char>(C);
      P += 3;
      continue;
    }
    if (IsMappedAscii(*P)) return false;
    Unix += static_cast<char>(*P++);
  }
  return true;
}

bool HasWildcards(const std::string& Text) {
  return Text.find_first_of("*?") != std::string::npos;
}

TNameMask::TNameMask(const std::string& Mask) {
  const auto* P = reinterpret_cast<const unsigned char*>(Mask.data());
  const unsigned char* E = P + Mask.size();
  while (P < E) M.push_back(Upper(Decode(P, E)));
  All = !M.empty() && M[0] == '*';
  for (char32_t C : M)
    if (C != '*' && C != '.') All = false;
}

bool TNameMask::Matches(const char* Name, size_t Len) const {
  if (All) return true;
  char32_t Local[300];
  std::vector<char32_t> Heap;
  char32_t* N = Local;
  if (Len >= sizeof Local / sizeof Local[0]) {
    Heap.resize(Len + 1);
    N = Heap.data();
  }
  size_t NN = 0;
  const auto* P = reinterpret_cast<const unsigned char*>(Name);
  const unsigned char* E = P + Len;
  while (P < E) N[NN++] = Upper(Decode(P, E));

  const size_t MN = M.size();
  size_t MI = 0, NI = 0, StarM = static_cast<size_t>(-1), StarN = 0;
  while (NI < NN) {
    if (MI < MN && M[MI] == '*') {
      while (MI < MN && M[MI] == '*') ++MI;
      StarM = MI;
      StarN = NI;
      continue;
    }
    if (MI < MN && (M[MI] == '?' || M[MI] == '>' || M[MI] == N[NI])) {
      ++MI;
      ++NI;
      continue;
    }
    if (StarM != static_cast<size_t>(-1)) {
      MI = StarM;
      NI = ++StarN;
      continue;
    }
    return false;
  }
  while (MI < MN && (M[MI] == '.' || M[MI] == '*')) ++MI;
  return MI == MN;
}

// --- Identity

bool StatAt(int Dir, const char* Name, bool Follow, TStatInfo& St) {
  static std::atomic<bool> NoStatx{false};
  int Flags = AT_NO_AUTOMOUNT | (Follow ? 0 : AT_SYMLINK_NOFOLLOW) | (*Name ? 0 : AT_EMPTY_PATH);
  if (!NoStatx.load(std::memory_order_relaxed)) {
    struct statx Sx;
    if (statx(Dir, Name, Flags, STATX_BASIC_STATS | STATX_MNT_ID, &Sx) == 0) {
      St.Mode = Sx.stx_mode;
      St.Dev = makedev(Sx.stx_dev_major, Sx.stx_dev_minor);
      St.Ino = Sx.stx_ino;
      St.Size = Sx.stx_size;
      St.Nlink = Sx.stx_nlink;
      St.Uid = Sx.stx_uid;
      St.MountRoot = (Sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                     (Sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
      St.MntId = (Sx.stx_mask & STATX_MNT_ID) ? Sx.stx_mnt_id : 0;
      return true;
    }
    if (errno != ENOSYS) return false;
    NoStatx.store(true, std::memory_order_relaxed);
  }
  struct stat S;
  if (fstatat(Dir, Name, &S, Flags) != 0) return false;
  St.Mode = S.st_mode;
  St.Dev = S.st_dev;
  St.Ino = S.st_ino;
  St.Size = static_cast<uint64_t>(S.st_size);
  St.Nlink = S.st_nlink;
  St.Uid = S.st_uid;
  St.MountRoot = false;
  St.MntId = 0;
  return true;
}

// --- Resolution

TFd OpenDriveRoot(const std::string& PrefixDir, char Letter) {
  if (PrefixDir.empty() || PrefixDir[0] != '/') return TFd();
  TFd Dev(
      open((PrefixDir + "/dosdevices").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!Dev.Valid()) return TFd();
  char Name[3] = {static_cast<char>(Letter | 0x20), ':', '\0'};
  // The drive link is the one link a path may cross.
  return TFd(openat(Dev.Get(), Name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool LookupName(int Dir, const std::string& WinName, std::string& Found) {
  std::string Name;
  if (!UnixNameOf(WinName, Name)) {
    errno = ENOENT;
    return false;
  }
  if (Name.empty() || Name == "." || Name == ".." || Name.find('/') != std::string::npos ||
      Name.find('\0') != std::string::npos)
    return false;
  struct stat S;
  if (fstatat(Dir, Name.c_str(), &S, AT_SYMLINK_NOFOLLOW) == 0) {
    Found = Name;
    return true;
  }
  if (errno != ENOENT) return false;
  // An independent descriptor, so the scan has its own offset.
  TFd Scan(openat(Dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!Scan.Valid()) return false;
  std::vector<char> Buf(32768);
  std::string Unmapped;
  for (;;) {
    long N = syscall(SYS_getdents64, Scan.Get(), Buf.data(), Buf.size());
    if (N <= 0) return false;
    for (long Off = 0; Off < N;) {
      const char* Rec = Buf.data() + Off;
      unsigned short RecLen;
      memcpy(&RecLen, Rec + 16, sizeof RecLen);
      const char* DName = Rec + 19;
      size_t Len = strnlen(DName, static_cast<size_t>(RecLen) - 19);
      if (NamesEqualNoCase(DName, Len, Name.data(), Name.size()) &&
          !(NameNeedsMapping(DName, Len) && !WinNameOf(DName, Len, Unmapped)) &&
          !(Len == 1 && DName[0] == '.') && !(Len == 2 && DName[0] == '.' && DName[1] == '.')) {
        Found.assign(DName, Len);
        return true;
      }
      Off += RecLen;
    }
  }
}

TFd ResolveDir(int Root, const std::vector<std::string>& Comps, size_t Count, bool NoXdev,
               std::vector<std::string>* Spelled, int& Err) {
  Err = 0;
  if (Spelled) Spelled->clear();
  TFd Cur(fcntl(Root, F_DUPFD_CLOEXEC, 0));
  if (!Cur.Valid()) {
    Err = errno;
    return TFd();
  }
  TStatInfo RootSt;
  if (NoXdev && !StatAt(Root, "", false, RootSt)) {
    Err = errno;
    return TFd();
  }
  std::string Found;
  for (size_t I = 0; I < Count && I < Comps.size(); ++I) {
    if (!LookupName(Cur.Get(), Comps[I], Found)) {
      Err = (errno == ENAMETOOLONG || errno == EACCES) ? errno : ENOENT;
      return TFd();
    }
    TFd Next(openat(Cur.Get(), Found.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!Next.Valid()) {
      Err = errno;
      return TFd();
    }
    if (NoXdev) {
      TStatInfo St;
      if (!StatAt(Next.Get(), "", false, St)) {
        Err = errno;
        return TFd();
      }
      if (St.Dev != RootSt.Dev || St.MountRoot) {
        Err = EXDEV;
        return TFd();
      }
    }
    if (Spelled) Spelled->push_back(Found);
    Cur = std::move(Next);
  }
  return Cur;
}

TFd ResolveDirForChange(int Root, const std::vector<std::string>& Comps, size_t Count,
                        std::vector<std::string>* Spelled, int& Err) {
  static std::atomic<bool> NoOpenat2{false};
  if (Count > Comps.size()) Count = Comps.size();
  if (Count > 0 && !GForceOpenatChain.load() && !NoOpenat2.load(std::memory_order_relaxed)) {
    std::string Rel, Unix;
    std::vector<std::string> Exact;
    for (size_t I = 0; I < Count; ++I) {
      if (!UnixNameOf(Comps[I], Unix)) {
        Err = ENOENT;
        return TFd();
      }
      if (I) Rel += '/';
      Rel += Unix;
      Exact.push_back(Unix);
    }
    struct open_how How;
    memset(&How, 0, sizeof How);
    How.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    How.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV | RESOLVE_BENEATH;
    long Fd = syscall(SYS_openat2, Root, Rel.c_str(), &How, sizeof How);
    if (Fd >= 0) {
      GOpenat2Used.fetch_add(1);
      if (Spelled) *Spelled = std::move(Exact);
      Err = 0;
      return TFd(static_cast<int>(Fd));
    }
    int E = errno;
    if (E == ENOSYS || E == EPERM) {
      if (E == ENOSYS) NoOpenat2.store(true, std::memory_order_relaxed);
    } else if (E != ENOENT && E != ENAMETOOLONG) {
      // A link, a mount or a race on the exact path: refused, no second try.
      Err = E;
      return TFd();
    }
    // ENOENT: the spelling may differ in case; the chain looks names up. ENAMETOOLONG: the
    // chain takes one component at a time.
  }
  GOpenatChainUsed.fetch_add(1);
  return ResolveDir(Root, Comps, Count, true, Spelled, Err);
}

namespace {

#if defined(__x86_64__) || defined(__aarch64__)
constexpr long kSysGetxattrat = 464;  // Linux 6.13
#else
constexpr long kSysGetxattrat = -1;
#endif

struct TXattrArgs {  // struct xattr_args
  uint64_t Value;
  uint32_t Size;
  uint32_t Flags;
};

// getxattrat relative to the directory; where the kernel lacks it, lgetxattr on the
// /proc/self/fd path, whose lookup through /proc costs several times as much.
ssize_t ReadXattrAt(int Dir, const char* Name, const char* Attr, char* V, size_t Size) {
  static std::atomic<bool> NoAt{kSysGetxattrat < 0};
  if (!NoAt.load(std::memory_order_relaxed)) {
    TXattrArgs Args{reinterpret_cast<uintptr_t>(V), static_cast<uint32_t>(Size), 0};
    const unsigned Flags = AT_SYMLINK_NOFOLLOW | (*Name ? 0 : AT_EMPTY_PATH);
    long L = syscall(kSysGetxattrat, Dir, Name, Flags, Attr, &Args, sizeof Args);
    if (L >= 0 || (errno != ENOSYS && errno != EPERM)) return L;
    if (errno == ENOSYS) NoAt.store(true, std::memory_order_relaxed);
  }
  char Path[4200];
  int N = *Name ? snprintf(Path, sizeof Path, "/proc/self/fd/%d/%s", Dir, Name)
                : snprintf(Path, sizeof Path, "/proc/self/fd/%d", Dir);
  if (N <= 0 || static_cast<size_t>(N) >= sizeof Path) return -1;
  return lgetxattr(Path, Attr, V, Size);
}

}  // namespace

uint32_t DosAttribBits(int Dir, const char* Name) {
  char V[64];
  ssize_t L = ReadXattrAt(Dir, Name, "user.DOSATTRIB", V, sizeof V - 1);
  if (L < 3) return 0;
  V[L] = '\0';
  if (V[0] != '0' || (V[1] != 'x' && V[1] != 'X')) return 0;
  uint32_t Bits = 0;
  bool Any = false;
  for (ssize_t I = 2; I < L; ++I) {
    char C = V[I];
    int D;
    if (C >= '0' && C <= '9')
      D = C - '0';
    else if (C >= 'a' && C <= 'f')
      D = C - 'a' + 10;
    else if (C >= 'A' && C <= 'F')
      D = C - 'A' + 10;
    else
      break;
    Any = true;
    Bits = (Bits << 4) | static_cast<uint32_t>(D);
  }
  if (!Any) return 0;
  return Bits & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

}  // namespace twl
