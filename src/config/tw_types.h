// Record types shared by the configuration, the search and the deletion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/tw_platform.h"

using TStringList = std::vector<std::string>;

// A flag is one byte: 0 off, any other value on. Values read from the file stay as read.
using TTWBool = uint8_t;

struct TTWDriveEntry {
  TTWBool Selected = 0;
  char Letter = 'A';
};

// Built once when the configuration is created and never resized afterwards, so that
// the main window can keep pointers to its entries.
struct TTWRecordDrives {
  std::vector<TTWDriveEntry> Entries;
};

struct TTWRecordExceptions {
  TStringList FileMasks;
  TStringList DirectoryMasks;
};

struct TTWRecordDeleteFiles {
  uint8_t DeleteMethod = 0;  // 0 removal, 1 Recycle Bin, 2 shred
  TTWBool ConformationDialog = 1;
};

struct TTWRecordBrowserOptions {
  TTWBool Cookies = 1;
  TTWBool Cache = 1;
  TTWBool History = 1;
};

struct TTWRecordBrowsers {
  TTWBool InternetExplorer = 0;
  TTWBool Firefox = 0;
  TTWBool Opera = 0;
  TTWBool Safari = 0;
  TTWBool Chrome = 0;
  TTWRecordBrowserOptions Options;
};

struct TTWRecordAdditionalOptions {
  TTWBool FileSearchMasks = 1;
  TTWBool TemporaryDirectory = 1;
  TTWBool RecentDocuments = 1;
  TTWBool RecycleBin = 1;
  TTWBool OldUpdateFiles = 1;
  TTWBool SystemLog = 1;
};

struct TTWRecordConfig {
  TStringList FileSearchMasks;
  TTWRecordExceptions Exceptions;
  TTWRecordDeleteFiles DeleteFiles;
  TTWRecordBrowsers Browsers;
  TTWRecordAdditionalOptions AdditionalOptions;
  TTWRecordDrives Drives;
  std::string Language;
};

struct TTWInstalledBrowsers {
  TTWBool InternetExplorer = 0;
  TTWBool Firefox = 0;
  TTWBool Opera = 0;
  TTWBool Safari = 0;
  TTWBool Chrome = 0;
};

inline constexpr uint8_t TW_KIND_FILE = 0;
inline constexpr uint8_t TW_KIND_DIRECTORY = 1;

// One found entry. The small fields share one word, so that an entry takes 64 bytes
// beside its path's text.
struct TTWRecordFile {
  // The whole size: a 32-bit field would show files of 2 GiB and more with wrong,
  // even negative, sizes.
  int64_t Size = 0;
  // The object the finder saw; deletion refuses to act on anything else.
  TTWFileId Id;
  std::string Path;  // full Windows path, no trailing backslash
  bool Checked = false;
  bool Deleted = false;
  uint8_t Kind = TW_KIND_FILE;
  uint8_t Group = 0;
};

class TMask;
using TTWArrayMasks = std::vector<std::unique_ptr<TMask>>;
