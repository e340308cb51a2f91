// Directory enumeration as Wine's FindFirstFileA answers it, over a descriptor.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/wine_fs.h"
#include "platform/tw_platform.h"

namespace twl {

// What an enumeration must know about the system it lists.
struct TFindContext {
  bool HavePrefix = false;  // the prefix folder itself is never listed
  uint64_t PrefixDev = 0, PrefixIno = 0;
  uint64_t HostRootDev = 0, HostRootIno = 0;  // in "/", dev, proc and sys are not listed
  bool ShowDotFiles = false;                  // HKCU Software\Wine ShowDotFiles
};

// Starts an enumeration of Dir (taken over) with a wildcard Mask. DriveRoot drops "."
// and "..". Null when nothing matches or the folder cannot be read.
std::unique_ptr<TTWFindHandle> OpenFind(TFd Dir, const TStatInfo& DirSt, bool DriveRoot,
                                        const std::string& Mask, bool Lazy,
                                        const TFindContext& Ctx);

// Name, Size, Id and every attribute of the object St (stat of Dir/Name, not followed).
void FillDetails(int Dir, uint64_t DirDev, const char* Name, size_t Len, const TStatInfo& St,
                 bool ShowDotFiles, TTWFindData& Data);

// A read-ahead of folder listings on Threads threads of its own, for enumerations that
// OpenFind started (see TTWReadAhead). Null for 0 threads.
std::unique_ptr<TTWReadAhead> CreateReadAhead(std::function<bool()> Stopped, unsigned Threads);
// Benchmark and test seam: the host platform's read-ahead threads (-1: from the CPUs the
// process may use; 0: no read-ahead).
extern std::atomic<int> GReadAheadThreads;
// Test and benchmark seam: read ahead from the start of a walk and never park, whatever
// the listings take (by default the read-ahead starts when the walk's own listings are
// as slow as disk reads, and parks while its listings come from the cache).
extern std::atomic<bool> GReadAheadEager;

}  // namespace twl
