// Replacing the program's settings file on Linux: which folders and links it works
// through, what permissions the new file gets, and what killed saves leave behind.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/tw_platform.h"

namespace {

constexpr uid_t kOtherUser = 54321;

class ReplaceFileTest : public ::testing::Test {
 protected:
  ReplaceFileTest() : Host(CreateHostPlatform()) {
    char Tmpl[] = "/tmp/tw_replace_XXXXXX";
    if (mkdtemp(Tmpl)) Dir = Tmpl;
    OldMask = umask(022);
  }
  ~ReplaceFileTest() override {
    umask(OldMask);
    if (!Dir.empty()) {
      std::string Cmd = "rm -rf '" + Dir + "'";
      if (std::system(Cmd.c_str()) != 0) ADD_FAILURE() << "cleanup";
    }
  }
  static std::string Read(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }
  static void Write(const std::string& Path, const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
  }
  static mode_t Mode(const std::string& Path) {
    struct stat St;
    return lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
  }
  std::set<std::string> Entries(const std::string& In) {
    std::set<std::string> Out;
    if (DIR* D = opendir(In.c_str())) {
      while (dirent* E = readdir(D))
        if (strcmp(E->d_name, ".") != 0 && strcmp(E->d_name, "..") != 0) Out.insert(E->d_name);
      closedir(D);
    }
    return Out;
  }
  bool Replace(const std::string& Path, const std::string& Data) {
    return Host->ReplaceFile(Path, Data);
  }

  std::unique_ptr<TTWPlatform> Host;
  std::string Dir;
  mode_t OldMask;
};

// Any folder the user may write to will do, shared ones included; the others' right to
// write there changes nothing, since the temporary is created exclusively and renamed.
TEST_F(ReplaceFileTest, SavesInEveryFolderTheUserMayWrite) {
  ASSERT_FALSE(Dir.empty());
  const struct {
    const char* Name;
    mode_t Mode;
    bool OtherOwner;
  } cases[] = {
      {"own", 0755, false},
      {"world-writable", 0777, false},
      {"sticky like /tmp", 01777, false},
      {"another user's, writable to us", 0777, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string Sub = Dir + "/" + std::to_string(&c - cases);
    ASSERT_EQ(mkdir(Sub.c_str(), 0700), 0);
    ASSERT_EQ(chmod(Sub.c_str(), c.Mode), 0);
    if (c.OtherOwner && (geteuid() != 0 || chown(Sub.c_str(), kOtherUser, kOtherUser) != 0))
      continue;  // needs root to make
    EXPECT_TRUE(Replace(Sub + "/x.dat", "first"));
    EXPECT_TRUE(Replace(Sub + "/x.dat", "second"));
    EXPECT_EQ(Read(Sub + "/x.dat"), "second");
    EXPECT_EQ(Entries(Sub), (std::set<std::string>{"x.dat"}));
  }
  // /tmp itself, as "tidewell-cli /f /tmp/x.dat settings" uses it.
  const std::string InTmp = "/tmp/" + Dir.substr(5) + ".dat";
  EXPECT_TRUE(Replace(InTmp, "in tmp"));
  EXPECT_EQ(Read(InTmp), "in tmp");
  unlink(InTmp.c_str());
}

TEST_F(ReplaceFileTest, ANewFileFollowsTheUmaskAReplacedOneKeepsItsMode) {
  ASSERT_FALSE(Dir.empty());
  for (mode_t Mask : {mode_t{022}, mode_t{027}, mode_t{077}}) {
    SCOPED_TRACE(Mask);
    umask(Mask);
    const std::string F = Dir + "/new" + std::to_string(Mask) + ".dat";
    ASSERT_TRUE(Replace(F, "x"));
    EXPECT_EQ(Mode(F) & 07777, 0666 & ~Mask);
  }
  umask(022);
  const std::string F = Dir + "/kept.dat";
  Write(F, "old");
  for (mode_t M : {mode_t{0600}, mode_t{0640}, mode_t{0604}, mode_t{0444}}) {
    SCOPED_TRACE(M);
    ASSERT_EQ(chmod(F.c_str(), M), 0);
    ASSERT_TRUE(Replace(F, "new"));
    EXPECT_EQ(Mode(F) & 07777, M);
    EXPECT_EQ(Read(F), "new");
  }
}

TEST_F(ReplaceFileTest, ALinkIsSavedThroughToItsTarget) {
  ASSERT_FALSE(Dir.empty());
  ASSERT_EQ(mkdir((Dir + "/real").c_str(), 0755), 0);
  const std::string Target = Dir + "/real/settings.dat";
  Write(Target, "old");
  ASSERT_EQ(chmod(Target.c_str(), 0640), 0);
  ASSERT_EQ(symlink("real/settings.dat", (Dir + "/relative.dat").c_str()), 0);
  ASSERT_EQ(symlink(Target.c_str(), (Dir + "/absolute.dat").c_str()), 0);
  ASSERT_EQ(symlink("relative.dat", (Dir + "/chain.dat").c_str()), 0);
  for (const char* Link : {"relative.dat", "absolute.dat", "chain.dat"}) {
    SCOPED_TRACE(Link);
    const std::string Via = Dir + "/" + Link;
    ASSERT_TRUE(Replace(Via, std::string("via ") + Link));
    EXPECT_TRUE(S_ISLNK(Mode(Via)));
    EXPECT_EQ(Read(Target), std::string("via ") + Link);
    EXPECT_EQ(Mode(Target) & 07777, 0640u);
  }
  EXPECT_EQ(Entries(Dir + "/real"), (std::set<std::string>{"settings.dat"}));

  // A dangling link makes its target, with the umask's permissions.
  ASSERT_EQ(symlink("real/fresh.dat", (Dir + "/dangling.dat").c_str()), 0);
  ASSERT_TRUE(Replace(Dir + "/dangling.dat", "fresh"));
  EXPECT_TRUE(S_ISLNK(Mode(Dir + "/dangling.dat")));
  EXPECT_EQ(Read(Dir + "/real/fresh.dat"), "fresh");
  EXPECT_EQ(Mode(Dir + "/real/fresh.dat") & 07777, 0644u);

  // Links to folders on the way, and ".." after a link, as the kernel resolves them.
  ASSERT_EQ(symlink("real", (Dir + "/dirlink").c_str()), 0);
  ASSERT_EQ(mkdir((Dir + "/real/sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink((Dir + "/real/sub").c_str(), (Dir + "/sublink").c_str()), 0);
  ASSERT_TRUE(Replace(Dir + "/dirlink/settings.dat", "via folder"));
  EXPECT_EQ(Read(Target), "via folder");
  ASSERT_TRUE(Replace(Dir + "/sublink/../settings.dat", "via dot-dot"));
  EXPECT_EQ(Read(Target), "via dot-dot");
  EXPECT_FALSE(Replace(Dir + "/dirlink", "a folder"));
  EXPECT_TRUE(S_ISLNK(Mode(Dir + "/dirlink")));

  // A loop leads nowhere: refused, nothing made.
  ASSERT_EQ(symlink("loop2.dat", (Dir + "/loop1.dat").c_str()), 0);
  ASSERT_EQ(symlink("loop1.dat", (Dir + "/loop2.dat").c_str()), 0);
  const auto Before = Entries(Dir);
  EXPECT_FALSE(Replace(Dir + "/loop1.dat", "x"));
  EXPECT_EQ(Entries(Dir), Before);
}

// In a sticky folder that anybody may write to, another user's link could aim the save
// at any file of ours: it is not followed (as the kernel's protected_symlinks does).
TEST_F(ReplaceFileTest, AnotherUsersLinkInASharedFolderIsRefused) {
  ASSERT_FALSE(Dir.empty());
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  const std::string Shared = Dir + "/shared";
  ASSERT_EQ(mkdir(Shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(Shared.c_str(), 01777), 0);
  const std::string Victim = Dir + "/victim.txt";
  Write(Victim, "precious");
  ASSERT_EQ(symlink(Victim.c_str(), (Shared + "/planted.dat").c_str()), 0);
  ASSERT_EQ(lchown((Shared + "/planted.dat").c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_FALSE(Replace(Shared + "/planted.dat", "overwritten"));
  EXPECT_EQ(Read(Victim), "precious");
  EXPECT_TRUE(S_ISLNK(Mode(Shared + "/planted.dat")));
  EXPECT_EQ(Entries(Shared), (std::set<std::string>{"planted.dat"}));

  // The same for a link to a folder on the way.
  ASSERT_EQ(symlink(Dir.c_str(), (Shared + "/planted-dir").c_str()), 0);
  ASSERT_EQ(lchown((Shared + "/planted-dir").c_str(), kOtherUser, kOtherUser), 0);
  EXPECT_FALSE(Replace(Shared + "/planted-dir/victim.txt", "overwritten"));
  EXPECT_EQ(Read(Victim), "precious");

  // Our own link there is followed; so is one in a folder that is not shared.
  ASSERT_EQ(symlink(Victim.c_str(), (Shared + "/mine.dat").c_str()), 0);
  EXPECT_TRUE(Replace(Shared + "/mine.dat", "mine"));
  EXPECT_EQ(Read(Victim), "mine");
  ASSERT_EQ(chmod(Shared.c_str(), 0777), 0);
  EXPECT_TRUE(Replace(Shared + "/planted.dat", "not sticky"));
  EXPECT_EQ(Read(Victim), "not sticky");
}

// The name gets the new file; its other hard links keep the old content.
TEST_F(ReplaceFileTest, AHardLinkedFileIsReplacedAtThisNameOnly) {
  ASSERT_FALSE(Dir.empty());
  const std::string F = Dir + "/system.dat", Other = Dir + "/copy.dat";
  Write(F, "old");
  ASSERT_EQ(link(F.c_str(), Other.c_str()), 0);
  ASSERT_TRUE(Replace(F, "new"));
  EXPECT_EQ(Read(F), "new");
  EXPECT_EQ(Read(Other), "old");
}

TEST_F(ReplaceFileTest, TemporariesOfKilledSavesAreRemoved) {
  ASSERT_FALSE(Dir.empty());
  const std::string F = Dir + "/system.dat";
  Write(F, "old");
  // What a save killed midway leaves, and look-alikes that are not ours to take.
  for (const char* N : {".system.dat.abc123", ".system.dat.ZZ9zz9", ".system.dat.abc12",
                        ".system.dat.abc1234", ".other.dat.abc123", ".system.dat.ab-123"})
    Write(Dir + "/" + N, "partial");
  ASSERT_EQ(mkdir((Dir + "/.system.dat.folder").c_str(), 0755), 0);
  ASSERT_EQ(symlink("system.dat", (Dir + "/.system.dat.linked").c_str()), 0);
  // A save in progress holds its temporary locked.
  const std::string Live = Dir + "/.system.dat.live00";
  Write(Live, "being written");
  int L = open(Live.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(L, 0);
  ASSERT_EQ(flock(L, LOCK_EX), 0);
  std::set<std::string> Foreign;
  if (geteuid() == 0) {
    Write(Dir + "/.system.dat.theirs", "x");
    ASSERT_EQ(chown((Dir + "/.system.dat.theirs").c_str(), kOtherUser, kOtherUser), 0);
    Foreign.insert(".system.dat.theirs");
  }

  ASSERT_TRUE(Replace(F, "new"));
  std::set<std::string> Want = {"system.dat",         ".system.dat.abc12",  ".system.dat.abc1234",
                                ".other.dat.abc123",  ".system.dat.ab-123", ".system.dat.folder",
                                ".system.dat.linked", ".system.dat.live00"};
  Want.insert(Foreign.begin(), Foreign.end());
  EXPECT_EQ(Entries(Dir), Want);
  close(L);

  // Many killed saves: after the next one, none is left.
  for (int Kill = 0; Kill < 5; ++Kill) {
    pid_t Pid = fork();
    ASSERT_GE(Pid, 0);
    if (Pid == 0) {
      // Stopped inside the save: a large write is cut off by the kill.
      std::string Big(64 << 20, 'x');
      Host->ReplaceFile(Dir + "/killed.dat", Big);
      _exit(0);
    }
    // Killed once its own temporary file is there (it removes those of earlier kills).
    auto Fresh = [&, Before = Entries(Dir)] {
      for (const std::string& E : Entries(Dir))
        if (E.rfind(".killed.dat.", 0) == 0 && !Before.count(E)) return true;
      return false;
    };
    for (int Wait = 0; Wait < 5000 && !Fresh(); ++Wait) usleep(1000);
    kill(Pid, SIGKILL);
    int Status;
    waitpid(Pid, &Status, 0);
  }
  int Left = 0;
  for (const std::string& E : Entries(Dir)) Left += E.rfind(".killed.dat.", 0) == 0;
  EXPECT_GE(Left, 1);
  ASSERT_TRUE(Replace(Dir + "/killed.dat", "whole"));
  EXPECT_EQ(Read(Dir + "/killed.dat"), "whole");
  for (const std::string& E : Entries(Dir))
    EXPECT_NE(E.rfind(".killed.dat.", 0), 0u) << E << " left behind";
}

TEST_F(ReplaceFileTest, WhatCannotBeReplacedStaysAndNothingIsLeft) {
  ASSERT_FALSE(Dir.empty());
  ASSERT_EQ(mkfifo((Dir + "/fifo.dat").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((Dir + "/dir.dat").c_str(), 0755), 0);
  const auto Before = Entries(Dir);
  EXPECT_FALSE(Replace(Dir + "/fifo.dat", "x"));
  EXPECT_FALSE(Replace(Dir + "/dir.dat", "x"));
  EXPECT_FALSE(Replace(Dir + "/missing/x.dat", "x"));
  EXPECT_FALSE(Replace(Dir + "/", "x"));
  EXPECT_FALSE(Replace(Dir + "/..", "x"));
  EXPECT_EQ(Entries(Dir), Before);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(Dir.c_str(), 0555), 0);
    EXPECT_FALSE(Replace(Dir + "/x.dat", "x"));
    ASSERT_EQ(chmod(Dir.c_str(), 0755), 0);
  }
}

}  // namespace
