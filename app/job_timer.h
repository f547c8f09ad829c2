// The batch driver's job timer (TimerConvertAgain) behind an interface, so the window logic
// needs no toolkit and tests can tick it themselves. Main thread only.
#pragma once

#include <functional>
#include <memory>

class QTimer;

class TJobTimer {
 public:
  virtual ~TJobTimer() = default;
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool Enabled) = 0;
  virtual int Interval() const = 0;
  // One tick as soon as the event loop is back, after the events already queued, without
  // waiting for the interval; ticks asked for while one is queued are that one. Nothing when
  // the timer is disabled by then.
  virtual void TickSoon() = 0;
  // Runs on the main thread at every tick while enabled.
  std::function<void()> OnTimer;
};

// A QTimer on the thread that creates it; needs that thread's event loop running.
class TQtJobTimer : public TJobTimer {
 public:
  explicit TQtJobTimer(int IntervalMilliseconds);
  ~TQtJobTimer() override;
  bool Enabled() const override;
  void SetEnabled(bool Enabled) override;
  int Interval() const override;
  void TickSoon() override;

 private:
  void Tick();
  std::unique_ptr<QTimer> FTimer;
  bool FTickQueued = false;
};
