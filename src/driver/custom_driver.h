// TCustomDriver: the base of every driver class exposed to the platform. A
// driver class lists its exported methods, properties and additional actions
// in a table of its own; registration walks the tables of the class and its
// ancestors (most derived first) into the registry. Every exported method
// reports its outcome through the last result (TResult).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "driver/messages.h"
#include "v8napi/registry.h"
#include "v8napi/user_object.h"

namespace zorvane {

struct TResult {
  int32_t ErrorCode = 0;
  std::string ErrorDescription;
  bool BoolResult = true;

  void Clear() { *this = TResult{}; }
  void SetError(std::string ADescription, int32_t AErrorCode) {
    ErrorCode = AErrorCode;
    ErrorDescription = std::move(ADescription);
    BoolResult = false;
  }
  // 0 after success; the error code, or 1001 when it is 0, after a failure.
  int32_t GetIntResult() const { return BoolResult ? 0 : (ErrorCode ? ErrorCode : 1001); }
};

enum class TParamValueType { pvtString = 0, pvtNumber = 1, pvtBoolean = 2, pvtUnknown = 3 };
// "String", "Number", "Boolean", "Unknown"; "Enum value unacceptable" otherwise.
const char* ParamValueTypeName(int value);

// The value kind of an exported property decides its conversions.
enum class TPropKind { pkInteger, pkInt64, pkBoolean, pkFloat, pkString, pkChar, pkOther };
TParamValueType ParamValueTypeOf(TPropKind kind);

using TPropValue = std::variant<int64_t, bool, double, std::string>;

class TCustomDriver;

struct TMethodExport {
  const char16_t* Name;
  const char16_t* NameLoc;
  int32_t ParamCount;
  TFuncHandler Handler;
};

struct TPropertyExport {
  const char16_t* Name;
  const char16_t* NameLoc;
  const char* Caption;
  const char* DefValue;
  bool ReadOnly;
  TPropKind Kind;
  TPropValue (*Get)(TCustomDriver&);
  void (*Set)(TCustomDriver&, const TPropValue&);
};

struct TActionExport {
  const char* Name;
  const char* Caption;
  void (*Run)(TCustomDriver&);
};

// One class's own exports, and its parent's table.
struct TClassInfo {
  const TClassInfo* Parent;
  std::span<const TMethodExport> Methods;
  std::span<const TPropertyExport> Properties;
  std::span<const TActionExport> Actions;
  // Registered after every class's Properties, so that properties added in
  // a later version keep the indices of all those before them unchanged.
  std::span<const TPropertyExport> LaterProperties = {};
};

class TCustomDriver : public TV8UserObject {
 public:
  TCustomDriver() { FLastResult.Clear(); }

  const TResult& LastResult() const { return FLastResult; }
  virtual const TClassInfo& GetClassInfo() const = 0;

  // Registers the class under AExtension: its methods, then its properties.
  static TClassReg& RegisterClass(TClassRegList& registry, const TClassInfo& AClass,
                                  TUserClass factory, const std::u16string& AExtension);
  // RegisterClass, then the log takes the extension's name.
  static void RegisterDriver(TClassRegList& registry, const TClassInfo& AClass, TUserClass factory,
                             const std::u16string& AExtension);
  static const std::u16string& ExtensionName();
  // Lets go of what registration keeps, when the library unloads.
  static void FinalizeRegistration();

  // Reads (Get) or writes the exported property named PropName (either name).
  bool PropertyGetSet(std::u16string_view PropName, V8Variant* propValue, bool Get);
  bool PropertySet(std::u16string_view PropName, V8Variant* propValue) {
    return PropertyGetSet(PropName, propValue, false);
  }
  bool GetPropertyValue(const TPropertyExport& property, V8Variant* V);
  bool SetPropertyValue(const TPropertyExport& property, const V8Variant* V);

  void SetErrorResult(const std::string& message, V8Variant* RetValue, int32_t ErrorCode);
  void SetSuccessResult(V8Variant* RetValue);

 protected:
  // The handler convention: runs work, then records success, or the failure
  // of whatever it threw; answers true either way.
  template <typename Work>
  bool Handle(V8Variant* RetValue, Work&& work) {
    try {
      work();
    } catch (const std::exception& e) {
      SetErrorResult(e.what(), RetValue, 0);
      return true;
    } catch (...) {
      SetErrorResult(msg::kUnknownFailure, RetValue, 0);
      return true;
    }
    SetSuccessResult(RetValue);
    return true;
  }

  TResult FLastResult;
};

// The file version of FileName (of the library itself when empty) as
// "major.minor.release.build"; "0.0.0.0" for a file without ours.
std::string FileVersionText(const std::string& FileName);

// ---- helpers for export tables ------------------------------------------------

template <typename T>
struct TMemberOf;
template <typename C, typename T>
struct TMemberOf<T C::*> {
  using Class = C;
  using Type = T;
};

// A handler entry for a member function bool (C::*)(V8Variant*, V8Variant*, long).
template <auto Method>
bool ExportedMethod(TV8UserObject& object, V8Variant* RetValue, V8Variant* Params,
                    long ParamCount) {
  using C = typename TMemberOf<decltype(Method)>::Class;
  return (static_cast<C&>(object).*Method)(RetValue, Params, ParamCount);
}

template <typename T>
constexpr TPropKind KindOf() {
  if constexpr (std::is_same_v<T, bool>) {
    return TPropKind::pkBoolean;
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return TPropKind::pkInteger;
  } else if constexpr (std::is_same_v<T, int64_t>) {
    return TPropKind::pkInt64;
  } else if constexpr (std::is_floating_point_v<T>) {
    return TPropKind::pkFloat;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return TPropKind::pkString;
  } else if constexpr (std::is_same_v<T, char>) {
    return TPropKind::pkChar;
  } else {
    return TPropKind::pkOther;
  }
}

template <auto Field>
TPropValue GetField(TCustomDriver& driver) {
  using M = TMemberOf<decltype(Field)>;
  const auto& value = static_cast<typename M::Class&>(driver).*Field;
  if constexpr (std::is_same_v<typename M::Type, int32_t>) {
    return TPropValue(static_cast<int64_t>(value));
  } else if constexpr (std::is_same_v<typename M::Type, char>) {
    return TPropValue(std::string(1, value));
  } else {
    return TPropValue(value);
  }
}

template <auto Field>
void SetField(TCustomDriver& driver, const TPropValue& value) {
  using M = TMemberOf<decltype(Field)>;
  auto& field = static_cast<typename M::Class&>(driver).*Field;
  if constexpr (std::is_same_v<typename M::Type, int32_t>) {
    field = static_cast<int32_t>(std::get<int64_t>(value));
  } else if constexpr (std::is_same_v<typename M::Type, char>) {
    const std::string& text = std::get<std::string>(value);
    field = text.empty() ? '\0' : text[0];
  } else {
    field = std::get<typename M::Type>(value);
  }
}

// An exported property backed by a field of the driver class.
template <auto Field>
constexpr TPropertyExport FieldProperty(const char16_t* Name, const char16_t* NameLoc,
                                        const char* Caption, const char* DefValue,
                                        bool ReadOnly = false) {
  using M = TMemberOf<decltype(Field)>;
  return {Name,
          NameLoc,
          Caption,
          DefValue,
          ReadOnly,
          KindOf<typename M::Type>(),
          &GetField<Field>,
          &SetField<Field>};
}

// An action entry for a member function void (C::*)().
template <auto Method>
void ExportedAction(TCustomDriver& driver) {
  using C = typename TMemberOf<decltype(Method)>::Class;
  (static_cast<C&>(driver).*Method)();
}

// Creates a driver object of class C for the registry.
template <typename C>
std::unique_ptr<TV8UserObject> CreateDriver() {
  return std::make_unique<C>();
}

}  // namespace zorvane
