// The pause/stop gate of working threads: what a safe point answers after each sequence of
// requests, a paused thread released by a resume or a stop, and the conditional pause.

#include "threads/pause_gate.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "threads/thread_priority.h"

namespace {

enum class TRequest { Pause, Resume, Stop, Reset };

void Apply(TPauseGate &Gate, TRequest Request) {
  switch (Request) {
    case TRequest::Pause:
      Gate.Pause();
      break;
    case TRequest::Resume:
      Gate.Resume();
      break;
    case TRequest::Stop:
      Gate.Stop();
      break;
    case TRequest::Reset:
      Gate.Reset();
      break;
  }
}

// Sequences that leave the gate open: Wait returns at once with its answer.
TEST(PauseGateTest, RequestsLeaveTheirState) {
  using enum TRequest;
  const struct {
    std::vector<TRequest> Requests;
    bool Paused, Stopped, GoOn;
  } Cases[] = {
      {{}, false, false, true},
      {{Pause, Resume}, false, false, true},
      {{Stop}, false, true, false},
      // A stop is final until a reset, and a paused gate still lets a stopped thread out.
      {{Stop, Resume}, false, true, false},
      {{Pause, Stop}, true, true, false},
      {{Pause, Stop, Reset}, false, false, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Requests.size());
    TPauseGate Gate;
    for (TRequest Request : Case.Requests) Apply(Gate, Request);
    EXPECT_EQ(Gate.Paused(), Case.Paused);
    EXPECT_EQ(Gate.Stopped(), Case.Stopped);
    EXPECT_EQ(Gate.StopFlag().load(), Case.Stopped);
    EXPECT_EQ(Gate.Wait(), Case.GoOn);
  }
}

// A thread paused at its safe point is let out by the request that ends the pause, and is
// told whether to go on.
TEST(PauseGateTest, APausedThreadWaitsUntilReleased) {
  const struct {
    TRequest Release;
    bool GoOn;
  } Cases[] = {{TRequest::Resume, true}, {TRequest::Stop, false}, {TRequest::Reset, true}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(static_cast<int>(Case.Release));
    TPauseGate Gate;
    Gate.Pause();
    bool GoOn = !Case.GoOn;
    std::thread Worker([&] { GoOn = Gate.Wait(); });
    Apply(Gate, Case.Release);
    Worker.join();
    EXPECT_EQ(GoOn, Case.GoOn);
  }
}

TEST(PauseGateTest, PauseIfPausesOnlyWhenAllowed) {
  for (const bool Allowed : {true, false}) {
    TPauseGate Gate;
    Gate.PauseIf([Allowed] { return Allowed; });
    EXPECT_EQ(Gate.Paused(), Allowed);
  }
}

TEST(ThreadPriorityTest, NiceValuesRunFromIdleToTimeCritical) {
  const std::pair<TThreadPriority, int> Cases[] = {
      {TThreadPriority::tpIdle, 19},         {TThreadPriority::tpLowest, 10},
      {TThreadPriority::tpLower, 5},         {TThreadPriority::tpNormal, 0},
      {TThreadPriority::tpHigher, -5},       {TThreadPriority::tpHighest, -10},
      {TThreadPriority::tpTimeCritical, -20}};
  for (const auto &[Priority, Nice] : Cases) EXPECT_EQ(NiceValue(Priority), Nice);
}

}  // namespace
