#include "common/text.h"

#include <cctype>
#include <cstdio>

namespace zorvane {

namespace {
constexpr char32_t kReplacement = 0xFFFD;
}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int Utf8SequenceLength(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  int len;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
  } else {
    return -1;
  }
  for (int k = 1; k < len; ++k) {
    if (static_cast<size_t>(k) >= n) return 0;
    const unsigned char b = p[k];
    if ((b & 0xC0) != 0x80) return -k;
    // Overlong forms, surrogates and values above U+10FFFF.
    if (k == 1) {
      if (c == 0xE0 && b < 0xA0) return -1;
      if (c == 0xED && b > 0x9F) return -1;
      if (c == 0xF0 && b < 0x90) return -1;
      if (c == 0xF4 && b > 0x8F) return -1;
    }
  }
  return len;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

namespace {

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at text[i], advancing i; invalid bytes give U+FFFD.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t len;
  char32_t cp;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    len = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    len = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    len = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  size_t k = 1;
  for (; k < len; ++k) {
    if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) break;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (k < len) {
    i += k;  // skip the broken prefix, resume at the offending byte
    return kReplacement;
  }
  i += len;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        cp = kReplacement;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) AppendUtf16(out, DecodeUtf8(text, i));
  return out;
}

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char32_t cp = DecodeUtf8(text, i);
    AppendUtf8(out, cp == 0 ? U'\uFFFD' : cp);
  }
  return out;
}

size_t WideLength(const char16_t* text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

std::string TrimControl(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < ' ' || c == 127) return true;
  }
  return false;
}

std::string LowerHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string MaskUrlCredentials(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t mark = text.find("://", i);
    if (mark == std::string_view::npos) break;
    // The URL runs to the next blank, quote or control character.
    size_t end = mark + 3;
    while (end < text.size() && static_cast<unsigned char>(text[end]) > ' ' && text[end] != '"' &&
           text[end] != '\'' && text[end] != '<' && text[end] != '>')
      ++end;
    const size_t at = text.substr(mark + 3, end - mark - 3).rfind('@');
    out.append(text.substr(i, mark + 3 - i));
    if (at != std::string_view::npos) {
      out += "********@";
      i = mark + 3 + at + 1;
    } else {
      i = mark + 3;
    }
  }
  out.append(text.substr(i));
  return out;
}

std::string EscapeControl(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char code[16];
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const char32_t cp = DecodeUtf8(text, i);
    const std::string_view bytes = text.substr(start, i - start);
    if (cp == kReplacement && bytes != "\xEF\xBF\xBD") {
      for (const char c : bytes) {
        std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned char>(c));
        out += code;
      }
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp < 0x20 || cp == 0x7F) {
      std::snprintf(code, sizeof code, "\\x%02X", static_cast<unsigned>(cp));
      out += code;
    } else if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
      std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(cp));
      out += code;
    } else {
      out += bytes;
    }
  }
  return out;
}

}  // namespace zorvane
