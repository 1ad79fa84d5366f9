// Turning the bytes of a stream into UTF-8 text, chunk by chunk, and back.
// A character split between two chunks is completed with the next one; bytes
// that cannot be decoded become U+FFFD. "ANSI" is the user's locale codeset.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zorvane {

enum class TTextEncoding { Utf8, Utf16LE, Utf16BE, Ansi };

class TTextDecoder {
 public:
  virtual ~TTextDecoder() = default;
  // Appends the UTF-8 text of bytes to out; final marks the last chunk.
  virtual void Decode(std::string_view bytes, bool final, std::string& out) = 0;
};

std::unique_ptr<TTextDecoder> MakeDecoder(TTextEncoding encoding);

// UTF-8 text in the ANSI codeset; characters it lacks become "?".
std::string EncodeAnsi(std::string_view utf8);

// The codeset "ANSI" means: the user's locale codeset, read once.
const std::string& AnsiCodeset();
void SetAnsiCodeset(const std::string& codeset);  // for tests

// Whether two texts are equal ignoring letter case (Unicode simple case folding).
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

}  // namespace zorvane
