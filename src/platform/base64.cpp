// Base64 is the same on every system, so it is our own rather than each
// system's: the padded alphabet of RFC 4648, no line breaks.
#include <array>
#include <cstdint>

#include "platform/crypto.h"

namespace zorvane {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The value of each byte as a Base64 digit, -1 for a byte that is none.
constexpr std::array<int8_t, 256> DigitValues() {
  std::array<int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 64; ++i)
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  return values;
}
constexpr std::array<int8_t, 256> kDigitValues = DigitValues();

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  // Whole groups: three bytes, four digits.
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += kAlphabet[(group >> 6) & 0x3F];
    out += kAlphabet[group & 0x3F];
  }
  // One or two bytes left: two or three digits and the padding.
  if (const size_t left = bytes.size() - i; left > 0) {
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (left == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += left == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return {};
  // At most two "=", and only at the very end.
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  int digits = 0;
  for (const char c : text.substr(0, text.size() - padding)) {
    const int value = kDigitValues[static_cast<unsigned char>(c)];
    if (value < 0) return {};
    group = group << 6 | static_cast<uint32_t>(value);
    if (++digits == 4) {
      out += static_cast<char>(group >> 16);
      out += static_cast<char>((group >> 8) & 0xFF);
      out += static_cast<char>(group & 0xFF);
      group = 0;
      digits = 0;
    }
  }
  // A padded group: three digits hold two bytes, two digits one; the bits
  // left over are ignored.
  if (digits == 3) {
    out += static_cast<char>(group >> 10);
    out += static_cast<char>((group >> 2) & 0xFF);
  } else if (digits == 2) {
    out += static_cast<char>(group >> 4);
  }
  return out;
}

}  // namespace zorvane
