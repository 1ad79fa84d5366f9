// The system's code set conversions, as the text decoders and encoders rely on
// them: where a conversion stops and why, for the code sets a document or the
// user's locale may name. The same cases hold for every system's converter.
#include "platform/text_conversion.h"

#include <gtest/gtest.h>

using namespace zorvane;

using namespace std::string_literals;

namespace {

const char* StopName(TConversionStop stop) {
  switch (stop) {
    case TConversionStop::End:
      return "end";
    case TConversionStop::Invalid:
      return "invalid";
    case TConversionStop::Incomplete:
      return "incomplete";
  }
  return "?";
}

struct Case {
  const char* codeset;
  std::string input;
  std::string output;  // what the converter appends
  size_t consumed;
  TConversionStop stop;
};

void Check(const Case& c, std::unique_ptr<TCodeConverter> converter) {
  SCOPED_TRACE(std::string(c.codeset) + " [" + c.input + "]");
  ASSERT_NE(converter, nullptr);
  std::string out = "<";
  const TConversionResult result = converter->Convert(c.input, out);
  EXPECT_EQ(out, "<" + c.output);
  EXPECT_EQ(result.Consumed, c.consumed);
  EXPECT_STREQ(StopName(result.Stop), StopName(c.stop));
}

constexpr TConversionStop kEnd = TConversionStop::End;
constexpr TConversionStop kInvalid = TConversionStop::Invalid;
constexpr TConversionStop kIncomplete = TConversionStop::Incomplete;

}  // namespace

TEST(TextConversionTest, CodeSetsToUtf8) {
  const Case cases[] = {
      // "Жёлтый" in the Cyrillic code sets, under their usual names
      {"CP1251", "\xC6\xB8\xEB\xF2\xFB\xE9", "Жёлтый", 6, kEnd},
      {"windows-1251", "\xC6\xB8\xEB\xF2\xFB\xE9", "Жёлтый", 6, kEnd},
      {"CP866", "\x86\xF1\xAB\xE2\xEB\xA9", "Жёлтый", 6, kEnd},
      {"IBM866", "\x86\xF1\xAB\xE2\xEB\xA9", "Жёлтый", 6, kEnd},
      {"KOI8-R", "\xF6\xA3\xCC\xD4\xD9\xCA", "Жёлтый", 6, kEnd},
      {"koi8-u", "\xF6\xA3\xCC\xD4\xD9\xCA\xA4", "Жёлтыйє", 7, kEnd},
      {"ISO-8859-5", "\xB6\xF1\xDB\xE2\xEB\xD9", "Жёлтый", 6, kEnd},
      {"ISO-8859-1", "caf\xE9 \x85", "café \u0085", 6, kEnd},
      {"windows-1252", "\x80 \x9F", "€ Ÿ", 3, kEnd},
      {"UTF-16LE", "\x16\x04q\x00=\xD8\x00\xDE"s, "Жq😀", 8, kEnd},
      {"UTF-16BE", "\x04\x16\x00q\xD8=\xDE\x00"s, "Жq😀", 8, kEnd},
      {"CP1251", ""s, "", 0, kEnd},
      // a byte the code set leaves undefined stops it where it stands
      {"CP1251", "a\xC6\x98\xC6", "aЖ", 2, kInvalid},
      {"windows-1252", "ab\x81", "ab", 2, kInvalid},
      {"ASCII", "ab\xC6", "ab", 2, kInvalid},
      // UTF-16: a lone surrogate is invalid, an odd byte or a pair cut at
      // the end is incomplete
      {"UTF-16LE", "a\x00\x00\xDC"s, "a", 2, kInvalid},
      {"UTF-16LE", "a\x00=\xD8q\x00"s, "a", 2, kInvalid},
      {"UTF-16LE", "a\x00=\xD8"s, "a", 2, kIncomplete},
      {"UTF-16LE", "a\x00="s, "a", 2, kIncomplete},
      {"UTF-16BE", "\x00"s, "", 0, kIncomplete},
  };
  for (const Case& c : cases) Check(c, OpenToUtf8(c.codeset));
}

TEST(TextConversionTest, Utf8ToCodeSets) {
  const Case cases[] = {
      {"CP1251", "Жёлтый", "\xC6\xB8\xEB\xF2\xFB\xE9", 12, kEnd},
      {"CP866", "Жёлтый", "\x86\xF1\xAB\xE2\xEB\xA9", 12, kEnd},
      {"KOI8-R", "Жёлтый", "\xF6\xA3\xCC\xD4\xD9\xCA", 12, kEnd},
      {"ISO-8859-5", "Жёлтый", "\xB6\xF1\xDB\xE2\xEB\xD9", 12, kEnd},
      {"UTF-16LE", "Жq😀", "\x16\x04q\x00=\xD8\x00\xDE"s, 7, kEnd},
      {"UTF-16BE", "Жq😀", "\x04\x16\x00q\xD8=\xDE\x00"s, 7, kEnd},
      // a character the code set lacks does not stop it: one "?" each
      {"CP1251", "a日b😀c", "a?b?c", 10, kEnd},
      {"KOI8-R", "日", "?", 3, kEnd},
      // malformed UTF-8 stops it; a sequence cut at the end is incomplete
      {"CP1251", "Ж\xFFЖ", "\xC6", 2, kInvalid},
      {"CP1251", "a\xE2\x28\xA1", "a", 1, kInvalid},
      {"CP1251", "a\xED\xA0\x80", "a", 1, kInvalid},
      {"KOI8-R", "Ж\xE2\x82", "\xF6", 2, kIncomplete},
      {"UTF-16LE", "a\xC0\x80", "a\x00"s, 1, kInvalid},
  };
  for (const Case& c : cases) Check(c, OpenFromUtf8(c.codeset));
}

TEST(TextConversionTest, UnknownCodeSetsCannotBeOpened) {
  for (const char* codeset : {"no-such-codeset", "CP", "windows-"}) {
    SCOPED_TRACE(codeset);
    EXPECT_EQ(OpenToUtf8(codeset), nullptr);
    EXPECT_EQ(OpenFromUtf8(codeset), nullptr);
  }
}

TEST(TextConversionTest, SystemCodesetCanBeOpened) {
  const std::string codeset = SystemCodeset();
  EXPECT_FALSE(codeset.empty());
  EXPECT_NE(OpenToUtf8(codeset), nullptr) << codeset;
  EXPECT_NE(OpenFromUtf8(codeset), nullptr) << codeset;
}

TEST(TextConversionTest, LowerCase) {
  const std::pair<char32_t, char32_t> cases[] = {
      {U'A', U'a'}, {U'z', U'z'}, {U'1', U'1'}, {U'Ж', U'ж'},   {U'Ё', U'ё'},
      {U'É', U'é'}, {U'Σ', U'σ'}, {U'ж', U'ж'}, {U'日', U'日'},
  };
  for (const auto& [upper, lower] : cases) {
    EXPECT_EQ(static_cast<uint32_t>(LowerCase(upper)), static_cast<uint32_t>(lower))
        << static_cast<uint32_t>(upper);
  }
}
