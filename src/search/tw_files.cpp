#include "search/tw_files.h"

#include "platform/tw_assert.h"
#include "platform/tw_platform.h"
#include "search/tw_helper.h"

TTWFileList::TTWFileList(const TTWRecordConfig& Settings) : FSettings(Settings) {
  TTWHelper::CreateMasks(FFileExceptions, Settings.Exceptions.FileMasks);
}

TTWFileList::~TTWFileList() {
  TTWHelper::FreeMasks(FFileExceptions);
}

bool TTWFileList::Accepts(const std::string& Path) const {
  const size_t cut = Path.find_last_of("\\:");
  const size_t start = (cut == std::string::npos) ? 0 : cut + 1;
  return !TTWHelper::MatchesAny(FFileExceptions, Path.data() + start, Path.size() - start);
}

bool TTWFileList::Add(const std::string& Path, int64_t Size, uint8_t Kind, uint8_t Group,
                      const TTWFileId& Id) {
  if (!Accepts(Path)) return false;
  // Capacity is counted in blocks of GrowBy; the storage grows in blocks of its own and
  // never copies the entries it holds.
  if (Count() + 1 > FCapacity) FCapacity += GrowBy;
  TTWRecordFile& item = FItems.emplace_back();
  item.Checked = FSettings.DeleteFiles.ConformationDialog == 0;
  item.Deleted = false;
  item.Size = Size;
  item.Path = Path;
  item.Kind = Kind;
  item.Group = Group;
  item.Id = Id;
  return true;
}

void TTWFileList::AddFile(const std::string& Path, uint8_t Group) {
  TTWFindData data;
  if (!Platform().FindOne(Path, data)) return;
  // Sizes beyond the signed range do not exist on any file system; clamp all the same.
  const int64_t size =
      data.Size > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(data.Size);
  Add(Path, size, TW_KIND_FILE, Group, data.Id);
}

TTWRecordFile& TTWFileList::Items(int Index) {
  TW_ASSERT(Index >= 0 && Index < Count(), "Assertion failure", "tw_files");
  return FItems[static_cast<size_t>(Index)];
}

const TTWRecordFile& TTWFileList::Items(int Index) const {
  TW_ASSERT(Index >= 0 && Index < Count(), "Assertion failure", "tw_files");
  return FItems[static_cast<size_t>(Index)];
}
