// The platform's Native API as the add-in sees it: the variant record, the
// interfaces the platform implements (memory manager, connection) and the
// component interfaces the add-in implements. The binary layout is the
// platform's; the static_asserts below pin it for every target we build for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// One UTF-16 unit; on Windows the platform declares it wchar_t, which has
// the same size and bits there, so one declaration serves both systems.
using WCHAR_T = char16_t;
#if defined(_WIN32)
#include <guiddef.h>
#endif

// Interface methods use the platform's default convention, stdcall on 32-bit Windows.
#ifndef ADDIN_API
#if defined(_WIN32) && !defined(_WIN64)
#define ADDIN_API __stdcall
#else
#define ADDIN_API
#endif
#endif

#if defined(_WIN32)
using V8Guid = GUID;
#else
struct V8Guid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
#endif

// Type codes of V8Variant::vt (low 12 bits).
enum V8VarType : uint16_t {
  VTYPE_EMPTY = 0,
  VTYPE_NULL = 1,
  VTYPE_I2 = 2,
  VTYPE_I4 = 3,
  VTYPE_R4 = 4,
  VTYPE_R8 = 5,
  VTYPE_DATE = 6,
  VTYPE_TM = 7,
  VTYPE_PSTR = 8,
  VTYPE_INTERFACE = 9,
  VTYPE_ERROR = 10,
  VTYPE_BOOL = 11,
  VTYPE_VARIANT = 12,
  VTYPE_I1 = 13,
  VTYPE_UI1 = 14,
  VTYPE_UI2 = 15,
  VTYPE_UI4 = 16,
  VTYPE_I8 = 17,
  VTYPE_UI8 = 18,
  VTYPE_INT = 19,
  VTYPE_UINT = 20,
  VTYPE_HRESULT = 21,
  VTYPE_PWSTR = 22,
  VTYPE_BLOB = 23,
  VTYPE_CLSID = 24,
  VTYPE_VECTOR = 0x1000,
  VTYPE_ARRAY = 0x2000,
  VTYPE_BYREF = 0x4000,
  VTYPE_TYPEMASK = 0xFFF,
};

struct V8RecInterface {
  void* pInterfaceVal;
  V8Guid InterfaceID;
};

struct V8RecString {
  char* pstrVal;
  uint32_t strLen;
};

struct V8RecWideString {
  WCHAR_T* pwstrVal;
  uint32_t wstrLen;
};

// The platform's variant record (tVariant in its headers). The union holds the
// C library's struct tm, which is why the record is 64 bytes on glibc and 48 on Windows.
struct V8Variant {
  union {
    int8_t i8Val;
    int16_t shortVal;
    int32_t lVal;
    int intVal;
    unsigned int uintVal;
    int64_t llVal;
    uint8_t ui8Val;
    uint16_t ushortVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t errCode;
    long hRes;
    float fltVal;
    double dblVal;
    bool bVal;
    char chVal;
    wchar_t wchVal;
    double date;
    V8Guid IDVal;
    V8Variant* pvarVal;
    struct tm tmVal;
    V8RecInterface vtRecInterface;
    V8RecString vtRecString;
    V8RecWideString vtRecWideString;
  };
  uint32_t cbElements;
  uint16_t vt;
};
using tVariant = V8Variant;

#if defined(_WIN32)
static_assert(sizeof(V8Variant) == 48, "variant record is 48 bytes on Windows");
static_assert(offsetof(V8Variant, cbElements) == 40, "cbElements at 40 on Windows");
static_assert(offsetof(V8Variant, vt) == 44, "vt at 44 on Windows");
#elif defined(__linux__) && defined(__x86_64__)
static_assert(sizeof(struct tm) == 56, "glibc struct tm is 56 bytes on x86-64");
static_assert(sizeof(V8Variant) == 64, "variant record is 64 bytes on Linux x86-64");
static_assert(offsetof(V8Variant, cbElements) == 56, "cbElements at 56 on Linux x86-64");
static_assert(offsetof(V8Variant, vt) == 60, "vt at 60 on Linux x86-64");
#endif
static_assert(sizeof(V8Variant::vt) == 2, "vt is a 16-bit type code");

// Error codes of IAddInDefBase::AddError.
enum V8AddErrorCode : unsigned short {
  ADDIN_E_NONE = 1000,
  ADDIN_E_ORDINARY = 1001,
  ADDIN_E_ATTENTION = 1002,
  ADDIN_E_IMPORTANT = 1003,
  ADDIN_E_VERY_IMPORTANT = 1004,
  ADDIN_E_INFO = 1005,
  ADDIN_E_FAIL = 1006,
  ADDIN_E_MSGBOX_ATTENTION = 1007,
  ADDIN_E_MSGBOX_INFO = 1008,
  ADDIN_E_MSGBOX_FAIL = 1009,
};

// ---- the destructor slot -----------------------------------------------------
//
// Every interface below starts with a virtual destructor, as in the platform's own
// headers. The Windows platform is built by Microsoft's compiler, which gives a
// virtual destructor one vtable slot (a deleting destructor called with `this` and a
// flags argument); g++ gives it two (complete and deleting), so a DLL built by MinGW
// from plain declarations has every later method one slot off, and the platform's
// Init lands on a destructor. Under MinGW each interface therefore declares, at the
// destructor's position, one virtual placeholder of the deleting destructor's shape
// (thiscall on 32-bit, as a destructor is) and a protected non-virtual destructor.
// A derived interface overrides the placeholder instead of adding a slot, as a
// derived destructor does. Our objects are deleted through their own type, in
// DestroyObject, never through an interface pointer.
//
// The placeholder leaves the object alone and returns the pointer it was given, as
// the deleting destructor does. A caller passing flag 1 ("destroy, then free") takes
// the object to be gone, and flag 0 to be destroyed in place. Doing either here would
// leave the object in the library's record of live objects, and the DestroyObject the
// platform still owes would destroy or free it a second time. Leaving it whole costs
// at most a leak, should the platform ever drop an object this way.
#if defined(__MINGW32__)
#if defined(__i386__)
#define ADDIN_DTOR_CC __attribute__((thiscall))
#else
#define ADDIN_DTOR_CC
#endif
#define ADDIN_INTERFACE_DESTRUCTOR(Interface)                                  \
 public:                                                                       \
  virtual void* ADDIN_DTOR_CC DeletingDestructorSlot(unsigned int /*flags*/) { \
    return this;                                                               \
  }                                                                            \
                                                                               \
 protected:                                                                    \
  ~Interface() = default;                                                      \
                                                                               \
 public:
// A derived interface: the same slot overridden, as a derived destructor overrides.
#define ADDIN_DERIVED_INTERFACE_DESTRUCTOR(Interface)                           \
 public:                                                                        \
  void* ADDIN_DTOR_CC DeletingDestructorSlot(unsigned int /*flags*/) override { \
    return this;                                                                \
  }                                                                             \
                                                                                \
 protected:                                                                     \
  ~Interface() = default;                                                       \
                                                                                \
 public:
#else
#define ADDIN_INTERFACE_DESTRUCTOR(Interface) \
 public:                                      \
  virtual ~Interface() {}
#define ADDIN_DERIVED_INTERFACE_DESTRUCTOR(Interface) ADDIN_INTERFACE_DESTRUCTOR(Interface)
#endif

// ---- implemented by the platform -------------------------------------------

class IMemoryManager {
  ADDIN_INTERFACE_DESTRUCTOR(IMemoryManager)
  virtual bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
  virtual void ADDIN_API FreeMemory(void** pMemory) = 0;
};

class IAddInDefBase {
  ADDIN_INTERFACE_DESTRUCTOR(IAddInDefBase)
  virtual bool ADDIN_API AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                                  long scode) = 0;
  virtual bool ADDIN_API Read(WCHAR_T* wszPropName, V8Variant* pVal, long* pErrCode,
                              WCHAR_T** errDescriptor) = 0;
  virtual bool ADDIN_API Write(WCHAR_T* wszPropName, V8Variant* pVar) = 0;
  virtual bool ADDIN_API RegisterProfileAs(WCHAR_T* wszProfileName) = 0;
  virtual bool ADDIN_API SetEventBufferDepth(long lDepth) = 0;
  virtual long ADDIN_API GetEventBufferDepth() = 0;
  virtual bool ADDIN_API ExternalEvent(WCHAR_T* wszSource, WCHAR_T* wszMessage,
                                       WCHAR_T* wszData) = 0;
  virtual void ADDIN_API CleanEventBuffer() = 0;
  virtual bool ADDIN_API SetStatusLine(WCHAR_T* wszStatusLine) = 0;
  virtual void ADDIN_API ResetStatusLine() = 0;
};

class IInterface;

class IAddInDefBaseEx : public IAddInDefBase {
  ADDIN_DERIVED_INTERFACE_DESTRUCTOR(IAddInDefBaseEx)
  virtual IInterface* ADDIN_API GetInterface(int iface) = 0;
};

// ---- implemented by the add-in ---------------------------------------------

class IInitDoneBase {
  ADDIN_INTERFACE_DESTRUCTOR(IInitDoneBase)
  virtual bool ADDIN_API Init(void* disp) = 0;
  virtual bool ADDIN_API setMemManager(void* mem) = 0;
  virtual long ADDIN_API GetInfo() = 0;
  virtual void ADDIN_API Done() = 0;
};

class ILanguageExtenderBase {
  ADDIN_INTERFACE_DESTRUCTOR(ILanguageExtenderBase)
  virtual bool ADDIN_API RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
  virtual long ADDIN_API GetNProps() = 0;
  virtual long ADDIN_API FindProp(const WCHAR_T* wsPropName) = 0;
  virtual const WCHAR_T* ADDIN_API GetPropName(long lPropNum, long lPropAlias) = 0;
  virtual bool ADDIN_API GetPropVal(const long lPropNum, V8Variant* pvarPropVal) = 0;
  virtual bool ADDIN_API SetPropVal(const long lPropNum, V8Variant* varPropVal) = 0;
  virtual bool ADDIN_API IsPropReadable(const long lPropNum) = 0;
  virtual bool ADDIN_API IsPropWritable(const long lPropNum) = 0;
  virtual long ADDIN_API GetNMethods() = 0;
  virtual long ADDIN_API FindMethod(const WCHAR_T* wsMethodName) = 0;
  virtual const WCHAR_T* ADDIN_API GetMethodName(const long lMethodNum,
                                                 const long lMethodAlias) = 0;
  virtual long ADDIN_API GetNParams(const long lMethodNum) = 0;
  virtual bool ADDIN_API GetParamDefValue(const long lMethodNum, const long lParamNum,
                                          V8Variant* pvarParamDefValue) = 0;
  virtual bool ADDIN_API HasRetVal(const long lMethodNum) = 0;
  virtual bool ADDIN_API CallAsProc(const long lMethodNum, V8Variant* paParams,
                                    const long lSizeArray) = 0;
  virtual bool ADDIN_API CallAsFunc(const long lMethodNum, V8Variant* pvarRetValue,
                                    V8Variant* paParams, const long lSizeArray) = 0;
};

class LocaleBase {
  ADDIN_INTERFACE_DESTRUCTOR(LocaleBase)
  virtual void ADDIN_API SetLocale(const WCHAR_T* loc) = 0;
};

class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {
  ADDIN_DERIVED_INTERFACE_DESTRUCTOR(IComponentBase)
};

#undef ADDIN_INTERFACE_DESTRUCTOR
#undef ADDIN_DERIVED_INTERFACE_DESTRUCTOR
#undef ADDIN_DTOR_CC

// The three functions the platform looks up in the library.
extern "C" {
using GetClassObjectFn = long (*)(const WCHAR_T* wsName, IComponentBase** pIntf);
using DestroyObjectFn = long (*)(IComponentBase** pIntf);
using GetClassNamesFn = const WCHAR_T* (*)();
}
