// The destructive services: delete, remove, move to the trash, open for overwriting. Each
// reaches the parent folder through descriptors without following links, looks at the
// last component without following it, and acts relative to the parent descriptor.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/wine_fs.h"
#include "platform/tw_platform.h"

namespace twl {

inline constexpr int32_t kErrFileNotFound = 2;
inline constexpr int32_t kErrPathNotFound = 3;
inline constexpr int32_t kErrAccessDenied = 5;
inline constexpr int32_t kErrNotSameDevice = 0x11;
inline constexpr int32_t kErrDirNotEmpty = 0x91;

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

bool WineDeleteFile(const std::string& PrefixDir, const std::string& Path,
                    const TTWFileId& Expected);
bool WineRemoveDirectory(const std::string& PrefixDir, const std::string& Path,
                         const TTWFileId& Expected);
TTWOpenResult WineOpenForOverwrite(const std::string& PrefixDir, const std::string& Path,
                                   const TTWFileId& Expected, std::unique_ptr<TTWFile>& File);
// TrashDir empty means there is no trash (a failure).
int32_t WineMoveToTrash(const std::string& PrefixDir, const std::string& TrashDir,
                        const std::string& Path, bool IsDirectory, const TTWFileId& Expected);

// The home trash: $XDG_DATA_HOME/Trash when that is absolute, else $HOME/.local/share/Trash;
// "" without an absolute HOME.
std::string HomeTrashDir(const char* XdgDataHome, const char* Home);
// Percent-encoding of a .trashinfo Path: bytes <= 0x20, >= 0x7F and ^&`{}|[]'<>\#%"+.
std::string TrashPathEncode(const std::string& Bytes);

}  // namespace twl
