// tidewell-cli: the console front end. It starts up as the desktop program does (helper,
// command line, settings, language), then runs the finder and, for "clean", the delete
// thread exactly as a run with the review switched off does, with this thread as the
// receiver of their messages. Nothing here touches the host directly except the terminal
// and the signals.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/tw_cli_text.h"
#include "app/tw_i18n.h"
#include "config/tw_config.h"
#include "delete/tw_random.h"
#include "delete/tw_thread_delete.h"
#include "platform/tw_console.h"
#include "platform/tw_messages.h"
#include "platform/tw_platform.h"
#include "search/Masks.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "search/tw_thread_find.h"

namespace {

using namespace twcli;
using TClock = std::chrono::steady_clock;

constexpr int kExitUsage = 2;
constexpr int kExitNoSystem = 3;
constexpr int kExitBadMask = 4;
constexpr int kExitFailure = 1;
constexpr int kExitCancelled = 130;

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt() {
  g_interrupted.store(true, std::memory_order_relaxed);
}

// The first Ctrl+C cancels the run cooperatively; a second one ends the process at once.
void InstallInterruptHandler() {
  ConsoleOnInterrupt(OnInterrupt);
}

// Names for machine-readable output: fixed English, whatever the interface language.
std::string KindId(uint8_t Kind) {
  return Kind == TW_KIND_DIRECTORY ? TTWHelper::EnglishKindName(Kind)
                                   : TTWHelper::EnglishKindName(TW_KIND_FILE);
}

// The progress line on a terminal's stderr. Show() runs inside the status handler, so it
// only copies the text and draws at most every 50 ms.
class TProgress {
 public:
  TProgress() : FOn(ConsoleIsTerminal()) { FText.reserve(1024); }
  void SetLabel(const char* Label) { FLabel = Label; }
  void Show(const char* Text) {
    if (!FOn) return;
    FText.assign(Text);
    const TClock::time_point now = TClock::now();
    if (now - FLast < std::chrono::milliseconds(50)) return;
    FLast = now;
    Draw();
  }
  void Clear() {
    if (FOn) std::fputs("\r\033[K", stderr);
  }

 private:
  void Draw() {
    const size_t width = ConsoleColumns();
    std::string line = FLabel + " ";
    size_t room = width > line.size() + 1 ? width - line.size() - 1 : 0;
    line += TailFit(TerminalSafe(FText), room);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
  }
  bool FOn;
  std::string FLabel;
  std::string FText;
  TClock::time_point FLast{};
};

// The receiving side of a run: this thread handles the workers' messages.
class TRun {
 public:
  TRun()
      : FReceiver([this](uint32_t Msg, TTWWParam, TTWLParam LParam) -> TTWLResult {
          if (Msg == WM_SHOWSTATUS)
            FProgress.Show(reinterpret_cast<const char*>(LParam));
          else if (Msg == WM_FINDFINISHED || Msg == WM_DELETEFINISHED)
            FEnded = true;
          return 0;
        }) {}

  TTWMessageReceiver* Receiver() { return &FReceiver; }

  // Handles messages until the thread's end message; a Ctrl+C asks it to stop.
  // Returns whether the run was cancelled.
  bool Await(TThread& Thread, const char* Label) {
    FEnded = false;
    FProgress.SetLabel(Label);
    Thread.Resume();
    bool asked = false;
    while (!FEnded) {
      if (!asked && g_interrupted.load(std::memory_order_relaxed)) {
        Thread.Terminate();
        asked = true;
      }
      if (FReceiver.WaitMessage(std::chrono::milliseconds(50))) FReceiver.DispatchMessages();
    }
    FProgress.Clear();
    return asked;
  }

 private:
  TProgress FProgress;
  bool FEnded = false;
  TTWMessageReceiver FReceiver;
};

// The review dialog's setting, off for the life of the guard: the list then ticks every
// entry as it is added, as in a run without review. The user's value comes back after
// the run, so nothing of this reaches the settings.
class TReviewOff {
 public:
  explicit TReviewOff(TTWBool& Flag) : FFlag(Flag), FSaved(Flag) { FFlag = 0; }
  ~TReviewOff() { FFlag = FSaved; }
  TReviewOff(const TReviewOff&) = delete;
  TReviewOff& operator=(const TReviewOff&) = delete;

 private:
  TTWBool& FFlag;
  TTWBool FSaved;
};

void PrintJsonEntry(const TTWRecordFile& E, bool WithOutcome) {
  std::printf("{\"kind\":\"%s\",\"group\":\"%s\",\"group_id\":%d,\"size\":%lld,\"path\":\"%s\"",
              KindId(E.Kind).c_str(), TTWHelper::EnglishGroupName(E.Group).c_str(), E.Group,
              static_cast<long long>(E.Size), JsonEscape(E.Path).c_str());
  if (WithOutcome) std::printf(",\"deleted\":%s", E.Deleted ? "true" : "false");
  std::puts("}");
}

void Pad(const std::string& Text, size_t Width) {
  std::fputs(Text.c_str(), stdout);
  for (size_t n = Text.size(); n < Width; ++n) std::fputc(' ', stdout);
}

// Kind and group names are translated, so they come from a catalog file.
std::string KindText(uint8_t Kind) {
  return TerminalSafe(Helper->GetKindName(Kind));
}
std::string GroupText(int Group) {
  return TerminalSafe(Helper->GetGroupName(Group));
}

void PrintTable(const TTWFileList& List, bool WithOutcome) {
  size_t kindWidth = 4, groupWidth = 5;
  for (int i = 0; i < List.Count(); ++i) {
    const TTWRecordFile& e = List.Items(i);
    kindWidth = std::max(kindWidth, KindText(e.Kind).size());
    groupWidth = std::max(groupWidth, GroupText(e.Group).size());
  }
  if (WithOutcome) Pad("Result", 9);
  Pad("Kind", kindWidth + 2);
  Pad("Group", groupWidth + 2);
  std::printf("%14s  %s\n", "Size (bytes)", "Path");
  for (int i = 0; i < List.Count(); ++i) {
    const TTWRecordFile& e = List.Items(i);
    if (WithOutcome) Pad(e.Deleted ? "deleted" : "failed", 9);
    Pad(KindText(e.Kind), kindWidth + 2);
    Pad(GroupText(e.Group), groupWidth + 2);
    std::printf("%14lld  %s\n", static_cast<long long>(e.Size), TerminalSafe(e.Path).c_str());
  }
}

struct TTotals {
  int Entries = 0;
  int Deleted = 0;
  int64_t Size = 0;   // of everything found
  int64_t Freed = 0;  // of what was deleted
};

TTotals Sum(const TTWFileList& List) {
  TTotals t;
  t.Entries = List.Count();
  for (int i = 0; i < List.Count(); ++i) {
    const TTWRecordFile& e = List.Items(i);
    t.Size += e.Size;
    if (e.Deleted) {
      ++t.Deleted;
      t.Freed += e.Size;
    }
  }
  return t;
}

// One location the search left out: a line on stderr beside the table, or a JSON object
// ({"skipped":true,...}) among the entries. Every text from the system goes through here.
void PrintSkipped(const TTWSkippedLocation& S, bool Json) {
  if (Json) {
    std::printf(
        "{\"skipped\":true,\"group\":\"%s\",\"group_id\":%d,\"path\":\"%s\",\"reason\":\"%s\","
        "\"message\":\"%s\"}\n",
        TTWHelper::EnglishGroupName(S.Group).c_str(), S.Group, JsonEscape(S.Path).c_str(),
        SkipReasonId(S.Reason), JsonEscape(SkipReasonText(S.Reason)).c_str());
    return;
  }
  std::fprintf(stderr, "tidewell-cli: skipped %s location %s: %s\n",
               Helper->GetGroupName(S.Group).c_str(),
               TerminalSafe(S.Path.empty() ? std::string("(none)") : S.Path).c_str(),
               SkipReasonText(S.Reason));
}

void PrintJsonSummary(const char* Command, const TTotals& T, bool Cleaned, bool Cancelled) {
  std::printf("{\"summary\":true,\"command\":\"%s\",\"entries\":%d,\"size\":%lld", Command,
              T.Entries, static_cast<long long>(T.Size));
  if (Cleaned)
    std::printf(",\"deleted\":%d,\"failed\":%d,\"freed\":%lld", T.Deleted, T.Entries - T.Deleted,
                static_cast<long long>(T.Freed));
  std::printf(",\"cancelled\":%s}\n", Cancelled ? "true" : "false");
}

int RunCleaning(TTWConfig& Cfg, bool Clean, bool Json) {
  TRun run;
  TReviewOff reviewOff(Cfg.Current.DeleteFiles.ConformationDialog);
  std::unique_ptr<TTWFileList> list;
  std::unique_ptr<TTWThreadFind> find;
  try {
    list = std::make_unique<TTWFileList>(Cfg.Current);
    find = std::make_unique<TTWThreadFind>(list.get(), Cfg, run.Receiver());
  } catch (const EMaskException& e) {
    // The mask comes from the settings file: it must not drive the terminal.
    std::fprintf(stderr, "tidewell-cli: %s\n", TerminalSafe(e.what()).c_str());
    return kExitBadMask;
  }
  // Translated texts come from catalog files, and are filtered as every such text is.
  bool cancelled = run.Await(*find, TerminalSafe(Translate("Find Files:")).c_str());
  cancelled = cancelled || g_interrupted.load();
  if (!Json)
    for (const TTWSkippedLocation& skipped : find->Skipped()) PrintSkipped(skipped, false);

  std::unique_ptr<TTWThreadDelete> del;
  if (Clean && !cancelled) {
    Randomize();
    del = std::make_unique<TTWThreadDelete>(list.get(), Cfg, run.Receiver());
    cancelled = run.Await(*del, TerminalSafe(Translate("Delete Files:")).c_str());
  }
  // A cancelled search is discarded, as the desktop program does; a cancelled deletion
  // lists what went before the stop.
  bool showEntries = !(Clean && del == nullptr);
  if (showEntries) {
    if (Json) {
      for (int i = 0; i < list->Count(); ++i) PrintJsonEntry(list->Items(i), Clean);
    } else {
      PrintTable(*list, Clean);
    }
  }
  TTotals totals = showEntries ? Sum(*list) : TTotals{};
  if (Json) {
    for (const TTWSkippedLocation& skipped : find->Skipped()) PrintSkipped(skipped, true);
    PrintJsonSummary(Clean ? "clean" : "preview", totals, Clean, cancelled);
  } else if (Clean && del == nullptr) {
    std::printf("Cancelled during the search; nothing was deleted.\n");
  } else if (Clean) {
    std::printf("%s%d of %d entries deleted, %lld bytes (%s MB) freed\n",
                cancelled ? "Cancelled: " : "", totals.Deleted, totals.Entries,
                static_cast<long long>(totals.Freed), Helper->SizeToMB(totals.Freed).c_str());
  } else {
    std::printf("%s%d entries, %lld bytes (%s MB)\n", cancelled ? "Cancelled: " : "",
                totals.Entries, static_cast<long long>(totals.Size),
                Helper->SizeToMB(totals.Size).c_str());
  }
  std::fflush(stdout);
  del.reset();
  find.reset();
  list.reset();
  return cancelled ? kExitCancelled : 0;
}

int WriteSettings(TTWConfig& Cfg, bool Json) {
  Cfg.Save();
  // Save reports nothing; only the file itself shows whether it holds these settings (an
  // older file left by a refused save must not count as written).
  std::string data;
  if (!Platform().ReadWholeFile(Cfg.FileName, data) || data != Cfg.AsText()) {
    std::fprintf(stderr, "tidewell-cli: the settings could not be written to %s\n",
                 TerminalSafe(Cfg.FileName).c_str());
    return kExitFailure;
  }
  if (Json)
    std::printf("{\"settings\":\"%s\",\"written\":true}\n", JsonEscape(Cfg.FileName).c_str());
  else
    std::printf("Settings written to %s\n", TerminalSafe(Cfg.FileName).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TCliOptions options;
  try {
    options = ParseCli(args);
  } catch (const ECommandLineError& e) {
    std::fprintf(stderr, "tidewell-cli: %s\n%s", TerminalSafe(e.what()).c_str(), kUsage);
    return kExitUsage;
  }
  if (options.Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  if (options.Command != TCommand::Settings) {
    std::string why;
    if (!Platform().SystemFound(why)) {
      std::fprintf(stderr, "tidewell-cli: no Windows system found: %s\n",
                   TerminalSafe(why).c_str());
      return kExitNoSystem;
    }
  }

  InstallInterruptHandler();
  TTWHelper helper;
  Helper = &helper;
  int rc;
  {
    TTWConfig cfg(options.Core.ConfigPath, options.Core.ConfigInUserFolder);
    Config = &cfg;
    cfg.Load();
    const std::string warning = ReadStopWarning(cfg.FileName, cfg.LastReadStop);
    if (!warning.empty()) std::fprintf(stderr, "tidewell-cli: %s\n", warning.c_str());
    UseLanguage(cfg.Current.Language);
    helper.LoadNames();
    if (options.Command == TCommand::Settings)
      rc = WriteSettings(cfg, options.Json);
    else
      rc = RunCleaning(cfg, options.Command == TCommand::Clean, options.Json);
    Config = nullptr;
  }
  Helper = nullptr;
  return rc;
}
