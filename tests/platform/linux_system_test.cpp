// Prefix discovery, drives, system folders, registry and INI services over the sample
// prefix, and the program's own files.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "linux_test_util.h"

namespace {

using SystemTest = LinuxPlatformTest;

TEST_F(SystemTest, TheSamplePrefixIsFound) {
  std::string Why = "unchanged";
  EXPECT_TRUE(P().SystemFound(Why)) << Why;
}

TEST_F(SystemTest, AnIncompleteOrMisplacedPrefixIsNotFound) {
  struct {
    const char* What;
    void (*Break)(TSamplePrefix&);
    const char* WhyHas;
  } Cases[] = {
      {"no user.reg", [](TSamplePrefix& X) { unlink((X.Prefix() + "/user.reg").c_str()); },
       "user.reg"},
      {"no dosdevices", [](TSamplePrefix& X) { RemoveHostTree(X.Prefix() + "/dosdevices"); },
       "dosdevices"},
      {"relative WINEPREFIX", [](TSamplePrefix&) { setenv("WINEPREFIX", "rel/pfx", 1); },
       "absolute"},
      {"missing folder",
       [](TSamplePrefix& X) { setenv("WINEPREFIX", (X.Root() + "/none").c_str(), 1); }, "none"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    TSamplePrefix Fresh;
    C.Break(Fresh);
    std::string Why;
    EXPECT_FALSE(CreateHostPlatform()->SystemFound(Why));
    EXPECT_NE(Why.find(C.WhyHas), std::string::npos) << Why;
  }
}

TEST_F(SystemTest, WithoutWineprefixTheHomePrefixIsUsed) {
  unsetenv("WINEPREFIX");
  ASSERT_EQ(symlink(Pfx.Prefix().c_str(), (Pfx.Home() + "/.wine").c_str()), 0);
  std::string Why;
  EXPECT_TRUE(P().SystemFound(Why)) << Why;
  EXPECT_EQ(P().GetDriveType("C:\\"), DRIVE_FIXED);
}

TEST_F(SystemTest, DriveTypesFollowLinksRegistryAndFileSystem) {
  const std::string Present = Pfx.Root() + "/outside";
  const std::string Missing = Pfx.Root() + "/nothing";
  Pfx.AddMachineValue("Software\\Wine\\Drives", "e:", "\"network\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "f:", "\"Network\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "g:", "\"cdrom\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "h:", "\"hd\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "i:", "\"bogus\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "j:", "\"floppy\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "k:", "\"ramdisk\"");
  Pfx.AddMachineValue("Software\\Wine\\Drives", "l:", "dword:00000005");  // not REG_SZ
  Pfx.AddDrive('e', Missing);
  Pfx.AddDrive('f', Present);
  Pfx.AddDrive('g', Missing);
  Pfx.AddDrive('h', Present);
  Pfx.AddDrive('i', Present);
  Pfx.AddDrive('j', Present);
  Pfx.AddDrive('k', Present);
  Pfx.AddDrive('l', Present);
  Pfx.AddDrive('a', Missing);
  Pfx.AddDrive('b', Present);
  Pfx.AddDrive('m', Missing);
  ASSERT_EQ(mkdir((Pfx.Prefix() + "/dosdevices/n:").c_str(), 0755), 0);  // not a link
  struct {
    const char* Root;
    uint32_t Expected;
  } Cases[] = {
      {"C:\\", DRIVE_FIXED},
      {"c:\\", DRIVE_FIXED},
      {"C:", DRIVE_FIXED},
      {"D:\\", DRIVE_CDROM},
      {"Z:\\", DRIVE_FIXED},
      {"Q:\\", DRIVE_NO_ROOT_DIR},
      {"E:\\", DRIVE_NO_ROOT_DIR},
      {"F:\\", DRIVE_REMOTE},
      {"G:\\", DRIVE_CDROM},
      {"H:\\", DRIVE_FIXED},
      {"I:\\", DRIVE_FIXED},
      {"J:\\", DRIVE_REMOVABLE},
      {"K:\\", DRIVE_RAMDISK},
      {"L:\\", DRIVE_FIXED},
      {"A:\\", DRIVE_REMOVABLE},
      {"B:\\", DRIVE_REMOVABLE},
      {"M:\\", DRIVE_NO_ROOT_DIR},
      {"N:\\", DRIVE_NO_ROOT_DIR},
      {"C:\\windows", DRIVE_NO_ROOT_DIR},
      {"", DRIVE_NO_ROOT_DIR},
      {"1:\\", DRIVE_NO_ROOT_DIR},
  };
  for (const auto& C : Cases) EXPECT_EQ(P().GetDriveType(C.Root), C.Expected) << C.Root;
  EXPECT_EQ(P().GetDriveDisplayName('c'), "Local Disk (C:)");
  EXPECT_EQ(P().GetDriveDisplayName('D'), "CD Drive (D:)");
  EXPECT_EQ(P().GetDriveDisplayName('F'), "Network Drive (F:)");
  EXPECT_EQ(P().GetDriveDisplayName('A'), "Floppy Disk Drive (A:)");
  EXPECT_EQ(P().GetDriveDisplayName('J'), "Removable Disk (J:)");
  EXPECT_EQ(P().GetDriveDisplayName('Q'), "Q:");
}

// Which drives lie inside the Windows system: those whose link leads into the prefix,
// as the prefix spells it or as the file system resolves it.
TEST_F(SystemTest, DrivesInsideThePrefix) {
  mkdir((Pfx.Root() + "/elsewhere").c_str(), 0755);
  symlink((Pfx.Root() + "/elsewhere").c_str(), (Pfx.Prefix() + "/moved").c_str());
  Pfx.AddDrive('v', "../moved");  // a drive folder moved away and linked back
  Pfx.AddDrive('w', "../../outside");
  Pfx.AddDrive('x', "..");  // the prefix itself
  Pfx.AddDrive('y', "/");
  Pfx.AddDrive('u', Pfx.Root() + "/pfx/../pfx/drive_c/windows");
  const std::pair<char, bool> cases[] = {{'C', true},  {'c', true},  {'D', true},  {'Z', true},
                                         {'V', true},  {'U', true},  {'W', false}, {'X', false},
                                         {'Y', false}, {'Q', false}, {'1', false}};
  for (const auto& [letter, inside] : cases)
    EXPECT_EQ(P().DriveInsideSystem(letter), inside) << letter;
}

TEST_F(SystemTest, FreeSpaceComesFromTheDriveTarget) {
  uint64_t Free = 0, Total = 0;
  ASSERT_TRUE(P().GetDiskFreeSpace("C:\\", Free, Total));
  EXPECT_GT(Total, 0u);
  EXPECT_LE(Free, Total);
  EXPECT_FALSE(P().GetDiskFreeSpace("Q:\\", Free, Total));
}

TEST_F(SystemTest, SystemFoldersAreTheWineDefaults) {
  EXPECT_EQ(P().GetWindowsDirectory(), "C:\\windows");
  EXPECT_EQ(P().GetTempPath(), "C:\\users\\tester\\Temp\\");
  const std::string Profile = "C:\\users\\tester";
  struct {
    int Csidl;
    std::string Expected;
  } Cases[] = {
      {CSIDL_RECENT, Profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Recent"},
      {CSIDL_APPDATA, Profile + "\\AppData\\Roaming"},
      {CSIDL_LOCAL_APPDATA, Profile + "\\AppData\\Local"},
      {CSIDL_INTERNET_CACHE, Profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCache"},
      {CSIDL_COOKIES, Profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCookies"},
      {CSIDL_HISTORY, Profile + "\\AppData\\Local\\Microsoft\\Windows\\History"},
  };
  for (const auto& C : Cases) {
    std::string Path;
    EXPECT_TRUE(P().GetSpecialFolderPath(C.Csidl, Path)) << C.Csidl;
    EXPECT_EQ(Path, C.Expected);
  }
  std::string Path = "untouched";
  EXPECT_FALSE(P().GetSpecialFolderPath(0x05, Path));
  EXPECT_EQ(Path, "untouched");
}

TEST_F(SystemTest, MissingOrLinkedSpecialFoldersAreNotReported) {
  RemoveHostTree(Pfx.HostPath("C:\\users\\tester\\AppData\\Local\\Microsoft\\Windows\\History"));
  std::string Local = Pfx.HostPath("C:\\users\\tester\\AppData\\Roaming");
  RemoveHostTree(Local);
  ASSERT_EQ(symlink(Pfx.Home().c_str(), Local.c_str()), 0);  // a profile folder linked to $HOME
  std::string Path;
  EXPECT_FALSE(P().GetSpecialFolderPath(CSIDL_HISTORY, Path));
  EXPECT_FALSE(P().GetSpecialFolderPath(CSIDL_APPDATA, Path));
  EXPECT_FALSE(P().GetSpecialFolderPath(CSIDL_RECENT, Path));  // below the link
  EXPECT_TRUE(P().GetSpecialFolderPath(CSIDL_COOKIES, Path));
}

TEST_F(SystemTest, FullPathNamesAreLexicalAndMapUnixPathsToDrives) {
  struct {
    std::string In, Out;
  } Cases[] = {
      {"C:\\a\\..\\b", "C:\\b"},
      {"C:/a//b", "C:\\a\\b"},
      {Pfx.Prefix() + "/drive_c/users/x", "C:\\users\\x"},
      {Pfx.Prefix() + "/zroot/q", "Z:\\q"},
  };
  for (const auto& C : Cases) {
    std::string Full;
    EXPECT_TRUE(P().GetFullPathName(C.In, Full)) << C.In;
    EXPECT_EQ(Full, C.Out) << C.In;
  }
  std::string Full;
  EXPECT_FALSE(P().GetFullPathName("", Full));
}

TEST_F(SystemTest, RegistryServicesReadBothHives) {
  Pfx.AddMachineValue("Software\\Mozilla\\Mozilla Firefox", "CurrentVersion", "\"115.0\"");
  EXPECT_TRUE(P().RegKeyExists(TTWHive::LocalMachine, "Software\\Wine\\Drives"));
  EXPECT_TRUE(P().RegKeyExists(TTWHive::LocalMachine, "SOFTWARE\\mozilla"));
  EXPECT_FALSE(P().RegKeyExists(TTWHive::CurrentUser, "Software\\Wine\\Drives"));
  EXPECT_TRUE(P().RegKeyExists(TTWHive::CurrentUser, "Environment"));
  uint32_t Type = 0;
  std::string Data;
  ASSERT_TRUE(P().RegQueryValue(TTWHive::LocalMachine, "Software\\Mozilla\\Mozilla Firefox",
                                "CurrentVersion", Type, Data));
  EXPECT_EQ(Type, REG_SZ);
  EXPECT_EQ(Data, std::string("115.0", 6));
  ASSERT_TRUE(P().RegQueryValue(TTWHive::CurrentUser, "Environment", "TEMP", Type, Data));
  EXPECT_EQ(Data, std::string("C:\\users\\tester\\Temp", 21));
  EXPECT_FALSE(P().RegQueryValue(TTWHive::CurrentUser, "Environment", "nope", Type, Data));
}

TEST_F(SystemTest, HostileRegistryFilesDoNotBreakTheServices) {
  std::ofstream(Pfx.Prefix() + "/system.reg") << std::string(100000, '[') << "\n\"x\"=hex:zz\n";
  std::ofstream(Pfx.Prefix() + "/user.reg") << "not a registry\0\xff";
  EXPECT_FALSE(P().RegKeyExists(TTWHive::LocalMachine, "Software"));
  EXPECT_EQ(P().GetDriveType("D:\\"), DRIVE_FIXED);  // no registry override any more
  EXPECT_EQ(P().GetTempPath().back(), '\\');
}

TEST_F(SystemTest, PrivateProfileStringsAreReadThroughTheDriveMap) {
  std::string Ini =
      "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\nPath=x.default\n";
  Pfx.AddFile("C:\\users\\tester\\AppData\\Roaming\\Mozilla\\Firefox\\profiles.ini", 0, 0644, -1,
              Ini);
  Pfx.AddFile("C:\\windows\\win.ini", 0, 0644, -1, "[s]\nk=in windows\n");
  const std::string Path = "c:\\USERS\\tester\\appdata\\roaming\\mozilla\\firefox\\PROFILES.INI";
  EXPECT_EQ(P().GetPrivateProfileString("Profile0", "Path", "", Path), "x.default");
  EXPECT_EQ(P().GetPrivateProfileString("profile0", "NAME", "", Path), "default");
  EXPECT_EQ(P().GetPrivateProfileString("Profile1", "Path", "dflt", Path), "dflt");
  EXPECT_EQ(P().GetPrivateProfileString("s", "k", "", "win.ini"), "in windows");
  EXPECT_EQ(P().GetPrivateProfileString("s", "k", "none", "C:\\missing.ini"), "none");
  Pfx.AddFifo("C:\\windows\\fifo.ini");
  EXPECT_EQ(P().GetPrivateProfileString("s", "k", "none", "fifo.ini"), "none");  // no hang
}

TEST_F(SystemTest, ReplaceFileIsAtomicAndLeavesNoTemporaries) {
  const std::string Dir = Pfx.Root() + "/prog";
  ASSERT_EQ(mkdir(Dir.c_str(), 0755), 0);
  const std::string File = Dir + "/system.dat";
  EXPECT_TRUE(P().ReplaceFile(File, "first"));
  ASSERT_EQ(chmod(File.c_str(), 0640), 0);
  EXPECT_TRUE(P().ReplaceFile(File, "second"));
  std::string Data;
  ASSERT_TRUE(P().ReadWholeFile(File, Data));
  EXPECT_EQ(Data, "second");
  struct stat St;
  ASSERT_EQ(stat(File.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0640u);  // the old file's mode is kept

  // A target that cannot be replaced: the old object stays and no temporary is left.
  ASSERT_EQ(mkdir((Dir + "/adir").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((Dir + "/adir/x").c_str(), 0755), 0);
  EXPECT_FALSE(P().ReplaceFile(Dir + "/adir", "data"));
  EXPECT_FALSE(P().ReplaceFile(Dir + "/missing/file", "data"));
  int Count = 0;
  if (DIR* D = opendir(Dir.c_str())) {
    while (dirent* E = readdir(D)) Count += E->d_name[0] != '.';
    closedir(D);
  }
  EXPECT_EQ(Count, 2);
  int Hidden = 0;
  if (DIR* D = opendir(Dir.c_str())) {
    while (dirent* E = readdir(D)) Hidden += E->d_name[0] == '.' && strlen(E->d_name) > 2;
    closedir(D);
  }
  EXPECT_EQ(Hidden, 0);
}

TEST_F(SystemTest, ReadWholeFileRefusesWhatIsNotAFile) {
  std::string Data = "x";
  EXPECT_FALSE(P().ReadWholeFile(Pfx.Root() + "/nothing", Data));
  EXPECT_FALSE(P().ReadWholeFile(Pfx.Root(), Data));
  std::string Fifo = Pfx.AddFifo("C:\\f.fifo");
  EXPECT_FALSE(P().ReadWholeFile(Fifo, Data));  // no hang
  EXPECT_EQ(Data, "x");
}

TEST_F(SystemTest, HostServices) {
  EXPECT_EQ(P().HostPathDelimiter(), '/');
  std::string Exe = P().GetProgramFileName();
  EXPECT_NE(Exe.find("tw_platform_tests"), std::string::npos) << Exe;
  uint64_t A = 0, B = 0;
  ASSERT_TRUE(P().QueryPerformanceCounter(A));
  ASSERT_TRUE(P().QueryPerformanceCounter(B));
  EXPECT_LE(A, B);
  setenv("TW_PLATFORM_PROBE", "value", 1);
  EXPECT_EQ(P().GetEnvironmentVariable("TW_PLATFORM_PROBE"), "value");
  unsetenv("TW_PLATFORM_PROBE");
  EXPECT_EQ(P().GetEnvironmentVariable("TW_PLATFORM_PROBE"), "");
}

// The user's locale is the environment's message locale in the POSIX order, read without
// changing the process locale (which would change how numbers are written).
TEST_F(SystemTest, UserLocaleFollowsTheEnvironmentInPosixOrder) {
  const char* const Names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string Saved[3];
  bool Had[3];
  for (int I = 0; I < 3; ++I) {
    const char* V = getenv(Names[I]);
    Had[I] = V != nullptr;
    if (V) Saved[I] = V;
  }
  const struct {
    const char* All;
    const char* Messages;
    const char* Lang;
    bool Found;
    const char* Language;
    const char* Country;
  } Cases[] = {
      {"fr_FR.UTF-8", nullptr, nullptr, true, "fr", "FR"},
      {"fr_FR.UTF-8", "de_DE", "nl_NL", true, "fr", "FR"},
      {"", "de_AT@euro", "nl_NL", true, "de", "AT"},
      {nullptr, nullptr, "ja_JP.eucJP", true, "ja", "JP"},
      {nullptr, nullptr, "sr_RS@latin", true, "sr", "RS"},
      {nullptr, nullptr, "pt", true, "pt", ""},
      {"C", nullptr, "de_DE", false, "", ""},
      {"C.UTF-8", nullptr, nullptr, false, "", ""},
      {nullptr, "POSIX", nullptr, false, "", ""},
      {nullptr, nullptr, nullptr, false, "", ""},
      {nullptr, nullptr, "../../x", false, "", ""},
      {nullptr, nullptr, "DE_de", false, "", ""},
  };
  for (const auto& C : Cases) {
    const char* Values[] = {C.All, C.Messages, C.Lang};
    std::string Trace;
    for (int I = 0; I < 3; ++I) {
      Trace += std::string(Names[I]) + "=" + (Values[I] ? Values[I] : "(unset)") + " ";
      if (Values[I])
        setenv(Names[I], Values[I], 1);
      else
        unsetenv(Names[I]);
    }
    SCOPED_TRACE(Trace);
    std::string Lang = "-", Country = "-";
    EXPECT_EQ(P().GetUserLocale(Lang, Country), C.Found);
    if (C.Found) {
      EXPECT_EQ(Lang, C.Language);
      EXPECT_EQ(Country, C.Country);
    }
    EXPECT_STREQ(setlocale(LC_ALL, nullptr), "C");
  }
  for (int I = 0; I < 3; ++I) {
    if (Had[I])
      setenv(Names[I], Saved[I].c_str(), 1);
    else
      unsetenv(Names[I]);
  }
}

}  // namespace
