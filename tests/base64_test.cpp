// Base64 as the SOAP security header and Basic authentication use it: the
// same code on every system, so these cases hold for both.
#include <gtest/gtest.h>

#include <string>

#include "platform/crypto.h"

using namespace zorvane;

using namespace std::string_literals;

TEST(Base64Test, EncodesAndDecodesBack) {
  struct Case {
    std::string bytes, text;
  };
  const Case cases[] = {
      {"", ""},
      // every padding: the published examples
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      // zero and high bytes; the last two digits of the alphabet
      {"\xE4p\x00q"s, "5HAAcQ=="},
      {"\x00\x00\x00"s, "AAAA"},
      {"\xFB\xFF\xBF", "+/+/"},
      {"\xFF\xFF\xFF\xFF", "/////w=="},
      // a SHA-1 digest, as a password digest carries it
      {"\xA9\x99\x3E\x36\x47\x06\x81\x6A\xBA\x3E\x25\x71\x78\x50\xC2\x6C\x9C\xD0\xD8\x9D",
       "qZk+NkcGgWq6PiVxeFDCbJzQ2J0="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Base64Encode(c.bytes), c.text);
    EXPECT_EQ(Base64Decode(c.text), c.bytes);
  }
}

TEST(Base64Test, EveryByteValueComesBack) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  // Each of the three places in a group, and each length of the last group.
  for (size_t start = 0; start < 3; ++start) {
    for (size_t trim = 0; trim < 3; ++trim) {
      const std::string piece = bytes.substr(start, bytes.size() - start - trim);
      const std::string text = Base64Encode(piece);
      EXPECT_EQ(text.size() % 4, 0u);
      EXPECT_EQ(Base64Decode(text), piece) << start << " " << trim;
    }
  }
}

TEST(Base64Test, MalformedTextDecodesToNothing) {
  const char* const cases[] = {
      "5HA",               // a length that is no multiple of 4
      "5HAAc",             //
      "5HAAcQ=",           //
      "QUJ*",              // a character outside the alphabet
      "QU-_",              // the URL alphabet
      "QUJD\r\n",          // a line break
      " QUJ",              // blanks
      "QUJD    ",          //
      "QU=D",              // "=" inside the text
      "=QUJ",              //
      "Zm9v=Zm9",          //
      "A===",              // more padding than a group can have
      "====",              //
      "QUJD====",          // a group of padding alone
      "Zg==Zm9v",          // padding before the end
      "\xD0\x96\xD0\x96",  // UTF-8 letters
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Base64Decode(text), "");
  }
}
