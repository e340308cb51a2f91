#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "platform/tw_console.h"

namespace {
std::atomic<void (*)()> g_handler{nullptr};

extern "C" void OnSignal(int) {
  if (auto* H = g_handler.load(std::memory_order_relaxed)) H();
}
}  // namespace

bool ConsoleIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

size_t ConsoleColumns() {
  struct winsize ws {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void ConsoleOnInterrupt(void (*Handler)()) {
  g_handler.store(Handler, std::memory_order_relaxed);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND;  // the second signal has its default effect
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}
