// A throw-away Wine-style prefix whose drive C: is a given host folder, so that the
// product's finder and shredder can be timed on any tree. It sets WINEPREFIX and USER for
// the process and removes its own files (never the target) when it goes.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

class TBenchPrefix {
 public:
  explicit TBenchPrefix(const std::string& DriveC) {
    char tmpl[] = "/tmp/tw-bench-prefix-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("cannot create a temporary prefix");
    FDir = tmpl;
    char* real = realpath(DriveC.c_str(), nullptr);
    if (!real) throw std::runtime_error("no such folder: " + DriveC);
    std::string target = real;
    std::free(real);
    mkdir((FDir + "/dosdevices").c_str(), 0755);
    if (symlink(target.c_str(), (FDir + "/dosdevices/c:").c_str()) != 0)
      throw std::runtime_error("cannot link drive C:");
    Write("system.reg",
          "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n");
    Write("user.reg",
          "WINE REGISTRY Version 2\n;; All keys relative to "
          "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n");
    Write("userdef.reg",
          "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n\n"
          "#arch=win64\n");
    setenv("WINEPREFIX", FDir.c_str(), 1);
    setenv("USER", "tester", 1);
  }
  ~TBenchPrefix() {
    unlink((FDir + "/dosdevices/c:").c_str());
    rmdir((FDir + "/dosdevices").c_str());
    for (const char* f : {"system.reg", "user.reg", "userdef.reg", "system.dat"})
      unlink((FDir + "/" + f).c_str());
    rmdir(FDir.c_str());
  }
  TBenchPrefix(const TBenchPrefix&) = delete;
  TBenchPrefix& operator=(const TBenchPrefix&) = delete;

  const std::string& Dir() const { return FDir; }

 private:
  void Write(const char* Name, const char* Text) {
    FILE* f = std::fopen((FDir + "/" + Name).c_str(), "w");
    if (!f) throw std::runtime_error(std::string("cannot write ") + Name);
    std::fputs(Text, f);
    std::fclose(f);
  }
  std::string FDir;
};
