// Serves a window's message receiver from Qt's event loop on the main thread. While it
// is armed, every turn of the loop hands the receiver a slice of time: the messages of
// the workers (a sent WM_SHOWSTATUS holds its worker until then) are handled inside the
// slice, and the window's own events, input and painting between two slices, so the
// window stays responsive and Cancel works at every moment of a run.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class TTWMessageReceiver;

class TTWMessagePump : public QObject {
  Q_OBJECT
 public:
  // Busy says whether messages are still to come (a run is active); the pump disarms
  // itself when it is false and nothing is pending.
  TTWMessagePump(TTWMessageReceiver& Receiver, std::function<bool()> Busy,
                 QObject* Parent = nullptr);

  // Starts serving (after a post, at the start of a run). Calling it again does nothing.
  void Arm();
  bool Armed() const { return FTimer.isActive(); }
  // The longest time one slice keeps the event loop away: long enough that the turns of
  // the event loop cost the workers little, short enough that timers and input stay
  // well within 50 ms.
  void SetSlice(std::chrono::microseconds Slice) { FSlice = Slice; }

 private:
  void Serve();

  TTWMessageReceiver& FReceiver;
  std::function<bool()> FBusy;
  QTimer FTimer;
  std::chrono::microseconds FSlice{std::chrono::milliseconds(16)};
  bool FServing = false;
  bool FRearm = false;
};
