#include "delete/tw_thread_delete.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "config/tw_config.h"
#include "delete/tw_random.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "support/fake_fs_platform.h"

namespace {

using TTexts = std::vector<std::string>;
using TEvent = TTWFakeFsPlatform::TFileEvent;

class DeleteTest : public ::testing::Test {
 protected:
  DeleteTest() {
    Cfg.Current.Exceptions.FileMasks.clear();
    Cfg.Current.DeleteFiles.ConformationDialog = 0;  // entries arrive ticked
    List = std::make_unique<TTWFileList>(Cfg.Current);
  }

  // Adds an entry for a node of the fake file system, as the finder would.
  void Add(const std::string& Path, bool Checked = true) {
    TTWFakeFsPlatform::TNode* n = Fs.Find(Path);
    ASSERT_NE(n, nullptr) << Path;
    const bool dir = n->IsDir() && !(n->Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(List->Add(Path, static_cast<int64_t>(n->Size),
                          dir ? TW_KIND_DIRECTORY : TW_KIND_FILE, 0, n->Id));
    List->Items(List->Count() - 1).Checked = Checked;
  }
  bool Deleted(const std::string& Path) const {
    for (int i = 0; i < List->Count(); ++i) {
      if (List->Items(i).Path == Path) return List->Items(i).Deleted;
    }
    ADD_FAILURE() << "no entry " << Path;
    return false;
  }

  void Run(uint8_t Method,
           std::function<void(TTWThreadDelete&, const std::string&)> OnStatus = nullptr) {
    Cfg.Current.DeleteFiles.DeleteMethod = Method;
    Statuses.clear();
    Messages.clear();
    bool finished = false;
    TTWThreadDelete* thread = nullptr;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
      Messages.push_back(Msg);
      if (Msg == WM_SHOWSTATUS) {
        Statuses.emplace_back(reinterpret_cast<const char*>(L));
        if (OnStatus) OnStatus(*thread, Statuses.back());
      }
      if (Msg == WM_DELETEFINISHED) finished = true;
      return 0;
    });
    TTWThreadDelete del(List.get(), Cfg, &receiver);
    thread = &del;
    del.Resume();
    receiver.RunUntil([&] { return finished; });
  }

  TTWFakeFsPlatform Fs;
  ScopedPlatform Scope{Fs};
  TTWConfig Cfg{"/nonexistent/system.dat"};
  std::unique_ptr<TTWFileList> List;
  TTexts Statuses;
  std::vector<uint32_t> Messages;
};

TEST_F(DeleteTest, EmptyOrUntickedListOnlyPostsTheEndMessage) {
  Run(TW_DELETE_REMOVE);
  EXPECT_EQ(Messages, (std::vector<uint32_t>{WM_DELETEFINISHED}));
  Fs.AddFile("C:\\a");
  Add("C:\\a", false);
  Run(TW_DELETE_REMOVE);
  EXPECT_EQ(Messages, (std::vector<uint32_t>{WM_DELETEFINISHED}));
  EXPECT_TRUE(Fs.Exists("C:\\a"));
  EXPECT_FALSE(Deleted("C:\\a"));
}

TEST_F(DeleteTest, EntriesGoFromLastToFirst) {
  for (const char* p : {"C:\\A", "C:\\B", "C:\\C"}) {
    Fs.AddFile(p);
    Add(p);
  }
  Run(TW_DELETE_REMOVE);
  EXPECT_EQ(Statuses, (TTexts{"C:\\C", "C:\\B", "C:\\A"}));
  EXPECT_EQ(Messages.back(), WM_DELETEFINISHED);
  EXPECT_TRUE(Deleted("C:\\A") && Deleted("C:\\B") && Deleted("C:\\C"));
}

// A directory with two files, for the plain and the Recycle Bin methods, with both
// files ticked or one unticked.
TEST_F(DeleteTest, DirectoryGoesOnlyWhenItsContentsWent) {
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    for (bool bothTicked : {true, false}) {
      SCOPED_TRACE(testing::Message() << "method " << int(method) << " both " << bothTicked);
      List = std::make_unique<TTWFileList>(Cfg.Current);
      Fs.Removed.clear();
      Fs.Recycled.clear();
      Fs.AddFile("C:\\d\\f1", 10);
      Fs.AddFile("C:\\d\\f2", 10);
      Add("C:\\d");
      Add("C:\\d\\f1");
      Add("C:\\d\\f2", bothTicked);
      Run(method);
      EXPECT_TRUE(Deleted("C:\\d\\f1"));
      EXPECT_EQ(Deleted("C:\\d\\f2"), bothTicked);
      EXPECT_EQ(Deleted("C:\\d"), bothTicked);
      EXPECT_EQ(Fs.Exists("C:\\d"), !bothTicked);
      EXPECT_EQ(Fs.Exists("C:\\d\\f2"), !bothTicked);
      const TTexts& gone = method == TW_DELETE_RECYCLE ? Fs.Recycled : Fs.Removed;
      EXPECT_EQ(gone.size(), bothTicked ? 3u : 1u);
      Fs.AddDir("C:\\d");  // for the next round
    }
  }
}

TEST_F(DeleteTest, OtherMethodValuesRemove) {
  Fs.AddFile("C:\\a", 1);
  Add("C:\\a");
  Run(7);
  EXPECT_TRUE(Deleted("C:\\a"));
  EXPECT_EQ(Fs.Removed, (TTexts{"C:\\a"}));
  EXPECT_TRUE(Fs.Opened.empty());
}

TEST_F(DeleteTest, ShredWritesFivePassesOfFreshBlocksThenRemoves) {
  Fs.AddFile("C:\\f", 10000);
  Add("C:\\f");
  RandomSeed(1);
  Run(TW_DELETE_SHRED);
  EXPECT_TRUE(Deleted("C:\\f"));
  EXPECT_FALSE(Fs.Exists("C:\\f"));
  std::vector<TEvent::TKind> pass = {TEvent::Size,  TEvent::Seek,  TEvent::Write,
                                     TEvent::Write, TEvent::Write, TEvent::Flush};
  std::vector<TEvent::TKind> want;
  for (int i = 0; i < 5; ++i) want.insert(want.end(), pass.begin(), pass.end());
  want.push_back(TEvent::Close);
  ASSERT_EQ(Fs.FileEvents.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(Fs.FileEvents[i].Kind, want[i]) << i;
    if (want[i] == TEvent::Seek) {
      EXPECT_EQ(Fs.FileEvents[i].Value, 0u);
    }
  }
  EXPECT_EQ(Fs.FileEvents[2].Value, 4096u);
  EXPECT_EQ(Fs.FileEvents[3].Value, 4096u);
  EXPECT_EQ(Fs.FileEvents[4].Value, 1808u);
  // One block per pass: 5 x 4096 generator steps.
  RandomSeed(1);
  uint8_t block[TW_RANDOM_BLOCK_SIZE];
  for (int i = 0; i < 5; ++i) FillRandomBlock(block);
  const uint32_t expected = RandomState();
  RandomSeed(1);
  Fs.AddFile("C:\\g", 1);
  List = std::make_unique<TTWFileList>(Cfg.Current);
  Add("C:\\g");
  Run(TW_DELETE_SHRED);
  EXPECT_EQ(RandomState(), expected);
}

// A sparse file: only its data ranges are written, each widened to whole 4096-byte
// pieces of the file (never beyond its end), in every pass.
TEST_F(DeleteTest, ShredWritesTheDataOfASparseFileAndSkipsItsHoles) {
  struct TCase {
    uint64_t Size;
    std::vector<std::pair<uint64_t, uint64_t>> Data;
    std::vector<std::pair<uint64_t, uint64_t>> Writes;  // (seek, bytes) per pass
  };
  const uint64_t K = 4096;
  const TCase cases[] = {
      {100 * K, {{3 * K + 100, 50}, {10 * K, 2 * K}}, {{3 * K, K}, {10 * K, 2 * K}}},
      {1ull << 30, {{0, 10}, {(1ull << 30) - 5, 5}}, {{0, K}, {(1ull << 30) - K, K}}},
      {10 * K + 7, {{9 * K + 1, K + 6}}, {{9 * K, K + 7}}},  // the last piece ends the file
      {8 * K, {{K, K}, {2 * K, K}, {2 * K + 10, 5}}, {{K, K}, {2 * K, K}}},  // no byte twice
      {8 * K, {{K + 1, 1}, {K + 2, 1}}, {{K, K}}},
      {100 * K, {}, {{0, 100 * K}}},  // no hole at all
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Size);
    List = std::make_unique<TTWFileList>(Cfg.Current);
    Fs.FileEvents.clear();
    Fs.AddFile("C:\\sparse.tmp", c.Size).DataRanges = c.Data;
    Add("C:\\sparse.tmp");
    Run(TW_DELETE_SHRED);
    EXPECT_TRUE(Deleted("C:\\sparse.tmp"));
    std::vector<std::pair<uint64_t, uint64_t>> pass, all;
    int flushes = 0;
    for (const TEvent& e : Fs.FileEvents) {
      if (e.Kind == TEvent::Seek) pass.push_back({e.Value, 0});
      if (e.Kind == TEvent::Write) pass.back().second += e.Value;
      if (e.Kind == TEvent::Flush) {
        ++flushes;
        EXPECT_EQ(pass, c.Writes) << "pass " << flushes;
        pass.clear();
      }
    }
    EXPECT_EQ(flushes, TW_SHRED_PASSES);
  }
}

TEST_F(DeleteTest, EachRunLooksOnceAtWhatIsInUse) {
  for (const char* p : {"C:\1", "C:\2", "C:\3"}) {
    Fs.AddFile(p, 10);
    Add(p);
  }
  Run(TW_DELETE_REMOVE, [this](TTWThreadDelete&, const std::string&) {
    EXPECT_EQ(Fs.RunsBegun, 1);  // before the first entry, and only once
    EXPECT_EQ(Fs.RunsEnded, 0);
  });
  EXPECT_EQ(Fs.RunsBegun, 1);
  EXPECT_EQ(Fs.RunsEnded, 1);
  Run(TW_DELETE_SHRED);  // an empty walk still opens and closes its run
  EXPECT_EQ(Fs.RunsBegun, 2);
  EXPECT_EQ(Fs.RunsEnded, 2);
}

TEST_F(DeleteTest, ShredOfAnEmptyFileFlushesFiveTimesWithoutWrites) {
  Fs.AddFile("C:\\empty", 0);
  Add("C:\\empty");
  Run(TW_DELETE_SHRED);
  int flushes = 0, writes = 0;
  for (const TEvent& e : Fs.FileEvents) {
    flushes += e.Kind == TEvent::Flush;
    writes += e.Kind == TEvent::Write;
  }
  EXPECT_EQ(flushes, 5);
  EXPECT_EQ(writes, 0);
  EXPECT_TRUE(Deleted("C:\\empty"));
}

TEST_F(DeleteTest, ShredRefusesToWriteIntoAnythingButALoneRegularFile) {
  struct TCase {
    const char* Name;
    std::function<void(TTWFakeFsPlatform&)> Make;
    bool Removed;
  };
  const TCase cases[] = {
      {"C:\\link", [](TTWFakeFsPlatform& F) { F.AddLink("C:\\link", false); }, true},
      {"C:\\hard", [](TTWFakeFsPlatform& F) { F.AddFile("C:\\hard", 50).Links = 2; }, true},
      {"C:\\fifo", [](TTWFakeFsPlatform& F) { F.AddFile("C:\\fifo").Special = true; }, false},
      {"C:\\ro", [](TTWFakeFsPlatform& F) { F.AddFile("C:\\ro", 50, FILE_ATTRIBUTE_READONLY); },
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Make(Fs);
    Add(c.Name);
  }
  Run(TW_DELETE_SHRED);
  EXPECT_TRUE(Fs.Opened.empty());
  EXPECT_TRUE(Fs.FileEvents.empty());
  for (const TCase& c : cases) {
    EXPECT_EQ(Deleted(c.Name), c.Removed) << c.Name;
    EXPECT_EQ(Fs.Exists(c.Name), !c.Removed) << c.Name;
  }
}

TEST_F(DeleteTest, ShredFailedWriteEndsTheOverwritingAndStillRemoves) {
  Fs.AddFile("C:\\f", 10000);
  Add("C:\\f");
  Fs.FailWriteAfter = 12000;  // the second pass stops short
  Run(TW_DELETE_SHRED);
  int flushes = 0;
  for (const TEvent& e : Fs.FileEvents) flushes += e.Kind == TEvent::Flush;
  EXPECT_EQ(flushes, 1);
  EXPECT_EQ(Fs.FileEvents.back().Kind, TEvent::Close);
  EXPECT_TRUE(Deleted("C:\\f"));
}

TEST_F(DeleteTest, EntryThatChangedSinceTheSearchIsLeftAlone) {
  Fs.AddFile("C:\\a", 1);
  Add("C:\\a");
  Fs.Find("C:\\a")->Id = {1, 999999};  // replaced by another object
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    Run(method);
    EXPECT_FALSE(Deleted("C:\\a"));
    EXPECT_TRUE(Fs.Exists("C:\\a"));
  }
  EXPECT_TRUE(Fs.Opened.empty());
}

TEST_F(DeleteTest, CancelFinishesTheEntryInHandAndStops) {
  for (const char* p : {"C:\\1", "C:\\2", "C:\\3", "C:\\4", "C:\\5"}) {
    Fs.AddFile(p, 5000);
    Add(p);
  }
  Run(TW_DELETE_SHRED, [](TTWThreadDelete& T, const std::string& S) {
    if (S == "C:\\3") T.Terminate();
  });
  EXPECT_EQ(Statuses, (TTexts{"C:\\5", "C:\\4", "C:\\3"}));
  EXPECT_TRUE(Deleted("C:\\5") && Deleted("C:\\4") && Deleted("C:\\3"));
  EXPECT_FALSE(Deleted("C:\\2") || Deleted("C:\\1"));
  EXPECT_TRUE(Fs.Exists("C:\\2") && Fs.Exists("C:\\1"));
  int flushes = 0;
  for (const TEvent& e : Fs.FileEvents) flushes += e.Kind == TEvent::Flush;
  EXPECT_EQ(flushes, 15);  // the third one got all its passes
  EXPECT_EQ(Messages.back(), WM_DELETEFINISHED);
}

}  // namespace
