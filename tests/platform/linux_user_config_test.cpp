// The host services behind the settings file's location on Linux: whether the program's
// folder may be written, the user's settings folder by the XDG rules, and making it.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/tw_platform.h"
#include "support/sample_prefix.h"

namespace {

// Sets or unsets an environment variable for the life of the object.
class TScopedEnv {
 public:
  TScopedEnv(const char* Name, std::optional<std::string> Value) : FName(Name) {
    if (const char* Old = getenv(Name)) FOld = Old;
    if (Value)
      setenv(Name, Value->c_str(), 1);
    else
      unsetenv(Name);
  }
  ~TScopedEnv() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

class UserConfigTest : public ::testing::Test {
 protected:
  UserConfigTest() : Host(CreateHostPlatform()) {
    char Tmpl[] = "/tmp/tw_userconf_XXXXXX";
    if (mkdtemp(Tmpl)) Dir = Tmpl;
  }
  ~UserConfigTest() override {
    if (Dir.empty()) return;
    chmod(Dir.c_str(), 0700);
    std::string Cmd = "chmod -R u+rwx '" + Dir + "' 2>/dev/null; rm -rf '" + Dir + "'";
    if (std::system(Cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
  }
  static mode_t Mode(const std::string& Path) {
    struct stat St;
    return stat(Path.c_str(), &St) == 0 ? St.st_mode & 07777 : 0;
  }
  std::unique_ptr<TTWPlatform> Host;
  std::string Dir;
};

std::string PasswdHome() {
  std::vector<char> Buf(16384);
  passwd Pw;
  passwd* Found = nullptr;
  if (getpwuid_r(geteuid(), &Pw, Buf.data(), Buf.size(), &Found) != 0 || !Found) return {};
  return Pw.pw_dir ? Pw.pw_dir : "";
}

TEST_F(UserConfigTest, TheSettingsFolderFollowsTheXdgRules) {
  struct TCase {
    const char* What;
    std::optional<std::string> Xdg, Home;
    std::string Want;
  };
  const std::string Passwd = PasswdHome();
  const TCase Cases[] = {
      {"XDG_CONFIG_HOME set", "/srv/conf", "/home/u", "/srv/conf"},
      {"its trailing slashes dropped", "/srv/conf//", "/home/u", "/srv/conf"},
      {"XDG_CONFIG_HOME unset", std::nullopt, "/home/u", "/home/u/.config"},
      {"XDG_CONFIG_HOME empty", "", "/home/u/", "/home/u/.config"},
      {"XDG_CONFIG_HOME relative is ignored", "conf", "/home/u", "/home/u/.config"},
      {"HOME at the root", std::nullopt, "/", "/.config"},
      {"HOME unset: the password database", std::nullopt, std::nullopt,
       Passwd.empty() || Passwd[0] != '/' ? "" : (Passwd == "/" ? "" : Passwd) + "/.config"},
      {"HOME relative: the password database", std::nullopt, "home",
       Passwd.empty() || Passwd[0] != '/' ? "" : (Passwd == "/" ? "" : Passwd) + "/.config"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TScopedEnv Xdg("XDG_CONFIG_HOME", C.Xdg);
    TScopedEnv Home("HOME", C.Home);
    EXPECT_EQ(Host->GetUserConfigFolder(), C.Want);
  }
}

TEST_F(UserConfigTest, FoldersAreMadePrivateAndExistingOnesKeptAsTheyAre) {
  ASSERT_FALSE(Dir.empty());
  const mode_t OldMask = umask(0);  // 0700 must not depend on a tight umask
  const std::string Conf = Dir + "/home/.config";
  EXPECT_TRUE(Host->CreateFolders(Conf + "/tidewell"));
  EXPECT_EQ(Mode(Dir + "/home"), 0700u);
  EXPECT_EQ(Mode(Conf), 0700u);
  EXPECT_EQ(Mode(Conf + "/tidewell"), 0700u);

  // An existing folder, and one reached through a link, stay as they are.
  ASSERT_EQ(mkdir((Dir + "/shared").c_str(), 0755), 0);
  ASSERT_EQ(symlink("shared", (Dir + "/link").c_str()), 0);
  EXPECT_TRUE(Host->CreateFolders(Dir + "/link/tidewell/"));
  EXPECT_EQ(Mode(Dir + "/shared"), 0755u);
  EXPECT_EQ(Mode(Dir + "/shared/tidewell"), 0700u);
  EXPECT_TRUE(Host->CreateFolders(Conf + "/tidewell"));  // all there already
  umask(OldMask);

  // A file in the way.
  std::ofstream(Dir + "/file") << "x";
  EXPECT_FALSE(Host->CreateFolders(Dir + "/file"));
  EXPECT_FALSE(Host->CreateFolders(Dir + "/file/tidewell"));
  EXPECT_FALSE(Host->CreateFolders(""));
}

TEST_F(UserConfigTest, AFolderIsWritableOnlyWhenTheSystemWouldLetUsWrite) {
  ASSERT_FALSE(Dir.empty());
  EXPECT_TRUE(Host->CanWriteFolder(Dir));
  EXPECT_TRUE(Host->CanWriteFolder(Dir + "/"));
  EXPECT_FALSE(Host->CanWriteFolder(Dir + "/missing/"));
  EXPECT_FALSE(Host->CanWriteFolder(""));
  std::ofstream(Dir + "/file") << "x";
  EXPECT_FALSE(Host->CanWriteFolder(Dir + "/file/"));

  const std::string Ro = Dir + "/ro";
  ASSERT_EQ(mkdir(Ro.c_str(), 0755), 0);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(Ro.c_str(), 0555), 0);
    EXPECT_FALSE(Host->CanWriteFolder(Ro + "/"));
    return;
  }
  // Root may write into any folder whatever its mode, but not into a read-only mount.
  ASSERT_EQ(chmod(Ro.c_str(), 0555), 0);
  EXPECT_TRUE(Host->CanWriteFolder(Ro + "/"));
  if (!PrivateMountNamespace()) GTEST_SKIP() << "mounting is not allowed here";
  TTestMount Mount("", Ro);
  ASSERT_TRUE(Mount.Mounted());
  ASSERT_TRUE(Mount.RemountReadOnly());
  EXPECT_FALSE(Host->CanWriteFolder(Ro + "/"));
}

}  // namespace
