#include "platform/tw_platform.h"

#include <mutex>

namespace {
TTWPlatform* g_override = nullptr;

TTWPlatform& HostPlatform() {
  static std::unique_ptr<TTWPlatform> host = CreateHostPlatform();
  return *host;
}
}  // namespace

TTWPlatform& Platform() {
  return g_override ? *g_override : HostPlatform();
}

void SetPlatform(TTWPlatform* P) {
  g_override = P;
}

bool TTWPlatform::ReadSmallFile(const std::string& HostPath, size_t Limit, std::string& Data,
                                std::string& Why) {
  std::string All;
  if (!ReadWholeFile(HostPath, All)) {
    Why = "The file cannot be read.";
    return false;
  }
  if (All.size() > Limit) {
    Why = "The file is too large.";
    return false;
  }
  Data.swap(All);
  return true;
}
