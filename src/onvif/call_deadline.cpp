#include "onvif/call_deadline.h"

#include "common/error.h"
#include "onvif/messages.h"

namespace zorvane {

namespace {

// Thread-local objects without destructors only: under MinGW a thread's
// emulated TLS block may be freed before the destructors of its thread_local
// objects run, and a search thread ending crashed in ~shared_ptr that way.
thread_local TCallDeadline::TState gCall;
thread_local const TCallCancel* gCancelScope = nullptr;  // the innermost

}  // namespace

TCallDeadline::TCallDeadline(std::chrono::milliseconds budget) : FSaved(gCall) {
  const TDeadline end(budget);
  if (!gCall.Active) {
    gCall = TState{true, end, budget, false};
  } else if (end < gCall.End) {
    // A nested scope with less time: its end counts until it closes.
    gCall.End = end;
    gCall.Budget = budget;
  }
}

TCallDeadline::~TCallDeadline() {
  // The clock asked within the scope stays asked for the call around it.
  const bool synced = gCall.ClockSynced;
  gCall = FSaved;
  if (gCall.Active) gCall.ClockSynced = gCall.ClockSynced || synced;
}

bool TCallDeadline::Active() {
  return gCall.Active;
}

long TCallDeadline::RemainingMs(long cap, const std::string& step) {
  TCallCancel::ThrowIfCancelled();
  if (!gCall.Active) return cap;
  const long left = gCall.End.RemainingMs();
  if (left <= 0) throw Error(ExpiredMessage(step));
  return left < cap ? left : cap;
}

bool TCallDeadline::Bounds(long cap) {
  return gCall.Active && gCall.End.RemainingMs() <= cap;
}

std::string TCallDeadline::ExpiredMessage(const std::string& step) {
  const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(gCall.Budget).count();
  return msg::CallDeadlineExpired(seconds, step);
}

bool TCallDeadline::FirstClockSync() {
  if (!gCall.Active) return true;
  if (gCall.ClockSynced) return false;
  gCall.ClockSynced = true;
  return true;
}

TCallCancel::TCallCancel(std::shared_ptr<TCancelSource> source)
    : FSource(std::move(source)), FOuter(gCancelScope) {
  gCancelScope = this;
}

TCallCancel::~TCallCancel() {
  gCancelScope = FOuter;
}

const std::shared_ptr<TCancelSource>& TCallCancel::Current() {
  static const std::shared_ptr<TCancelSource> none;
  return gCancelScope ? gCancelScope->FSource : none;
}

void TCallCancel::ThrowIfCancelled() {
  const std::shared_ptr<TCancelSource>& current = Current();
  if (current && current->Cancelled()) throw Error(msg::kSearchCancelled);
}

}  // namespace zorvane
