// The job timer on a QTimer.

#include "app/job_timer.h"

#include <QTimer>

TQtJobTimer::TQtJobTimer(int IntervalMilliseconds) : FTimer(std::make_unique<QTimer>()) {
  FTimer->setInterval(IntervalMilliseconds);
  QObject::connect(FTimer.get(), &QTimer::timeout, [this] {
    if (OnTimer) OnTimer();
  });
}

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
