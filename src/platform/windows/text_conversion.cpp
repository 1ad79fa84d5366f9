#include "platform/text_conversion.h"

#include <windows.h>

#include <array>
#include <cctype>
#include <optional>

#include "common/text.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

// How the bytes of a code set make characters.
enum class TCodeSetKind { SingleByte, DoubleByte, Utf8, Utf16LE, Utf16BE };

struct TCodeSet {
  UINT CodePage = 0;  // 0 for UTF-16, which the code page functions do not take
  TCodeSetKind Kind = TCodeSetKind::SingleByte;
};

// Code set names as Lookup() leaves them: lower case, without '-', '_' and blanks.
struct TNamedCodePage {
  std::string_view Name;
  UINT CodePage;
};
constexpr TNamedCodePage kNamedCodePages[] = {
    {"utf8", CP_UTF8},      {"koi8r", 20866},        {"koi8u", 21866},   {"koi8ru", 21866},
    {"latin1", 28591},      {"ascii", 20127},        {"usascii", 20127}, {"ansix3.41968", 20127},
    {"maccyrillic", 10007}, {"xmaccyrillic", 10007}, {"shiftjis", 932},  {"sjis", 932},
    {"gbk", 936},           {"gb2312", 936},         {"big5", 950},      {"euckr", 51949},
    {"uhc", 949},
};

// Names that carry the code page's number: "cp1251", "windows-1251",
// "ibm866", "iso-8859-5" (28590 + 5).
struct TNumberedCodePages {
  std::string_view Prefix;
  UINT Base;
};
constexpr TNumberedCodePages kNumberedCodePages[] = {
    {"windows", 0}, {"cp", 0}, {"ibm", 0}, {"iso8859", 28590}};

// The ISO 8859 code pages: the only ones whose bytes 0x80..0x9F really are
// the C1 controls.
constexpr UINT kFirstIsoCodePage = 28591, kLastIsoCodePage = 28605;

// Characters converted by one call of the code page functions.
constexpr size_t kRunSize = 16 * 1024;

std::string Lookup(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c != '-' && c != '_' && c != ' ')
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

// The code page number that follows prefix in key, or 0.
UINT NumberAfter(std::string_view key, std::string_view prefix) {
  if (key.size() <= prefix.size() || key.substr(0, prefix.size()) != prefix) return 0;
  UINT number = 0;
  for (char c : key.substr(prefix.size())) {
    if (c < '0' || c > '9' || number > 99999) return 0;
    number = number * 10 + static_cast<UINT>(c - '0');
  }
  return number;
}

std::optional<TCodeSet> FindCodeSet(const std::string& codeset) {
  const std::string key = Lookup(codeset);
  if (key == "utf16le") return TCodeSet{0, TCodeSetKind::Utf16LE};
  if (key == "utf16be") return TCodeSet{0, TCodeSetKind::Utf16BE};
  UINT codePage = 0;
  for (const TNamedCodePage& named : kNamedCodePages) {
    if (key == named.Name) codePage = named.CodePage;
  }
  for (const TNumberedCodePages& numbered : kNumberedCodePages) {
    if (codePage == 0) {
      if (const UINT number = NumberAfter(key, numbered.Prefix)) codePage = numbered.Base + number;
    }
  }
  if (codePage == CP_UTF8) return TCodeSet{CP_UTF8, TCodeSetKind::Utf8};
  CPINFO info{};
  if (codePage == 0 || !IsValidCodePage(codePage) || !GetCPInfo(codePage, &info))
    return std::nullopt;
  // Code pages of longer characters or with shift states are not offered.
  if (info.MaxCharSize == 1) return TCodeSet{codePage, TCodeSetKind::SingleByte};
  if (info.MaxCharSize == 2) return TCodeSet{codePage, TCodeSetKind::DoubleByte};
  return std::nullopt;
}

// Appends the UTF-8 of bytes in codePage to out; false (nothing appended)
// when they are no valid text in it.
bool AppendDecoded(UINT codePage, std::string_view bytes, std::string& out) {
  const int size = static_cast<int>(bytes.size());
  const int length =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length);
  out += Narrow(wide);
  return true;
}

// ---- to UTF-8 -------------------------------------------------------------------

class TSingleByteToUtf8 final : public TCodeConverter {
 public:
  explicit TSingleByteToUtf8(UINT codePage) {
    for (unsigned byte = 0; byte < FChars.size(); ++byte) {
      const char c = static_cast<char>(byte);
      wchar_t wide[2];
      if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &c, 1, wide, 2) != 1) continue;
      // Windows gives the bytes a code page leaves undefined a C1 control,
      // a private-use character or (US-ASCII) the byte less its top bit,
      // where other systems refuse them: refused here too.
      const bool iso = codePage >= kFirstIsoCodePage && codePage <= kLastIsoCodePage;
      const wchar_t w = wide[0];
      if (byte >= 0x80 && ((w < 0xA0 && !iso) || (w >= 0xE000 && w <= 0xF8FF))) continue;
      FChars[byte] = Narrow(std::wstring_view(wide, 1));
    }
  }

  TConversionResult Convert(std::string_view input, std::string& out) override {
    for (size_t i = 0; i < input.size(); ++i) {
      const std::string& c = FChars[static_cast<unsigned char>(input[i])];
      if (c.empty()) return {i, TConversionStop::Invalid};
      out += c;
    }
    return {input.size(), TConversionStop::End};
  }

  void Reset() override {}

 private:
  std::array<std::string, 256> FChars;  // the UTF-8 of each byte; empty: undefined
};

class TDoubleByteToUtf8 final : public TCodeConverter {
 public:
  explicit TDoubleByteToUtf8(UINT codePage) : FCodePage(codePage) {}

  TConversionResult Convert(std::string_view input, std::string& out) override {
    size_t i = 0;
    while (i < input.size()) {
      // A run of whole characters, converted at once.
      size_t end = i;
      while (end < input.size() && end - i < kRunSize) {
        const size_t length = CharLength(input[end]);
        if (end + length > input.size()) break;
        end += length;
      }
      if (end == i) return {i, TConversionStop::Incomplete};
      if (!AppendDecoded(FCodePage, input.substr(i, end - i), out)) {
        // Character by character up to the one that is no text.
        while (i < end) {
          const size_t length = CharLength(input[i]);
          if (!AppendDecoded(FCodePage, input.substr(i, length), out))
            return {i, TConversionStop::Invalid};
          i += length;
        }
      }
      i = end;
    }
    return {input.size(), TConversionStop::End};
  }

  void Reset() override {}

 private:
  size_t CharLength(char lead) const {
    return IsDBCSLeadByteEx(FCodePage, static_cast<BYTE>(lead)) ? 2 : 1;
  }

  UINT FCodePage;
};

class TUtf16ToUtf8 final : public TCodeConverter {
 public:
  explicit TUtf16ToUtf8(bool bigEndian) : FBigEndian(bigEndian) {}

  TConversionResult Convert(std::string_view input, std::string& out) override {
    size_t i = 0;
    for (; i + 1 < input.size(); i += 2) {
      const char32_t unit = Unit(input, i);
      if (unit >= 0xDC00 && unit <= 0xDFFF) return {i, TConversionStop::Invalid};
      if (unit < 0xD800 || unit > 0xDBFF) {
        AppendUtf8(out, unit);
        continue;
      }
      // A high surrogate: the low one must follow.
      if (i + 3 >= input.size()) return {i, TConversionStop::Incomplete};
      const char32_t low = Unit(input, i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return {i, TConversionStop::Invalid};
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      i += 2;
    }
    if (i < input.size()) return {i, TConversionStop::Incomplete};
    return {input.size(), TConversionStop::End};
  }

  void Reset() override {}

 private:
  char32_t Unit(std::string_view input, size_t i) const {
    const auto b0 = static_cast<unsigned char>(input[i]);
    const auto b1 = static_cast<unsigned char>(input[i + 1]);
    return FBigEndian ? (char32_t{b0} << 8) | b1 : (char32_t{b1} << 8) | b0;
  }

  bool FBigEndian;
};

// ---- from UTF-8 -----------------------------------------------------------------

// Takes the valid UTF-8 at the start of the input, run by run, to Encode.
class TFromUtf8 : public TCodeConverter {
 public:
  TConversionResult Convert(std::string_view input, std::string& out) override {
    const auto* p = reinterpret_cast<const unsigned char*>(input.data());
    size_t runStart = 0;
    size_t i = 0;
    while (i < input.size()) {
      const int length = p[i] < 0x80 ? 1 : Utf8SequenceLength(p + i, input.size() - i);
      if (length <= 0) {
        Encode(input.substr(runStart, i - runStart), out);
        return {i, length == 0 ? TConversionStop::Incomplete : TConversionStop::Invalid};
      }
      i += static_cast<size_t>(length);
      if (i - runStart >= kRunSize) {
        Encode(input.substr(runStart, i - runStart), out);
        runStart = i;
      }
    }
    Encode(input.substr(runStart), out);
    return {input.size(), TConversionStop::End};
  }

  void Reset() override {}

 protected:
  // Appends valid UTF-8 text in the code set to out.
  virtual void Encode(std::string_view utf8, std::string& out) = 0;
};

class TUtf8ToCodePage final : public TFromUtf8 {
 public:
  explicit TUtf8ToCodePage(UINT codePage) : FCodePage(codePage) {}

 private:
  void Encode(std::string_view utf8, std::string& out) override {
    if (utf8.empty()) return;
    // Beyond U+FFFF no code page has a character, and the system would
    // write a "?" for each half of the surrogate pair: one "?" it is.
    std::wstring wide;
    for (wchar_t w : Wide(utf8)) {
      if (w >= 0xDC00 && w <= 0xDFFF) continue;
      wide += w >= 0xD800 && w <= 0xDBFF ? L'?' : w;
    }
    const int size = static_cast<int>(wide.size());
    // Without WC_NO_BEST_FIT_CHARS: a character the code page lacks becomes
    // its nearest likeness ("u" for "ü"), else the default character.
    const int length =
        WideCharToMultiByte(FCodePage, 0, wide.data(), size, nullptr, 0, "?", nullptr);
    if (length <= 0) return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(length));
    WideCharToMultiByte(FCodePage, 0, wide.data(), size, out.data() + at, length, "?", nullptr);
  }

  UINT FCodePage;
};

// UTF-8 itself (a code set named "CP65001", say), checked on the way.
class TUtf8ToUtf8 final : public TFromUtf8 {
  void Encode(std::string_view utf8, std::string& out) override { out += utf8; }
};

class TUtf8ToUtf16 final : public TFromUtf8 {
 public:
  explicit TUtf8ToUtf16(bool bigEndian) : FBigEndian(bigEndian) {}

 private:
  void Encode(std::string_view utf8, std::string& out) override {
    for (wchar_t w : Wide(utf8)) {
      const auto high = static_cast<char>((w >> 8) & 0xFF), low = static_cast<char>(w & 0xFF);
      out += FBigEndian ? high : low;
      out += FBigEndian ? low : high;
    }
  }

  bool FBigEndian;
};

std::string ToUtf8Char(char32_t c) {
  std::string utf8;
  AppendUtf8(utf8, c);
  return utf8;
}

}  // namespace

std::unique_ptr<TCodeConverter> OpenToUtf8(const std::string& codeset) {
  const std::optional<TCodeSet> found = FindCodeSet(codeset);
  if (!found) return nullptr;
  switch (found->Kind) {
    case TCodeSetKind::SingleByte:
      return std::make_unique<TSingleByteToUtf8>(found->CodePage);
    case TCodeSetKind::DoubleByte:
      return std::make_unique<TDoubleByteToUtf8>(found->CodePage);
    case TCodeSetKind::Utf8:
      return std::make_unique<TUtf8ToUtf8>();
    case TCodeSetKind::Utf16LE:
    case TCodeSetKind::Utf16BE:
      return std::make_unique<TUtf16ToUtf8>(found->Kind == TCodeSetKind::Utf16BE);
  }
  return nullptr;
}

std::unique_ptr<TCodeConverter> OpenFromUtf8(const std::string& codeset) {
  const std::optional<TCodeSet> found = FindCodeSet(codeset);
  if (!found) return nullptr;
  switch (found->Kind) {
    case TCodeSetKind::SingleByte:
    case TCodeSetKind::DoubleByte:
      return std::make_unique<TUtf8ToCodePage>(found->CodePage);
    case TCodeSetKind::Utf8:
      return std::make_unique<TUtf8ToUtf8>();
    case TCodeSetKind::Utf16LE:
    case TCodeSetKind::Utf16BE:
      return std::make_unique<TUtf8ToUtf16>(found->Kind == TCodeSetKind::Utf16BE);
  }
  return nullptr;
}

std::string SystemCodeset() {
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

char32_t LowerCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  const std::wstring units = Wide(ToUtf8Char(c));
  wchar_t lower[2];
  const int size = static_cast<int>(units.size());
  const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units.data(), size,
                                   lower, 2, nullptr, nullptr, 0);
  if (length != size) return c;
  if (length == 1) return lower[0];
  return 0x10000 + ((char32_t{lower[0]} - 0xD800) << 10) + (char32_t{lower[1]} - 0xDC00);
}

}  // namespace zorvane
