#include "app/tw_gui_pump.h"

#include "platform/tw_messages.h"

TTWMessagePump::TTWMessagePump(TTWMessageReceiver& Receiver, std::function<bool()> Busy,
                               QObject* Parent)
    : QObject(Parent), FReceiver(Receiver), FBusy(std::move(Busy)) {
  // A zero timer fires on every turn of the event loop once the other events are done.
  FTimer.setInterval(0);
  connect(&FTimer, &QTimer::timeout, this, &TTWMessagePump::Serve);
}

void TTWMessagePump::Arm() {
  if (!FTimer.isActive()) FTimer.start();
}

void TTWMessagePump::Serve() {
  // A handler that shows a modal dialog runs a nested loop; no second slice inside it,
  // and no zero timer spinning that loop either: the slice re-arms when it is over.
  if (FServing) {
    FTimer.stop();
    FRearm = true;
    return;
  }
  FServing = true;
  using TClock = std::chrono::steady_clock;
  const TClock::time_point end = TClock::now() + FSlice;
  for (;;) {
    if (FReceiver.DispatchMessages() > 0) {
      if (TClock::now() >= end) break;
      continue;
    }
    if (!FBusy()) {
      FTimer.stop();
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - TClock::now());
    if (left.count() <= 0 || !FReceiver.WaitMessage(left)) break;
  }
  FServing = false;
  if (FRearm) {
    FRearm = false;
    FTimer.start();
  }
}
