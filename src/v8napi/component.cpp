#include "v8napi/component.h"

#include <cstring>
#include <mutex>
#include <set>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "platform/user_locale.h"
#include "v8napi/messages.h"
#include "v8napi/trace.h"

namespace zorvane {

namespace {

// Component objects handed out and not yet destroyed, so that DestroyObject
// never deletes a pointer it did not create.
struct LiveObjects {
  std::mutex lock;
  std::set<const IComponentBase*> objects;
};

LiveObjects& Live() {
  static NeverDestroyed<LiveObjects> live;
  return live.get();
}

// Runs body; any exception becomes a report through onError and the given fallback.
template <typename T, typename Body, typename OnError>
T Guarded(T fallback, Body&& body, OnError&& onError) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      onError(e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      onError(msg::kUnknownFailure);
    } catch (...) {
    }
  }
  return fallback;
}

}  // namespace

void LibraryLoad(void (*registerClasses)(TClassRegList&)) {
  UserLocale();  // read once, now
  registerClasses(ClassRegistry());
}

void LibraryUnload() {
  LogUnload();
  ClassRegistry().Clear();
  ResetAndRelease(UserLocale());
}

// ---- component object -------------------------------------------------------

TV8ComponentObject::TV8ComponentObject(std::unique_ptr<TV8UserObject> object, TClassReg& reg)
    : FObject(std::move(object)), FReg(reg) {
  FObject->ClassReg = &reg;
}

TV8ComponentObject::~TV8ComponentObject() = default;

void TV8ComponentObject::Report(const std::string& message, bool traceLine) {
  FObject->ReportError(message);
  if (traceLine) TraceError(message);
}

bool TV8ComponentObject::Init(void* disp) {
  return Guarded(
      false,
      [&] {
        FObject->V8 = static_cast<IAddInDefBase*>(disp);
        return FObject->Init();
      },
      [](const char*) {});
}

bool TV8ComponentObject::setMemManager(void* mem) {
  return Guarded(
      false,
      [&] {
        FObject->V8MM = static_cast<IMemoryManager*>(mem);
        return FObject->SetMemManager();
      },
      [](const char*) {});
}

long TV8ComponentObject::GetInfo() {
  return Guarded(
      0L, [&] { return FObject->GetInfo(); }, [](const char*) {});
}

void TV8ComponentObject::Done() {
  Guarded(
      0,
      [&] {
        FObject->Done();
        return 0;
      },
      [](const char*) {});
}

bool TV8ComponentObject::RegisterExtensionAs(WCHAR_T** wsExtensionName) {
  return Guarded(
      false,
      [&] {
        if (wsExtensionName)
          *wsExtensionName = V8AllocWString(FObject->V8MM, FReg.RegisterExtensionAs);
        return true;
      },
      [](const char*) {});
}

long TV8ComponentObject::GetNProps() {
  return FReg.PropCount();
}

long TV8ComponentObject::FindProp(const WCHAR_T* wsPropName) {
  if (!wsPropName) return -1;
  return Guarded(
      -1L, [&] { return FReg.FindProp(wsPropName); }, [](const char*) {});
}

const WCHAR_T* TV8ComponentObject::GetPropName(long lPropNum, long lPropAlias) {
  return Guarded<const WCHAR_T*>(
      nullptr,
      [&]() -> const WCHAR_T* {
        const TPropReg* p = FReg.Prop(lPropNum);
        if (!p) return nullptr;
        return V8AllocWString(FObject->V8MM, lPropAlias == 0 ? p->PropName : p->PropNameLoc);
      },
      [](const char*) {});
}

bool TV8ComponentObject::AccessProp(long n, V8Variant* value, bool Get) {
  return Guarded(
      false,
      [&] {
        const TPropReg* p = FReg.Prop(n);
        if (!p) throw Error(msg::PropertyIndexOutOfRange(n));
        if (!value) throw Error(msg::NoValueForProperty(ToUtf8(p->PropName)));
        if (!p->PropGetSet) return false;
        return p->PropGetSet(*FObject, p->PropName, value, Get);
      },
      [&](const char* message) { Report(message, false); });
}

bool TV8ComponentObject::GetPropVal(const long lPropNum, V8Variant* pvarPropVal) {
  return AccessProp(lPropNum, pvarPropVal, true);
}

bool TV8ComponentObject::SetPropVal(const long lPropNum, V8Variant* varPropVal) {
  return AccessProp(lPropNum, varPropVal, false);
}

bool TV8ComponentObject::IsPropReadable(const long lPropNum) {
  const TPropReg* p = FReg.Prop(lPropNum);
  return p && p->IsReadable;
}

bool TV8ComponentObject::IsPropWritable(const long lPropNum) {
  const TPropReg* p = FReg.Prop(lPropNum);
  return p && p->IsWritable;
}

long TV8ComponentObject::GetNMethods() {
  return FReg.MethCount();
}

long TV8ComponentObject::FindMethod(const WCHAR_T* wsMethodName) {
  if (!wsMethodName) return -1;
  return Guarded(
      -1L, [&] { return FReg.FindMethod(wsMethodName); }, [](const char*) {});
}

const WCHAR_T* TV8ComponentObject::GetMethodName(const long lMethodNum, const long lMethodAlias) {
  return Guarded<const WCHAR_T*>(
      nullptr,
      [&]() -> const WCHAR_T* {
        const TMethReg* m = FReg.Method(lMethodNum);
        if (!m) return nullptr;
        return V8AllocWString(FObject->V8MM, lMethodAlias == 0 ? m->MethName : m->MethNameLoc);
      },
      [](const char*) {});
}

long TV8ComponentObject::GetNParams(const long lMethodNum) {
  const TMethReg* m = FReg.Method(lMethodNum);
  return m ? m->ParamCount : 0;
}

bool TV8ComponentObject::GetParamDefValue(const long lMethodNum, const long lParamNum,
                                          V8Variant* pvarParamDefValue) {
  const TMethReg* m = FReg.Method(lMethodNum);
  if (!m || !pvarParamDefValue) return false;
  const V8Variant* value = m->DefParams.Find(static_cast<int32_t>(lParamNum));
  if (!value) return false;
  std::memcpy(static_cast<void*>(pvarParamDefValue), value, sizeof(V8Variant));
  return true;
}

bool TV8ComponentObject::HasRetVal(const long lMethodNum) {
  const TMethReg* m = FReg.Method(lMethodNum);
  return m && m->IsFunction;
}

bool TV8ComponentObject::CallMethod(long n, V8Variant* RetValue, V8Variant* Params, long ParamCount,
                                    bool asFunc) {
  // A procedure-style call of a function gets a scratch return value, freed afterwards.
  V8Variant scratch{};
  std::memset(static_cast<void*>(&scratch), 0, sizeof scratch);
  struct ScratchGuard {
    TV8UserObject& object;
    V8Variant& value;
    ~ScratchGuard() { object.V8ClearVar(&value); }
  } scratchGuard{*FObject, scratch};

  const TMethReg* m = nullptr;
  V8Variant* ret = asFunc && RetValue ? RetValue : &scratch;
  bool ran = false;  // the method returned its answer
  const bool answer = Guarded(
      false,
      [&] {
        m = FReg.Method(n);
        if (!m) throw Error(msg::MethodIndexOutOfRange(n));
        if (ParamCount < 0 || (ParamCount > 0 && !Params)) {
          throw Error(msg::MethodWithoutParameters(m->MethNameUtf8));
        }
        // Handlers read their parameters by position: fewer than declared would be read past the
        // array.
        if (ParamCount < m->ParamCount) {
          throw Error(msg::TooFewParameters(m->MethNameUtf8, m->ParamCount, ParamCount));
        }
        TraceCallIn(m->MethNameUtf8, Params, ParamCount);
        bool result = false;
        if (m->IsFunction && m->ExecuteFunc) {
          result = m->ExecuteFunc(*FObject, ret, Params, ParamCount);
        } else if (!m->IsFunction && m->ExecuteProc) {
          result = m->ExecuteProc(*FObject, Params, ParamCount);
        }
        ran = true;
        return result;
      },
      [&](const char* message) { Report(message, true); });
  // After the guard: the line after the call can neither fail it nor touch what it gave back.
  if (ran) TraceCallOut(m->MethNameUtf8, Params, ParamCount, asFunc ? ret : nullptr);
  return answer;
}

bool TV8ComponentObject::CallAsProc(const long lMethodNum, V8Variant* paParams,
                                    const long lSizeArray) {
  return CallMethod(lMethodNum, nullptr, paParams, lSizeArray, false);
}

bool TV8ComponentObject::CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue,
                                    V8Variant* paParams, const long lSizeArray) {
  return CallMethod(lMethodNum, pvarRetValue, paParams, lSizeArray, true);
}

void TV8ComponentObject::SetLocale(const WCHAR_T* loc) {
  Guarded(
      0,
      [&] {
        FObject->locale = loc ? std::u16string(loc) : std::u16string();
        FObject->SetLocale();
        return 0;
      },
      [](const char*) {});
}

}  // namespace zorvane

// ---- exported entry points --------------------------------------------------

using namespace zorvane;

extern "C" long GetClassObject(const WCHAR_T* wsName, IComponentBase** pIntf) {
  if (!wsName || !pIntf) return 0;
  try {
    TClassReg* reg = ClassRegistry().Find(wsName);
    if (!reg || !reg->UserClass) return 0;
    std::unique_ptr<TV8UserObject> object = reg->UserClass();
    if (!object) return 0;
    auto component = std::make_unique<TV8ComponentObject>(std::move(object), *reg);
    {
      std::lock_guard<std::mutex> guard(Live().lock);
      Live().objects.insert(component.get());
    }
    *pIntf = component.release();
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" long DestroyObject(IComponentBase** pIntf) {
  if (!pIntf || !*pIntf) return 0;
  try {
    {
      std::lock_guard<std::mutex> guard(Live().lock);
      if (Live().objects.erase(*pIntf) == 0) return 0;
    }
    delete static_cast<TV8ComponentObject*>(*pIntf);
  } catch (...) {
    // The record is gone either way; nothing may reach the platform.
  }
  return 0;
}

extern "C" const WCHAR_T* GetClassNames() {
  return ClassRegistry().ClassNames().c_str();
}
