// Whole runs, search then deletion, on a sample Wine prefix through the host platform.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "config/tw_config.h"
#include "delete/tw_thread_delete.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_thread_find.h"
#include "support/null_platform.h"
#include "support/sample_prefix.h"

namespace {

using TTexts = std::vector<std::string>;

std::string ReadHost(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool HostExists(const std::string& Path) {
  struct stat st;
  return lstat(Path.c_str(), &st) == 0;
}

class CleanPrefixTest : public ::testing::Test {
 protected:
  CleanPrefixTest() {
    Host = CreateHostPlatform();
    Scope = std::make_unique<ScopedPlatform>(*Host);
    Cfg = std::make_unique<TTWConfig>(Prefix.Root() + "/system.dat");
    TTWRecordConfig& c = Cfg->Current;
    c.Exceptions.FileMasks = {"INFO2"};
    c.Exceptions.DirectoryMasks = {"winsxs"};
    c.DeleteFiles.ConformationDialog = 0;
    c.Browsers = TTWRecordBrowsers{};
    c.AdditionalOptions = {0, 1, 0, 0, 0, 0};  // the temporary folder only
    c.Drives.Entries = {{1, 'C'}};
  }

  template <typename TThreadType>
  void RunThread(uint32_t EndMessage) {
    bool finished = false;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
      if (Msg == EndMessage) finished = true;
      return 0;
    });
    TThreadType thread(List.get(), *Cfg, &receiver);
    thread.Resume();
    receiver.RunUntil([&] { return finished; });
  }

  void Find() {
    List = std::make_unique<TTWFileList>(Cfg->Current);
    RunThread<TTWThreadFind>(WM_FINDFINISHED);
  }
  void Delete(uint8_t Method) {
    Cfg->Current.DeleteFiles.DeleteMethod = Method;
    RunThread<TTWThreadDelete>(WM_DELETEFINISHED);
  }
  TTexts Paths() const {
    TTexts out;
    for (int i = 0; i < List->Count(); ++i) out.push_back(List->Items(i).Path);
    std::sort(out.begin(), out.end());
    return out;
  }
  bool Deleted(const std::string& Path) const {
    for (int i = 0; i < List->Count(); ++i) {
      if (List->Items(i).Path == Path) return List->Items(i).Deleted;
    }
    return false;
  }

  TSamplePrefix Prefix;
  std::unique_ptr<TTWPlatform> Host;
  std::unique_ptr<ScopedPlatform> Scope;
  std::unique_ptr<TTWConfig> Cfg;
  std::unique_ptr<TTWFileList> List;
  const std::string Temp = "C:\\users\\tester\\Temp";
};

// Links planted in a cleaned folder lead out of it: nothing behind them may change,
// whatever the method.
TEST_F(CleanPrefixTest, LinksOutOfACleanedFolderAreNeverFollowed) {
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    SCOPED_TRACE(int(method));
    Prefix.AddSymlink(Temp + "\\escape", Prefix.OutsideDir());
    Prefix.AddFile(Temp + "\\a.tmp", 100);
    Prefix.AddFile(Temp + "\\sub\\b.txt", 10000, 0644, -1, "content");
    Prefix.AddSymlink(Temp + "\\sub\\efile", Prefix.OutsideFile());
    Prefix.AddHardLink(Temp + "\\twin", Prefix.OutsideFile());
    Find();
    const TTexts found = Paths();
    EXPECT_EQ(found, (TTexts{Temp + "\\a.tmp", Temp + "\\escape", Temp + "\\sub",
                             Temp + "\\sub\\b.txt", Temp + "\\sub\\efile", Temp + "\\twin"}));
    Delete(method);
    for (const std::string& p : found) EXPECT_TRUE(Deleted(p)) << p;
    EXPECT_FALSE(HostExists(Prefix.HostPath(Temp + "\\sub")));
    EXPECT_FALSE(HostExists(Prefix.HostPath(Temp + "\\twin")));
    // The folder link was listed as a link and went as one: its target is untouched.
    EXPECT_FALSE(HostExists(Prefix.HostPath(Temp + "\\escape")));
    EXPECT_TRUE(Prefix.OutsideIntact());
  }
}

// Unix names with characters a Windows name cannot hold are listed under Wine's mapped
// names (U+F000 + the character): no '\' or ':' reaches a path as a separator, the
// exceptions see the whole name, and every method deletes exactly the object listed.
TEST_F(CleanPrefixTest, NamesWithWindowsSeparatorsAreOneNameEverywhere) {
  const std::string kBackslash = "\xEF\x81\x9C", kColon = "\xEF\x80\xBA";
  const std::string temp = Prefix.HostPath(Temp);
  const std::string victim = Prefix.AddFile("C:\\users\\victim.tmp", 5);
  Cfg->Current.Exceptions.FileMasks = {"INFO2", "x*keep.tmp"};
  auto make = [&](const std::string& Name) {
    const int fd = open((temp + "/" + Name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << Name;
    ASSERT_EQ(write(fd, "x", 1), 1);
    close(fd);
  };
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    SCOPED_TRACE(int(method));
    make("..\\..\\victim.tmp");
    make("a:b.tmp");
    make("x:keep.tmp");  // a file exception as a whole name
    make("q*?\"<>|.tmp");
    make(kBackslash + "taken.tmp");  // already private-use: no Windows name of its own
    ASSERT_EQ(mkdir((temp + "/sub\\dir").c_str(), 0755), 0);
    make("sub\\dir/f.txt");
    Find();
    const TTexts found = Paths();
    EXPECT_EQ(
        found,
        (TTexts{Temp + "\\.." + kBackslash + ".." + kBackslash + "victim.tmp",
                Temp + "\\a" + kColon + "b.tmp",
                Temp + "\\q\xEF\x80\xAA\xEF\x80\xBF\xEF\x80\xA2\xEF\x80\xBC\xEF\x80\xBE"
                       "\xEF\x81\xBC.tmp",
                Temp + "\\sub" + kBackslash + "dir", Temp + "\\sub" + kBackslash + "dir\\f.txt"}));
    Delete(method);
    for (const std::string& p : found) EXPECT_TRUE(Deleted(p)) << p;
    EXPECT_TRUE(HostExists(victim));
    EXPECT_FALSE(HostExists(temp + "/..\\..\\victim.tmp"));
    EXPECT_FALSE(HostExists(temp + "/a:b.tmp"));
    EXPECT_FALSE(HostExists(temp + "/sub\\dir"));
    EXPECT_TRUE(HostExists(temp + "/x:keep.tmp"));
    EXPECT_TRUE(HostExists(temp + "/" + kBackslash + "taken.tmp"));
    EXPECT_TRUE(Prefix.OutsideIntact());
    unlink((temp + "/x:keep.tmp").c_str());
  }
}

TEST_F(CleanPrefixTest, ShredLeavesWhatItMustNotOpen) {
  const std::string fifo = Prefix.AddFifo(Temp + "\\pipe");
  Prefix.AddFile(Temp + "\\plain", 5000);
  Find();
  Delete(TW_DELETE_SHRED);
  EXPECT_TRUE(Deleted(Temp + "\\plain"));
  EXPECT_FALSE(HostExists(Prefix.HostPath(Temp + "\\plain")));
  // A FIFO is never opened (the thread would hang on it) and so not removed.
  EXPECT_FALSE(Deleted(Temp + "\\pipe"));
  EXPECT_TRUE(HostExists(fifo));
}

TEST_F(CleanPrefixTest, ReadOnlyFilesAreNotCollectedAndUntickedOnesStay) {
  Prefix.AddFile(Temp + "\\ro.tmp", 10, 0444);
  Prefix.AddFile(Temp + "\\keep\\k.tmp", 10);
  Prefix.AddFile(Temp + "\\go.tmp", 10);
  Find();
  for (int i = 0; i < List->Count(); ++i) {
    if (List->Items(i).Path == Temp + "\\keep\\k.tmp") List->Items(i).Checked = false;
  }
  const TTexts found = Paths();
  EXPECT_EQ(std::count(found.begin(), found.end(), Temp + "\\ro.tmp"), 0);
  Delete(TW_DELETE_REMOVE);
  EXPECT_TRUE(Deleted(Temp + "\\go.tmp"));
  EXPECT_FALSE(Deleted(Temp + "\\keep"));  // not empty
  EXPECT_TRUE(HostExists(Prefix.HostPath(Temp + "\\keep\\k.tmp")));
  EXPECT_TRUE(HostExists(Prefix.HostPath(Temp + "\\ro.tmp")));
}

// A file of the outside mounted over a junk file of the temporary folder: not found, and
// not touched by any method even when the list names it.
TEST_F(CleanPrefixTest, AFileMountedOverJunkIsNeitherListedNorTouched) {
  if (!PrivateMountNamespace()) GTEST_SKIP() << "mounting is not allowed here";
  const std::string junk = Prefix.AddFile(Temp + "\\junk.tmp", 0, 0644, -1, "junk");
  TTestMount m(Prefix.OutsideFile(), junk);
  ASSERT_TRUE(m.Mounted());
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    SCOPED_TRACE(int(method));
    Find();
    EXPECT_EQ(Paths(), TTexts{});
    ASSERT_TRUE(List->Add(Temp + "\\junk.tmp", 4, TW_KIND_FILE, 0, {}));
    List->Items(0).Checked = true;
    Delete(method);
    EXPECT_FALSE(Deleted(Temp + "\\junk.tmp"));
    EXPECT_TRUE(Prefix.OutsideIntact());
  }
}

// A browser's live database: open in another process, or locked as SQLite locks it.
TEST_F(CleanPrefixTest, FilesInUseElsewhereSurviveEveryMethod) {
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    SCOPED_TRACE(int(method));
    const std::string open = Prefix.AddFile(Temp + "\\open.tmp", 0, 0644, -1, "open");
    const std::string locked = Prefix.AddFile(Temp + "\\locked.tmp", 0, 0644, -1, "locked");
    Prefix.AddFile(Temp + "\\free.tmp", 0, 0644, -1, "free");
    TOtherProcessHold hold(open, TOtherProcessHold::OpenFd);
    ASSERT_TRUE(hold.Holding());
    const int fd = ::open(locked.c_str(), O_RDWR | O_CLOEXEC);
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    l.l_len = 1;
    ASSERT_EQ(fcntl(fd, F_SETLK, &l), 0);
    Find();
    Delete(method);
    EXPECT_FALSE(Deleted(Temp + "\\open.tmp"));
    EXPECT_FALSE(Deleted(Temp + "\\locked.tmp"));
    EXPECT_TRUE(Deleted(Temp + "\\free.tmp"));
    EXPECT_EQ(ReadHost(open), "open");
    EXPECT_EQ(ReadHost(locked), "locked");
    close(fd);
    hold.Release();
    unlink(open.c_str());
    unlink(locked.c_str());
  }
}

// Another thread swaps a found folder and a found file for links to the outside, over and
// over, while the run deletes: whatever it catches, the outside never changes.
TEST_F(CleanPrefixTest, ASwapForALinkDuringTheRunNeverReachesTheOutside) {
  const std::string sub = Prefix.HostPath(Temp + "\\sub");
  const std::string file = Prefix.HostPath(Temp + "\\g.tmp");
  const std::string outsideDir = Prefix.OutsideDir(), outsideFile = Prefix.OutsideFile();
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    for (int round = 0; round < 15; ++round) {
      SCOPED_TRACE(testing::Message() << "method " << int(method) << " round " << round);
      Prefix.AddFile(Temp + "\\sub\\f.tmp", 3000, 0644, -1, "f");
      Prefix.AddFile(Temp + "\\sub\\deeper\\h.tmp", 100);
      Prefix.AddFile(Temp + "\\g.tmp", 5000, 0644, -1, "g");
      Find();
      ASSERT_EQ(List->Count(), 5);
      std::atomic<bool> stop{false};
      std::thread attacker([&] {
        const std::string subAside = sub + "~", fileAside = file + "~";
        for (int i = 0; i < 200000 && !stop.load(); ++i) {
          if (rename(sub.c_str(), subAside.c_str()) == 0) {
            if (symlink(outsideDir.c_str(), sub.c_str()) == 0) unlink(sub.c_str());
            rename(subAside.c_str(), sub.c_str());
          }
          if (rename(file.c_str(), fileAside.c_str()) == 0) {
            if (symlink(outsideFile.c_str(), file.c_str()) == 0) unlink(file.c_str());
            rename(fileAside.c_str(), file.c_str());
          }
        }
      });
      Delete(method);
      stop = true;
      attacker.join();
      ASSERT_TRUE(Prefix.OutsideIntact());
      ASSERT_TRUE(RemoveHostTree(Prefix.HostPath(Temp)));
      ASSERT_EQ(mkdir(Prefix.HostPath(Temp).c_str(), 0755), 0);
    }
  }
}

}  // namespace
