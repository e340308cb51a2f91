// The Windows backend on the real Windows API (run under Wine in CI). Each test works in
// a fresh folder below the temporary folder.
#include "platform/tw_platform.h"
// After the platform header, which declares names the Windows headers make macros.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/win_unmacro.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& W) {
  int N = WideCharToMultiByte(CP_ACP, 0, W.data(), static_cast<int>(W.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string S(static_cast<size_t>(N), '\0');
  WideCharToMultiByte(CP_ACP, 0, W.data(), static_cast<int>(W.size()), S.data(), N, nullptr,
                      nullptr);
  return S;
}

void RemoveTreeW(const std::wstring& Dir) {
  WIN32_FIND_DATAW D;
  HANDLE H = FindFirstFileW((Dir + L"\\*").c_str(), &D);
  if (H != INVALID_HANDLE_VALUE) {
    do {
      std::wstring N = D.cFileName;
      if (N == L"." || N == L"..") continue;
      std::wstring P = Dir + L"\\" + N;
      SetFileAttributesW(P.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTreeW(P);
      else
        DeleteFileW(P.c_str());
    } while (FindNextFileW(H, &D));
    FindClose(H);
  }
  RemoveDirectoryW(Dir.c_str());
}

class Win32Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t Buf[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH, Buf), 0u);
    static int Counter = 0;
    FDir = std::wstring(Buf) + L"tw_win32_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++Counter);
    ASSERT_TRUE(CreateDirectoryW(FDir.c_str(), nullptr));
    Dir = Narrow(FDir);
  }
  void TearDown() override { RemoveTreeW(FDir); }

  std::wstring W(const std::wstring& Rel) const { return FDir + L"\\" + Rel; }
  std::string A(const std::string& Rel) const { return Dir + "\\" + Rel; }
  void MakeFile(const std::wstring& Rel, const std::string& Content) {
    HANDLE H = CreateFileW(W(Rel).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(H, INVALID_HANDLE_VALUE);
    DWORD N = 0;
    if (!Content.empty())
      WriteFile(H, Content.data(), static_cast<DWORD>(Content.size()), &N, nullptr);
    CloseHandle(H);
  }
  void MakeDir(const std::wstring& Rel) { ASSERT_TRUE(CreateDirectoryW(W(Rel).c_str(), nullptr)); }
  bool Exists(const std::wstring& Rel) const {
    return GetFileAttributesW(W(Rel).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::string Content(const std::wstring& Rel) const {
    HANDLE H = CreateFileW(W(Rel).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (H == INVALID_HANDLE_VALUE) return "<missing>";
    std::string S(1 << 16, '\0');
    DWORD N = 0;
    ReadFile(H, S.data(), static_cast<DWORD>(S.size()), &N, nullptr);
    CloseHandle(H);
    S.resize(N);
    return S;
  }
  std::map<std::string, TTWFindData> List(const std::string& Pattern, bool Lazy = false) {
    std::map<std::string, TTWFindData> Out;
    std::unique_ptr<TTWFindHandle> H = P->FindFirst(Pattern, Lazy);
    TTWFindData D;
    while (H && H->Next(D)) Out[D.Name] = D;
    return Out;
  }
  TTWFileId IdOf(const std::string& Path) {
    TTWFindData D;
    return P->FindOne(Path, D) ? D.Id : TTWFileId();
  }

  std::unique_ptr<TTWPlatform> P = CreateHostPlatform();
  std::wstring FDir;
  std::string Dir;
};

TEST_F(Win32Platform, ListsNamesSizesAttributesAndIds) {
  MakeFile(L"a.txt", "abc");
  MakeFile(L"hidden.tmp", "");
  SetFileAttributesW(W(L"hidden.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN);
  MakeFile(L"ro.tmp", "1234");
  SetFileAttributesW(W(L"ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeDir(L"Sub");
  MakeFile(L"Sub\\inner.bak", "12345");

  auto L = List(A("*.*"));
  ASSERT_EQ(L.size(), 6u) << "., .., a.txt, hidden.tmp, ro.tmp, Sub";
  EXPECT_TRUE(L.count(".") && L.count(".."));
  EXPECT_EQ(L["a.txt"].Size, 3u);
  EXPECT_EQ(L["Sub"].Size, 0u);
  EXPECT_TRUE(L["Sub"].Attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(L["Sub"].Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(L["hidden.tmp"].Attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(L["ro.tmp"].Attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(L["a.txt"].HasDetails);
  EXPECT_TRUE(L["a.txt"].Id.Valid());
  EXPECT_EQ(L["a.txt"].Id, IdOf(A("a.txt")));
  EXPECT_NE(L["a.txt"].Id, L["ro.tmp"].Id);
  EXPECT_EQ(L["Sub"].Id, IdOf(A("sub")));  // names match without regard to case

  // The file system matches the pattern.
  auto T = List(A("*.tmp"));
  EXPECT_EQ(T.size(), 2u);
  EXPECT_TRUE(List(A("none*.zzz")).empty());

  // Lazy: details on request, the same identity.
  std::unique_ptr<TTWFindHandle> H = P->FindFirst(A("*.*"), true);
  ASSERT_TRUE(H);
  TTWFindData D;
  bool SawSub = false;
  while (H->Next(D)) {
    if (D.Name != "Sub") continue;
    SawSub = true;
    EXPECT_FALSE(D.HasDetails);
    ASSERT_TRUE(H->Details(D));
    EXPECT_EQ(D.Id, L["Sub"].Id);
    std::unique_ptr<TTWFindHandle> Child = H->FindFirstIn(D, "*.bak", false);
    ASSERT_TRUE(Child);
    TTWFindData C;
    ASSERT_TRUE(Child->Next(C));
    EXPECT_EQ(C.Name, "inner.bak");
    EXPECT_EQ(C.Size, 5u);
    // A stale identity is refused.
    TTWFindData Wrong = D;
    Wrong.Id.Ino ^= 1;
    EXPECT_FALSE(H->FindFirstIn(Wrong, "*.*", false));
  }
  EXPECT_TRUE(SawSub);

  EXPECT_FALSE(P->FindFirst(A("missing\\*.*"), false));
  EXPECT_FALSE(P->FindFirst(Dir + "\\", false)) << "an empty pattern matches nothing";
  TTWFindData One;
  EXPECT_FALSE(P->FindOne(A("a.*"), One)) << "FindOne takes no wildcards";
  ASSERT_TRUE(P->FindOne(A("A.TXT"), One));
  EXPECT_EQ(One.Name, "a.txt") << "the name as stored";
}

// A name the ANSI code page cannot hold is not listed at all: FindFirstFileA would give
// "?" in its place, or a best-fit look-alike that names another file.
TEST_F(Win32Platform, NamesOutsideTheAnsiCodePageAreNotListed) {
  if (GetACP() != 1252) GTEST_SKIP() << "the cases are written for code page 1252";
  MakeFile(L"caf\u00e9.tmp", "1");
  MakeFile(L"\u65e5\u672c.tmp", "22");
  MakeFile(L"\u0101bc.tmp", "333");  // best fit would make it "abc.tmp"
  MakeFile(L"abc.tmp", "4444");

  auto L = List(A("*.tmp"));
  std::set<std::string> Names;
  for (auto& [Name, D] : L) Names.insert(Name);
  EXPECT_EQ(Names, (std::set<std::string>{"caf\xe9.tmp", "abc.tmp"}));
  EXPECT_EQ(L["abc.tmp"].Size, 4u);
  EXPECT_EQ(L["caf\xe9.tmp"].Size, 1u);

  // Deleting the one "abc.tmp" leaves its look-alike alone; the listed é-name is reached.
  EXPECT_TRUE(P->DeleteFile(A("abc.tmp"), L["abc.tmp"].Id));
  EXPECT_FALSE(Exists(L"abc.tmp"));
  EXPECT_TRUE(Exists(L"\u0101bc.tmp"));
  EXPECT_TRUE(P->DeleteFile(A("caf\xe9.tmp"), L["caf\xe9.tmp"].Id));
  EXPECT_FALSE(Exists(L"caf\u00e9.tmp"));
  EXPECT_TRUE(Exists(L"\u65e5\u672c.tmp"));
  TTWFindData D;
  EXPECT_FALSE(P->FindOne(A("?bc.tmp"), D));
}

TEST_F(Win32Platform, DeletesOnlyTheObjectFound) {
  MakeFile(L"f.tmp", "x");
  MakeFile(L"g.tmp", "x");
  MakeFile(L"ro.tmp", "x");
  SetFileAttributesW(W(L"ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeDir(L"empty");
  MakeDir(L"full");
  MakeFile(L"full\\x", "x");
  const TTWFileId F = IdOf(A("f.tmp")), G = IdOf(A("g.tmp")), E = IdOf(A("empty"));

  EXPECT_FALSE(P->DeleteFile(A("f.tmp"), G)) << "another file's identity";
  EXPECT_TRUE(Exists(L"f.tmp"));
  EXPECT_FALSE(P->DeleteFile(A("ro.tmp"), TTWFileId()));
  EXPECT_TRUE(Exists(L"ro.tmp"));
  EXPECT_FALSE(P->DeleteFile(A("empty"), E)) << "a folder is not a file";
  EXPECT_FALSE(P->RemoveDirectory(A("f.tmp"), F)) << "a file is not a folder";
  EXPECT_FALSE(P->RemoveDirectory(A("full"), TTWFileId()));
  EXPECT_TRUE(Exists(L"full\\x"));
  EXPECT_FALSE(P->RemoveDirectory(A("empty"), F));
  EXPECT_TRUE(Exists(L"empty"));
  EXPECT_FALSE(P->DeleteFile(A("missing.tmp"), TTWFileId()));

  EXPECT_TRUE(P->DeleteFile(A("F.TMP"), F));
  EXPECT_FALSE(Exists(L"f.tmp"));
  EXPECT_TRUE(P->RemoveDirectory(A("empty"), E));
  EXPECT_FALSE(Exists(L"empty"));
}

TEST_F(Win32Platform, OverwritesOnlyARegularFileWithOneLink) {
  MakeFile(L"plain.tmp", std::string(10000, 'a'));
  MakeFile(L"ro.tmp", "x");
  SetFileAttributesW(W(L"ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeFile(L"twin1.tmp", "twin");
  const bool HardLinks = CreateHardLinkW(W(L"twin2.tmp").c_str(), W(L"twin1.tmp").c_str(), nullptr);
  MakeDir(L"dir");
  MakeFile(L"busy.tmp", "busy");

  std::unique_ptr<TTWFile> F;
  EXPECT_EQ(P->OpenForOverwrite(A("ro.tmp"), TTWFileId(), F), TTWOpenResult::Failed);
  EXPECT_EQ(P->OpenForOverwrite(A("dir"), TTWFileId(), F), TTWOpenResult::Failed);
  EXPECT_EQ(P->OpenForOverwrite(A("missing.tmp"), TTWFileId(), F), TTWOpenResult::Failed);
  EXPECT_EQ(P->OpenForOverwrite(A("plain.tmp"), IdOf(A("busy.tmp")), F), TTWOpenResult::Failed);
  if (HardLinks) {
    EXPECT_EQ(P->OpenForOverwrite(A("twin1.tmp"), TTWFileId(), F), TTWOpenResult::RemoveOnly);
    EXPECT_EQ(Content(L"twin2.tmp"), "twin");
  }
  {
    HANDLE Other = CreateFileW(W(L"busy.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(Other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(P->OpenForOverwrite(A("busy.tmp"), TTWFileId(), F), TTWOpenResult::Failed)
        << "open in another program";
    CloseHandle(Other);
  }

  ASSERT_EQ(P->OpenForOverwrite(A("plain.tmp"), IdOf(A("plain.tmp")), F), TTWOpenResult::Opened);
  uint64_t Size = 0;
  ASSERT_TRUE(F->GetSize(Size));
  EXPECT_EQ(Size, 10000u);
  uint8_t Block[4096];
  for (size_t I = 0; I < sizeof Block; ++I) Block[I] = static_cast<uint8_t>(I * 7 + 1);
  ASSERT_TRUE(F->Seek(0));
  EXPECT_EQ(F->WritePieces(Block, sizeof Block, Size), Size);
  EXPECT_TRUE(F->Flush());
  F.reset();
  const std::string C = Content(L"plain.tmp");
  ASSERT_EQ(C.size(), 10000u) << "the length stays";
  for (size_t I = 0; I < C.size(); I += 997)
    ASSERT_EQ(static_cast<uint8_t>(C[I]), Block[I % sizeof Block]) << "at " << I;
}

TEST_F(Win32Platform, ReplacesTheSettingsFileWhole) {
  const std::string Path = A("system.dat");
  ASSERT_TRUE(P->ReplaceFile(Path, "first"));
  ASSERT_TRUE(P->ReplaceFile(Path, std::string(100000, 'z')));
  std::string Data;
  ASSERT_TRUE(P->ReadWholeFile(Path, Data));
  EXPECT_EQ(Data, std::string(100000, 'z'));
  EXPECT_EQ(List(A("*.*")).size(), 3u) << "no temporary file is left";
  EXPECT_FALSE(P->ReplaceFile(A("missing\\system.dat"), "x"));
  EXPECT_FALSE(P->ReadWholeFile(A("missing.dat"), Data));
  EXPECT_FALSE(P->ReadWholeFile(Dir, Data)) << "a folder";
}

// The settings file's location: the program's folder is probed by a file that goes
// again, the user's folder is the roaming application data, and folders are made whole.
TEST_F(Win32Platform, SettingsFolderServices) {
  EXPECT_TRUE(P->CanWriteFolder(Dir));
  EXPECT_TRUE(P->CanWriteFolder(Dir + "\\"));
  EXPECT_FALSE(P->CanWriteFolder(A("missing")));
  EXPECT_FALSE(P->CanWriteFolder(""));
  EXPECT_EQ(List(A("*.*")).size(), 2u) << "the probe left something behind";

  const std::string User = P->GetUserConfigFolder();
  ASSERT_FALSE(User.empty());
  EXPECT_NE(User.back(), '\\');
  DWORD Attr = GetFileAttributesA(User.c_str());
  EXPECT_TRUE(Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY));

  EXPECT_TRUE(P->CreateFolders(A("a\\b\\Tidewell")));
  EXPECT_TRUE(Exists(L"a\\b\\Tidewell"));
  EXPECT_TRUE(P->CreateFolders(A("a\\b\\Tidewell")));  // already there
  EXPECT_TRUE(P->ReplaceFile(A("a\\b\\Tidewell\\system.dat"), "x"));
  MakeFile(L"file", "x");
  EXPECT_FALSE(P->CreateFolders(A("file")));
  EXPECT_FALSE(P->CreateFolders(A("file\\sub")));
}

TEST_F(Win32Platform, RecycleBinRefusesWhatWasNotFound) {
  MakeFile(L"a.tmp", "x");
  MakeFile(L"b.tmp", "x");
  MakeDir(L"full");
  MakeFile(L"full\\x", "x");
  EXPECT_NE(P->MoveToRecycleBin(A("a.tmp"), false, IdOf(A("b.tmp"))), 0);
  EXPECT_TRUE(Exists(L"a.tmp"));
  EXPECT_NE(P->MoveToRecycleBin(A("full"), true, TTWFileId()), 0);
  EXPECT_TRUE(Exists(L"full\\x"));
  EXPECT_NE(P->MoveToRecycleBin(A("a.tmp"), true, TTWFileId()), 0) << "not a folder";
  EXPECT_NE(P->MoveToRecycleBin(A("missing.tmp"), false, TTWFileId()), 0);
  HMODULE Nt = GetModuleHandleW(L"ntdll.dll");
  if (Nt && GetProcAddress(Nt, "wine_get_version")) {
    // Wine deletes for good when its trash fails, and cannot be asked first: refused.
    EXPECT_NE(P->MoveToRecycleBin(A("a.tmp"), false, IdOf(A("a.tmp"))), 0);
    EXPECT_TRUE(Exists(L"a.tmp"));
  } else {
    EXPECT_EQ(P->MoveToRecycleBin(A("a.tmp"), false, IdOf(A("a.tmp"))), 0);
    EXPECT_FALSE(Exists(L"a.tmp"));
  }
}

// Unix links as Wine shows them, laid out by the CI script (TW_WINE_LINKS): a link to a
// file looks like a plain file, a link to a folder like a junction. Neither is followed.
TEST_F(Win32Platform, LinksAreNeverFollowed) {
  const char* Root = std::getenv("TW_WINE_LINKS");
  if (!Root || !*Root) GTEST_SKIP() << "TW_WINE_LINKS is not set";
  const std::string In = std::string(Root) + "\\in";
  auto L = List(In + "\\*.*");
  ASSERT_TRUE(L.count("dir-link"));
  EXPECT_EQ(L["dir-link"].Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_FALSE(P->FindFirst(In + "\\dir-link\\*.*", false)) << "reached through a link";
  std::unique_ptr<TTWFindHandle> H = P->FindFirst(In + "\\*.*", false);
  TTWFindData D;
  while (H && H->Next(D)) {
    if (D.Name == "dir-link") {
      EXPECT_FALSE(H->FindFirstIn(D, "*.*", false));
    }
  }
  EXPECT_FALSE(P->RemoveDirectory(In + "\\dir-link", TTWFileId()));
  EXPECT_NE(P->MoveToRecycleBin(In + "\\dir-link", true, TTWFileId()), 0);

  const std::string Link = In + "\\file-link.tmp";
  std::unique_ptr<TTWFile> F;
  const TTWOpenResult R = P->OpenForOverwrite(Link, TTWFileId(), F);
  EXPECT_NE(R, TTWOpenResult::Opened);
  EXPECT_FALSE(F);
  if (R == TTWOpenResult::Failed) {  // Wine: the link cannot be told from its target
    EXPECT_FALSE(P->DeleteFile(Link, TTWFileId()));
    EXPECT_NE(P->MoveToRecycleBin(Link, false, TTWFileId()), 0);
  }
  std::string Canary;
  ASSERT_TRUE(P->ReadWholeFile(std::string(Root) + "\\outside\\canary.txt", Canary));
  EXPECT_EQ(Canary, "canary");
}

TEST_F(Win32Platform, DrivesFoldersRegistryAndIni) {
  EXPECT_EQ(P->GetDriveType("C:\\"), DRIVE_FIXED);
  EXPECT_EQ(P->GetDriveType("c:"), DRIVE_FIXED);
  EXPECT_EQ(P->GetDriveType("C:\\windows"), DRIVE_NO_ROOT_DIR) << "a root only";
  uint64_t Free = 0, Total = 0;
  EXPECT_TRUE(P->GetDiskFreeSpace("C:\\", Free, Total));
  EXPECT_GT(Total, 0u);
  EXPECT_FALSE(P->GetDiskFreeSpace("?:\\", Free, Total));
  EXPECT_FALSE(P->GetDriveDisplayName('C').empty());

  const std::string Windows = P->GetWindowsDirectory();
  TTWFindData D;
  EXPECT_TRUE(P->FindOne(Windows, D));
  EXPECT_TRUE(D.Attributes & FILE_ATTRIBUTE_DIRECTORY);
  const std::string Temp = P->GetTempPath();
  ASSERT_FALSE(Temp.empty());
  EXPECT_EQ(Temp.back(), '\\');
  std::string Full;
  ASSERT_TRUE(P->GetFullPathName("C:\\a\\..\\b\\.\\c", Full));
  EXPECT_EQ(Full, "C:\\b\\c");
  EXPECT_FALSE(P->GetFullPathName("C:\\" + std::string(300, 'x'), Full)) << "over MAX_PATH";

  EXPECT_TRUE(P->RegKeyExists(TTWHive::LocalMachine, "Software\\Microsoft"));
  EXPECT_FALSE(P->RegKeyExists(TTWHive::LocalMachine, "Software\\No Such Vendor 1f3a"));
  uint32_t Type = 0;
  std::string Data;
  ASSERT_TRUE(P->RegQueryValue(TTWHive::LocalMachine,
                               "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion",
                               Type, Data));
  EXPECT_EQ(Type, REG_SZ);
  ASSERT_FALSE(Data.empty());
  EXPECT_EQ(Data.back(), '\0') << "with its terminating NUL";
  EXPECT_FALSE(P->RegQueryValue(TTWHive::LocalMachine, "Software\\Microsoft", "no such value 1f3a",
                                Type, Data));

  MakeFile(L"profiles.ini",
           "[General]\r\nStartWithLastProfile=1\r\n[Profile0]\r\nPath =  Profiles/x.default  \r\n");
  const std::string Ini = A("profiles.ini");
  EXPECT_EQ(P->GetPrivateProfileString("profile0", "PATH", "", Ini), "Profiles/x.default");
  EXPECT_EQ(P->GetPrivateProfileString("Profile1", "Path", "none", Ini), "none");
  EXPECT_EQ(P->GetPrivateProfileString("General", "x", "d", A("missing.ini")), "d");

  std::string Language, Country;
  if (P->GetUserLocale(Language, Country)) {
    EXPECT_GE(Language.size(), 2u);
  }
  uint64_t C1 = 0;
  EXPECT_TRUE(P->QueryPerformanceCounter(C1));
  EXPECT_EQ(P->HostPathDelimiter(), '\\');
  EXPECT_NE(P->GetProgramFileName().find(".exe"), std::string::npos);
  std::string Why;
  EXPECT_TRUE(P->SystemFound(Why));
}

}  // namespace

TEST(Win32Text, TranslationsComeInTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the cases are written for code page 1252";
  std::unique_ptr<TTWPlatform> P = CreateHostPlatform();
  EXPECT_EQ(P->Utf8ToSystemText("Gr\xc3\xb6\xc3\x9f"
                                "e"),
            "Gr\xf6\xdf"
            "e");
  EXPECT_EQ(P->Utf8ToSystemText("plain"), "plain");
  EXPECT_EQ(P->Utf8ToSystemText(""), "");
  // What the code page lacks does not survive; nothing else is lost with it.
  const std::string Japanese = P->Utf8ToSystemText("\xe6\x97\xa5\xe6\x9c\xac (ja)");
  EXPECT_EQ(Japanese.find("\xe6"), std::string::npos);
  EXPECT_NE(Japanese.find(" (ja)"), std::string::npos);
}
