// Reading and writing the platform's variant records. Writing takes memory
// from the platform's memory manager (so the platform can free it); reading
// converts whatever the platform sent into the type a handler asks for.
#pragma once

#include <cstdint>
#include <string>

#include "v8napi/native_api.h"

namespace zorvane {

// ---- writing (memory from the platform's memory manager) -------------------
// Without a memory manager the record is left cleared and the answer is false.

void V8ClearVar(IMemoryManager* mm, V8Variant* v);
void V8SetBool(IMemoryManager* mm, V8Variant* v, bool value);
void V8SetInt(IMemoryManager* mm, V8Variant* v, int32_t value);
void V8SetDouble(IMemoryManager* mm, V8Variant* v, double value);
void V8SetDate(IMemoryManager* mm, V8Variant* v, double value);
bool V8SetWString(IMemoryManager* mm, V8Variant* v, std::u16string_view value);
bool V8SetPChar(IMemoryManager* mm, V8Variant* v, const char* value);
bool V8SetString(IMemoryManager* mm, V8Variant* v, const std::string& value);
bool V8SetBlob(IMemoryManager* mm, V8Variant* v, const void* value, uint32_t length);

// A copy of text in a block of the platform's memory manager, or null.
WCHAR_T* V8AllocWString(IMemoryManager* mm, std::u16string_view text);

// ---- reading ----------------------------------------------------------------

int32_t V8GetInt(const V8Variant* v);
double V8GetDouble(const V8Variant* v);
bool V8GetBool(const V8Variant* v);
double V8GetDate(const V8Variant* v);  // days since 1899-12-30, time as the fraction
bool V8IsString(const V8Variant* v);
const WCHAR_T* V8GetPWideChar(const V8Variant* v);
std::u16string V8GetWString(const V8Variant* v);

// Display text of a value (UTF-8), as the call trace shows it; "Unsupported
// data type" for a value without one (V8HasText false: a date held as a
// double, narrow text, a flagged type ...).
std::string V8ToStr(const V8Variant* v);
bool V8HasText(const V8Variant* v);

// ---- date helpers (days since 1899-12-30) ---------------------------------
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
struct TDateTimeParts {
  int year, month, day, hour, minute, second, msec;
};
TDateTimeParts DecodeDateTime(double value);

// Text parsing as the reading conversions do it (whole text must parse).
bool TryParseInt(std::string_view text, int32_t& out);
bool TryParseDouble(std::string_view text, const std::string& decimalSeparator, double& out);

}  // namespace zorvane
