#include "platform/tw_platform.h"

#include <mutex>
#include <utility>

namespace {
TTWPlatform* g_override = nullptr;

TTWPlatform& HostPlatform() {
  static std::unique_ptr<TTWPlatform> host = CreateHostPlatform();
  return *host;
}
class TIniByCalls : public TTWIniFile {
 public:
  TIniByCalls(TTWPlatform& P, std::string FileName) : FP(P), FFileName(std::move(FileName)) {}
  std::string GetString(const std::string& Section, const std::string& Key,
                        const std::string& Default) override {
    return FP.GetPrivateProfileString(Section, Key, Default, FFileName);
  }

 private:
  TTWPlatform& FP;
  std::string FFileName;
};
}  // namespace

std::unique_ptr<TTWIniFile> TTWPlatform::OpenIniFile(const std::string& FileName) {
  return std::make_unique<TIniByCalls>(*this, FileName);
}

bool TTWPlatform::DriveInsideSystem(char) {
  return true;
}

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
