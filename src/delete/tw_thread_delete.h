// The delete thread: removes the ticked entries of a run's list from the last to the
// first (so a directory's contents go before the directory) by the configured method,
// records each outcome in the entry's Deleted flag and posts WM_DELETEFINISHED last.
#pragma once

#include <cstdint>
#include <string>

#include "platform/tw_platform.h"
#include "platform/tw_thread.h"

class TTWConfig;
class TTWFileList;
class TTWMessageReceiver;

inline constexpr uint8_t TW_DELETE_REMOVE = 0;
inline constexpr uint8_t TW_DELETE_RECYCLE = 1;
inline constexpr uint8_t TW_DELETE_SHRED = 2;
inline constexpr int TW_SHRED_PASSES = 5;

class TTWThreadDelete : public TThread {
 public:
  // Created suspended. FileList, Cfg and Target must outlive the object; the thread
  // only reads entries and writes their Deleted flags.
  TTWThreadDelete(TTWFileList* FileList, const TTWConfig& Cfg, TTWMessageReceiver* Target);
  ~TTWThreadDelete() override;  // waits for the thread

  void DeleteEntries();

  // The three methods: 0 on success. Id is the object the finder saw; the platform
  // refuses to act on anything else at that path.
  static int32_t RemoveEntry(const std::string& Path, bool IsDirectory, const TTWFileId& Id);
  static int32_t RecycleEntry(const std::string& Path, bool IsDirectory, const TTWFileId& Id);
  // -1 when the file could not be opened (then it is untouched); otherwise the result
  // of the removal. Links and files with other hard links are removed, never written.
  static int32_t ShredEntry(const std::string& Path, bool IsDirectory, const TTWFileId& Id);

 protected:
  void Execute() override;

 private:
  TTWFileList* FFileList;
  const TTWConfig& FCfg;
  TTWMessageReceiver* FTarget;
};
