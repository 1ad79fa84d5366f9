// Small helpers shared by the tests.
#pragma once

#include <functional>
#include <string>

namespace zorvane::testing {

// Whether the tests run under AddressSanitizer and UndefinedBehaviorSanitizer,
// where the library runs several times slower: long loops take the smaller size.
#if ZORVANE_SANITIZED
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// The number of rounds of a long loop: normal in an ordinary build, sanitized under the sanitizers.
constexpr long Rounds(long normal, long sanitized) {
  return kSanitizedBuild ? sanitized : normal;
}

// The message of the add-in's error that f raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

// A text as written in the test manifests: \n, \t, \r and \\ unescaped.
std::string UnescapeLine(const std::string& text);

}  // namespace zorvane::testing
