#include "onvif/call_deadline.h"

#include "common/error.h"

namespace zorvane {

namespace {

using Clock = std::chrono::steady_clock;

struct TCallState {
  bool Active = false;
  Clock::time_point End;
  std::chrono::milliseconds Budget{0};
  bool ClockSynced = false;
};

thread_local TCallState gCall;

long MsUntil(Clock::time_point end) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
}

}  // namespace

TCallDeadline::TCallDeadline(std::chrono::milliseconds budget) {
  if (gCall.Active) return;
  FOuter = true;
  gCall = TCallState{true, Clock::now() + budget, budget, false};
}

TCallDeadline::~TCallDeadline() {
  if (FOuter) gCall = TCallState{};
}

bool TCallDeadline::Active() {
  return gCall.Active;
}

long TCallDeadline::RemainingMs(long cap, const std::string& step) {
  if (!gCall.Active) return cap;
  const long left = MsUntil(gCall.End);
  if (left <= 0) throw Error(ExpiredMessage(step));
  return left < cap ? left : cap;
}

bool TCallDeadline::Bounds(long cap) {
  return gCall.Active && MsUntil(gCall.End) <= cap;
}

std::string TCallDeadline::ExpiredMessage(const std::string& step) {
  const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(gCall.Budget).count();
  return "Камера не ответила за отведённое вызову время (" + std::to_string(seconds) +
         " с); не завершён шаг: " + step;
}

bool TCallDeadline::FirstClockSync() {
  if (!gCall.Active) return true;
  if (gCall.ClockSynced) return false;
  gCall.ClockSynced = true;
  return true;
}

}  // namespace zorvane
