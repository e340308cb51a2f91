// Text and paths of the Windows backend. The core speaks 8-bit text in the ANSI code
// page; the backend talks to the system in UTF-16 and converts exactly, so that a name
// the code page cannot hold is never replaced by a look-alike (best fit would turn
// "ābc.tmp" into "abc.tmp", another file's name).
#pragma once

#include <windows.h>

#include <string>

namespace tww {

// ANSI code page to UTF-16; false for bytes that are not valid text in the code page.
bool ToWide(const std::string& Ansi, std::wstring& Wide);
// UTF-16 to the ANSI code page; false when some character has no exact form there.
bool ToAnsi(const wchar_t* Wide, size_t Len, std::string& Ansi);
inline bool ToAnsi(const std::wstring& Wide, std::string& Ansi) {
  return ToAnsi(Wide.data(), Wide.size(), Ansi);
}

// The extended-length form ("\\?\C:\a\b") of an absolute drive path, so that long paths
// and names with trailing dots or blanks reach the object they name. Paths with "." or
// ".." components or forward slashes are made absolute by the system first. False when
// Path is not an absolute drive path.
bool ExtendedPath(const std::wstring& Path, std::wstring& Out);
// The path without a leading "\\?\" (for comparisons and for the shell).
std::wstring WithoutExtendedPrefix(const std::wstring& Path);
// Ordinal comparison ignoring case, as the file system compares names.
bool SamePathNoCase(const std::wstring& A, const std::wstring& B);

// A handle that closes itself.
class THandle {
 public:
  THandle() = default;
  explicit THandle(HANDLE H) : F(H) {}
  ~THandle() { Reset(); }
  THandle(THandle&& O) noexcept : F(O.Release()) {}
  THandle& operator=(THandle&& O) noexcept {
    if (this != &O) {
      Reset();
      F = O.Release();
    }
    return *this;
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return F; }
  bool Valid() const { return F != INVALID_HANDLE_VALUE && F != nullptr; }
  HANDLE Release() {
    HANDLE H = F;
    F = INVALID_HANDLE_VALUE;
    return H;
  }
  void Reset(HANDLE H = INVALID_HANDLE_VALUE) {
    if (Valid()) CloseHandle(F);
    F = H;
  }

 private:
  HANDLE F = INVALID_HANDLE_VALUE;
};

}  // namespace tww
