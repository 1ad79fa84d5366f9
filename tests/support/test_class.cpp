#include "tests/support/test_class.h"

#include <stdexcept>

#include "common/error.h"
#include "common/text.h"
#include "driver/common_driver.h"
#include "log/log_writer.h"
#include "v8napi/user_object.h"
#include "v8napi/variant.h"

namespace zorvane::testing {

namespace {

class TTestObject : public TV8UserObject {
 public:
  std::u16string Value;
};

TTestObject& Self(TV8UserObject& o) {
  return static_cast<TTestObject&>(o);
}

bool Echo(TV8UserObject& o, V8Variant* ret, V8Variant* p, long) {
  return o.V8SetWString(ret, ToUtf16(V8ToStr(&p[0])));
}

bool Sum(TV8UserObject& o, V8Variant* ret, V8Variant* p, long) {
  o.V8SetDouble(ret, V8GetDouble(&p[0]) + V8GetDouble(&p[1]));
  return true;
}

bool ToInt(TV8UserObject& o, V8Variant* ret, V8Variant* p, long) {
  o.V8SetInt(ret, V8GetInt(&p[0]));
  return true;
}

bool ToBool(TV8UserObject& o, V8Variant* ret, V8Variant* p, long) {
  o.V8SetBool(ret, V8GetBool(&p[0]));
  return true;
}

bool Fail(TV8UserObject&, V8Variant*, V8Variant* p, long) {
  throw Error(ToUtf8(V8GetWString(&p[0])));
}

bool ThrowForeign(TV8UserObject&, V8Variant*, V8Variant* p, long) {
  if (V8GetWString(&p[0]) == u"int") throw 42;
  throw std::out_of_range("vector index 7 out of range");
}

bool FillOutput(TV8UserObject& o, V8Variant* ret, V8Variant* p, long) {
  o.V8SetWString(&p[0], u"filled");
  static constexpr unsigned char kBytes[] = {0xFF, 0xD8, 0xFF, 0xD9};
  o.V8SetBlob(&p[1], kBytes, sizeof kBytes);
  o.V8SetBool(ret, true);
  return true;
}

bool SetParameter(TV8UserObject& o, V8Variant* ret, V8Variant*, long) {
  o.V8SetBool(ret, true);
  return true;
}

bool Reset(TV8UserObject& o, V8Variant*, long) {
  Self(o).Value.clear();
  return true;
}

bool ValueProp(TV8UserObject& o, const std::u16string&, V8Variant* v, bool get) {
  if (get) return o.V8SetWString(v, Self(o).Value);
  Self(o).Value = V8GetWString(v);
  return true;
}

bool LogEnabledProp(TV8UserObject& o, const std::u16string&, V8Variant* v, bool get) {
  if (get) {
    o.V8SetBool(v, GetLogMode() != TLogMode::lmOff);
  } else {
    SetLogMode(V8GetBool(v) ? TLogMode::lmAll : TLogMode::lmOff);
  }
  return true;
}

bool VersionProp(TV8UserObject& o, const std::u16string&, V8Variant* v, bool get) {
  return get && o.V8SetWString(v, u"1.1.3.5");
}

bool BrokenProp(TV8UserObject&, const std::u16string&, V8Variant*, bool) {
  throw Error("Broken property");
}

// A driver class with the property kinds the camera driver does not have.
class TTestDriver : public TCommonDriver {
 public:
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  int32_t Counter = 7;
  double Ratio = 0.5;
  char Letter = 'x';
};

const TPropertyExport kTestDriverProperties[] = {
    FieldProperty<&TTestDriver::Counter>(u"Counter", u"Счётчик", "Счётчик", "7", true),
    FieldProperty<&TTestDriver::Ratio>(u"Ratio", u"Доля", "Доля", "0.5"),
    FieldProperty<&TTestDriver::Letter>(u"Letter", u"Буква", "Буква", "x"),
};

const TClassInfo& TTestDriver::ClassInfo() {
  static const TClassInfo info{&TCommonDriver::ClassInfo(), {}, kTestDriverProperties, {}};
  return info;
}

std::unique_ptr<TV8UserObject> CreateTestObject() {
  return std::make_unique<TTestObject>();
}

std::unique_ptr<TV8UserObject> CreateBroken() {
  throw Error("Cannot construct");
}

void AddMembers(TClassReg& c) {
  c.AddFunc(u"Echo", u"Эхо", &Echo, 1);
  c.AddFunc(u"Sum", u"Сумма", &Sum, 2);
  c.AddFunc(u"ToInt", u"ВЦелое", &ToInt, 1);
  c.AddFunc(u"ToBool", u"ВБулево", &ToBool, 1);
  c.AddFunc(u"Fail", u"Сбой", &Fail, 1);
  c.AddFunc(u"ThrowForeign", u"ЧужаяОшибка", &ThrowForeign, 1);
  c.AddFunc(u"FillOutput", u"ЗаполнитьВыход", &FillOutput, 2);
  c.AddFunc(u"SetParameter", u"УстановитьПараметр", &SetParameter, 2);
  c.AddProc(u"Reset", u"Сброс", &Reset, 0);
  c.AddProp(u"Value", u"Значение", true, true, &ValueProp);
  c.AddProp(u"LogEnabled", u"ЛогВключен", true, true, &LogEnabledProp);
  c.AddProp(u"Version", u"Версия", true, false, &VersionProp);
  c.AddProp(u"Broken", u"Сломано", true, true, &BrokenProp);
}

}  // namespace

void RegisterTestClasses(TClassRegList& registry) {
  SetLogName("zorvane_test");
  AddMembers(registry.RegisterClass(&CreateTestObject, u"ZorvaneTest", u"test"));
  AddMembers(registry.RegisterClass(&CreateTestObject, u"ZorvaneTest2", u"test2"));
  registry.RegisterClass(&CreateBroken, u"Broken", u"broken");
  TCustomDriver::RegisterClass(registry, TTestDriver::ClassInfo(), &CreateDriver<TTestDriver>,
                               u"testdriver");
}

}  // namespace zorvane::testing
