// The destructive services: delete, remove, move to the trash, open for overwriting. Each
// reaches the parent folder through descriptors without following links, looks at the
// last component without following it, and acts relative to the parent descriptor.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/wine_fs.h"
#include "platform/tw_platform.h"

namespace twl {

inline constexpr int32_t kErrFileNotFound = 2;
inline constexpr int32_t kErrPathNotFound = 3;
inline constexpr int32_t kErrAccessDenied = 5;
inline constexpr int32_t kErrNotSameDevice = 0x11;
inline constexpr int32_t kErrDirNotEmpty = 0x91;

// What the other processes hold open: the (device, inode) of every regular file and
// folder behind their descriptors, their working folders and their mapped files, read
// from /proc. Processes whose entries cannot be read (another user's, for an ordinary
// user) are passed over; this process is never counted.
class TOpenFiles {
 public:
  void Scan(const std::string& ProcDir = "/proc");
  bool Contains(const TStatInfo& St) const;
  size_t Count() const { return FIds.size(); }
  size_t Processes() const { return FProcesses; }

 private:
  std::vector<std::pair<uint64_t, uint64_t>> FIds;  // sorted
  size_t FProcesses = 0;
};

// The object a destructive service acts on.
struct TTarget {
  char Letter = 0;
  TFd Parent;
  std::string Name;                  // on-disk spelling of the last component
  std::vector<std::string> Spelled;  // on-disk spelling of the folders above it
  TStatInfo St, ParentSt;
  int Err = 0;  // errno when Reach fails; ENOTDIR/ENOENT above the last component
  bool ParentMissing = false;
};
bool ReachForChange(const std::string& PrefixDir, const std::string& Path, TTarget& T);

// The services. Each checks on the descriptor of the object itself that it is the object
// looked at, on its folder's mount and no mount point, and not in use elsewhere: in Open,
// or holding a record lock (fcntl, lockf, OFD) or flock lock of another owner. Open null
// skips the in-use checks altogether (for measuring what they cost).
bool WineDeleteFile(const std::string& PrefixDir, const std::string& Path,
                    const TTWFileId& Expected, const TOpenFiles* Open);
bool WineRemoveDirectory(const std::string& PrefixDir, const std::string& Path,
                         const TTWFileId& Expected, const TOpenFiles* Open);
TTWOpenResult WineOpenForOverwrite(const std::string& PrefixDir, const std::string& Path,
                                   const TTWFileId& Expected, std::unique_ptr<TTWFile>& File,
                                   const TOpenFiles* Open);
// Moves the object into a trash that can take it without copying: the home trash HomeTrash
// (when it is on the object's file system), else the trash at the top of the object's
// mount ($topdir/.Trash/$uid when $topdir/.Trash is a real folder with the sticky bit,
// else $topdir/.Trash-$uid). HomeTrash "" means there is no home trash. When no trash can
// take the object it stays where it is: nothing is ever deleted instead.
int32_t WineMoveToTrash(const std::string& PrefixDir, const std::string& HomeTrash,
                        const std::string& Path, bool IsDirectory, const TTWFileId& Expected,
                        const TOpenFiles* Open);

// The home trash: $XDG_DATA_HOME/Trash when that is absolute, else $HOME/.local/share/Trash;
// "" without an absolute HOME.
std::string HomeTrashDir(const char* XdgDataHome, const char* Home);
// Percent-encoding of a .trashinfo Path: bytes <= 0x20, >= 0x7F and ^&`{}|[]'<>\#%"+.
std::string TrashPathEncode(const std::string& Bytes);

}  // namespace twl
