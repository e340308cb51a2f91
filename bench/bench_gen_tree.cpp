// Deterministic synthetic tree for the walk benchmarks.
//
//   bench_gen_tree ROOT [--dirs N] [--files M] [--seed S] [--junk P]
//
// Lays out N directories (below ROOT, depth <= 12, parents biased towards early ones,
// 3 % hidden) and M empty files spread with log-normal weights, of which about 6 % are
// (P, default 6) junk names made from the default search masks (random case) and about 3 % near
// misses that must not match. Hits get sparse sizes up to 1 MiB. Writes ROOT.expected (the sorted
// relative paths that must match) and ROOT.masks (the masks, one per line).
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench_masks.h"

namespace {

struct TRandom {
  uint64_t State;
  uint64_t Next() {  // splitmix64: the same sequence on every platform and library
    uint64_t z = (State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  uint32_t Below(uint32_t N) { return static_cast<uint32_t>(Unit() * N); }
  double Gauss() {
    double u1 = Unit(), u2 = Unit();
    if (u1 < 1e-300) u1 = 1e-300;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
};

const char* const kWords[] = {"report", "data",  "setup", "cache",  "notes", "draft", "image",
                              "module", "index", "build", "backup", "photo", "video", "music",
                              "config", "page",  "style", "script", "font",  "sound"};
const char* const kExts[] = {"txt", "dat", "png", "cfg", "xml", "html", "js",  "dll",
                             "exe", "ini", "jpg", "css", "mp3", "pdf",  "doc", "json"};
const char* const kNearMisses[] = {
    "tmp#.txt",       "temp.dir#.txt",   "backup#.bakx",  "log#",       "my#.tmpl",  "x#.logx",
    "thumbs#.db.txt", "a#.b.c.oldx",     "swap#.swpx",    "dump#.dmpx", "notes#.d~", "bootlog#.txt",
    "file#.chkx",     "report#.tmp.txt", "oldthumbs#.db", "~nodot#",    "0123#.nch", "x#.bak.txt"};

bool Matches(const std::string& Name) {
  for (const char* m : kBenchMasks)
    if (fnmatch(m, Name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0) return true;
  return false;
}

std::string Word(TRandom& R) {
  return std::string(kWords[R.Below(std::size(kWords))]) + std::to_string(R.Below(1000));
}

char RandomChar(TRandom& R) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  return kChars[R.Below(36)];
}

// A name made from a mask: "*" becomes a word and a number, "?" one character.
std::string FromMask(TRandom& R, const char* Mask) {
  std::string out;
  for (const char* p = Mask; *p; ++p) {
    if (*p == '*')
      out += Word(R);
    else if (*p == '?')
      out += RandomChar(R);
    else
      out += *p;
  }
  switch (R.Below(4)) {
    case 0:
      break;  // as in the mask
    case 1:
      for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      break;
    case 2:
      for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      break;
    default:
      for (char& c : out)
        if (R.Below(2)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string Lower(std::string S) {
  for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return S;
}

[[noreturn]] void Fail(const std::string& What) {
  std::fprintf(stderr, "bench_gen_tree: %s: %s\n", What.c_str(), std::strerror(errno));
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string root;
  long dirs = 20000, files = 200000;
  uint64_t seed = 1;
  long junk = 6;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--dirs" && i + 1 < argc)
      dirs = std::atol(argv[++i]);
    else if (a == "--files" && i + 1 < argc)
      files = std::atol(argv[++i]);
    else if (a == "--seed" && i + 1 < argc)
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--junk" && i + 1 < argc)
      junk = std::atol(argv[++i]);
    else if (root.empty() && a[0] != '-')
      root = a;
    else {
      std::fprintf(stderr,
                   "usage: bench_gen_tree ROOT [--dirs N] [--files M] [--seed S] [--junk P]\n");
      return 2;
    }
  }
  if (root.empty() || dirs < 0 || files < 0 || junk < 0 || junk > 97) {
    std::fprintf(stderr,
                 "usage: bench_gen_tree ROOT [--dirs N] [--files M] [--seed S] [--junk P]\n");
    return 2;
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (mkdir(root.c_str(), 0755) != 0) Fail("cannot create " + root + " (it must not exist)");

  TRandom r{seed};
  // Directory 0 is the root. Each new directory hangs below an earlier one, preferring
  // the early ones, so that the tree is deep in places and bushy in others.
  std::vector<std::string> rel{""};
  std::vector<int> depth{0};
  std::vector<std::unordered_set<std::string>> names(1);
  for (long i = 1; i <= dirs; ++i) {
    size_t parent;
    do {
      double u = r.Unit();
      parent = static_cast<size_t>(u * u * static_cast<double>(rel.size()));
    } while (depth[parent] >= 12);
    std::string name = (r.Below(100) < 3 ? "." : "") + Word(r) + "_" + std::to_string(i);
    names[parent].insert(Lower(name));
    rel.push_back(rel[parent] + name + "/");
    depth.push_back(depth[parent] + 1);
    names.emplace_back();
    if (mkdir((root + "/" + rel.back()).c_str(), 0755) != 0) Fail("mkdir " + rel.back());
  }

  std::vector<double> cumulative(rel.size());
  double sum = 0;
  for (size_t i = 0; i < rel.size(); ++i) cumulative[i] = (sum += std::exp(1.2 * r.Gauss()));

  std::vector<std::string> expected;
  for (long i = 0; i < files; ++i) {
    double pick = r.Unit() * sum;
    size_t d = static_cast<size_t>(std::lower_bound(cumulative.begin(), cumulative.end(), pick) -
                                   cumulative.begin());
    if (d >= rel.size()) d = rel.size() - 1;
    uint32_t kind = r.Below(100);
    std::string name;
    if (kind < junk) {
      name = FromMask(r, kBenchMasks[r.Below(kBenchMasks.size())]);
    } else if (kind < junk + 3) {
      name = kNearMisses[r.Below(std::size(kNearMisses))];
      name.replace(name.find('#'), 1, std::to_string(r.Below(100000)));
    } else {
      name = Word(r) + "." + kExts[r.Below(std::size(kExts))];
    }
    // No two names of a folder may differ only in letter case.
    while (!names[d].insert(Lower(name)).second) name = "x" + name;
    std::string path = root + "/" + rel[d] + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) Fail("create " + path);
    if (Matches(name)) {
      expected.push_back(rel[d] + name);
      if (ftruncate(fd, static_cast<off_t>(r.Below(1u << 20) + 1)) != 0) Fail("size " + path);
    }
    close(fd);
  }

  std::sort(expected.begin(), expected.end());
  FILE* out = std::fopen((root + ".expected").c_str(), "w");
  if (!out) Fail("write " + root + ".expected");
  for (const auto& e : expected) std::fprintf(out, "%s\n", e.c_str());
  std::fclose(out);
  out = std::fopen((root + ".masks").c_str(), "w");
  if (!out) Fail("write " + root + ".masks");
  for (const char* m : kBenchMasks) std::fprintf(out, "%s\n", m);
  std::fclose(out);
  return 0;
}
