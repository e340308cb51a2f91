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
