// UTF-8 <-> UTF-16 conversion: the one place where the add-in's UTF-8 text
// meets the platform's UTF-16. Malformed input becomes U+FFFD, never an error.
#pragma once

#include <string>
#include <string_view>

namespace zorvane {

std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
// The text with every malformed sequence and every NUL replaced by U+FFFD.
std::string ToValidUtf8(std::string_view text);

// Length of a zero-terminated UTF-16 text; 0 for null.
size_t WideLength(const char16_t* text);

// Removes leading and trailing characters with codes up to 32.
std::string TrimControl(std::string_view text);

// The text as one line of valid UTF-8: CR, LF and tab become \r, \n and \t, other
// characters below 32 and DEL become \xHH, the C1 controls and the line and paragraph
// separators (U+0080..U+009F, U+2028, U+2029) become \uHHHH, and each byte of a malformed
// UTF-8 sequence becomes \xHH. Everything else, backslashes included, stays as it is.
std::string EscapeControl(std::string_view text);

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// Length of the UTF-8 sequence at p (n > 0 bytes available): > 0 a valid
// character of that many bytes; 0 incomplete but possibly valid; -k invalid:
// its first k bytes (the lead and the continuation bytes that fit it) make
// one broken character.
int Utf8SequenceLength(const unsigned char* p, size_t n);

// Whether two texts are equal ignoring the letter case of ASCII letters.
bool SameAsciiText(std::string_view a, std::string_view b);

// Whether text holds a character below U+0020 or DEL.
bool HasControlCharacter(std::string_view text);

// The bytes as lower-case hexadecimal digits, two a byte.
std::string LowerHex(std::string_view bytes);

// The text with the user information of every URL in it ("scheme://user:
// password@host") replaced by "********@". A password may hold '/', '?', '#'
// or '@', so everything up to the last '@' of the URL is hidden.
std::string MaskUrlCredentials(std::string_view text);

}  // namespace zorvane
