// The floor of a tree walk: what the hardware and kernel allow, for comparison with the
// product's finder.
//
//   bench_floor [-m names|target|readdir] [-p] ROOT
//
// names    openat + getdents64 into a 64 KiB buffer per level, type from d_type, no stat
// target   the same, plus the default masks precompiled (tail compares, a set of exact
//          names, a matcher only for real globs) and fstatat on the hits
// readdir  names only, through readdir()
// -p prints "size<TAB>path" per hit (target mode), as find -printf '%s\t%p\n' does.
// Links are never followed; a directory that cannot be opened is skipped.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench_masks.h"

namespace {

struct TLinuxDirent64 {
  uint64_t d_ino;
  int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  // the name follows at offset 19
};
constexpr size_t kNameOffset = 19;

class TMaskSet {
 public:
  TMaskSet() {
    for (const char* m : kBenchMasks) {
      std::string lower = Lower(m);
      bool glob = lower.find_first_of("*?[") != std::string::npos;
      if (!glob) {
        FExact.insert(lower);
      } else if (lower[0] == '*' && lower.find_first_of("*?[", 1) == std::string::npos) {
        FTails.push_back(lower.substr(1));
      } else {
        FGlobs.push_back(lower);
      }
    }
  }
  bool Matches(const char* Name) const {
    std::string n = Lower(Name);
    for (const auto& t : FTails)
      if (n.size() >= t.size() && n.compare(n.size() - t.size(), t.size(), t) == 0) return true;
    if (FExact.count(n)) return true;
    for (const auto& g : FGlobs)
      if (fnmatch(g.c_str(), n.c_str(), FNM_NOESCAPE) == 0) return true;
    return false;
  }

 private:
  static std::string Lower(std::string S) {
    for (char& c : S)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return S;
  }
  std::vector<std::string> FTails;
  std::unordered_set<std::string> FExact;
  std::vector<std::string> FGlobs;
};

enum class TMode { Names, Target, Readdir };

struct TWalker {
  TMode Mode = TMode::Names;
  bool Print = false;
  TMaskSet Masks;
  uint64_t Entries = 0, Hits = 0;
  std::vector<std::vector<char>> Buffers;  // one per depth level

  void Walk(int Dir, std::string& Path, size_t Depth) {
    if (Buffers.size() <= Depth) Buffers.emplace_back(64 * 1024);
    char* buf = Buffers[Depth].data();
    for (;;) {
      long n = syscall(SYS_getdents64, Dir, buf, Buffers[Depth].size());
      if (n <= 0) break;
      for (long off = 0; off < n;) {
        auto* e = reinterpret_cast<TLinuxDirent64*>(buf + off);
        off += e->d_reclen;
        const char* name = buf + off - e->d_reclen + kNameOffset;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        ++Entries;
        unsigned char type = e->d_type;
        struct stat st;
        if (type == DT_UNKNOWN) {
          if (fstatat(Dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
          type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR) {
          int child = openat(Dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
          if (child < 0) continue;
          size_t len = Path.size();
          Path += '/';
          Path += name;
          Walk(child, Path, Depth + 1);
          Path.resize(len);
          close(child);
        } else if (type == DT_REG && Mode == TMode::Target && Masks.Matches(name)) {
          if (fstatat(Dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
          ++Hits;
          if (Print)
            std::printf("%lld\t%s/%s\n", static_cast<long long>(st.st_size), Path.c_str(), name);
        }
      }
    }
  }

  void WalkReaddir(const std::string& Path) {
    DIR* d = opendir(Path.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
      const char* name = e->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      ++Entries;
      if (e->d_type == DT_DIR) WalkReaddir(Path + "/" + name);
    }
    closedir(d);
  }
};

}  // namespace

int main(int argc, char** argv) {
  TWalker w;
  std::string root;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-m" && i + 1 < argc) {
      std::string m = argv[++i];
      if (m == "names")
        w.Mode = TMode::Names;
      else if (m == "target")
        w.Mode = TMode::Target;
      else if (m == "readdir")
        w.Mode = TMode::Readdir;
      else
        root.clear(), i = argc;
    } else if (a == "-p") {
      w.Print = true;
    } else if (root.empty() && a[0] != '-') {
      root = a;
    } else {
      root.clear();
      break;
    }
  }
  if (root.empty()) {
    std::fprintf(stderr, "usage: bench_floor [-m names|target|readdir] [-p] ROOT\n");
    return 2;
  }
  static char out[1 << 16];
  std::setvbuf(stdout, out, _IOFBF, sizeof out);
  if (w.Mode == TMode::Readdir) {
    w.WalkReaddir(root);
  } else {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      std::perror(root.c_str());
      return 1;
    }
    std::string path = root;
    w.Walk(fd, path, 0);
    close(fd);
  }
  std::fprintf(stderr, "entries %llu hits %llu\n", static_cast<unsigned long long>(w.Entries),
               static_cast<unsigned long long>(w.Hits));
  return 0;
}
