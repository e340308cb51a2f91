// An in-memory Windows file system behind the platform interface, for tests of the
// walk and deletion rules. Names are matched without regard to ASCII case, as on
// Windows. Unlike the real platforms it follows links when asked to enumerate them,
// so a test can tell whether the core would have entered one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "null_platform.h"

class TTWFakeFsPlatform : public TTWNullPlatform {
 public:
  struct TNode {
    std::string Name;
    uint32_t Attributes = 0;
    uint32_t ReparseTag = 0;
    uint64_t Size = 0;
    TTWFileId Id;
    int Links = 1;         // hard links
    bool Special = false;  // FIFO, socket, device: never opened for writing
    // A sparse file's data as (start, length) ranges in order; empty: all of it is data.
    std::vector<std::pair<uint64_t, uint64_t>> DataRanges;
    std::vector<std::unique_ptr<TNode>> Children;
    TNode* Parent = nullptr;
    bool IsDir() const { return (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  };

  // One recorded operation on a file opened for overwriting.
  struct TFileEvent {
    enum TKind { Size, Seek, Write, Flush, Close } Kind;
    uint64_t Value = 0;  // the offset of a seek, the length of a written piece
  };

  TTWFakeFsPlatform();
  ~TTWFakeFsPlatform() override;

  // --- Building the tree. Paths are "C:\a\b"; missing parents are made as directories.
  TNode& AddDir(const std::string& Path, uint32_t Attributes = 0);
  TNode& AddFile(const std::string& Path, uint64_t Size = 0, uint32_t Attributes = 0);
  // A link to a directory (DIRECTORY | REPARSE_POINT) or to a file (REPARSE_POINT). A
  // directory link may be given children to stand for what it leads to.
  TNode& AddLink(const std::string& Path, bool ToDirectory);
  // A folder that is a mount point (DIRECTORY | REPARSE_POINT, tagged as a mount point).
  TNode& AddMount(const std::string& Path);
  TNode* Find(const std::string& Path);
  bool Exists(const std::string& Path) { return Find(Path) != nullptr; }

  // Drive letters with their type; ready drives answer the free-space query.
  void SetDrive(char Letter, uint32_t Type, bool Ready = true);
  void SetSpecialFolder(int Csidl, const std::string& Path) { FSpecial[Csidl] = Path; }
  void SetIniValue(const std::string& FileName, const std::string& Section, const std::string& Key,
                   const std::string& Value);

  std::string WindowsDir = "C:\\windows";
  std::string OutsideDrives;  // letters whose drive leads outside the system
  std::string TempPath = "C:\\windows\\temp\\";
  // Overwriting: a write fails after this many bytes in all (-1: never).
  int64_t FailWriteAfter = -1;

  // What happened.
  int DetailsCalls = 0;
  int IniOpens = 0;                     // OpenIniFile
  int IniReads = 0;                     // GetPrivateProfileString
  std::vector<std::string> Enumerated;  // folder of every FindFirst / FindFirstIn
  std::vector<std::string> Removed;     // DeleteFile / RemoveDirectory that succeeded
  std::vector<std::string> Recycled;    // MoveToRecycleBin that succeeded
  std::vector<TFileEvent> FileEvents;   // on files opened for overwriting
  std::vector<std::string> Opened;      // paths opened for overwriting
  int RunsBegun = 0, RunsEnded = 0;     // BeginDeleteRun / EndDeleteRun calls

  // --- TTWPlatform
  uint32_t GetDriveType(const std::string& Root) override;
  bool GetDiskFreeSpace(const std::string& Root, uint64_t& FreeBytes,
                        uint64_t& TotalBytes) override;
  std::string GetWindowsDirectory() override { return WindowsDir; }
  std::string GetTempPath() override { return TempPath; }
  bool GetSpecialFolderPath(int Csidl, std::string& Path) override;
  std::unique_ptr<TTWFindHandle> FindFirst(const std::string& Pattern, bool Lazy) override;
  bool FindOne(const std::string& Path, TTWFindData& Data) override;
  bool DeleteFile(const std::string& Path, const TTWFileId& Expected) override;
  bool RemoveDirectory(const std::string& Path, const TTWFileId& Expected) override;
  int32_t MoveToRecycleBin(const std::string& Path, bool IsDirectory,
                           const TTWFileId& Expected) override;
  TTWOpenResult OpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                 std::unique_ptr<TTWFile>& File) override;
  void BeginDeleteRun() override { ++RunsBegun; }
  void EndDeleteRun() override { ++RunsEnded; }
  std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                      const std::string& Default,
                                      const std::string& FileName) override;
  std::unique_ptr<TTWIniFile> OpenIniFile(const std::string& FileName) override;
  bool DriveInsideSystem(char Letter) override;

  // Windows-style wildcard match ("*", "?"; "*.*" matches every name), ASCII case ignored.
  static bool WildcardMatch(const std::string& Pattern, const std::string& Name);
  static TTWFindData DataOf(const TNode& Node);

 private:
  TNode* Resolve(const std::string& Path, bool Create);
  bool Unlink(const std::string& Path, const TTWFileId& Expected, bool Directory);
  std::string PathOf(const TNode* Node) const;

  std::map<char, std::unique_ptr<TNode>> FRoots;
  std::map<char, std::pair<uint32_t, bool>> FDrives;
  std::map<int, std::string> FSpecial;
  std::map<std::string, std::string> FIni;  // upper-cased "file|section|key"
  uint64_t FNextIno = 100;
  friend class TFakeFindHandle;
  friend class TFakeFile;
};
