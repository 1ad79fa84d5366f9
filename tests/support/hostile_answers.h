// Camera answers made to exhaust a client within the transport's size limit
// (millions of tiny elements, empty or unclosed tags, attribute floods,
// thousands of profiles, one huge text), and a way to run work in a child
// process and learn how much it made the process grow and how long it took.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::testing {

// A GetProfiles answer (a SOAP envelope around GetProfilesResponse) whose
// response holds the piece repeated until the answer is close to size bytes.
std::string FilledProfilesAnswer(std::string_view piece, size_t size);

// One profile as a camera sends it, with the given token.
std::string ProfileElement(const std::string& token);
// A GetProfiles answer of count such profiles (tokens p0, p1 ...).
std::string ProfilesAnswer(size_t count);

struct THostileAnswer {
  std::string Name;
  std::string Body;
};
// Every hostile shape, each close to size bytes (but a realistic answer of
// 2000 profiles); "everything at its limit" holds as many nodes and
// attributes as a camera's answer may, and one long text besides.
std::vector<THostileAnswer> HostileAnswers(size_t size);

struct TMeasured {
  double GrowthMiB = 0;  // peak resident size above the size when the work began
  double Seconds = 0;
  std::string Error;     // what the work threw, if anything
  bool Crashed = false;  // the child died (killed, out of memory ...)
};

// The peak resident size of this process since it was made, above the size
// then (Linux 4.0 and newer reset the peak for it).
class PeakGrowth {
 public:
  PeakGrowth();
  double MiB() const;

 private:
  long FStartKiB;
};

// Runs work in a forked child and measures it there: the parent's memory and
// threads are not disturbed, and each run starts from the same size. prepare
// runs first, unmeasured: what a process pays once (libraries bound at the
// first exchange) is no growth that an answer causes.
TMeasured MeasureInChild(const std::function<void()>& work,
                         const std::function<void()>& prepare = {});

}  // namespace zorvane::testing
