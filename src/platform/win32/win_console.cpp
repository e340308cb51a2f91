#include "platform/tw_console.h"
// After the platform header.
#include <windows.h>

#include <atomic>

namespace {
std::atomic<void (*)()> g_handler{nullptr};
std::atomic<bool> g_seen{false};

BOOL WINAPI OnCtrl(DWORD Type) {
  if (Type != CTRL_C_EVENT && Type != CTRL_BREAK_EVENT && Type != CTRL_CLOSE_EVENT) return FALSE;
  // The second one takes the default way out: the process ends.
  if (g_seen.exchange(true)) return FALSE;
  if (auto* H = g_handler.load()) H();
  return TRUE;
}
}  // namespace

bool ConsoleIsTerminal() {
  static const bool On = [] {
    HANDLE H = GetStdHandle(STD_ERROR_HANDLE);
    DWORD Mode = 0;
    if (H == INVALID_HANDLE_VALUE || !H || !GetConsoleMode(H, &Mode)) return false;
    // The progress line needs the console to understand ESC [ K (Windows 10 and later).
    constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    return (Mode & kVirtualTerminal) != 0 || SetConsoleMode(H, Mode | kVirtualTerminal) != 0;
  }();
  return On;
}

size_t ConsoleColumns() {
  CONSOLE_SCREEN_BUFFER_INFO Info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &Info)) {
    const int W = Info.srWindow.Right - Info.srWindow.Left + 1;
    if (W > 0) return static_cast<size_t>(W);
  }
  return 80;
}

void ConsoleOnInterrupt(void (*Handler)()) {
  g_handler.store(Handler);
  SetConsoleCtrlHandler(OnCtrl, TRUE);
}
