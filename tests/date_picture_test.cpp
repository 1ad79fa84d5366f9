// The user's date and time pictures of Windows as the strftime patterns the
// date display uses: pure code, so the table is checked on every system.
#include <gtest/gtest.h>

#include "platform/locale_conventions.h"

using namespace zorvane;

TEST(DatePictureTest, PicturesBecomeStrftimePatterns) {
  struct Case {
    const char* picture;
    const char* pattern;
  };
  const Case cases[] = {
      // the short dates and times of common locales
      {"dd.MM.yyyy", "%d.%m.%Y"},
      {"M/d/yyyy", "%#m/%#d/%Y"},
      {"dd/MM/yyyy", "%d/%m/%Y"},
      {"yyyy-MM-dd", "%Y-%m-%d"},
      {"d.M.yy", "%#d.%#m.%y"},
      {"H:mm:ss", "%#H:%M:%S"},
      {"HH:mm:ss", "%H:%M:%S"},
      {"h:mm:ss tt", "%#I:%M:%S %p"},
      {"hh:mm:ss t", "%I:%M:%S %p"},
      {"H.m.s", "%#H.%#M.%#S"},
      // names of days and months; runs longer than four count as four
      {"ddd, d MMM yyyy", "%a, %#d %b %Y"},
      {"dddd, MMMM dd", "%A, %B %d"},
      {"ddddd MMMMM yyyyy", "%A %B %Y"},
      {"y yyy", "%#y %Y"},
      // the era has no strftime conversion
      {"gg yyyy", " %Y"},
      // quoted text and the quote itself
      {"dd MMMM yyyy 'г.'", "%d %B %Y г."},
      {"'Day' d", "Day %#d"},
      {"hh 'o''clock' tt", "%I o'clock %p"},
      {"''HH''", "'%H'"},
      {"'unclosed d", "unclosed d"},
      // "%" stands for itself
      {"'100%' d", "100%% %#d"},
      {"d%", "%#d%%"},
      // what is not a picture letter stays
      {"yyyy/MM/dd (x)", "%Y/%m/%d (x)"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picture);
    EXPECT_EQ(StrftimeFromPicture(c.picture), c.pattern);
  }
}
