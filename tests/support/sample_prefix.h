// A small Wine-style prefix in a fresh temporary folder, for tests of the Linux platform
// and of code that runs on top of it.
//
// Layout (PREFIX = Root() + "/pfx"):
//   dosdevices/c: -> ../drive_c, d: -> ../cdrom (cdrom by the registry), d:: -> /dev/null,
//   z: -> PREFIX/zroot (never "/"); drive_c with windows, ProgramData, users/Public and the
//   profile folders of user "tester"; system.reg, user.reg, userdef.reg.
// Beside the prefix: home/ (HOME), home/.local/share (XDG_DATA_HOME, so the trash is
// home/.local/share/Trash) and outside/, a canary tree that must never change.
//
// For its life the fixture sets WINEPREFIX, USER=tester, HOME and XDG_DATA_HOME, and
// restores them afterwards. Not for concurrent use by several tests in one process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

class TSamplePrefix {
 public:
  TSamplePrefix();
  ~TSamplePrefix();
  TSamplePrefix(const TSamplePrefix&) = delete;
  TSamplePrefix& operator=(const TSamplePrefix&) = delete;

  const std::string& Root() const { return FRoot; }        // the temporary folder
  const std::string& Prefix() const { return FPrefix; }    // WINEPREFIX
  const std::string& Home() const { return FHome; }        // HOME
  std::string TrashDir() const;                            // XDG_DATA_HOME/Trash
  const std::string& Outside() const { return FOutside; }  // the canary tree
  std::string OutsideFile() const;                         // a regular file in the canary tree
  std::string OutsideDir() const;  // a directory (holding one file) in the canary tree

  // Host path of a Windows path on drive C:, D: or Z: (plain mapping, exact case, no
  // checks): "C:\x\y" -> PREFIX/drive_c/x/y. Accepts '\' and '/'.
  std::string HostPath(const std::string& WinPath) const;

  // Creators take a Windows path, create missing parent folders (0755) and return the
  // host path. They fail the current test (ADD_FAILURE) when the object cannot be made.
  // Size makes a sparse file; Content, when given, is written first (then Size applies if
  // larger). DosAttrib >= 0 stores user.DOSATTRIB as "0x<hex>".
  std::string AddFile(const std::string& WinPath, uint64_t Size = 0, mode_t Mode = 0644,
                      int DosAttrib = -1, const std::string& Content = std::string());
  std::string AddDir(const std::string& WinPath, mode_t Mode = 0755);
  std::string AddSymlink(const std::string& WinPath, const std::string& TargetHostPath);
  std::string AddHardLink(const std::string& WinPath, const std::string& ExistingHostPath);
  std::string AddFifo(const std::string& WinPath);
  // A drive link dosdevices/<letter>: -> Target (any text, need not exist).
  void AddDrive(char Letter, const std::string& Target);

  // Registry hooks: append text to system.reg / user.reg (repeated key blocks merge), or a
  // whole key block with one value. Data is in file syntax: "\"text\"", "dword:1",
  // "str(2):\"%x%\"". The platform reads the files once, so add before its first use.
  void AppendSystemReg(const std::string& Text);
  void AppendUserReg(const std::string& Text);
  void AddMachineValue(const std::string& Key, const std::string& Name, const std::string& Data);
  void AddUserValue(const std::string& Key, const std::string& Name, const std::string& Data);

  // Whether user.* extended attributes work in the temporary folder.
  bool XattrSupported() const { return FXattr; }

  // Hash over the canary tree: names, types, inodes, sizes, modes, mtimes and contents.
  // OutsideIntact() compares it with the value taken at construction (or RecordOutside()).
  std::string OutsideHash() const;
  bool OutsideIntact() const { return OutsideHash() == FOutsideHash; }
  void RecordOutside() { FOutsideHash = OutsideHash(); }

  // The system.reg and user.reg texts the fixture starts with.
  static const char* SystemRegText();
  static const char* UserRegText();

 private:
  std::string MakeParents(const std::string& WinPath) const;

  std::string FRoot, FPrefix, FHome, FOutside, FOutsideHash;
  bool FXattr = false;
  struct TSaved {
    const char* Name;
    bool Was;
    std::string Value;
  };
  TSaved FSaved[4];
};

// Removes a host tree without following links (for fixtures of other tests too). Makes
// directories writable through their own descriptor when needed. Returns false when
// something was left.
bool RemoveHostTree(const std::string& HostPath);

// Moves this test program into a mount namespace of its own (once), so that the mounts a
// test makes are seen by no other program and go when it ends. False where that is not
// allowed (not root): such tests skip.
bool PrivateMountNamespace();

// A mount made by a test: a tmpfs (Source empty) or a bind mount of Source onto Target,
// taken away (lazily) when the object goes. Mounted() is false when the mount failed.
class TTestMount {
 public:
  TTestMount(const std::string& Source, const std::string& Target, const std::string& Options = "");
  ~TTestMount();
  TTestMount(const TTestMount&) = delete;
  TTestMount& operator=(const TTestMount&) = delete;
  bool Mounted() const { return FMounted; }
  // Makes the mount read-only.
  bool RemountReadOnly();

 private:
  std::string FSource, FTarget;
  bool FMounted = false;
};

// Another process that holds a host object in use until the object goes: a descriptor
// open on it, its working folder in it, or a mapping of it whose descriptor is closed.
class TOtherProcessHold {
 public:
  enum TWay { OpenFd, WorkingFolder, Mapping };
  TOtherProcessHold(const std::string& Host, TWay Way);
  ~TOtherProcessHold() { Release(); }
  TOtherProcessHold(const TOtherProcessHold&) = delete;
  TOtherProcessHold& operator=(const TOtherProcessHold&) = delete;
  bool Holding() const { return FHolding; }
  void Release();

 private:
  pid_t FPid = -1;
  int FDone = -1;
  bool FHolding = false;
};
