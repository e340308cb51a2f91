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

std::string TTWPlatform::Utf8ToSystemText(const std::string& Utf8) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
  std::string Out;
  Out.reserve(Utf8.size());
  const auto* B = reinterpret_cast<const unsigned char*>(Utf8.data());
  const size_t N = Utf8.size();
  size_t I = 0;
  while (I < N) {
    const unsigned char C = B[I];
    size_t Len = 0;
    unsigned char Lo = 0x80, Hi = 0xBF;  // the allowed range of the second byte
    if (C < 0x80) {
      Len = 1;
    } else if (C >= 0xC2 && C <= 0xDF) {
      Len = 2;
    } else if (C >= 0xE0 && C <= 0xEF) {
      Len = 3;
      if (C == 0xE0) Lo = 0xA0;  // no overlong forms
      if (C == 0xED) Hi = 0x9F;  // no surrogates
    } else if (C >= 0xF0 && C <= 0xF4) {
      Len = 4;
      if (C == 0xF0) Lo = 0x90;
      if (C == 0xF4) Hi = 0x8F;  // nothing above U+10FFFF
    }
    size_t Good = Len == 0 ? 0 : 1;
    while (Good > 0 && Good < Len && I + Good < N) {
      const unsigned char D = B[I + Good];
      if (D < (Good == 1 ? Lo : 0x80) || D > (Good == 1 ? Hi : 0xBF)) break;
      ++Good;
    }
    if (Len > 0 && Good == Len) {
      Out.append(Utf8, I, Len);
      I += Len;
    } else {
      // One replacement for the longest start of a sequence, as the Unicode practice has it.
      Out += kReplacement;
      I += Good > 0 ? Good : 1;
    }
  }
  return Out;
}
