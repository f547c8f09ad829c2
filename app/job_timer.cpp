// The job timer on a QTimer.

#include "app/job_timer.h"

#include <QTimer>

TQtJobTimer::TQtJobTimer(int IntervalMilliseconds) : FTimer(std::make_unique<QTimer>()) {
  FTimer->setInterval(IntervalMilliseconds);
  QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Tick(); });
}

// Queued calls die with the timer object, so none can reach a destroyed TQtJobTimer.
TQtJobTimer::~TQtJobTimer() = default;

bool TQtJobTimer::Enabled() const {
  return FTimer->isActive();
}

void TQtJobTimer::SetEnabled(bool Enabled) {
  if (Enabled == FTimer->isActive()) return;
  if (Enabled)
    FTimer->start();
  else
    FTimer->stop();
}

int TQtJobTimer::Interval() const {
  return FTimer->interval();
}

void TQtJobTimer::TickSoon() {
  if (FTickQueued) return;
  FTickQueued = true;
  // A posted call, not a zero timer: it runs in order with the engine's queued events.
  QMetaObject::invokeMethod(
      FTimer.get(),
      [this] {
        FTickQueued = false;
        if (FTimer->isActive()) Tick();
      },
      Qt::QueuedConnection);
}

void TQtJobTimer::Tick() {
  if (OnTimer) OnTimer();
}
