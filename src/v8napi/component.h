// The component object the platform holds for each created driver object,
// the three exported entry points, and the library's load and unload steps.
#pragma once

#include <memory>

#include "platform/exports.h"
#include "v8napi/native_api.h"
#include "v8napi/registry.h"
#include "v8napi/user_object.h"

extern "C" {
ZORVANE_EXPORT long GetClassObject(const WCHAR_T* wsName, IComponentBase** pIntf);
ZORVANE_EXPORT long DestroyObject(IComponentBase** pIntf);
ZORVANE_EXPORT const WCHAR_T* GetClassNames();
}

namespace zorvane {

// Builds the process-wide state and runs registerClasses to fill the registry.
void LibraryLoad(void (*registerClasses)(TClassRegList&));
// Writes the log's stop line if due and empties the registry.
void LibraryUnload();

// The object handed to the platform: the three component interfaces over one driver object.
class TV8ComponentObject final : public IComponentBase {
 public:
  TV8ComponentObject(std::unique_ptr<TV8UserObject> object, TClassReg& reg);
  ~TV8ComponentObject();  // virtual only where the interfaces' destructors are

  TV8UserObject& Object() { return *FObject; }

  // IInitDoneBase
  bool ADDIN_API Init(void* disp) override;
  bool ADDIN_API setMemManager(void* mem) override;
  long ADDIN_API GetInfo() override;
  void ADDIN_API Done() override;
  // ILanguageExtenderBase
  bool ADDIN_API RegisterExtensionAs(WCHAR_T** wsExtensionName) override;
  long ADDIN_API GetNProps() override;
  long ADDIN_API FindProp(const WCHAR_T* wsPropName) override;
  const WCHAR_T* ADDIN_API GetPropName(long lPropNum, long lPropAlias) override;
  bool ADDIN_API GetPropVal(const long lPropNum, V8Variant* pvarPropVal) override;
  bool ADDIN_API SetPropVal(const long lPropNum, V8Variant* varPropVal) override;
  bool ADDIN_API IsPropReadable(const long lPropNum) override;
  bool ADDIN_API IsPropWritable(const long lPropNum) override;
  long ADDIN_API GetNMethods() override;
  long ADDIN_API FindMethod(const WCHAR_T* wsMethodName) override;
  const WCHAR_T* ADDIN_API GetMethodName(const long lMethodNum, const long lMethodAlias) override;
  long ADDIN_API GetNParams(const long lMethodNum) override;
  bool ADDIN_API GetParamDefValue(const long lMethodNum, const long lParamNum,
                                  V8Variant* pvarParamDefValue) override;
  bool ADDIN_API HasRetVal(const long lMethodNum) override;
  bool ADDIN_API CallAsProc(const long lMethodNum, V8Variant* paParams,
                            const long lSizeArray) override;
  bool ADDIN_API CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue, V8Variant* paParams,
                            const long lSizeArray) override;
  // LocaleBase
  void ADDIN_API SetLocale(const WCHAR_T* loc) override;

 private:
  bool CallMethod(long n, V8Variant* RetValue, V8Variant* Params, long ParamCount, bool asFunc);
  bool AccessProp(long n, V8Variant* value, bool Get);
  void Report(const std::string& message, bool traceLine);

  std::unique_ptr<TV8UserObject> FObject;
  TClassReg& FReg;
};

}  // namespace zorvane
