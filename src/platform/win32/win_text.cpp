#include "platform/win32/win_text.h"

namespace tww {

bool ToWide(const std::string& Ansi, std::wstring& Wide) {
  Wide.clear();
  if (Ansi.empty()) return true;
  if (Ansi.find('\0') != std::string::npos || Ansi.size() > 0x7FFFFFFF) return false;
  const int In = static_cast<int>(Ansi.size());
  int N = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, Ansi.data(), In, nullptr, 0);
  if (N <= 0) return false;
  Wide.resize(static_cast<size_t>(N));
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, Ansi.data(), In, Wide.data(), N) == N;
}

bool ToAnsi(const wchar_t* Wide, size_t Len, std::string& Ansi) {
  Ansi.clear();
  if (Len == 0) return true;
  if (Len > 0x7FFFFFFF) return false;
  const int In = static_cast<int>(Len);
  // UTF-8 as the ANSI code page (a Windows 10 option) has every character; the flags that
  // detect a substitution are not allowed with it.
  const bool Utf8 = GetACP() == CP_UTF8;
  const DWORD Flags = Utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL UsedDefault = FALSE;
  BOOL* Used = Utf8 ? nullptr : &UsedDefault;
  int N = WideCharToMultiByte(CP_ACP, Flags, Wide, In, nullptr, 0, nullptr, Used);
  if (N <= 0 || UsedDefault) return false;
  Ansi.resize(static_cast<size_t>(N));
  if (WideCharToMultiByte(CP_ACP, Flags, Wide, In, Ansi.data(), N, nullptr, Used) != N ||
      UsedDefault)
    return false;
  // Round trip: a code page without a default-character report must still give back
  // exactly what went in.
  std::wstring Back;
  return ToWide(Ansi, Back) && Back.size() == Len && Back.compare(0, Len, Wide, Len) == 0;
}

namespace {

bool IsDriveAbsolute(const std::wstring& P) {
  return P.size() >= 3 && ((P[0] | 0x20) >= L'a' && (P[0] | 0x20) <= L'z') && P[1] == L':' &&
         P[2] == L'\\';
}

bool NeedsNormalising(const std::wstring& P) {
  if (P.find(L'/') != std::wstring::npos) return true;
  size_t I = 0;
  while (I < P.size()) {
    size_t E = P.find(L'\\', I);
    if (E == std::wstring::npos) E = P.size();
    const std::wstring C = P.substr(I, E - I);
    if (C == L"." || C == L"..") return true;
    if (C.empty() && E < P.size() && I > 3) return true;  // "\\" inside the path
    I = E + 1;
  }
  return false;
}

}  // namespace

bool ExtendedPath(const std::wstring& Path, std::wstring& Out) {
  std::wstring P = WithoutExtendedPrefix(Path);
  if (P.size() == 2 && P[1] == L':') P += L'\\';
  if (P.size() >= 3 && P[2] == L'/') P[2] = L'\\';
  if (!IsDriveAbsolute(P)) return false;
  if (NeedsNormalising(P)) {
    DWORD N = GetFullPathNameW(P.c_str(), 0, nullptr, nullptr);
    if (N == 0) return false;
    std::wstring Full(N, L'\0');
    N = GetFullPathNameW(P.c_str(), N, Full.data(), nullptr);
    if (N == 0 || N >= Full.size()) return false;
    Full.resize(N);
    P = Full;
    if (!IsDriveAbsolute(P)) return false;
  }
  Out = L"\\\\?\\" + P;
  return true;
}

std::wstring WithoutExtendedPrefix(const std::wstring& Path) {
  if (Path.compare(0, 4, L"\\\\?\\") == 0 || Path.compare(0, 4, L"\\??\\") == 0)
    return Path.substr(4);
  return Path;
}

bool SamePathNoCase(const std::wstring& A, const std::wstring& B) {
  if (A.size() != B.size() || A.size() > 0x7FFFFFFF) return false;
  return CompareStringOrdinal(A.data(), static_cast<int>(A.size()), B.data(),
                              static_cast<int>(B.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace tww
