// Variant records: writing with the platform's memory manager, the reading
// conversions, and the display text the trace uses.
#include "v8napi/variant.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/error.h"
#include "platform/user_locale.h"
#include "tests/support/checks.h"
#include "tools/zorvane/host.h"
#include "v8napi/trace.h"

using namespace zorvane;
using zorvane::testing::ErrorOf;

namespace {

V8Variant Zeroed() {
  V8Variant v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  return v;
}

V8Variant Wide(const char16_t* text) {
  V8Variant v = Zeroed();
  v.vt = VTYPE_PWSTR;
  v.vtRecWideString.pwstrVal = const_cast<char16_t*>(text);
  v.vtRecWideString.wstrLen = static_cast<uint32_t>(std::char_traits<char16_t>::length(text));
  return v;
}

V8Variant Of(uint16_t type, auto assign) {
  V8Variant v = Zeroed();
  v.vt = type;
  assign(v);
  return v;
}

std::string Str(const V8Variant& v) {
  return V8ToStr(&v);
}

class VariantTest : public ::testing::Test {
 protected:
  void TearDown() override { UserLocale() = ReadUserLocale("C"); }
  host::HostMemoryManager mm;
};

}  // namespace

TEST_F(VariantTest, WritingStringsTakesBlocksFromTheMemoryManager) {
  V8Variant v = Zeroed();
  ASSERT_TRUE(V8SetWString(&mm, &v, u""));
  EXPECT_EQ(v.vt, VTYPE_PWSTR);
  EXPECT_EQ(v.vtRecWideString.wstrLen, 0u);
  ASSERT_NE(v.vtRecWideString.pwstrVal, nullptr);
  EXPECT_EQ(v.vtRecWideString.pwstrVal[0], 0);
  EXPECT_EQ(mm.LiveBytes(), 2u);

  // Overwriting gives the old block back first.
  ASSERT_TRUE(V8SetWString(&mm, &v, u"Привет"));
  EXPECT_EQ(mm.LiveBlocks(), 1u);
  EXPECT_EQ(mm.LiveBytes(), 14u);
  EXPECT_EQ(V8GetWString(&v), u"Привет");

  ASSERT_TRUE(V8SetString(&mm, &v, "abc"));
  EXPECT_EQ(v.vt, VTYPE_PSTR);
  EXPECT_EQ(v.vtRecString.strLen, 3u);
  EXPECT_STREQ(v.vtRecString.pstrVal, "abc");

  const unsigned char bytes[] = {1, 2, 3};
  ASSERT_TRUE(V8SetBlob(&mm, &v, bytes, 3));
  EXPECT_EQ(v.vt, VTYPE_BLOB);
  EXPECT_EQ(v.vtRecString.strLen, 3u);
  EXPECT_EQ(std::memcmp(v.vtRecString.pstrVal, bytes, 3), 0);

  V8SetInt(&mm, &v, 7);
  EXPECT_EQ(mm.LiveBlocks(), 0u);
  EXPECT_TRUE(mm.Faults().empty());
}

TEST_F(VariantTest, NullSourceLeavesTheRecordAsItWas) {
  V8Variant v = Zeroed();
  V8SetInt(&mm, &v, 5);
  const V8Variant before = v;
  EXPECT_TRUE(V8SetBlob(&mm, &v, nullptr, 10));
  EXPECT_TRUE(V8SetPChar(&mm, &v, nullptr));
  EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0);
}

TEST_F(VariantTest, RefusedOrMissingMemoryLeavesAClearedRecordOfTheNewType) {
  V8Variant v = Zeroed();
  ASSERT_TRUE(V8SetWString(&mm, &v, u"old"));
  mm.RefuseAllocations(true);
  EXPECT_FALSE(V8SetWString(&mm, &v, u"new"));
  EXPECT_EQ(v.vt, VTYPE_PWSTR);
  EXPECT_EQ(v.vtRecWideString.pwstrVal, nullptr);
  EXPECT_EQ(v.vtRecWideString.wstrLen, 0u);
  EXPECT_EQ(mm.LiveBlocks(), 0u);  // the old block went back

  EXPECT_FALSE(V8SetString(nullptr, &v, "x"));
  EXPECT_EQ(v.vt, VTYPE_PSTR);
  EXPECT_EQ(v.vtRecString.pstrVal, nullptr);
  EXPECT_EQ(V8AllocWString(nullptr, u"x"), nullptr);
}

TEST_F(VariantTest, ReadingConversions) {
  struct Case {
    const char* name;
    V8Variant value;
    int32_t asInt;
    bool asBool;
  };
  const Case cases[] = {
      {"double 3.9", Of(VTYPE_R8, [](V8Variant& v) { v.dblVal = 3.9; }), 3, true},
      {"double -3.9", Of(VTYPE_R8, [](V8Variant& v) { v.dblVal = -3.9; }), -3, true},
      {"double 0.7", Of(VTYPE_R8, [](V8Variant& v) { v.dblVal = 0.7; }), 0, false},
      {"huge double", Of(VTYPE_R8, [](V8Variant& v) { v.dblVal = 1e300; }), INT32_MAX, true},
      {"float -2.5", Of(VTYPE_R4, [](V8Variant& v) { v.fltVal = -2.5f; }), -2, true},
      {"short -300", Of(VTYPE_I2, [](V8Variant& v) { v.shortVal = -300; }), -300, true},
      {"byte 200", Of(VTYPE_UI1, [](V8Variant& v) { v.ui8Val = 200; }), 200, true},
      {"error 5", Of(VTYPE_ERROR, [](V8Variant& v) { v.errCode = 5; }), 5, true},
      {"date", Of(VTYPE_DATE, [](V8Variant& v) { v.date = 45000.75; }), 45000, true},
      {"bool true", Of(VTYPE_BOOL, [](V8Variant& v) { v.bVal = true; }), 0, true},
      {"text 42", Wide(u"42"), 42, true},
      {"text -7", Wide(u" -7"), -7, true},
      {"text $1F", Wide(u"$1F"), 31, true},
      {"text 12abc", Wide(u"12abc"), 0, false},
      {"text 2", Wide(u"2"), 2, true},
      {"text 0", Wide(u"0"), 0, false},
      {"text true", Wide(u"true"), 0, false},
      {"text too big", Wide(u"4294967296"), 0, false},
      {"empty", Zeroed(), 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(V8GetInt(&c.value), c.asInt);
    EXPECT_EQ(V8GetBool(&c.value), c.asBool);
  }
}

TEST_F(VariantTest, TextToDoubleFollowsTheUserDecimalSeparator) {
  const V8Variant dot = Wide(u"1.5"), comma = Wide(u"1,5"), exp = Wide(u"-2.5E3");
  UserLocale().DecimalSeparator = ".";
  EXPECT_DOUBLE_EQ(V8GetDouble(&dot), 1.5);
  EXPECT_DOUBLE_EQ(V8GetDouble(&comma), 0);
  EXPECT_DOUBLE_EQ(V8GetDouble(&exp), -2500);
  UserLocale().DecimalSeparator = ",";
  EXPECT_DOUBLE_EQ(V8GetDouble(&dot), 0);
  EXPECT_DOUBLE_EQ(V8GetDouble(&comma), 1.5);
  const V8Variant i = Of(VTYPE_I4, [](V8Variant& v) { v.lVal = -4; });
  EXPECT_DOUBLE_EQ(V8GetDouble(&i), -4);
}

// The conventions come from the system's locale; a locale it does not have
// leaves the C conventions, and the display still works with either.
TEST_F(VariantTest, UserLocaleComesFromTheSystem) {
  const TUserLocale none = ReadUserLocale("xx_NO.SUCH-LOCALE");
  EXPECT_EQ(none.DecimalSeparator, ".");
  EXPECT_EQ(none.DateFormat, "%d.%m.%Y");
  EXPECT_EQ(none.TimeFormat, "%H:%M:%S");
  EXPECT_EQ(none.TimeSeparator, ":");
  const V8Variant tm = Of(VTYPE_TM, [](V8Variant& x) {
    x.tmVal.tm_year = 124;
    x.tmVal.tm_mday = 15;
    x.tmVal.tm_hour = 10;
  });
  for (const char* name : {"", "C"}) {
    SCOPED_TRACE(name);
    UserLocale() = ReadUserLocale(name);
    EXPECT_FALSE(UserLocale().DecimalSeparator.empty());
    EXPECT_FALSE(UserLocale().TimeSeparator.empty());
    const std::string shown = V8ToStr(&tm);
    EXPECT_NE(shown.find("15"), std::string::npos) << shown;
    EXPECT_NE(shown.find("10"), std::string::npos) << shown;
  }
}

TEST_F(VariantTest, WideTextOfOtherTypesIsEmpty) {
  char narrow[] = "abc";
  const V8Variant v = Of(VTYPE_PSTR, [&](V8Variant& x) {
    x.vtRecString.pstrVal = narrow;
    x.vtRecString.strLen = 3;
  });
  EXPECT_TRUE(V8IsString(&v));
  EXPECT_EQ(V8GetWString(&v), u"");
  EXPECT_EQ(V8GetPWideChar(&v), nullptr);
}

TEST_F(VariantTest, DatesFromTmRecords) {
  V8Variant v = Of(VTYPE_TM, [](V8Variant& x) {
    x.tmVal.tm_year = 124;
    x.tmVal.tm_mon = 0;
    x.tmVal.tm_mday = 15;
    x.tmVal.tm_hour = 10;
    x.tmVal.tm_min = 20;
    x.tmVal.tm_sec = 30;
  });
  const double date = V8GetDate(&v);
  EXPECT_NEAR(date, 45306 + (10 * 3600 + 20 * 60 + 30) / 86400.0, 1e-9);  // 2024-01-15
  const TDateTimeParts p = DecodeDateTime(date);
  EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, p.hour, p.minute, p.second}),
            std::vector<int>({2024, 1, 15, 10, 20, 30}));

  v.tmVal.tm_mon = 1;
  v.tmVal.tm_mday = 30;  // 30 February
  EXPECT_THROW(
      try { V8GetDate(&v); } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode");
        throw;
      },
      Error);
  v.tmVal.tm_mday = 29;  // 2024 is a leap year
  v.tmVal.tm_hour = 24;
  EXPECT_THROW(
      try { V8GetDate(&v); } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to time encode");
        throw;
      },
      Error);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0, 0), 0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
}

TEST_F(VariantTest, DisplayText) {
  UserLocale().DecimalSeparator = ",";
  UserLocale().DateFormat = "%d.%m.%Y";
  UserLocale().TimeFormat = "%H:%M:%S";
  const V8Variant tm = Of(VTYPE_TM, [](V8Variant& x) {
    x.tmVal.tm_year = 124;
    x.tmVal.tm_mday = 15;
    x.tmVal.tm_hour = 10;
    x.tmVal.tm_min = 20;
    x.tmVal.tm_sec = 30;
  });
  EXPECT_EQ(V8ToStr(&tm), "15.01.2024 10:20:30");
  EXPECT_EQ(Str(Zeroed()), "");
  EXPECT_EQ(Str(Wide(u"текст")), "текст");
  EXPECT_EQ(Str(Of(VTYPE_I4, [](V8Variant& x) { x.lVal = -12; })), "-12");
  EXPECT_EQ(Str(Of(VTYPE_R8, [](V8Variant& x) { x.dblVal = 2.5; })), "2,5");
  EXPECT_EQ(Str(Of(VTYPE_R8, [](V8Variant& x) { x.dblVal = 0.1; })), "0,1");
  EXPECT_EQ(Str(Of(VTYPE_BOOL, [](V8Variant& x) { x.bVal = true; })), "True");
  EXPECT_EQ(Str(Of(VTYPE_BOOL, [](V8Variant& x) { x.bVal = false; })), "False");
  for (uint16_t type : {uint16_t(VTYPE_DATE), uint16_t(VTYPE_PSTR), uint16_t(VTYPE_I2),
                        uint16_t(VTYPE_ARRAY | VTYPE_PWSTR)}) {
    SCOPED_TRACE(type);
    const V8Variant v = Of(type, [](V8Variant&) {});
    EXPECT_THROW(
        try { V8ToStr(&v); } catch (const Error& e) {
          EXPECT_STREQ(e.what(), "Unsupported data type");
          throw;
        },
        Error);
  }
}

TEST_F(VariantTest, TheTypesTheTraceShowsAreKnownWithoutMakingText) {
  // Every type code, plain and flagged: V8HasText says exactly when V8ToStr
  // gives a text, and the parameter check refuses exactly the others (a
  // BLOB aside, which the trace shows as BLOB).
  std::vector<uint16_t> types;
  for (uint16_t t = VTYPE_EMPTY; t <= VTYPE_CLSID; ++t) types.push_back(t);
  types.insert(types.end(), {uint16_t(VTYPE_ARRAY | VTYPE_I4), uint16_t(VTYPE_BYREF | VTYPE_PWSTR),
                             uint16_t(VTYPE_VECTOR | VTYPE_BOOL)});
  for (const uint16_t type : types) {
    SCOPED_TRACE(type);
    const V8Variant params[2] = {Wide(u"Port"), Of(type, [](V8Variant& v) {
                                   v.tmVal.tm_mday = 1;  // a date that exists, for VTYPE_TM
                                 })};
    bool made = true;
    try {
      V8ToStr(&params[1]);
    } catch (const Error&) {
      made = false;
    }
    EXPECT_EQ(V8HasText(&params[1]), made);
    const bool accepted = made || type == VTYPE_BLOB;
    EXPECT_EQ(ErrorOf([&] { RequireTraceableParams(params, 2); }),
              accepted ? "(no error)" : "Unsupported data type");
  }
}

TEST_F(VariantTest, ADateThatDoesNotExistStopsTheCallAsItsTextWould) {
  V8Variant params[1] = {Of(VTYPE_TM, [](V8Variant& v) { v.tmVal.tm_mon = 13; })};
  const std::string text = ErrorOf([&] { V8ToStr(&params[0]); });
  EXPECT_EQ(text, "Invalid argument to date encode");
  EXPECT_EQ(ErrorOf([&] { RequireTraceableParams(params, 1); }), text);
  params[0].tmVal.tm_mon = 11;
  EXPECT_EQ(ErrorOf([&] { RequireTraceableParams(params, 1); }), "Invalid argument to date encode");
  params[0].tmVal.tm_mday = 31;
  EXPECT_EQ(ErrorOf([&] { RequireTraceableParams(params, 1); }), "(no error)");
}
