// Small helpers shared by the tests.
#pragma once

#include <functional>
#include <string>

namespace zorvane::testing {

// The message of the add-in's error that f raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

// A text as written in the test manifests: \n, \t, \r and \\ unescaped.
std::string UnescapeLine(const std::string& text);

}  // namespace zorvane::testing
