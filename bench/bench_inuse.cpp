// What the in-use checks of the destructive services cost: the one look at the files
// other processes hold open (a scan of /proc, taken once per deletion run), and deleting
// N files through the host platform within a run against the same deletions without
// any in-use check, measured in turns in one process.
//
//   bench_inuse --dir D [--files N] [--rounds R]
//
// D is a host folder on the file system to measure (a temporary prefix maps drive C: to
// it); every round fills D/inuse with N small files in folders of 100 and deletes them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_prefix.h"
#include "bench_util.h"
#include "platform/linux/wine_delete.h"
#include "platform/tw_platform.h"

namespace {

// Makes the files; returns their Windows paths.
std::vector<std::string> Fill(const std::string& Dir, int N) {
  std::vector<std::string> Paths;
  mkdir(Dir.c_str(), 0755);
  const std::string Data(1024, 'x');
  for (int I = 0; I < N; ++I) {
    const std::string Sub = "d" + std::to_string(I / 100);
    if (I % 100 == 0) mkdir((Dir + "/" + Sub).c_str(), 0755);
    const std::string Name = "f" + std::to_string(I) + ".tmp";
    FILE* F = std::fopen((Dir + "/" + Sub + "/" + Name).c_str(), "w");
    if (!F) continue;
    std::fwrite(Data.data(), 1, Data.size(), F);
    std::fclose(F);
    Paths.push_back("C:\\inuse\\" + Sub + "\\" + Name);
  }
  return Paths;
}

void Empty(const std::string& Dir, int N) {
  for (int I = 0; I < N; I += 100) rmdir((Dir + "/d" + std::to_string(I / 100)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  int files = 20000, rounds = 5;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--dir" && i + 1 < argc)
      dir = argv[++i];
    else if (a == "--files" && i + 1 < argc)
      files = std::atoi(argv[++i]);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::atoi(argv[++i]);
    else
      dir.clear(), i = argc;
  }
  if (dir.empty() || files <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: bench_inuse --dir D [--files N] [--rounds R]\n");
    return 2;
  }
  try {
    TBenchPrefix prefix(dir);
    std::unique_ptr<TTWPlatform> host = CreateHostPlatform();
    const std::string tree = dir + "/inuse";
    std::vector<double> scan, without, with;
    size_t processes = 0, ids = 0;
    int failed = 0;
    for (int r = 0; r < rounds; ++r) {
      twl::TOpenFiles open;
      auto t0 = TClock::now();
      open.Scan();
      scan.push_back(Ms(TClock::now() - t0));
      processes = open.Processes();
      ids = open.Count();

      std::vector<std::string> paths = Fill(tree, files);
      sync();
      t0 = TClock::now();
      for (const std::string& p : paths)
        failed += !twl::WineDeleteFile(prefix.Dir(), p, {}, nullptr);
      without.push_back(Ms(TClock::now() - t0));

      paths = Fill(tree, files);
      sync();
      t0 = TClock::now();
      host->BeginDeleteRun();
      for (const std::string& p : paths) failed += !host->DeleteFile(p, {});
      host->EndDeleteRun();
      with.push_back(Ms(TClock::now() - t0));
      Empty(tree, files);
    }
    rmdir(tree.c_str());
    if (failed) {
      std::fprintf(stderr, "bench_inuse: %d deletions failed\n", failed);
      return 1;
    }
    const double s = Median(scan), a = Median(without), b = Median(with);
    std::printf("scan of /proc: median %.2f ms (%zu processes readable, %zu open objects)\n", s,
                processes, ids);
    std::printf("delete %d files: without checks %.1f ms, with checks %.1f ms (scan included)\n",
                files, a, b);
    std::printf("ratios: with/without %.2f  scan/without %.3f  per file %.2f us extra\n", b / a,
                s / a, (b - a) * 1000.0 / files);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_inuse: %s\n", e.what());
    return 1;
  }
  return 0;
}
