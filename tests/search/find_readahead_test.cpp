// The read-ahead of folder listings beside the finder, through the host platform: the run
// it helps gives exactly the run without it, it stops with the run, and a folder swapped
// after it was read ahead is read afresh.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/tw_config.h"
#include "platform/linux/wine_find.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_thread_find.h"
#include "support/null_platform.h"
#include "support/sample_prefix.h"

namespace {

using TTexts = std::vector<std::string>;

// Sets the read-ahead's threads for the life of a scope, reading ahead from the start
// (a test tree is in the cache, where the read-ahead would otherwise stay parked).
class TThreads {
 public:
  explicit TThreads(int N)
      : FOld(twl::GReadAheadThreads.exchange(N)), FOldEager(twl::GReadAheadEager.exchange(true)) {}
  ~TThreads() {
    twl::GReadAheadThreads.store(FOld);
    twl::GReadAheadEager.store(FOldEager);
  }

 private:
  int FOld;
  bool FOldEager;
};

// What a run shows: the list in its order and the status texts in theirs.
struct TRun {
  TTexts Entries;  // path, kind, group and size of each entry, in list order
  TTexts Statuses;
  TTWReadAheadStats Stats;
};

class ReadAheadTest : public ::testing::Test {
 protected:
  ReadAheadTest() {
    TTWRecordConfig& c = Cfg.Current;
    c.FileSearchMasks = {"*.tmp", "~*.*", "*.bak"};
    c.Exceptions.FileMasks.clear();
    c.Exceptions.DirectoryMasks = {"skip*"};
    c.DeleteFiles.ConformationDialog = 0;
    c.Browsers = TTWRecordBrowsers{};
    c.AdditionalOptions = {1, 1, 1, 0, 0, 0};  // drives, temporary folders, recent documents
    c.Drives.Entries = {{1, 'C'}};
  }
  ~ReadAheadTest() override { Scope.reset(); }

  // A tree wide and deep enough that the read-ahead gets ahead of the walk: folders in
  // Wine's order unlike the disk's, case twins, names that need mapping, hidden folders,
  // empty folders, links to folders and files, exceptions, and a deep chain.
  void MakeTree() {
    for (int a = 0; a < 12; ++a) {
      const std::string A = "C:\\data\\" + std::string(a % 2 ? "Dir" : "dir") + std::to_string(a);
      Prefix.AddFile(A + "\\~lock" + std::to_string(a) + ".doc", 5);
      for (int b = 0; b < 9; ++b) {
        const std::string B = A + "\\" + (b % 3 == 0 ? "." : "") + "sub" + std::to_string(9 - b);
        Prefix.AddDir(B);
        if (b % 4 == 1) continue;  // empty
        Prefix.AddFile(B + "\\f" + std::to_string(b) + ".TMP", 100 + b);
        Prefix.AddFile(B + "\\keep" + std::to_string(b) + ".txt", 1);
        for (int c = 0; c < 3; ++c) Prefix.AddFile(B + "\\c" + std::to_string(c) + "\\x.bak", 7);
      }
      Prefix.AddDir(A + "\\skipme\\inner");
      Prefix.AddFile(A + "\\skipme\\inner\\no.tmp", 1);
      Prefix.AddSymlink(A + "\\out", Prefix.OutsideDir());
      Prefix.AddSymlink(A + "\\file.tmp", Prefix.OutsideFile());
    }
    Prefix.AddDir("C:\\data\\Dir1\\DIR1");
    Prefix.AddFile("C:\\data\\Dir1\\DIR1\\twin.tmp", 3);
    Prefix.AddFile("C:\\data\\with:colon\\in.tmp", 4);
    std::string deep = "C:\\deep";
    for (int i = 0; i < 40; ++i) deep += "\\d" + std::to_string(i);
    Prefix.AddFile(deep + "\\bottom.tmp", 9);
    for (int i = 0; i < 30; ++i)
      Prefix.AddFile("C:\\users\\tester\\Temp\\t" + std::to_string(i) + "\\a.txt", 1);
  }

  // A run of the finder; OnStatus may stop it.
  TRun Find(int Threads, std::function<void(TTWThreadFind&)> OnStatus = nullptr) {
    TThreads threads(Threads);
    if (!Host) {
      Host = CreateHostPlatform();
      Scope = std::make_unique<ScopedPlatform>(*Host);
    }
    TRun run;
    TTWFileList list(Cfg.Current);
    bool finished = false;
    TTWThreadFind* self = nullptr;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
      if (Msg == WM_SHOWSTATUS) {
        run.Statuses.emplace_back(reinterpret_cast<const char*>(L));
        if (OnStatus) OnStatus(*self);
      }
      if (Msg == WM_FINDFINISHED) finished = true;
      return 0;
    });
    TTWThreadFind find(&list, Cfg, &receiver);
    self = &find;
    find.Resume();
    receiver.RunUntil([&] { return finished; });
    for (int i = 0; i < list.Count(); ++i) {
      const TTWRecordFile& e = list.Items(i);
      run.Entries.push_back(e.Path + " " + std::to_string(e.Kind) + " " + std::to_string(e.Group) +
                            " " + std::to_string(e.Size));
    }
    run.Stats = find.ReadAheadStats();
    return run;
  }

  TSamplePrefix Prefix;
  std::unique_ptr<TTWPlatform> Host;
  std::unique_ptr<ScopedPlatform> Scope;
  TTWConfig Cfg{Prefix.Root() + "/system.dat"};
};

TEST_F(ReadAheadTest, RunsWithAndWithoutReadAheadAreTheSame) {
  MakeTree();
  const TRun plain = Find(0);
  EXPECT_EQ(plain.Stats.Listed, 0u);
  ASSERT_GT(plain.Entries.size(), 300u);
  for (int threads : {1, 2, 8}) {
    const TRun ahead = Find(threads);
    EXPECT_EQ(ahead.Entries, plain.Entries) << threads << " threads";
    EXPECT_EQ(ahead.Statuses, plain.Statuses) << threads << " threads";
    EXPECT_GT(ahead.Stats.Used, 0u) << threads << " threads";
    EXPECT_EQ(ahead.Stats.Refused, 0u);
  }
  EXPECT_TRUE(Prefix.OutsideIntact());
}

TEST_F(ReadAheadTest, AStoppedRunListsWhatTheRunWithoutReadAheadLists) {
  MakeTree();
  // Stopped at the fifth folder: each folder still handles its first entry, so the walk
  // goes on down a chain of first entries, now reading each folder itself.
  int seen = 0;
  auto stop = [&](TTWThreadFind& F) {
    if (++seen == 5) F.Terminate();
  };
  const TRun plain = Find(0, stop);
  seen = 0;
  const TRun ahead = Find(4, stop);
  EXPECT_EQ(ahead.Entries, plain.Entries);
  EXPECT_EQ(ahead.Statuses, plain.Statuses);
  EXPECT_LT(ahead.Statuses.size(), 30u);
}

// The read-ahead on its own, as a walk drives it.
class ReadAheadPoolTest : public ReadAheadTest {
 protected:
  TTWPlatform& P() {
    if (!Host) Host = CreateHostPlatform();
    return *Host;
  }
  TThreads Eager{4};
  static bool WaitFor(const std::function<bool()>& Ready) {
    for (int i = 0; i < 5000; ++i) {
      if (Ready()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Ready();
  }
};

TEST_F(ReadAheadPoolTest, StopEndsTheListingAtOnceAndTheWalkReadsItself) {
  for (int i = 0; i < 400; ++i) Prefix.AddFile("C:\\wide\\d" + std::to_string(i) + "\\f.txt", 1);
  std::atomic<bool> stopped{false};
  std::unique_ptr<TTWReadAhead> pool = P().CreateReadAhead([&] { return stopped.load(); });
  ASSERT_TRUE(pool);
  auto root = P().FindFirst("C:\\wide\\*.*", true);
  ASSERT_TRUE(root);
  ASSERT_TRUE(pool->Begin(*root));
  ASSERT_TRUE(WaitFor([&] { return pool->Stats().Listed > 0; }));
  stopped = true;
  // What was under way ends; nothing starts after it.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const uint64_t atStop = pool->Stats().Listed;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(pool->Stats().Listed, atStop);
  EXPECT_LT(atStop, 400u);
  // The walk goes on by itself and finds every folder.
  int entered = 0;
  TTWFindData d;
  while (root->Next(d)) {
    if (d.Name == "." || d.Name == "..") continue;
    auto child = root->FindFirstIn(d, "*.*", true);
    ASSERT_TRUE(child) << d.Name;
    TTWFindData c;
    bool file = false;
    while (child->Next(c)) file = file || c.Name == "f.txt";
    EXPECT_TRUE(file) << d.Name;
    ++entered;
  }
  EXPECT_EQ(entered, 400);
  EXPECT_LE(pool->Stats().Used, atStop);
  pool->End();
}

TEST_F(ReadAheadPoolTest, AFolderSwappedAfterItWasReadAheadIsReadAfresh) {
  struct TCase {
    const char* Name;
    bool Link;  // a link to a folder outside in its place, else another folder
  };
  for (const TCase& c : {TCase{"link", true}, TCase{"folder", false}}) {
    SCOPED_TRACE(c.Name);
    const std::string base = std::string("C:\\swap-") + c.Name;
    Prefix.AddFile(base + "\\a\\old.txt", 1);
    Prefix.AddFile(base + "\\b\\b.txt", 1);
    std::atomic<bool> stopped{false};
    std::unique_ptr<TTWReadAhead> pool = P().CreateReadAhead([&] { return stopped.load(); });
    ASSERT_TRUE(pool);
    for (bool lazy : {true, false}) {
      SCOPED_TRACE(lazy ? "lazy" : "with details");
      auto root = P().FindFirst(base + "\\*.*", lazy);
      ASSERT_TRUE(root);
      ASSERT_TRUE(pool->Begin(*root));
      ASSERT_TRUE(WaitFor([&] { return pool->Stats().Listed >= 2; }));
      const std::string a = Prefix.HostPath(base + "\\a");
      std::filesystem::rename(a, a + ".old");
      if (c.Link) {
        Prefix.AddSymlink(base + "\\a", Prefix.OutsideDir());
      } else {
        Prefix.AddFile(base + "\\a\\new.txt", 1);
      }
      TTexts seen;
      TTWFindData d;
      while (root->Next(d)) {
        if (d.Name == "." || d.Name == "..") continue;
        if (d.Name == "a" && !lazy) {
          // Its details were read now: the walk sees what is there now.
          EXPECT_EQ((d.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, c.Link);
          if (c.Link) continue;
        }
        auto child = root->FindFirstIn(d, "*.*", lazy);
        if (!child) {
          seen.push_back(d.Name + ": refused");
          continue;
        }
        TTWFindData e;
        while (child->Next(e))
          if (e.Name != "." && e.Name != "..") seen.push_back(d.Name + "\\" + e.Name);
      }
      // The listing read ahead before the swap is never shown under the name "a".
      // A link in its place is not entered at all when the walk reads details.
      const TTexts want = !lazy && c.Link ? TTexts{"b\\b.txt"} : TTexts{"a: refused", "b\\b.txt"};
      EXPECT_EQ(seen, want);
      pool->End();
      root.reset();
      // Back as it was for the other form of the walk.
      std::filesystem::remove_all(a);
      std::filesystem::rename(a + ".old", a);
    }
    EXPECT_GE(pool->Stats().Refused, 1u);
  }
  EXPECT_TRUE(Prefix.OutsideIntact());
}

}  // namespace
