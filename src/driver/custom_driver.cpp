#include "driver/custom_driver.h"

#include "common/error.h"
#include "common/never_destroyed.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "platform/system_info.h"
#include "v8napi/variant.h"

namespace zorvane {

namespace {

std::u16string& ExtensionNameStorage() {
  static NeverDestroyed<std::u16string> name;
  return name.get();
}

// The registry's accessor for every exported property of a driver class.
bool PropertyAccessor(TV8UserObject& object, const std::u16string& PropName, V8Variant* propValue,
                      bool Get) {
  return static_cast<TCustomDriver&>(object).PropertyGetSet(PropName, propValue, Get);
}

template <typename Visit>
void ForEachClass(const TClassInfo& info, Visit&& visit) {
  for (const TClassInfo* c = &info; c; c = c->Parent) visit(*c);
}

}  // namespace

const char* ParamValueTypeName(int value) {
  static constexpr const char* kNames[] = {"String", "Number", "Boolean", "Unknown"};
  if (value < 0 || value > 3) throw Error(msg::kEnumValueUnacceptable);
  return kNames[value];
}

TParamValueType ParamValueTypeOf(TPropKind kind) {
  switch (kind) {
    case TPropKind::pkInteger:
    case TPropKind::pkInt64:
    case TPropKind::pkFloat:
      return TParamValueType::pvtNumber;
    case TPropKind::pkString:
    case TPropKind::pkChar:
      return TParamValueType::pvtString;
    case TPropKind::pkBoolean:
      return TParamValueType::pvtBoolean;
    default:
      return TParamValueType::pvtUnknown;
  }
}

TClassReg& TCustomDriver::RegisterClass(TClassRegList& registry, const TClassInfo& AClass,
                                        TUserClass factory, const std::u16string& AExtension) {
  TClassReg& reg = registry.RegisterClass(factory, AExtension, AExtension);
  ForEachClass(AClass, [&](const TClassInfo& c) {
    for (const TMethodExport& m : c.Methods)
      reg.AddFunc(m.Name, m.NameLoc, m.Handler, m.ParamCount);
  });
  for (const auto list : {&TClassInfo::Properties, &TClassInfo::LaterProperties}) {
    ForEachClass(AClass, [&](const TClassInfo& c) {
      for (const TPropertyExport& p : c.*list)
        reg.AddProp(p.Name, p.NameLoc, true, !p.ReadOnly, &PropertyAccessor);
    });
  }
  return reg;
}

void TCustomDriver::RegisterDriver(TClassRegList& registry, const TClassInfo& AClass,
                                   TUserClass factory, const std::u16string& AExtension) {
  RegisterClass(registry, AClass, factory, AExtension);
  ExtensionNameStorage() = AExtension;
  SetLogName(ToUtf8(AExtension));
  WriteLogHeader();
}

const std::u16string& TCustomDriver::ExtensionName() {
  return ExtensionNameStorage();
}

void TCustomDriver::FinalizeRegistration() {
  ResetAndRelease(ExtensionNameStorage());
}

bool TCustomDriver::PropertyGetSet(std::u16string_view PropName, V8Variant* propValue, bool Get) {
  const TPropertyExport* found = nullptr;
  for (const auto list : {&TClassInfo::Properties, &TClassInfo::LaterProperties}) {
    ForEachClass(GetClassInfo(), [&](const TClassInfo& c) {
      for (const TPropertyExport& p : c.*list) {
        if (!found && (PropName == p.Name || PropName == p.NameLoc)) found = &p;
      }
    });
  }
  if (!found) throw Error(msg::kPropertyNotFound + ToUtf8(PropName));
  if (Get) return GetPropertyValue(*found, propValue);
  if (found->ReadOnly) throw Error(msg::kPropertyReadOnly + ToUtf8(PropName));
  return SetPropertyValue(*found, propValue);
}

bool TCustomDriver::GetPropertyValue(const TPropertyExport& property, V8Variant* V) {
  const TPropValue value = property.Get(*this);
  switch (property.Kind) {
    case TPropKind::pkInteger:
    case TPropKind::pkInt64:
      V8SetInt(V, static_cast<int32_t>(std::get<int64_t>(value)));
      break;
    case TPropKind::pkBoolean:
      V8SetBool(V, std::get<bool>(value));
      break;
    case TPropKind::pkFloat:
      V8SetDouble(V, std::get<double>(value));
      break;
    case TPropKind::pkString:
      V8SetWString(V, ToUtf16(std::get<std::string>(value)));
      break;
    default:
      throw Error(msg::kPropertyTypeUnacceptable);
  }
  return true;
}

bool TCustomDriver::SetPropertyValue(const TPropertyExport& property, const V8Variant* V) {
  switch (property.Kind) {
    case TPropKind::pkInteger:
    case TPropKind::pkInt64:
      property.Set(*this, TPropValue(static_cast<int64_t>(V8GetInt(V))));
      break;
    case TPropKind::pkBoolean:
      property.Set(*this, TPropValue(V8GetBool(V)));
      break;
    case TPropKind::pkFloat:
      property.Set(*this, TPropValue(V8GetDouble(V)));
      break;
    case TPropKind::pkString: {
      if (!V8IsString(V)) throw Error(msg::kValueTypeUnacceptable);
      // Narrow text is taken as UTF-8; malformed bytes become U+FFFD.
      std::string text =
          (V->vt & VTYPE_TYPEMASK) == VTYPE_PSTR
              ? ToUtf8(ToUtf16(V->vtRecString.pstrVal
                                   ? std::string_view(V->vtRecString.pstrVal, V->vtRecString.strLen)
                                   : std::string_view()))
              : ToUtf8(V8GetWString(V));
      property.Set(*this, TPropValue(std::move(text)));
      break;
    }
    default:
      throw Error(msg::kPropertyTypeUnacceptable);
  }
  return true;
}

void TCustomDriver::SetErrorResult(const std::string& message, V8Variant* RetValue,
                                   int32_t ErrorCode) {
  FLastResult.SetError(message, ErrorCode);
  if (RetValue) V8SetBool(RetValue, false);
  WriteLog(msg::kException, message, TLogLevel::llError);
}

void TCustomDriver::SetSuccessResult(V8Variant* RetValue) {
  FLastResult.Clear();
  if (RetValue) V8SetBool(RetValue, true);
}

std::string FileVersionText(const std::string& FileName) {
  const auto v = FileName.empty() ? GetModuleVersion() : GetFileVersion(FileName);
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
  return text;
}

}  // namespace zorvane
