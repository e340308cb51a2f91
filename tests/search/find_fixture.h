// A finder run on the in-memory file system: settings with everything off but drive C,
// a receiver on the test thread that records the status texts and the message order.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/tw_config.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_thread_find.h"
#include "support/fake_fs_platform.h"

class FindFixture : public ::testing::Test {
 protected:
  FindFixture() {
    TTWRecordConfig& c = Cfg.Current;
    c.FileSearchMasks.clear();
    c.Exceptions.FileMasks = {"INFO2"};
    c.Exceptions.DirectoryMasks = {"winsxs", "$hf_mig$"};
    c.DeleteFiles.DeleteMethod = 0;
    c.DeleteFiles.ConformationDialog = 0;
    c.Browsers = TTWRecordBrowsers{};
    c.AdditionalOptions = {0, 0, 0, 0, 0, 0};
    c.Drives.Entries = {{1, 'C'}, {0, 'D'}};
    Cfg.Installed = TTWInstalledBrowsers{};
    Fs.SetDrive('C', DRIVE_FIXED);
    Fs.SetDrive('D', DRIVE_FIXED);
  }

  // Runs a whole search. OnStatus, when set, is called for every status text with the
  // thread, so a test can cancel at a chosen point.
  void Run(std::function<void(TTWThreadFind&, const std::string&)> OnStatus = nullptr) {
    List = std::make_unique<TTWFileList>(Cfg.Current);
    Statuses.clear();
    Messages.clear();
    TTWThreadFind* thread = nullptr;
    bool finished = false;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam L) -> TTWLResult {
      Messages.push_back(Msg);
      if (Msg == WM_SHOWSTATUS) {
        Statuses.emplace_back(reinterpret_cast<const char*>(L));
        if (OnStatus) OnStatus(*thread, Statuses.back());
      }
      if (Msg == WM_FINDFINISHED) finished = true;
      return 0;
    });
    TTWThreadFind find(List.get(), Cfg, &receiver);
    thread = &find;
    find.Resume();
    receiver.RunUntil([&] { return finished; });
    Skipped = find.Skipped();
  }

  std::vector<std::string> Paths(int Group = -1) const {
    std::vector<std::string> out;
    for (int i = 0; i < List->Count(); ++i) {
      const TTWRecordFile& e = List->Items(i);
      if (Group < 0 || e.Group == Group) out.push_back(e.Path);
    }
    return out;
  }
  const TTWRecordFile* Entry(const std::string& Path) const {
    for (int i = 0; i < List->Count(); ++i) {
      if (List->Items(i).Path == Path) return &List->Items(i);
    }
    return nullptr;
  }
  int IndexOf(const std::string& Path) const {
    for (int i = 0; i < List->Count(); ++i) {
      if (List->Items(i).Path == Path) return i;
    }
    return -1;
  }
  bool WasEnumerated(const std::string& Folder) const {
    for (const std::string& e : Fs.Enumerated) {
      if (e == Folder) return true;
    }
    return false;
  }

  TTWFakeFsPlatform Fs;
  ScopedPlatform Scope{Fs};
  TTWConfig Cfg{"/nonexistent/system.dat"};
  std::unique_ptr<TTWFileList> List;
  std::vector<std::string> Statuses;
  std::vector<uint32_t> Messages;
  std::vector<TTWSkippedLocation> Skipped;
};
