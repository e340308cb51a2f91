// The settings of the program: defaults, and the XML configuration file.
#pragma once

#include <string>

#include "config/tw_types.h"

class TTWConfig {
 public:
  // Every setting at its default, browsers detected, drives listed; the file is not read.
  explicit TTWConfig(std::string FileName);

  void Reset();
  void FillDefaults(TTWRecordConfig& Rec);
  void Load();  // never fails, reports nothing
  void Save();  // never fails, reports nothing; replaces the file atomically

  std::string FileName;  // host path
  TTWRecordConfig Current;
  TTWRecordConfig Defaults;
  TTWInstalledBrowsers Installed;
};

// The one settings object of the process (created by start-up).
extern TTWConfig* Config;
