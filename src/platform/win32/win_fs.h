// The file-system part of the Windows backend: enumeration over pinned directory
// handles and the destructive services. Every object is opened with
// FILE_FLAG_OPEN_REPARSE_POINT and then checked by its final path: the path the system
// resolved must be the path that was named, so a junction, symbolic link or mount point
// anywhere on the way is refused. That check also holds under Wine, which opens the
// target of a Unix link even with FILE_FLAG_OPEN_REPARSE_POINT and would then delete it.
#pragma once

#include "platform/tw_platform.h"
// The platform header first: it declares names that the Windows headers make macros.
#include "platform/win32/win_text.h"

#include "platform/win32/win_unmacro.h"

#include <memory>
#include <string>

namespace tww {

// An object opened without following its last component, with what the system says of
// it. Final holds the path the system resolved (without "\\?\").
struct TOpened {
  THandle H;
  BY_HANDLE_FILE_INFORMATION Info{};
  std::wstring Path;  // extended form of the path that was named
  TTWFileId Id() const {
    return {Info.dwVolumeSerialNumber,
            (static_cast<uint64_t>(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow};
  }
  bool IsDir() const { return (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsReparse() const { return (Info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// Opens Path (extended form) with Access and Share, not following a final reparse
// point, and checks that the system reached it by that very path. False (with
// GetLastError set) when it cannot be opened or was reached through a link.
bool OpenExact(const std::wstring& Path, DWORD Access, DWORD Share, DWORD Flags, TOpened& O);
// The same from an 8-bit Windows path.
bool OpenExactAnsi(const std::string& Path, DWORD Access, DWORD Share, DWORD Flags, TOpened& O);

// Whether the program runs under Wine rather than on Windows.
bool RunningOnWine();

std::unique_ptr<TTWFindHandle> WinFindFirst(const std::string& Pattern, bool Lazy);
bool WinFindOne(const std::string& Path, TTWFindData& Data);

bool WinDeleteFile(const std::string& Path, const TTWFileId& Expected);
bool WinRemoveDirectory(const std::string& Path, const TTWFileId& Expected);
int32_t WinMoveToRecycleBin(const std::string& Path, bool IsDirectory, const TTWFileId& Expected);
TTWOpenResult WinOpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                  std::unique_ptr<TTWFile>& File);

}  // namespace tww
