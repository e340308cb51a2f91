// The properties sheet on Linux: the host path of a Windows path, its file URI, and the
// D-Bus call to the file manager, made here against a stand-in "gdbus" on PATH.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "linux_test_util.h"
#include "platform/linux/host_files.h"
#include "platform/linux/host_shell.h"

namespace {

std::string ReadText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

// Puts a script named gdbus (or Name) first on PATH and points the session bus somewhere.
class FakeGdbus {
 public:
  FakeGdbus(const std::string& Dir, const std::string& Body, const std::string& Name = "gdbus")
      : FDir(Dir + "/fakebin") {
    mkdir(FDir.c_str(), 0755);
    std::ofstream(FDir + "/" + Name) << "#!/bin/sh\n" << Body << "\n";
    chmod((FDir + "/" + Name).c_str(), 0755);
    const char* Old = getenv("PATH");
    FOldPath = Old ? Old : "";
    setenv("PATH", (FDir + ":" + FOldPath).c_str(), 1);
    const char* Bus = getenv("DBUS_SESSION_BUS_ADDRESS");
    FHadBus = Bus != nullptr;
    if (Bus) FOldBus = Bus;
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
  }
  ~FakeGdbus() {
    setenv("PATH", FOldPath.c_str(), 1);
    if (FHadBus)
      setenv("DBUS_SESSION_BUS_ADDRESS", FOldBus.c_str(), 1);
    else
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  std::string ArgsFile() const { return FDir + "/args"; }

 private:
  std::string FDir, FOldPath, FOldBus;
  bool FHadBus = false;
};

// Writes each argument on a line of its own.
const char* kRecord =
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"";

TEST(HostFileUri, EncodesEveryByteButTheUnreservedOnes) {
  EXPECT_EQ(twl::HostFileUri("/tmp/a-b_c.d~/X9"), "file:///tmp/a-b_c.d~/X9");
  EXPECT_EQ(twl::HostFileUri("/t/a b%'\"\\]"), "file:///t/a%20b%25%27%22%5C%5D");
  EXPECT_EQ(twl::HostFileUri(std::string("/t/\xc3\xa9\xff\n", 7)), "file:///t/%C3%A9%FF%0A");
}

class PropertiesTest : public LinuxPlatformTest {};

TEST_F(PropertiesTest, HostPathIsTheFileUnderTheDriveReachedWithoutLinks) {
  Pfx.AddFile("C:\\t\\Mixed Case.txt");
  Pfx.AddDir("C:\\t\\sub");
  Pfx.AddSymlink("C:\\t\\link", Pfx.HostPath("C:\\t\\sub"));
  Pfx.AddFile("C:\\t\\sub\\in.txt");
  std::string Host;
  ASSERT_TRUE(P().GetHostPath("C:\\T\\mixed case.TXT", Host));
  char Real[PATH_MAX];
  ASSERT_NE(realpath(Pfx.HostPath("C:\\t\\Mixed Case.txt").c_str(), Real), nullptr);
  EXPECT_EQ(Host, Real);
  ASSERT_TRUE(P().GetHostPath("C:\\", Host));
  ASSERT_NE(realpath(Pfx.HostPath("C:\\").c_str(), Real), nullptr);
  EXPECT_EQ(Host, Real);
  // The link itself has a host path; what lies behind it is not reached.
  EXPECT_TRUE(P().GetHostPath("C:\\t\\link", Host));
  EXPECT_FALSE(P().GetHostPath("C:\\t\\link\\in.txt", Host));
  EXPECT_FALSE(P().GetHostPath("C:\\t\\missing", Host));
  EXPECT_FALSE(P().GetHostPath("C:\\t\\*.txt", Host));
  EXPECT_FALSE(P().GetHostPath("", Host));
}

TEST_F(PropertiesTest, ModificationTimeOfTheObjectItself) {
  const std::string Host = Pfx.AddFile("C:\\t\\old.txt", 10);
  timeval Times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(lutimes(Host.c_str(), Times), 0);
  Pfx.AddSymlink("C:\\t\\link", Host);
  timeval LinkTimes[2] = {{1200000000, 0}, {1200000000, 0}};
  ASSERT_EQ(lutimes(Pfx.HostPath("C:\\t\\link").c_str(), LinkTimes), 0);
  int64_t Seconds = 0;
  ASSERT_TRUE(P().GetLastWriteTime("C:\\T\\OLD.txt", Seconds));
  EXPECT_EQ(Seconds, 1000000000);
  ASSERT_TRUE(P().GetLastWriteTime("C:\\t\\link", Seconds));
  EXPECT_EQ(Seconds, 1200000000);
  EXPECT_FALSE(P().GetLastWriteTime("C:\\t\\missing", Seconds));
}

TEST_F(PropertiesTest, AsksTheFileManagerWithOneArgumentVector) {
  Pfx.AddFile("C:\\t\\a b'c.txt");
  FakeGdbus Fake(Pfx.Root(), kRecord);
  EXPECT_TRUE(P().ShowProperties("C:\\t\\a b'c.txt"));
  std::string Host;
  ASSERT_TRUE(P().GetHostPath("C:\\t\\a b'c.txt", Host));
  EXPECT_EQ(ReadText(Fake.ArgsFile()),
            "call\n--session\n--timeout\n4\n--dest\norg.freedesktop.FileManager1\n"
            "--object-path\n/org/freedesktop/FileManager1\n--method\n"
            "org.freedesktop.FileManager1.ShowItemProperties\n['" +
                twl::HostFileUri(Host) + "']\n''\n");
}

TEST_F(PropertiesTest, ReportsFailureWhenNoFileManagerAnswers) {
  Pfx.AddFile("C:\\t\\a.txt");
  {
    FakeGdbus Fake(Pfx.Root(), "exit 1");
    EXPECT_FALSE(P().ShowProperties("C:\\t\\a.txt"));
  }
  {
    // Nothing is started for an object that is not there.
    FakeGdbus Fake(Pfx.Root(), kRecord);
    EXPECT_FALSE(P().ShowProperties("C:\\t\\missing.txt"));
    EXPECT_FALSE(Exists(Fake.ArgsFile()));
  }
}

TEST_F(PropertiesTest, NoSessionBusStartsNothing) {
  const std::string Host = Pfx.AddFile("C:\\t\\a.txt");
  FakeGdbus Fake(Pfx.Root(), kRecord);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  const char* Runtime = getenv("XDG_RUNTIME_DIR");
  const std::string OldRuntime = Runtime ? Runtime : "";
  setenv("XDG_RUNTIME_DIR", Pfx.Root().c_str(), 1);
  EXPECT_FALSE(twl::HostShowItemProperties(Host, 1000));
  if (Runtime)
    setenv("XDG_RUNTIME_DIR", OldRuntime.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(Exists(Fake.ArgsFile()));
}

TEST_F(PropertiesTest, AHungCallIsEndedAtTheTimeout) {
  const std::string Host = Pfx.AddFile("C:\\t\\a.txt");
  FakeGdbus Fake(Pfx.Root(), "exec sleep 60");
  const auto T0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(twl::HostShowItemProperties(Host, 200));
  EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(30));
}

// A link reaches xdg-open as one argument; one that xdg-open would take for an option
// never reaches it.
TEST_F(PropertiesTest, LinksGoToXdgOpenButNeverAsAnOption) {
  FakeGdbus Tool(Pfx.Root(), "printf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/args\"", "xdg-open");
  twl::HostOpenLink("--help");
  twl::HostOpenLink("-x https://example.invalid/");
  twl::HostOpenLink("https://example.invalid/a b");
  const auto T0 = std::chrono::steady_clock::now();
  while (ReadText(Tool.ArgsFile()).empty() &&
         std::chrono::steady_clock::now() - T0 < std::chrono::seconds(30))
    usleep(10000);
  EXPECT_EQ(ReadText(Tool.ArgsFile()), "https://example.invalid/a b\n");
}

}  // namespace
