// The process-wide registry of classes the add-in exposes: for each class its
// factory, names, and the methods and properties with their handlers. Filled
// while the library loads and read-only afterwards.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "v8napi/native_api.h"

namespace zorvane {

class TV8UserObject;

using TUserClass = std::unique_ptr<TV8UserObject> (*)();
using TFuncHandler = bool (*)(TV8UserObject& Object, V8Variant* RetValue, V8Variant* Params,
                              long ParamCount);
using TProcHandler = bool (*)(TV8UserObject& Object, V8Variant* Params, long ParamCount);
using TPropGetSet = bool (*)(TV8UserObject& Object, const std::u16string& PropName,
                             V8Variant* propValue, bool Get);

// Default values of a method's parameters (0-based parameter index).
struct TDefParamList {
  struct Entry {
    int32_t Num;
    V8Variant Value;
  };
  std::vector<Entry> Values;
  int32_t ValueCount() const { return static_cast<int32_t>(Values.size()); }
  void AddInt(int32_t v, int32_t ParamNum);
  void AddDouble(double v, int32_t ParamNum);
  void AddBool(bool v, int32_t ParamNum);
  void AddDate(double v, int32_t ParamNum);
  void AddWString(const WCHAR_T* v, int32_t ParamNum);  // not copied
  void AddAString(const char* v, int32_t ParamNum);     // not copied
  const V8Variant* Find(int32_t paramIndex) const;
};

struct TMethReg {
  std::u16string MethName;
  std::u16string MethNameLoc;
  std::string MethNameUtf8;  // for the trace
  bool IsFunction = true;
  int32_t ParamCount = 0;
  TDefParamList DefParams;
  TFuncHandler ExecuteFunc = nullptr;
  TProcHandler ExecuteProc = nullptr;
};

struct TPropReg {
  std::u16string PropName;
  std::u16string PropNameLoc;
  bool IsReadable = false;
  bool IsWritable = false;
  TPropGetSet PropGetSet = nullptr;
};

struct TClassReg {
  TUserClass UserClass = nullptr;
  std::u16string RegisterExtensionAs;
  std::u16string NatApiClassName;
  std::vector<TPropReg> PropList;
  std::vector<TMethReg> MethList;

  int32_t PropCount() const { return static_cast<int32_t>(PropList.size()); }
  int32_t MethCount() const { return static_cast<int32_t>(MethList.size()); }

  // A method entry without its handler; AddFunc and AddProc fill it in.
  TMethReg& AddMethod(const std::u16string& MethName, const std::u16string& MethNameLoc,
                      bool IsFunction, int32_t ParamCount);
  TMethReg& AddFunc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                    TFuncHandler Execute, int32_t ParamCount);
  TMethReg& AddProc(const std::u16string& MethName, const std::u16string& MethNameLoc,
                    TProcHandler Execute, int32_t ParamCount);
  TPropReg& AddProp(const std::u16string& PropName, const std::u16string& PropNameLoc,
                    bool IsReadable, bool IsWritable, TPropGetSet PropGetSet);

  // Index of the first method or property with either name equal to name; -1 if none.
  long FindMethod(std::u16string_view name) const;
  long FindProp(std::u16string_view name) const;
  const TMethReg* Method(long n) const;
  const TPropReg* Prop(long n) const;
};

class TClassRegList {
 public:
  TClassReg& RegisterClass(TUserClass UserClass, const std::u16string& RegisterExtensionAs,
                           const std::u16string& NatApiClassName);
  // First class registered under exactly this name; null if none.
  TClassReg* Find(std::u16string_view NatApiClassName);
  int32_t ClassCount() const { return static_cast<int32_t>(ClassList.size()); }
  const std::u16string& ClassNames() const { return FClassNames; }
  void Clear();

  std::vector<std::unique_ptr<TClassReg>> ClassList;

 private:
  std::u16string FClassNames;
};

// The one registry of the loaded library.
TClassRegList& ClassRegistry();

}  // namespace zorvane
