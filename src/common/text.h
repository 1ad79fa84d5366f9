// UTF-8 <-> UTF-16 conversion: the one place where the add-in's UTF-8 text
// meets the platform's UTF-16. Malformed input becomes U+FFFD, never an error.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

// Length of a zero-terminated UTF-16 text; 0 for null.
size_t WideLength(const char16_t* text);

// Removes leading and trailing characters with codes up to 32.
std::string TrimControl(std::string_view text);

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// Whether two texts are equal ignoring the letter case of ASCII letters.
bool SameAsciiText(std::string_view a, std::string_view b);

// The text with the user information of every URL in it ("scheme://user:
// password@host") replaced by "********@". A password may hold '/', '?', '#'
// or '@', so everything up to the last '@' of the URL is hidden.
std::string MaskUrlCredentials(std::string_view text);

}  // namespace zorvane
