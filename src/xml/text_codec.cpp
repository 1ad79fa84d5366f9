#include "xml/text_codec.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "common/never_destroyed.h"
#include "common/text.h"
#include "platform/text_conversion.h"

namespace zorvane {

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

class Utf8Decoder final : public TTextDecoder {
 public:
  void Decode(std::string_view bytes, bool final, std::string& out) override {
    std::string joined;
    if (!FPending.empty()) {
      joined = FPending + std::string(bytes);
      FPending.clear();
      bytes = joined;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t runStart = 0;
    size_t i = 0;
    while (i < n) {
      if (p[i] < 0x80) {
        ++i;
        continue;
      }
      const int len = Utf8SequenceLength(p + i, n - i);
      if (len > 0) {
        i += static_cast<size_t>(len);
        continue;
      }
      out.append(bytes.data() + runStart, i - runStart);
      if (len == 0 && !final) {
        FPending.assign(bytes.data() + i, n - i);
        return;
      }
      out += kReplacementUtf8;
      // An incomplete sequence at the very end is one broken character.
      i = len == 0 ? n : i + static_cast<size_t>(-len);
      runStart = i;
    }
    out.append(bytes.data() + runStart, n - runStart);
  }

 private:
  std::string FPending;
};

class Utf16Decoder final : public TTextDecoder {
 public:
  explicit Utf16Decoder(bool bigEndian) : FBigEndian(bigEndian) {}

  void Decode(std::string_view bytes, bool final, std::string& out) override {
    FPending.append(bytes);
    size_t i = 0;
    for (; i + 1 < FPending.size(); i += 2) {
      const char16_t unit = Unit(i);
      if (FHighSurrogate) {
        const char16_t high = FHighSurrogate;
        FHighSurrogate = 0;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
          continue;
        }
        out += kReplacementUtf8;
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        FHighSurrogate = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        out += kReplacementUtf8;
      } else {
        AppendUtf8(out, unit);
      }
    }
    FPending.erase(0, i);
    if (final && (FHighSurrogate || !FPending.empty())) {
      out += kReplacementUtf8;
      FHighSurrogate = 0;
      FPending.clear();
    }
  }

 private:
  char16_t Unit(size_t i) const {
    const auto b0 = static_cast<unsigned char>(FPending[i]);
    const auto b1 = static_cast<unsigned char>(FPending[i + 1]);
    return static_cast<char16_t>(FBigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }

  bool FBigEndian;
  std::string FPending;
  char16_t FHighSurrogate = 0;
};

// Converts input with converter, appending to out. At a sequence it cannot
// convert, onFailure(the rest of the input, whether the sequence is only
// incomplete) writes what stands for it and answers how many bytes to skip;
// 0 stops. Returns how many bytes of input were left unconverted.
template <typename OnFailure>
size_t Convert(TCodeConverter& converter, std::string_view input, std::string& out,
               OnFailure&& onFailure) {
  size_t done = 0;
  while (done < input.size()) {
    const TConversionResult step = converter.Convert(input.substr(done), out);
    done += step.Consumed;
    if (step.Stop == TConversionStop::End) break;
    const size_t skip = onFailure(input.substr(done), step.Stop == TConversionStop::Incomplete);
    if (skip == 0) break;
    done += std::min(skip, input.size() - done);
    converter.Reset();
  }
  return input.size() - done;
}

// Text in a code set of the system's, the user's ANSI code set.
class CodesetDecoder final : public TTextDecoder {
 public:
  explicit CodesetDecoder(const std::string& codeset) : FConverter(OpenToUtf8(codeset)) {}

  void Decode(std::string_view bytes, bool final, std::string& out) override {
    FPending.append(bytes);
    if (!FConverter) {
      // Unknown codeset: ASCII passes, everything else is undecodable.
      for (char c : FPending)
        out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : kReplacementUtf8;
      FPending.clear();
      return;
    }
    const size_t left =
        Convert(*FConverter, FPending, out, [&](std::string_view, bool incomplete) -> size_t {
          if (incomplete && !final) return 0;  // wait for more bytes
          // Undecodable (or incomplete at the end): one replacement for one byte.
          out += kReplacementUtf8;
          return 1;
        });
    FPending.erase(0, FPending.size() - left);
  }

 private:
  std::unique_ptr<TCodeConverter> FConverter;
  std::string FPending;
};

bool IsUtf8Codeset(const std::string& codeset) {
  std::string c;
  for (char ch : codeset) {
    if (ch != '-' && ch != '_')
      c += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return c == "utf8";
}

struct AnsiState {
  std::mutex lock;
  std::string codeset;
  bool read = false;
};

AnsiState& Ansi() {
  static NeverDestroyed<AnsiState> state;
  return state.get();
}

// Decodes the next code point of valid UTF-8 text (the model keeps only valid text).
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  if (i + static_cast<size_t>(len) > s.size()) len = 1;
  char32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
  for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += static_cast<size_t>(len);
  return cp;
}

}  // namespace

std::unique_ptr<TTextDecoder> MakeDecoder(TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::Utf16LE:
      return std::make_unique<Utf16Decoder>(false);
    case TTextEncoding::Utf16BE:
      return std::make_unique<Utf16Decoder>(true);
    case TTextEncoding::Ansi:
      if (!IsUtf8Codeset(AnsiCodeset())) return std::make_unique<CodesetDecoder>(AnsiCodeset());
      return std::make_unique<Utf8Decoder>();
    case TTextEncoding::Utf8:
      break;
  }
  return std::make_unique<Utf8Decoder>();
}

std::string EncodeAnsi(std::string_view utf8) {
  const std::string codeset = AnsiCodeset();
  if (IsUtf8Codeset(codeset)) return std::string(utf8);
  const std::unique_ptr<TCodeConverter> converter = OpenFromUtf8(codeset);
  std::string out;
  if (!converter) {
    for (char c : utf8) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
  }
  Convert(*converter, utf8, out, [&](std::string_view rest, bool) -> size_t {
    // Malformed UTF-8, or a character the codeset lacks that the system
    // cannot write otherwise: "?" for the whole UTF-8 sequence.
    out += '?';
    size_t skip = 1;
    while (skip < rest.size() && (static_cast<unsigned char>(rest[skip]) & 0xC0) == 0x80) ++skip;
    return skip;
  });
  return out;
}

const std::string& AnsiCodeset() {
  AnsiState& s = Ansi();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.read) {
    s.read = true;
    s.codeset = SystemCodeset();
  }
  return s.codeset;
}

void SetAnsiCodeset(const std::string& codeset) {
  AnsiState& s = Ansi();
  std::lock_guard<std::mutex> guard(s.lock);
  s.codeset = codeset;
  s.read = true;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = NextCodePoint(a, i), cb = NextCodePoint(b, j);
    if (ca != cb && LowerCase(ca) != LowerCase(cb)) return false;
  }
  return i == a.size() && j == b.size();
}

}  // namespace zorvane
