// Shared pieces of the Linux platform tests: a sample prefix with the host platform on it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/tw_platform.h"
#include "support/sample_prefix.h"

class LinuxPlatformTest : public ::testing::Test {
 protected:
  // Created on first use, so a test can shape the prefix (registry, drives) first.
  TTWPlatform& P() {
    if (!FP) FP = CreateHostPlatform();
    return *FP;
  }

  std::vector<std::string> List(const std::string& Pattern, bool Lazy = false) {
    std::vector<std::string> Names;
    auto H = P().FindFirst(Pattern, Lazy);
    if (!H) return Names;
    TTWFindData D;
    while (H->Next(D)) Names.push_back(D.Name);
    return Names;
  }

  bool Exists(const std::string& Host) {
    struct stat St;
    return lstat(Host.c_str(), &St) == 0;
  }

  TTWFileId IdOf(const std::string& Host) {
    struct stat St;
    if (lstat(Host.c_str(), &St) != 0) return {};
    return {static_cast<uint64_t>(St.st_dev), static_cast<uint64_t>(St.st_ino)};
  }

  TSamplePrefix Pfx;
  std::unique_ptr<TTWPlatform> FP;
};
