// The finder thread: the search half of a cleaning run. It walks the ticked drives
// with the search masks, then the browser data, then the system locations, appends
// every hit to the run's list, reports each directory it enters and posts
// WM_FINDFINISHED as its last act.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/tw_types.h"
#include "platform/tw_platform.h"
#include "platform/tw_thread.h"

class TTWConfig;
class TTWFileList;
class TTWMessageReceiver;

class TTWThreadFind : public TThread {
 public:
  // Created suspended. Compiles the search masks and the directory exceptions of
  // Cfg.Current; a malformed mask throws the mask error and no thread exists. FileList,
  // Cfg and Target must outlive the object; the list is only appended to.
  TTWThreadFind(TTWFileList* FileList, const TTWConfig& Cfg, TTWMessageReceiver* Target);
  ~TTWThreadFind() override;  // waits for the thread

  // --- The steps, in the order Execute runs them
  void FindInDrives();
  void FindInBrowsers();
  void FindAdditional();

  // Browser sub-steps
  void FindInternetExplorer();
  void FindFirefox();
  void FindOpera();
  void FindSafari();
  void FindChrome();
  // System-location sub-steps
  void FindTemporaryDirectory();
  void FindRecentDocuments();
  void FindRecycleBin();
  void FindOldUpdateFiles();
  void FindSystemLog();

  // --- Collection primitives. Folder is a Windows path with or without a trailing
  // backslash. Walks never enter links, mount points or other reparse points, and
  // never cross into another file system.
  // Every file that is neither read-only nor system, and every subdirectory, below Folder.
  void AddTree(const std::string& Folder, uint8_t Group);
  // Files below Folder that match a search mask (group 0); directories are reported, not recorded.
  void SearchDrive(const std::string& Folder);
  // Files directly in Folder matching the file-system Pattern; no recursion, no status.
  void AddMatching(const std::string& Folder, const std::string& Pattern, uint8_t Group);

  // Whether a start folder may be used: not empty, (with CheckDrive) on a ticked drive,
  // and no component after the drive part is a directory exception.
  bool CheckPath(const std::string& Path, bool CheckDrive) const;

 protected:
  void Execute() override;

 private:
  void FirefoxCookies(const std::string& F);
  void FirefoxCache(const std::string& F);
  void FirefoxHistory(const std::string& F);
  void OperaCookies(const std::string& F);
  void OperaCache(const std::string& F);
  void OperaHistory(const std::string& F);
  void FindRecycled(const std::string& Folder);
  void FindRecyclerUsers(const std::string& Folder);
  // Whether a kind of browser data is wanted now (option on, not terminated).
  bool Wants(uint8_t Option) const;

  // The walk of AddTree (RecordTree) and SearchDrive, from an enumeration of Folder.
  void WalkFrom(std::unique_ptr<TTWFindHandle> Start, const std::string& Folder, bool RecordTree,
                uint8_t Group);
  void ShowStatus(const std::string& Text);
  bool IsDirectoryException(const std::string& Name) const;

  TTWFileList* FFileList;
  const TTWConfig& FCfg;
  TTWMessageReceiver* FTarget;
  TTWArrayMasks FSearchMasks;
  TTWArrayMasks FDirectoryExceptions;
};
