// The finder thread: the search half of a cleaning run. It walks the ticked drives
// with the search masks, then the browser data, then the system locations, appends
// every hit to the run's list, reports each directory it enters and posts
// WM_FINDFINISHED as its last act.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/tw_types.h"
#include "platform/tw_platform.h"
#include "platform/tw_thread.h"

class TTWConfig;
class TTWFileList;
class TTWMessageReceiver;

// Why a location was left out of a run. The folders that are collected whole come from
// settings that any program in the system can write, so each is checked before it is
// walked; a location the check refuses is skipped and listed with its reason.
enum class TTWSkipReason {
  NotFullPath,          // relative, or no drive
  DriveRoot,            // a whole drive
  OutsideSystem,        // on a drive that leads outside the Windows system
  LinkOrMountPoint,     // the folder, or a folder on its way, is a link or a mount point
  WindowsFolder,        // the Windows folder itself
  HoldsWindowsFolder,   // a folder that holds the Windows folder
  ProfileFolder,        // the user's profile folder
  HoldsProfileFolder,   // a folder that holds it
  ProfilesFolder,       // the folder holding the profiles
  HoldsProfilesFolder,  // a folder that holds that
  OutOfMemory,          // the step ran out of memory; the search went on with the next one
  SearchStopped,        // an unexpected failure ended the search early
};

struct TTWSkippedLocation {
  uint8_t Group = 0;  // the group its entries would have had
  std::string Path;   // as the system named it; may be empty
  TTWSkipReason Reason = TTWSkipReason::NotFullPath;
};

// A stable identifier ("drive-root") and an English sentence ("is a whole drive").
const char* SkipReasonId(TTWSkipReason Reason);
const char* SkipReasonText(TTWSkipReason Reason);

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

  // The locations this run left out, in the order met. Read it after WM_FINDFINISHED.
  const std::vector<TTWSkippedLocation>& Skipped() const { return FSkipped; }
  // What the read-ahead of folder listings did in this run (zero where there is none).
  // Read it after WM_FINDFINISHED.
  const TTWReadAheadStats& ReadAheadStats() const { return FReadAheadStats; }

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

  // A folder collected whole: AddTree after UseLocation agrees.
  void AddLocation(const std::string& Folder, uint8_t Group);
  // A folder the system names, collected whole: refused when relative, then CheckPath
  // with the drive check, then AddLocation.
  void AddSystemFolder(const std::string& Folder, uint8_t Group);
  // Whether Folder may be collected whole (see TTWSkipReason); a refusal is recorded, a
  // folder that is not there or was already walked in this run is passed over silently.
  bool UseLocation(const std::string& Folder, uint8_t Group);
  void Skip(uint8_t Group, const std::string& Path, TTWSkipReason Reason);
  // Runs one step; running out of memory there is recorded and the search goes on.
  template <class TStep>
  void Guarded(uint8_t Group, TStep&& Step);
  void PrepareGuards();

  // A folder the location check compares with: its components (upper-cased) and the
  // identities of it and of each folder above it below the drive root.
  struct TGuard {
    std::vector<std::string> Comps;
    std::vector<TTWFileId> Ids;  // [i] is the folder of Comps[0..i]
    char Letter = 0;
    TTWSkipReason Is, Holds;
  };
  bool FGuardsReady = false;
  std::vector<TGuard> FGuards;
  std::vector<TTWFileId> FWalked;
  std::vector<std::string> FWalkedTexts;  // upper-cased, for folders without an identity
  std::vector<TTWSkippedLocation> FSkipped;
  // Lists the folders the walk enters next on threads of its own; made with the first
  // walk, gone when the run ends.
  std::unique_ptr<TTWReadAhead> FReadAhead;
  bool FReadAheadMade = false;
  TTWReadAheadStats FReadAheadStats;
  void EndReadAhead();

  TTWFileList* FFileList;
  const TTWConfig& FCfg;
  TTWMessageReceiver* FTarget;
  TTWArrayMasks FSearchMasks;
  TTWArrayMasks FDirectoryExceptions;
};
