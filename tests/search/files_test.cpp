#include <gtest/gtest.h>

#include <map>
#include <string>

#include "config/tw_types.h"
#include "platform/tw_assert.h"
#include "search/Masks.h"
#include "search/tw_files.h"
#include "support/null_platform.h"

namespace {

constexpr int64_t GiB = int64_t{1} << 30;

TTWRecordConfig Settings(TStringList FileExceptions, TTWBool ConformationDialog = 1) {
  TTWRecordConfig s;
  s.Exceptions.FileMasks = std::move(FileExceptions);
  s.DeleteFiles.ConformationDialog = ConformationDialog;
  return s;
}

TEST(FileList, GrowsInBlocksOfAHundredAndKeepsOrder) {
  const TTWRecordConfig s = Settings({});
  TTWFileList list(s);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(list.Add("C:\\f" + std::to_string(i), i, 0, 0));
  EXPECT_EQ(list.Count(), 100);
  EXPECT_EQ(list.Capacity(), 100);
  list.Add("C:\\f100", 100, 0, 0);
  EXPECT_EQ(list.Count(), 101);
  EXPECT_EQ(list.Capacity(), 200);
  for (int i = 0; i < 250; ++i) list.Add("C:\\g", 0, 0, 0);
  EXPECT_EQ(list.Capacity(), 400);
  for (int i = 0; i <= 100; ++i) {
    EXPECT_EQ(list.Items(i).Path, "C:\\f" + std::to_string(i));
    EXPECT_EQ(list.Items(i).Size, i);
  }
}

TEST(FileList, RecordsEveryField) {
  const TTWRecordConfig s = Settings({});
  TTWFileList list(s);
  ASSERT_TRUE(list.Add("C:\\Temp\\sub", 0, TW_KIND_DIRECTORY, 16, TTWFileId{7, 9}));
  const TTWRecordFile& e = list.Items(0);
  EXPECT_FALSE(e.Deleted);
  EXPECT_EQ(e.Path, "C:\\Temp\\sub");
  EXPECT_EQ(e.Kind, TW_KIND_DIRECTORY);
  EXPECT_EQ(e.Group, 16);
  EXPECT_EQ(e.Id, (TTWFileId{7, 9}));
  // The same path twice is two entries.
  ASSERT_TRUE(list.Add("C:\\Temp\\sub", 0, TW_KIND_DIRECTORY, 0));
  EXPECT_EQ(list.Count(), 2);
}

TEST(FileList, KeepsTheWholeSize) {
  const TTWRecordConfig s = Settings({});
  TTWFileList list(s);
  list.Add("C:\\big", 3 * GiB, 0, 0);
  list.Add("C:\\bigger", 4 * GiB + 10, 0, 0);
  EXPECT_EQ(list.Items(0).Size, 3221225472);
  EXPECT_EQ(list.Items(1).Size, 4 * GiB + 10);
}

TEST(FileList, FileExceptionsTestTheLastComponent) {
  const TTWRecordConfig s = Settings({"INFO2", "OPA??.bak"});
  TTWFileList list(s);
  struct Case {
    const char* Path;
    bool Accepted;
  } cases[] = {
      {"C:\\RECYCLER\\S-1-5\\info2", false},  // case ignored
      {"C:\\RECYCLER\\S-1-5\\INFO2", false},
      {"C:info2", false},          // drive-relative: the text after the colon
      {"INFO2", false},            // no separator at all
      {"C:\\INFO2\\x.tmp", true},  // only the last component counts
      {"C:\\RECYCLER\\info2.old", true},
      {"C:\\Windows\\opa12.BAK", false},
      {"C:\\Windows\\opa1.bak", true},
      {"C:\\", true},  // empty last component
  };
  for (const Case& c : cases) {
    const int before = list.Count();
    EXPECT_EQ(list.Accepts(c.Path), c.Accepted) << c.Path;
    EXPECT_EQ(list.Add(c.Path, 1, TW_KIND_DIRECTORY, 0), c.Accepted) << c.Path;
    EXPECT_EQ(list.Count(), before + (c.Accepted ? 1 : 0)) << c.Path;
  }
}

TEST(FileList, MalformedExceptionFailsCreation) {
  const TTWRecordConfig s = Settings({"*.bak", "[abc"});
  try {
    TTWFileList list(s);
    FAIL();
  } catch (const EMaskException& e) {
    EXPECT_STREQ(e.what(), "'[abc' is an invalid mask at (5)");
  }
}

TEST(FileList, TicksOnlyWhenTheReviewDialogIsOff) {
  TTWRecordConfig s = Settings({}, 1);
  TTWFileList list(s);
  list.Add("C:\\a", 0, 0, 0);
  s.DeleteFiles.ConformationDialog = 0;  // read at each Add
  list.Add("C:\\b", 0, 0, 0);
  s.DeleteFiles.ConformationDialog = 2;  // any non-zero byte is on
  list.Add("C:\\c", 0, 0, 0);
  EXPECT_FALSE(list.Items(0).Checked);
  EXPECT_TRUE(list.Items(1).Checked);
  EXPECT_FALSE(list.Items(2).Checked);
}

TEST(FileList, IndexOutsideTheEntriesIsAContractFailure) {
  const TTWRecordConfig s = Settings({});
  TTWFileList list(s);
  list.Add("C:\\a", 0, 0, 0);
  EXPECT_THROW(list.Items(1), EAssertionFailed);
  EXPECT_THROW(list.Items(-1), EAssertionFailed);
  const TTWFileList& view = list;
  EXPECT_THROW(view.Items(1), EAssertionFailed);
}

class LookupPlatform : public TTWNullPlatform {
 public:
  bool FindOne(const std::string& Path, TTWFindData& Data) override {
    auto it = Objects.find(Path);
    if (it == Objects.end()) return false;
    Data = it->second;
    return true;
  }
  std::map<std::string, TTWFindData> Objects;
};

TEST(FileList, AddFileRecordsWhatTheLookupFinds) {
  LookupPlatform p;
  p.Objects["C:\\Users\\t\\index.dat"] = {
      "index.dat", FILE_ATTRIBUTE_ARCHIVE, 4 * GiB + 10, {3, 44}, true};
  p.Objects["C:\\Users\\t\\Cookies"] = {"Cookies", FILE_ATTRIBUTE_DIRECTORY, 0, {3, 45}, true};
  p.Objects["C:\\RECYCLER\\INFO2"] = {"INFO2", FILE_ATTRIBUTE_HIDDEN, 20, {3, 46}, true};
  ScopedPlatform scoped(p);
  const TTWRecordConfig s = Settings({"INFO2"}, 0);
  TTWFileList list(s);

  list.AddFile("C:\\Users\\t\\missing.dat", 1);
  EXPECT_EQ(list.Count(), 0);
  list.AddFile("C:\\RECYCLER\\INFO2", 18);  // an exception
  EXPECT_EQ(list.Count(), 0);

  list.AddFile("C:\\Users\\t\\index.dat", 2);
  list.AddFile("C:\\Users\\t\\Cookies", 1);
  ASSERT_EQ(list.Count(), 2);
  const TTWRecordFile& f = list.Items(0);
  EXPECT_EQ(f.Path, "C:\\Users\\t\\index.dat");
  EXPECT_EQ(f.Size, 4 * GiB + 10);
  EXPECT_EQ(f.Kind, TW_KIND_FILE);
  EXPECT_EQ(f.Group, 2);
  EXPECT_EQ(f.Id, (TTWFileId{3, 44}));
  EXPECT_TRUE(f.Checked);
  // A directory found this way is recorded as a file with the size reported for it.
  EXPECT_EQ(list.Items(1).Kind, TW_KIND_FILE);
  EXPECT_EQ(list.Items(1).Size, 0);
  EXPECT_EQ(list.Items(1).Id, (TTWFileId{3, 45}));
}

}  // namespace
