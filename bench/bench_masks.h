// The 43 default search masks of the settings, for the benchmark tools that do not link
// the core (the tree generator and the floor walker). bench_scan takes its masks from the
// settings themselves, and the correctness gate shows that both agree.
#pragma once

#include <array>

inline constexpr std::array<const char*, 43> kBenchMasks = {
    "*.---",        "*.$$$",       "*.??~",      "*.?~?",
    "*._mp",        "*.~*",        "*.001",      "*.002",
    "*.alt",        "*.bak",       "*.cb",       "*.cln",
    "*.cor",        "*.cpy",       "*.dmp",      "*.err",
    "*.fix",        "*.fts",       "*.gid",      "*.nav",
    "*.old",        "*.prv",       "*.qdk",      "*.sc0",
    "*.sik",        "*.syd",       "*.tmp",      "*.ubk",
    "*.umb",        "*.ump",       "*~.*",       "~*.*",
    "0???????.nch", "bootlog.txt", "chkdsk.chk", "Deleted Items.dbx",
    "drwtsn32.log", "file*.chk",   "modem.log",  "mscreate.dir",
    "scandisk.log", "swapfile.*",  "Thumbs.db",
};
