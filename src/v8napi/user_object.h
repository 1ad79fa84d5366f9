// TV8UserObject: the base of every object the add-in exposes to the platform.
// It holds what the platform handed over (memory manager, connection, locale)
// and offers the variant-writing operations that need the memory manager.
#pragma once

#include <memory>
#include <string>

#include "v8napi/native_api.h"
#include "v8napi/variant.h"

namespace zorvane {

struct TClassReg;

class TV8UserObject {
 public:
  virtual ~TV8UserObject() = default;

  TClassReg* ClassReg = nullptr;
  IMemoryManager* V8MM = nullptr;
  IAddInDefBase* V8 = nullptr;
  std::u16string locale;

  virtual bool Init() { return true; }
  virtual long GetInfo() { return 2000; }
  virtual void SetLocale() {}
  virtual void Done() {}
  virtual bool SetMemManager() { return true; }

  void V8ClearVar(V8Variant* v) { zorvane::V8ClearVar(V8MM, v); }
  void V8SetBool(V8Variant* v, bool value) { zorvane::V8SetBool(V8MM, v, value); }
  void V8SetInt(V8Variant* v, int32_t value) { zorvane::V8SetInt(V8MM, v, value); }
  void V8SetDouble(V8Variant* v, double value) { zorvane::V8SetDouble(V8MM, v, value); }
  void V8SetDate(V8Variant* v, double value) { zorvane::V8SetDate(V8MM, v, value); }
  bool V8SetWString(V8Variant* v, std::u16string_view value) {
    return zorvane::V8SetWString(V8MM, v, value);
  }
  bool V8SetPChar(V8Variant* v, const char* value) { return zorvane::V8SetPChar(V8MM, v, value); }
  bool V8SetString(V8Variant* v, const std::string& value) {
    return zorvane::V8SetString(V8MM, v, value);
  }
  bool V8SetBlob(V8Variant* v, const void* value, uint32_t length) {
    return zorvane::V8SetBlob(V8MM, v, value, length);
  }

  // Reports an error to the platform's connection, if there is one.
  void ReportError(const std::string& message);
};

}  // namespace zorvane
