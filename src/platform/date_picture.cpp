#include <algorithm>
#include <array>

#include "platform/locale_conventions.h"

namespace zorvane {

namespace {

// A picture letter and its strftime conversions for runs of one, two, three
// and four letters; a longer run counts as four.
struct TPictureLetter {
  char Letter;
  std::array<std::string_view, 4> ByRunLength;
};

constexpr TPictureLetter kPictureLetters[] = {
    {'d', {"%#d", "%d", "%a", "%A"}},  // day of the month, day of the week
    {'M', {"%#m", "%m", "%b", "%B"}},  // month
    {'y', {"%#y", "%y", "%Y", "%Y"}},  // year; three letters show all its digits
    {'h', {"%#I", "%I", "%I", "%I"}},  // hour of twelve
    {'H', {"%#H", "%H", "%H", "%H"}},  // hour of twenty-four
    {'m', {"%#M", "%M", "%M", "%M"}},  // minute
    {'s', {"%#S", "%S", "%S", "%S"}},  // second
    {'t', {"%p", "%p", "%p", "%p"}},   // AM or PM; the C runtime has no one-letter form
    {'g', {"", "", "", ""}},           // era: the C runtime has none to show
};

constexpr size_t kLongestRun = 4;

const TPictureLetter* FindLetter(char c) {
  for (const TPictureLetter& letter : kPictureLetters) {
    if (letter.Letter == c) return &letter;
  }
  return nullptr;
}

// A character that stands for itself.
void AppendLiteral(std::string& out, char c) {
  if (c == '%') out += '%';
  out += c;
}

}  // namespace

std::string StrftimeFromPicture(std::string_view picture) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      // Quoted text stands for itself; two quotes, in or out of it, are one.
      ++i;
      if (i < picture.size() && picture[i] == '\'') {
        out += '\'';
        ++i;
        continue;
      }
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        AppendLiteral(out, picture[i++]);
      }
      continue;
    }
    const TPictureLetter* letter = FindLetter(c);
    if (!letter) {
      AppendLiteral(out, c);
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    out += letter->ByRunLength[std::min(run, kLongestRun) - 1];
    i += run;
  }
  return out;
}

}  // namespace zorvane
