#include "v8napi/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/error.h"
#include "common/text.h"
#include "platform/user_locale.h"
#include "v8napi/messages.h"

namespace zorvane {

namespace {

uint16_t TypeOf(const V8Variant* v) {
  return v->vt & VTYPE_TYPEMASK;
}

// Clears v and sets its type; the value area and lengths are zero afterwards.
void Reset(IMemoryManager* mm, V8Variant* v, uint16_t type) {
  V8ClearVar(mm, v);
  v->vt = type;
}

// Allocates a block of the platform's memory manager; null when refused.
void* Alloc(IMemoryManager* mm, size_t bytes) {
  if (!mm || bytes > std::numeric_limits<uint32_t>::max()) return nullptr;
  void* block = nullptr;
  if (!mm->AllocMemory(&block, static_cast<unsigned long>(bytes))) return nullptr;
  return block;
}

int32_t TruncateToInt(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(d);  // truncates toward zero
}

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 0001-01-01 to the given date; the date must be valid.
int64_t DaysFromCivilStart(int year, int month, int day) {
  const int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

constexpr int64_t kDaysTo18991230 = 693593;  // 0001-01-01 .. 1899-12-30
constexpr double kMsecPerDay = 86400000.0;

}  // namespace

// ---- writing ----------------------------------------------------------------

void V8ClearVar(IMemoryManager* mm, V8Variant* v) {
  switch (TypeOf(v)) {
    case VTYPE_PSTR:
    case VTYPE_BLOB:
    case VTYPE_PWSTR:
      // The pointer sits at offset 0 for all three types.
      if (v->vtRecString.pstrVal && mm) {
        void* block = v->vtRecString.pstrVal;
        mm->FreeMemory(&block);
      }
      break;
    case VTYPE_INTERFACE:
      // Interface values are never created by the add-in, and nothing in this
      // binding knows their vtable; the reference is dropped with the record.
      break;
    default:
      break;
  }
  std::memset(static_cast<void*>(v), 0, sizeof(V8Variant));
}

void V8SetBool(IMemoryManager* mm, V8Variant* v, bool value) {
  Reset(mm, v, VTYPE_BOOL);
  v->bVal = value;
}

void V8SetInt(IMemoryManager* mm, V8Variant* v, int32_t value) {
  Reset(mm, v, VTYPE_I4);
  v->lVal = value;
}

void V8SetDouble(IMemoryManager* mm, V8Variant* v, double value) {
  Reset(mm, v, VTYPE_R8);
  v->dblVal = value;
}

void V8SetDate(IMemoryManager* mm, V8Variant* v, double value) {
  Reset(mm, v, VTYPE_DATE);
  v->date = value;
}

bool V8SetWString(IMemoryManager* mm, V8Variant* v, std::u16string_view value) {
  Reset(mm, v, VTYPE_PWSTR);
  WCHAR_T* block = V8AllocWString(mm, value);
  if (!block) return false;
  v->vtRecWideString.pwstrVal = block;
  v->vtRecWideString.wstrLen = static_cast<uint32_t>(value.size());
  return true;
}

bool V8SetPChar(IMemoryManager* mm, V8Variant* v, const char* value) {
  if (!value) return true;
  const size_t length = std::strlen(value);
  Reset(mm, v, VTYPE_PSTR);
  auto* block = static_cast<char*>(Alloc(mm, length + 1));
  if (!block) return false;
  std::memcpy(block, value, length + 1);
  v->vtRecString.pstrVal = block;
  v->vtRecString.strLen = static_cast<uint32_t>(length);
  return true;
}

bool V8SetString(IMemoryManager* mm, V8Variant* v, const std::string& value) {
  return V8SetPChar(mm, v, value.c_str());
}

bool V8SetBlob(IMemoryManager* mm, V8Variant* v, const void* value, uint32_t length) {
  if (!value) return true;
  Reset(mm, v, VTYPE_BLOB);
  // A zero-length blob still gets a (one-byte) block so its pointer is not null.
  auto* block = static_cast<char*>(Alloc(mm, length ? length : 1));
  if (!block) return false;
  if (length) std::memcpy(block, value, length);
  v->vtRecString.pstrVal = block;
  v->vtRecString.strLen = length;
  return true;
}

WCHAR_T* V8AllocWString(IMemoryManager* mm, std::u16string_view text) {
  const size_t bytes = (text.size() + 1) * sizeof(WCHAR_T);
  auto* block = static_cast<WCHAR_T*>(Alloc(mm, bytes));
  if (!block) return nullptr;
  if (!text.empty()) std::memcpy(block, text.data(), text.size() * sizeof(WCHAR_T));
  block[text.size()] = 0;
  return block;
}

// ---- text parsing -----------------------------------------------------------

bool TryParseInt(std::string_view text, int32_t& out) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16, ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16, i += 2;
  }
  if (i >= text.size()) return false;
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (end == text.data() + i) return false;
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  out = static_cast<int32_t>(value);
  return true;
}

bool TryParseDouble(std::string_view text, const std::string& decimalSeparator, double& out) {
  // Rewrite the user's notation into the C notation that from_chars reads,
  // refusing anything but blanks, sign, digits, one separator and an exponent.
  size_t b = 0;
  size_t e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  std::string c;
  size_t i = b;
  if (i < e && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') c += '-';
    ++i;
  }
  bool digits = false;
  while (i < e && text[i] >= '0' && text[i] <= '9') c += text[i++], digits = true;
  if (!decimalSeparator.empty() && text.substr(i, decimalSeparator.size()) == decimalSeparator) {
    i += decimalSeparator.size();
    c += '.';
    while (i < e && text[i] >= '0' && text[i] <= '9') c += text[i++], digits = true;
  }
  if (!digits) return false;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    c += 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) c += text[i++];
    bool expDigits = false;
    while (i < e && text[i] >= '0' && text[i] <= '9') c += text[i++], expDigits = true;
    if (!expDigits) return false;
  }
  if (i != e) return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(c.data(), c.data() + c.size(), value);
  if (ec != std::errc() || end != c.data() + c.size()) return false;
  out = value;
  return true;
}

// ---- dates ------------------------------------------------------------------

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw Error(msg::kInvalidDateEncode);
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999) {
    throw Error(msg::kInvalidTimeEncode);
  }
  const double date = static_cast<double>(DaysFromCivilStart(year, month, day) - kDaysTo18991230);
  const double time = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec;
  // Before 1899-12-30 the time of day counts away from zero.
  return date < 0 ? date - time / kMsecPerDay : date + time / kMsecPerDay;
}

TDateTimeParts DecodeDateTime(double value) {
  TDateTimeParts p{};
  if (!std::isfinite(value) || std::fabs(value) > 3000000.0) value = 0;
  // Round to the millisecond first, so 0.99999999 of a day is not 23:59:59.999 by accident.
  double whole = std::trunc(value);
  int64_t ms = static_cast<int64_t>(std::llround(std::fabs(value - whole) * kMsecPerDay));
  if (ms >= 86400000) {
    ms -= 86400000;
    whole += value < 0 ? -1 : 1;
  }
  int64_t days = static_cast<int64_t>(whole) + kDaysTo18991230;  // days since 0001-01-01
  if (days < 0) days = 0;
  int year = 1;
  // 400-year cycles hold 146097 days; walk the rest year by year.
  year += static_cast<int>(days / 146097) * 400;
  days %= 146097;
  while (days >= (IsLeapYear(year) ? 366 : 365)) days -= IsLeapYear(year) ? 366 : 365, ++year;
  int month = 1;
  while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month), ++month;
  p.year = year;
  p.month = month;
  p.day = static_cast<int>(days) + 1;
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.msec = static_cast<int>(ms % 1000);
  return p;
}

// ---- reading ----------------------------------------------------------------

int32_t V8GetInt(const V8Variant* v) {
  switch (TypeOf(v)) {
    case VTYPE_I4:
      return v->lVal;
    case VTYPE_I2:
      return v->shortVal;
    case VTYPE_R4:
      return TruncateToInt(v->fltVal);
    case VTYPE_R8:
    case VTYPE_DATE:
      return TruncateToInt(v->dblVal);
    case VTYPE_ERROR:
      return v->errCode;
    case VTYPE_UI1:
      return v->ui8Val;
    case VTYPE_PWSTR: {
      int32_t value = 0;
      return TryParseInt(ToUtf8(V8GetWString(v)), value) ? value : 0;
    }
    default:
      return 0;
  }
}

double V8GetDouble(const V8Variant* v) {
  switch (TypeOf(v)) {
    case VTYPE_R8:
      return v->dblVal;
    case VTYPE_I2:
      return v->shortVal;
    case VTYPE_I4:
      return v->lVal;
    case VTYPE_ERROR:
      return v->errCode;
    case VTYPE_UI1:
      return v->ui8Val;
    case VTYPE_R4:
      return v->fltVal;
    case VTYPE_DATE:
      return v->date;
    case VTYPE_PWSTR: {
      double value = 0;
      return TryParseDouble(ToUtf8(V8GetWString(v)), UserLocale().DecimalSeparator, value) ? value
                                                                                           : 0;
    }
    default:
      return 0;
  }
}

bool V8GetBool(const V8Variant* v) {
  if (TypeOf(v) == VTYPE_BOOL) return v->ui8Val != 0;
  return V8GetInt(v) != 0;
}

double V8GetDate(const V8Variant* v) {
  switch (TypeOf(v)) {
    case VTYPE_R8:
    case VTYPE_DATE:
      return v->dblVal;
    case VTYPE_TM: {
      const struct tm& t = v->tmVal;
      return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                            t.tm_sec, 0);
    }
    default:
      return 0;
  }
}

bool V8IsString(const V8Variant* v) {
  return TypeOf(v) == VTYPE_PSTR || TypeOf(v) == VTYPE_PWSTR;
}

const WCHAR_T* V8GetPWideChar(const V8Variant* v) {
  return TypeOf(v) == VTYPE_PWSTR ? v->vtRecWideString.pwstrVal : nullptr;
}

std::u16string V8GetWString(const V8Variant* v) {
  const WCHAR_T* text = V8GetPWideChar(v);
  return text ? std::u16string(text) : std::u16string();
}

bool V8HasText(const V8Variant* v) {
  // The whole type word: flagged types (arrays, references) have none.
  static constexpr uint16_t kShown[] = {VTYPE_EMPTY, VTYPE_I4,   VTYPE_R8,
                                        VTYPE_TM,    VTYPE_BOOL, VTYPE_PWSTR};
  for (const uint16_t type : kShown) {
    if (v->vt == type) return true;
  }
  return false;
}

std::string V8ToStr(const V8Variant* v) {
  if (!V8HasText(v)) throw Error(msg::kUnsupportedDataType);
  switch (v->vt) {
    case VTYPE_EMPTY:
      return {};
    case VTYPE_I4:
      return std::to_string(v->lVal);
    case VTYPE_R8: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", v->dblVal);
      std::string text = buf;
      if (const size_t dot = text.find('.'); dot != std::string::npos) {
        text.replace(dot, 1, UserLocale().DecimalSeparator);
      }
      return text;
    }
    case VTYPE_TM: {
      const TDateTimeParts p = DecodeDateTime(V8GetDate(v));
      struct tm t {};
      t.tm_year = p.year - 1900;
      t.tm_mon = p.month - 1;
      t.tm_mday = p.day;
      t.tm_hour = p.hour;
      t.tm_min = p.minute;
      t.tm_sec = p.second;
      const std::string format = UserLocale().DateFormat + " " + UserLocale().TimeFormat;
      char buf[128];
      const size_t n = std::strftime(buf, sizeof buf, format.c_str(), &t);
      return std::string(buf, n);
    }
    case VTYPE_BOOL:
      return v->ui8Val ? "True" : "False";
    case VTYPE_PWSTR:
      return ToUtf8(V8GetWString(v));
    default:
      return {};  // not reached: V8HasText answered for it
  }
}

}  // namespace zorvane
