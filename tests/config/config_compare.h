// Field-by-field comparison of two settings records; names the first difference.
#pragma once

#include <string>

#include "config/tw_types.h"

inline std::string RecordDifference(const TTWRecordConfig& A, const TTWRecordConfig& B) {
  if (A.FileSearchMasks != B.FileSearchMasks) return "FileSearchMasks";
  if (A.Exceptions.FileMasks != B.Exceptions.FileMasks) return "Exceptions.FileMasks";
  if (A.Exceptions.DirectoryMasks != B.Exceptions.DirectoryMasks)
    return "Exceptions.DirectoryMasks";
  if (A.DeleteFiles.DeleteMethod != B.DeleteFiles.DeleteMethod) return "DeleteMethod";
  if (A.DeleteFiles.ConformationDialog != B.DeleteFiles.ConformationDialog)
    return "ConformationDialog";
  const TTWRecordBrowsers &a = A.Browsers, &b = B.Browsers;
  if (a.InternetExplorer != b.InternetExplorer) return "Browsers.InternetExplorer";
  if (a.Firefox != b.Firefox) return "Browsers.Firefox";
  if (a.Opera != b.Opera) return "Browsers.Opera";
  if (a.Safari != b.Safari) return "Browsers.Safari";
  if (a.Chrome != b.Chrome) return "Browsers.Chrome";
  if (a.Options.Cookies != b.Options.Cookies) return "Browsers.Options.Cookies";
  if (a.Options.Cache != b.Options.Cache) return "Browsers.Options.Cache";
  if (a.Options.History != b.Options.History) return "Browsers.Options.History";
  const TTWRecordAdditionalOptions &x = A.AdditionalOptions, &y = B.AdditionalOptions;
  if (x.FileSearchMasks != y.FileSearchMasks) return "AdditionalOptions.FileSearchMasks";
  if (x.TemporaryDirectory != y.TemporaryDirectory) return "AdditionalOptions.TemporaryDirectory";
  if (x.RecentDocuments != y.RecentDocuments) return "AdditionalOptions.RecentDocuments";
  if (x.RecycleBin != y.RecycleBin) return "AdditionalOptions.RecycleBin";
  if (x.OldUpdateFiles != y.OldUpdateFiles) return "AdditionalOptions.OldUpdateFiles";
  if (x.SystemLog != y.SystemLog) return "AdditionalOptions.SystemLog";
  if (A.Drives.Entries.size() != B.Drives.Entries.size()) return "Drives (count)";
  for (size_t i = 0; i < A.Drives.Entries.size(); ++i) {
    if (A.Drives.Entries[i].Letter != B.Drives.Entries[i].Letter) return "Drives (letter)";
    if (A.Drives.Entries[i].Selected != B.Drives.Entries[i].Selected) return "Drives (selected)";
  }
  if (A.Language != B.Language) return "Language";
  return {};
}

// The letters of the ticked drives, in entry order.
inline std::string SelectedDrives(const TTWRecordConfig& R) {
  std::string out;
  for (const TTWDriveEntry& e : R.Drives.Entries)
    if (e.Selected) out += e.Letter;
  return out;
}
