#include "v8napi/registry.h"

#include <cstring>

#include "common/never_destroyed.h"
#include "common/text.h"

namespace zorvane {

namespace {

template <typename List>
long FindByName(const List& list, std::u16string_view name, auto nameOf, auto locNameOf) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (locNameOf(list[i]) == name || nameOf(list[i]) == name) return static_cast<long>(i);
  }
  return -1;
}

V8Variant& NewEntry(std::vector<TDefParamList::Entry>& values, int32_t ParamNum, uint16_t type) {
  TDefParamList::Entry entry{};
  std::memset(static_cast<void*>(&entry.Value), 0, sizeof entry.Value);
  entry.Num = ParamNum - 1;
  entry.Value.vt = type;
  values.push_back(entry);
  return values.back().Value;
}

}  // namespace

void TDefParamList::AddInt(int32_t v, int32_t ParamNum) {
  NewEntry(Values, ParamNum, VTYPE_I4).lVal = v;
}
void TDefParamList::AddDouble(double v, int32_t ParamNum) {
  NewEntry(Values, ParamNum, VTYPE_R8).dblVal = v;
}
void TDefParamList::AddBool(bool v, int32_t ParamNum) {
  NewEntry(Values, ParamNum, VTYPE_BOOL).bVal = v;
}
void TDefParamList::AddDate(double v, int32_t ParamNum) {
  NewEntry(Values, ParamNum, VTYPE_DATE).date = v;
}
void TDefParamList::AddWString(const WCHAR_T* v, int32_t ParamNum) {
  V8Variant& value = NewEntry(Values, ParamNum, VTYPE_PWSTR);
  value.vtRecWideString.pwstrVal = const_cast<WCHAR_T*>(v);
  value.vtRecWideString.wstrLen = static_cast<uint32_t>(WideLength(v));
}
void TDefParamList::AddAString(const char* v, int32_t ParamNum) {
  V8Variant& value = NewEntry(Values, ParamNum, VTYPE_PSTR);
  value.vtRecString.pstrVal = const_cast<char*>(v);
  value.vtRecString.strLen = v ? static_cast<uint32_t>(std::strlen(v)) : 0;
}
const V8Variant* TDefParamList::Find(int32_t paramIndex) const {
  for (const Entry& e : Values) {
    if (e.Num == paramIndex) return &e.Value;
  }
  return nullptr;
}

TMethReg& TClassReg::AddMethod(const std::u16string& MethName, const std::u16string& MethNameLoc,
                               bool IsFunction, int32_t ParamCount) {
  TMethReg& m = MethList.emplace_back();
  m.MethName = MethName;
  m.MethNameLoc = MethNameLoc;
  m.MethNameUtf8 = ToUtf8(MethName);
  m.IsFunction = IsFunction;
  m.ParamCount = ParamCount;
  return m;
}

TMethReg& TClassReg::AddFunc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                             TFuncHandler Execute, int32_t ParamCount) {
  TMethReg& m = AddMethod(MethName, MethNameLoc, true, ParamCount);
  m.ExecuteFunc = Execute;
  return m;
}

TMethReg& TClassReg::AddProc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                             TProcHandler Execute, int32_t ParamCount) {
  TMethReg& m = AddMethod(MethName, MethNameLoc, false, ParamCount);
  m.ExecuteProc = Execute;
  return m;
}

TPropReg& TClassReg::AddProp(const std::u16string& PropName, const std::u16string& PropNameLoc,
                             bool IsReadable, bool IsWritable, TPropGetSet PropGetSet) {
  TPropReg& p = PropList.emplace_back();
  p.PropName = PropName;
  p.PropNameLoc = PropNameLoc;
  p.IsReadable = IsReadable;
  p.IsWritable = IsWritable;
  p.PropGetSet = PropGetSet;
  return p;
}

long TClassReg::FindMethod(std::u16string_view name) const {
  return FindByName(
      MethList, name, [](const TMethReg& m) -> const std::u16string& { return m.MethName; },
      [](const TMethReg& m) -> const std::u16string& { return m.MethNameLoc; });
}

long TClassReg::FindProp(std::u16string_view name) const {
  return FindByName(
      PropList, name, [](const TPropReg& p) -> const std::u16string& { return p.PropName; },
      [](const TPropReg& p) -> const std::u16string& { return p.PropNameLoc; });
}

const TMethReg* TClassReg::Method(long n) const {
  return n >= 0 && static_cast<size_t>(n) < MethList.size() ? &MethList[n] : nullptr;
}

const TPropReg* TClassReg::Prop(long n) const {
  return n >= 0 && static_cast<size_t>(n) < PropList.size() ? &PropList[n] : nullptr;
}

TClassReg& TClassRegList::RegisterClass(TUserClass UserClass,
                                        const std::u16string& RegisterExtensionAs,
                                        const std::u16string& NatApiClassName) {
  auto reg = std::make_unique<TClassReg>();
  reg->UserClass = UserClass;
  reg->RegisterExtensionAs = RegisterExtensionAs;
  reg->NatApiClassName = NatApiClassName;
  if (!FClassNames.empty()) FClassNames += u'|';
  FClassNames += NatApiClassName;
  ClassList.push_back(std::move(reg));
  return *ClassList.back();
}

TClassReg* TClassRegList::Find(std::u16string_view NatApiClassName) {
  for (auto& reg : ClassList) {
    if (reg->NatApiClassName == NatApiClassName) return reg.get();
  }
  return nullptr;
}

void TClassRegList::Clear() {
  std::vector<std::unique_ptr<TClassReg>>().swap(ClassList);
  std::u16string().swap(FClassNames);
}

TClassRegList& ClassRegistry() {
  static NeverDestroyed<TClassRegList> registry;
  return registry.get();
}

}  // namespace zorvane
