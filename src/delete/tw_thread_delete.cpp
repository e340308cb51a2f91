#include "delete/tw_thread_delete.h"

#include <algorithm>
#include <memory>

#include "config/tw_config.h"
#include "delete/tw_random.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"

TTWThreadDelete::TTWThreadDelete(TTWFileList* FileList, const TTWConfig& Cfg,
                                 TTWMessageReceiver* Target)
    : FFileList(FileList), FCfg(Cfg), FTarget(Target) {}

TTWThreadDelete::~TTWThreadDelete() {
  WaitFor();
}

void TTWThreadDelete::Execute() {
  try {
    DeleteEntries();
  } catch (...) {
    // Whatever went wrong, the main window must get its end message; the entries not
    // reached keep Deleted false.
  }
  if (FTarget) FTarget->PostMessage(WM_DELETEFINISHED, 0, 0);
}

void TTWThreadDelete::DeleteEntries() {
  using TMethod = int32_t (*)(const std::string&, bool, const TTWFileId&);
  TMethod method;
  switch (FCfg.Current.DeleteFiles.DeleteMethod) {
    case TW_DELETE_RECYCLE:
      method = &RecycleEntry;
      break;
    case TW_DELETE_SHRED:
      method = &ShredEntry;
      break;
    default:
      method = &RemoveEntry;
      break;
  }
  // One look at what other programs hold open serves the whole run.
  struct TRunScope {
    TRunScope() { Platform().BeginDeleteRun(); }
    ~TRunScope() { Platform().EndDeleteRun(); }
  } run;
  const int count = FFileList->Count();
  // Backwards: a directory's contents come after it in the list, so they go first.
  for (int i = count - 1; i >= 0; --i) {
    if (Terminated()) break;
    TTWRecordFile& entry = FFileList->Items(i);
    if (!entry.Checked) continue;
    if (FTarget) {
      FTarget->SendMessage(WM_SHOWSTATUS, 0, reinterpret_cast<TTWLParam>(entry.Path.c_str()));
    }
    entry.Deleted = method(entry.Path, entry.Kind == TW_KIND_DIRECTORY, entry.Id) == 0;
  }
}

int32_t TTWThreadDelete::RemoveEntry(const std::string& Path, bool IsDirectory,
                                     const TTWFileId& Id) {
  const bool removed =
      IsDirectory ? Platform().RemoveDirectory(Path, Id) : Platform().DeleteFile(Path, Id);
  return removed ? 0 : 1;
}

int32_t TTWThreadDelete::RecycleEntry(const std::string& Path, bool IsDirectory,
                                      const TTWFileId& Id) {
  if (IsDirectory) {
    // Like the other methods, a directory goes only when it is empty; whatever is left
    // in it was not meant to go.
    std::unique_ptr<TTWFindHandle> h = Platform().FindFirst(Path + "\\*.*", true);
    TTWFindData d;
    while (h && h->Next(d)) {
      if (d.Name != "." && d.Name != "..") return 1;
    }
  }
  return Platform().MoveToRecycleBin(Path, IsDirectory, Id);
}

int32_t TTWThreadDelete::ShredEntry(const std::string& Path, bool IsDirectory,
                                    const TTWFileId& Id) {
  if (IsDirectory) return RemoveEntry(Path, true, Id);
  std::unique_ptr<TTWFile> file;
  switch (Platform().OpenForOverwrite(Path, Id, file)) {
    case TTWOpenResult::Opened:
      break;
    case TTWOpenResult::RemoveOnly:
      // A link or a file with other names: writing would reach data that stays.
      return RemoveEntry(Path, false, Id);
    case TTWOpenResult::Failed:
    default:
      return -1;
  }
  if (!file) return -1;
  uint8_t block[TW_RANDOM_BLOCK_SIZE];
  constexpr uint64_t piece = TW_RANDOM_BLOCK_SIZE;
  for (int pass = 0; pass < TW_SHRED_PASSES; ++pass) {
    FillRandomBlock(block);
    uint64_t size = 0;
    if (!file->GetSize(size)) break;
    // Only the file's data is overwritten, never its holes: writing a hole would fill the
    // device with a sparse file's apparent size. Each range is widened to whole pieces
    // of the file, so every byte carries the byte of the block at its offset, as when
    // the whole file is written from the start.
    bool ok = true;
    for (uint64_t pos = 0; ok && pos < size;) {
      uint64_t start = 0, length = 0;
      if (!file->NextData(pos, start, length) || start < pos) {
        ok = false;
        break;
      }
      if (length == 0 || start >= size) break;
      const uint64_t from = std::max(pos, start - start % piece);
      const uint64_t end = std::min(size, start + std::min(length, size - start));
      const uint64_t to = std::min(size, end + (piece - end % piece) % piece);
      // A short write (an error, or no progress at all) ends the overwriting at once.
      ok = file->Seek(from) &&
           file->WritePieces(block, TW_RANDOM_BLOCK_SIZE, to - from) == to - from;
      pos = to;
    }
    if (!ok || !file->Flush()) break;
  }
  file.reset();  // closes the file before it is removed
  return RemoveEntry(Path, false, Id);
}
