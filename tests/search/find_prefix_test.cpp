// The drive walk on a sample Wine prefix through the host platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "config/tw_config.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_thread_find.h"
#include "support/null_platform.h"
#include "support/sample_prefix.h"

namespace {

using TTexts = std::vector<std::string>;

TEST(FindPrefixTest, DriveWalkHonoursAttributesExceptionsAndLinks) {
  TSamplePrefix prefix;
  std::unique_ptr<TTWPlatform> host = CreateHostPlatform();
  ScopedPlatform scope(*host);
  TTWConfig cfg(prefix.Root() + "/system.dat");
  TTWRecordConfig& c = cfg.Current;
  c.FileSearchMasks = {"*.tmp"};
  c.Exceptions.FileMasks.clear();
  c.Exceptions.DirectoryMasks = {"winsxs"};
  c.DeleteFiles.ConformationDialog = 0;
  c.Browsers = TTWRecordBrowsers{};
  c.AdditionalOptions = {1, 0, 0, 0, 0, 0};
  c.Drives.Entries = {{1, 'C'}};

  const std::string dir = "C:\\data";
  if (prefix.XattrSupported()) {
    prefix.AddFile(dir + "\\sys.tmp", 1, 0644, 0x4);
    prefix.AddFile(dir + "\\hidden.tmp", 3, 0644, 0x2);
  }
  prefix.AddFile(dir + "\\ro.tmp", 1, 0444);  // read-only: no write bit
  prefix.AddFile(dir + "\\deep\\x.tmp", 7);
  prefix.AddFile(dir + "\\keep.txt", 1);
  prefix.AddFile("C:\\windows\\winsxs\\w.tmp", 1);
  prefix.AddSymlink(dir + "\\out", prefix.OutsideDir());
  prefix.AddSymlink(dir + "\\file-link.tmp", prefix.OutsideFile());

  TTWFileList list(c);
  std::vector<std::string> statuses;
  bool finished = false;
  TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
    if (Msg == WM_SHOWSTATUS) statuses.emplace_back(reinterpret_cast<const char*>(L));
    if (Msg == WM_FINDFINISHED) finished = true;
    return 0;
  });
  TTWThreadFind find(&list, cfg, &receiver);
  find.Resume();
  receiver.RunUntil([&] { return finished; });

  TTexts found;
  for (int i = 0; i < list.Count(); ++i) found.push_back(list.Items(i).Path);
  std::sort(found.begin(), found.end());
  TTexts want = {dir + "\\deep\\x.tmp", dir + "\\file-link.tmp"};
  if (prefix.XattrSupported()) want.push_back(dir + "\\hidden.tmp");
  std::sort(want.begin(), want.end());
  EXPECT_EQ(found, want);
  for (int i = 0; i < list.Count(); ++i) EXPECT_TRUE(list.Items(i).Id.Valid());
  auto reported = [&](const std::string& S) {
    return std::find(statuses.begin(), statuses.end(), S) != statuses.end();
  };
  EXPECT_TRUE(reported(dir + "\\deep"));
  EXPECT_FALSE(reported(dir + "\\out"));
  EXPECT_FALSE(reported("C:\\windows\\winsxs"));
  EXPECT_TRUE(prefix.OutsideIntact());
}

}  // namespace
