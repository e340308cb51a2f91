// The found-file list of one cleaning run: an append-only, ordered array of entries.
// The finder appends, the found files dialog changes ticks, the delete thread reads
// the ticks and records the outcome. Hand-over between threads is by the run's window
// messages; the list itself has no lock.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "config/tw_types.h"
#include "search/Masks.h"

class TTWFileList {
 public:
  // Compiles Settings.Exceptions.FileMasks (a malformed one throws EMaskException and no
  // list exists). Settings must outlive the list; ConformationDialog is read at each Add.
  explicit TTWFileList(const TTWRecordConfig& Settings);
  ~TTWFileList();
  TTWFileList(const TTWFileList&) = delete;
  TTWFileList& operator=(const TTWFileList&) = delete;

  static constexpr int GrowBy = 100;

  // Appends an entry unless its last path component is a file exception; the entry is
  // ticked only when the review dialog is off. Returns whether it was appended.
  bool Add(const std::string& Path, int64_t Size, uint8_t Kind, uint8_t Group,
           const TTWFileId& Id = {});
  // Looks Path itself up (links not followed) and adds it as a file with the size and
  // identity found; nothing when it is not there.
  void AddFile(const std::string& Path, uint8_t Group);
  // False when the text after the last backslash or colon matches a file exception.
  bool Accepts(const std::string& Path) const;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Allocated length in blocks of GrowBy: always a multiple of it and at least Count.
  int Capacity() const { return FCapacity; }
  // Index 0 .. Count - 1; anything else raises the assertion failure.
  TTWRecordFile& Items(int Index);
  const TTWRecordFile& Items(int Index) const;

 private:
  const TTWRecordConfig& FSettings;
  TTWArrayMasks FFileExceptions;
  // In fixed blocks, not one array: a run of many entries neither leaves up to half an
  // array unused nor copies every entry when it grows, and entries never move.
  std::deque<TTWRecordFile> FItems;
  int FCapacity = 0;
};
