// One deadline per platform call that talks to a camera: every exchange of
// the call gets the time that remains, and the camera's clock is asked at
// most once per call. The deadline belongs to the calling thread; a nested
// scope with an earlier end counts until it closes.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "onvif/messages.h"
#include "platform/cancel.h"

namespace zorvane {

inline constexpr std::chrono::seconds kPhotoCallDeadline{30};       // a photo
inline constexpr std::chrono::seconds kDeviceTestCallDeadline{30};  // the device test
inline constexpr std::chrono::seconds kDeviceQueryDeadline{30};     // one camera of a search

// Makes a cancel source the current one of the calling thread for the scope:
// every exchange and deadline check on this thread then obeys it.
class TCallCancel {
 public:
  explicit TCallCancel(std::shared_ptr<TCancelSource> source);
  ~TCallCancel();
  TCallCancel(const TCallCancel&) = delete;
  TCallCancel& operator=(const TCallCancel&) = delete;

  static const std::shared_ptr<TCancelSource>& Current();
  // Throws Error(msg::kSearchCancelled) when the current source is cancelled.
  static void ThrowIfCancelled();

 private:
  std::shared_ptr<TCancelSource> FSource;
  const TCallCancel* FOuter;  // the scope this one hides until it closes
};

class TCallDeadline {
 public:
  explicit TCallDeadline(std::chrono::milliseconds budget);
  ~TCallDeadline();
  TCallDeadline(const TCallDeadline&) = delete;
  TCallDeadline& operator=(const TCallDeadline&) = delete;

  // Whether a deadline runs on this thread.
  static bool Active();
  // Milliseconds left of the call, at most cap (cap itself without a
  // deadline); throws Error naming step when the time is up.
  static long RemainingMs(long cap, const std::string& step);
  // Whether the deadline, rather than cap, bounds an exchange of cap ms.
  static bool Bounds(long cap);
  // The message for a call whose time ran out during step.
  static std::string ExpiredMessage(const std::string& step);
  // True the first time in a call (or always without a deadline).
  static bool FirstClockSync();

  struct TState {
    bool Active = false;
    TDeadline End;
    std::chrono::milliseconds Budget{0};
    bool ClockSynced = false;
  };

 private:
  TState FSaved;  // the state the scope replaced
};

}  // namespace zorvane
