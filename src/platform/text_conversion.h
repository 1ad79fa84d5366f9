// Text in the code sets the system knows (the user's ANSI code set, a
// document's "windows-1251"): converting it to and from UTF-8, naming the
// user's code set, and letter case. What stands in for bytes or characters
// that cannot be converted is decided by the callers (xml/text_codec).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zorvane {

// Why a conversion stopped.
enum class TConversionStop {
  End,         // the whole input was converted
  Invalid,     // the sequence at the stop cannot be converted
  Incomplete,  // the input ends inside a sequence that may still be valid
};

struct TConversionResult {
  size_t Consumed = 0;  // bytes of the input converted
  TConversionStop Stop = TConversionStop::End;
};

// One direction between UTF-8 and a code set. Not for two threads at once.
class TCodeConverter {
 public:
  virtual ~TCodeConverter() = default;
  // Converts input from its start, appending to out, up to its end or to the
  // first sequence that cannot be converted.
  virtual TConversionResult Convert(std::string_view input, std::string& out) = 0;
  // Forgets the shift state, for a conversion that goes on past skipped bytes.
  virtual void Reset() = 0;
};

// A converter from codeset ("CP1251", "windows-1251", "koi8-r", "UTF-16LE")
// to UTF-8; null when the system cannot convert that code set.
std::unique_ptr<TCodeConverter> OpenToUtf8(const std::string& codeset);

// A converter from UTF-8 to codeset that writes a character the code set
// lacks as the system's nearest likeness, "?" when it has none, so that only
// malformed UTF-8 stops it; null when the system cannot convert that code set.
std::unique_ptr<TCodeConverter> OpenFromUtf8(const std::string& codeset);

// The code set of the user's locale, as OpenToUtf8 takes it: "UTF-8" when the
// user's text is UTF-8, "CP1251", "KOI8-R", …
std::string SystemCodeset();

// The simple lower case of a character; the character itself when it has none.
char32_t LowerCase(char32_t c);

}  // namespace zorvane
