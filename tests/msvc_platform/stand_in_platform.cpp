// A stand-in for the Windows platform, which Microsoft's compiler builds: it loads
// an add-in DLL through its three exports and calls every interface method the way
// the platform does, with our native_api.h laid out by the Microsoft C++ ABI (one
// vtable slot per virtual destructor; on 32-bit, stdcall methods and thiscall
// destructors). A DLL whose interfaces sit one slot off, or whose methods use
// another convention, fails here as it would fail in the platform.
//
// Built by clang for the *-pc-windows-msvc targets (build.sh), freestanding: no C
// runtime, no exceptions, no RTTI; kernel32 and shell32 only.
//   stand_in_platform.exe ADDIN.dll
// One line per check; the exit code is 0 only when every check passed.
#include "v8napi/native_api.h"

// ---- the few system functions used (no Windows SDK in this build) -----------

extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryW(const wchar_t* fileName);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
__declspec(dllimport) unsigned long __stdcall GetLastError();
__declspec(dllimport) void* __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, unsigned long flags, size_t bytes);
__declspec(dllimport) int __stdcall HeapFree(void* heap, unsigned long flags, void* block);
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long bytes,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) wchar_t* __stdcall GetCommandLineW();
__declspec(dllimport) wchar_t** __stdcall CommandLineToArgvW(const wchar_t* commandLine,
                                                             int* count);
}

// ---- what the C and C++ runtimes would otherwise provide ---------------------

extern "C" {
int _fltused = 0;

void* __cdecl memset(void* target, int value, size_t bytes) {
  auto* out = static_cast<unsigned char*>(target);
  while (bytes--) *out++ = static_cast<unsigned char>(value);
  return target;
}

int __cdecl memcmp(const void* a, const void* b, size_t bytes) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (; bytes; --bytes, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void* __cdecl memcpy(void* target, const void* source, size_t bytes) {
  auto* out = static_cast<unsigned char*>(target);
  const auto* in = static_cast<const unsigned char*>(source);
  while (bytes--) *out++ = *in++;
  return target;
}

int __cdecl _purecall() {
  ExitProcess(3);
  return 0;
}
}

// The deleting destructors of our own interface objects name these; nothing here
// deletes an object.
void operator delete(void*) noexcept {}
void operator delete(void*, size_t) noexcept {}

namespace {

// ---- output -----------------------------------------------------------------

void Write(const char* text, size_t bytes) {
  unsigned long written = 0;
  WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(bytes),
            &written, nullptr);
}

size_t Length(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

const WCHAR_T* W(const char16_t* text) {
  return reinterpret_cast<const WCHAR_T*>(text);
}

size_t WLen(const WCHAR_T* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

bool WEqual(const WCHAR_T* a, const WCHAR_T* b) {
  if (!a || !b) return a == b;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// One line of output, built in a fixed buffer (long text is cut).
class Line {
 public:
  Line& operator<<(const char* text) {
    while (text && *text) Put(*text++);
    return *this;
  }
  Line& operator<<(long value) {
    if (value < 0) {
      Put('-');
      return *this << static_cast<unsigned long>(0 - static_cast<unsigned long>(value));
    }
    return *this << static_cast<unsigned long>(value);
  }
  Line& operator<<(const Line& other) {
    for (size_t i = 0; i < other.FSize; ++i) Put(other.FText[i]);
    return *this;
  }
  Line& operator<<(int value) { return *this << static_cast<long>(value); }
  Line& operator<<(unsigned int value) { return *this << static_cast<unsigned long>(value); }
  Line& operator<<(unsigned long value) {
    char digits[12];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value);
    while (n) Put(digits[--n]);
    return *this;
  }
  Line& Hex(uintptr_t value) {
    *this << "0x";
    for (int shift = static_cast<int>(sizeof value * 8) - 4; shift >= 0; shift -= 4) {
      Put("0123456789abcdef"[(value >> shift) & 0xF]);
    }
    return *this;
  }
  // UTF-16 text, written as UTF-8 in «quotes»; (null) for a null pointer.
  Line& Text(const WCHAR_T* text) {
    if (!text) return *this << "(null)";
    *this << "\xC2\xAB";
    for (size_t i = 0; text[i]; ++i) {
      unsigned long c = static_cast<uint16_t>(text[i]);
      if (c >= 0xD800 && c < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
      }
      if (c < 0x80) {
        Put(static_cast<char>(c));
      } else if (c < 0x800) {
        Put(static_cast<char>(0xC0 | (c >> 6)));
        Put(static_cast<char>(0x80 | (c & 0x3F)));
      } else if (c < 0x10000) {
        Put(static_cast<char>(0xE0 | (c >> 12)));
        Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Put(static_cast<char>(0x80 | (c & 0x3F)));
      } else {
        Put(static_cast<char>(0xF0 | (c >> 18)));
        Put(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        Put(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    return *this << "\xC2\xBB";
  }
  void Print(const char* prefix) const {
    Write(prefix, Length(prefix));
    Write(FText, FSize);
    Write("\n", 1);
  }

 private:
  void Put(char c) {
    if (FSize < sizeof FText - 1) FText[FSize++] = c;
  }
  char FText[400];
  size_t FSize = 0;
};

int gPassed = 0;
int gFailed = 0;

bool Check(bool ok, const Line& what) {
  what.Print(ok ? "ok    " : "FAIL  ");
  ++(ok ? gPassed : gFailed);
  return ok;
}

void Note(const Line& what) {
  what.Print("      ");
}

[[noreturn]] void Finish() {
  (Line() << gPassed << " passed, " << gFailed << " failed").Print(gFailed ? "FAIL  " : "PASS  ");
  ExitProcess(gFailed ? 1 : 0);
  for (;;) {
  }
}

// ---- the stack pointer around every call into the add-in ----------------------
// On 32-bit the callee pops its own arguments (stdcall methods, thiscall
// destructors), except for the cdecl exports. A callee of another convention
// leaves the stack pointer off, which the optimised caller does not survive:
// every call is made between two readings of it.

#if defined(__i386__)
#define READ_SP(var) asm volatile("movl %%esp, %0" : "=r"(var) : : "memory")
#else
#define READ_SP(var) asm volatile("movq %%rsp, %0" : "=r"(var) : : "memory")
#endif

[[noreturn]] void StackFault(const char* call, uintptr_t before, uintptr_t after) {
  Check(false,
        Line() << "stack pointer " << (after > before ? "raised" : "lowered") << " by "
               << static_cast<unsigned long>(after > before ? after - before : before - after)
               << " bytes in " << call << " (a callee of another calling convention)");
  Finish();
}

// The reading before the call is kept at a fixed address: a slot relative to the
// stack pointer would itself move with it.
uintptr_t gSpBefore = 0;

#define CALL(...)                                    \
  do {                                               \
    uintptr_t spAfter_;                              \
    READ_SP(gSpBefore);                              \
    __VA_ARGS__;                                     \
    READ_SP(spAfter_);                               \
    if (spAfter_ != gSpBefore) {                     \
      StackFault(#__VA_ARGS__, gSpBefore, spAfter_); \
    }                                                \
  } while (0)

// Hides where a pointer came from, so that the compiler cannot carry what it knows
// of one object across a call it takes for the end of another.
template <typename T>
T* Opaque(T* p) {
  asm volatile("" : "+r"(p));
  return p;
}

// ---- the platform's memory manager ---------------------------------------------
// Accounts for every block: who allocated it (the add-in, or the platform for the
// values it passes), whether it is still live. Blocks go back to the heap only at
// the end, so an address is never handed out twice and a second free of it is
// recognised. Each block has a guard tail, checked when it is freed.

enum class Party { AddIn, Platform };

const char* Name(Party party) {
  return party == Party::AddIn ? "the add-in" : "the platform";
}

struct BlockRecord {
  unsigned char* data;
  unsigned long bytes;
  bool live;
  Party allocatedBy;
};

constexpr int kMaxBlocks = 4096;
constexpr unsigned long kGuardBytes = 16;
constexpr unsigned char kGuardByte = 0xFD;
BlockRecord gBlocks[kMaxBlocks];
int gBlockCount = 0;

class PlatformMemory final : public IMemoryManager {
 public:
  bool ADDIN_API AllocMemory(void** block, unsigned long bytes) override {
    if (!block) {
      Check(false, Line() << "AllocMemory called without a place for the block");
      return false;
    }
    *block = Allocate(bytes, Party::AddIn);
    return *block != nullptr;
  }

  void ADDIN_API FreeMemory(void** block) override {
    if (!block) {
      Check(false, Line() << "FreeMemory called without a block");
      return;
    }
    if (*block) Release(*block, Party::AddIn);
    *block = nullptr;
  }

  void* Allocate(unsigned long bytes, Party by) {
    if (gBlockCount == kMaxBlocks) {
      Check(false, Line() << "more than " << kMaxBlocks << " blocks allocated");
      return nullptr;
    }
    auto* data = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, bytes + kGuardBytes));
    if (!data) return nullptr;
    for (unsigned long i = 0; i < bytes; ++i) data[i] = 0xCD;  // not zero: nothing to rely on
    for (unsigned long i = 0; i < kGuardBytes; ++i) data[bytes + i] = kGuardByte;
    gBlocks[gBlockCount++] = {data, bytes, true, by};
    if (by == Party::AddIn) ++FAllocatedByAddIn;
    return data;
  }

  // Frees a block as `by` does; every misuse is a failed check.
  void Release(void* block, Party by) {
    BlockRecord* record = Find(block);
    if (!record) {
      Check(false, Line() << Name(by) << " freed a block the memory manager never gave out ("
                          << Line().Hex(reinterpret_cast<uintptr_t>(block)) << ")");
      return;
    }
    if (!record->live) {
      Check(false,
            Line() << Name(by) << " freed a block of " << record->bytes << " bytes a second time");
      return;
    }
    CheckGuard(*record);
    record->live = false;
  }

  // A block the add-in allocated and has not freed: what the platform receives
  // back from it and frees itself.
  bool IsLiveFromAddIn(const void* block) const {
    const BlockRecord* record = Find(block);
    return record && record->live && record->allocatedBy == Party::AddIn;
  }

  int AllocatedByAddIn() const { return FAllocatedByAddIn; }

  // Blocks nobody freed; each is a failed check.
  int CheckAllFreed() const {
    int leaks = 0;
    for (int i = 0; i < gBlockCount; ++i) {
      if (!gBlocks[i].live) continue;
      ++leaks;
      Check(false, Line() << "a block of " << gBlocks[i].bytes << " bytes allocated by "
                          << Name(gBlocks[i].allocatedBy) << " was never freed");
    }
    return leaks;
  }

  void ReturnAllToHeap() {
    for (int i = 0; i < gBlockCount; ++i) HeapFree(GetProcessHeap(), 0, gBlocks[i].data);
    gBlockCount = 0;
  }

 private:
  static BlockRecord* Find(const void* block) {
    for (int i = 0; i < gBlockCount; ++i) {
      if (gBlocks[i].data == block) return &gBlocks[i];
    }
    return nullptr;
  }

  static void CheckGuard(const BlockRecord& record) {
    for (unsigned long i = 0; i < kGuardBytes; ++i) {
      if (record.data[record.bytes + i] != kGuardByte) {
        Check(false, Line() << "something wrote past the end of a block of " << record.bytes
                            << " bytes allocated by " << Name(record.allocatedBy));
        return;
      }
    }
  }

  int FAllocatedByAddIn = 0;
};

// ---- the platform's connection ---------------------------------------------------

class PlatformConnection final : public IAddInDefBaseEx {
 public:
  int Errors = 0;
  unsigned short LastCode = 0;
  int OtherCalls = 0;

  bool ADDIN_API AddError(unsigned short code, const WCHAR_T* source, const WCHAR_T* description,
                          long scode) override {
    ++Errors;
    LastCode = code;
    Note(Line() << "AddError(" << static_cast<unsigned int>(code) << ", " << Line().Text(source)
                << ", " << Line().Text(description) << ", " << scode << ")");
    return true;
  }
  bool ADDIN_API Read(WCHAR_T*, V8Variant*, long*, WCHAR_T**) override { return Other(); }
  bool ADDIN_API Write(WCHAR_T*, V8Variant*) override { return Other(); }
  bool ADDIN_API RegisterProfileAs(WCHAR_T*) override { return Other(); }
  bool ADDIN_API SetEventBufferDepth(long) override { return Other(); }
  long ADDIN_API GetEventBufferDepth() override { return Other(); }
  bool ADDIN_API ExternalEvent(WCHAR_T*, WCHAR_T*, WCHAR_T*) override { return Other(); }
  void ADDIN_API CleanEventBuffer() override { Other(); }
  bool ADDIN_API SetStatusLine(WCHAR_T*) override { return Other(); }
  void ADDIN_API ResetStatusLine() override { Other(); }
  IInterface* ADDIN_API GetInterface(int) override {
    Other();
    return nullptr;
  }

 private:
  bool Other() {
    ++OtherCalls;
    return false;
  }
};

// ---- values ------------------------------------------------------------------------

V8Variant Empty() {
  V8Variant v;
  memset(&v, 0, sizeof v);
  return v;
}

// A text value the platform passes, in a block of its own memory manager (the
// add-in may free it when it writes a parameter).
V8Variant PlatformText(PlatformMemory& memory, const char16_t* text) {
  V8Variant v = Empty();
  const size_t length = WLen(W(text));
  auto* block = static_cast<WCHAR_T*>(
      memory.Allocate(static_cast<unsigned long>((length + 1) * sizeof(WCHAR_T)), Party::Platform));
  memcpy(block, text, (length + 1) * sizeof(WCHAR_T));
  v.vtRecWideString.pwstrVal = block;
  v.vtRecWideString.wstrLen = static_cast<uint32_t>(length);
  v.vt = VTYPE_PWSTR;
  return v;
}

bool HoldsBlock(const V8Variant& v) {
  const uint16_t type = v.vt & VTYPE_TYPEMASK;
  return (type == VTYPE_PWSTR || type == VTYPE_PSTR || type == VTYPE_BLOB) &&
         v.vtRecString.pstrVal != nullptr;
}

// What the platform does with a value once it has read it: frees the block it holds.
void Release(PlatformMemory& memory, V8Variant& v) {
  if (HoldsBlock(v)) memory.Release(v.vtRecString.pstrVal, Party::Platform);
  v = Empty();
}

// A string the add-in hands back (a name), freed by the platform once read.
void Release(PlatformMemory& memory, const WCHAR_T* text) {
  if (text) memory.Release(const_cast<WCHAR_T*>(text), Party::Platform);
}

Line& Describe(Line& line, const V8Variant& v) {
  switch (v.vt & VTYPE_TYPEMASK) {
    case VTYPE_EMPTY:
      return line << "empty";
    case VTYPE_BOOL:
      return line << (v.bVal ? "true" : "false");
    case VTYPE_I4:
      return line << static_cast<long>(v.lVal);
    case VTYPE_PWSTR:
      return v.vtRecWideString.pwstrVal ? line.Text(v.vtRecWideString.pwstrVal) : line << "«»";
    default:
      return line << "a value of type " << static_cast<unsigned int>(v.vt);
  }
}

bool IsText(const V8Variant& v, const char16_t* expected) {
  return (v.vt & VTYPE_TYPEMASK) == VTYPE_PWSTR && v.vtRecWideString.pwstrVal &&
         WEqual(v.vtRecWideString.pwstrVal, W(expected)) &&
         v.vtRecWideString.wstrLen == WLen(W(expected));
}

// ---- the component ---------------------------------------------------------------

struct Library {
  GetClassObjectFn getClassObject;
  DestroyObjectFn destroyObject;
  GetClassNamesFn getClassNames;
};

// The driver's camera address property and the methods that need no camera.
constexpr const char16_t* kHostName = u"Host";
constexpr const char16_t* kHostNameLoc = u"Адрес";
constexpr const char16_t* kVersionMethod = u"GetVersion";
constexpr const char16_t* kDescriptionMethod = u"GetDescription";
constexpr const char16_t* kSetParameterMethod = u"SetParameter";

void CheckNames(PlatformMemory& memory, ILanguageExtenderBase* lang) {
  long props = 0;
  CALL(props = lang->GetNProps());
  Check(props > 0, Line() << "GetNProps: " << props);
  for (long n = 0; n < props; ++n) {
    const WCHAR_T* name = nullptr;
    const WCHAR_T* nameLoc = nullptr;
    long found = -2, foundLoc = -2;
    bool readable = false, writable = false;
    CALL(name = lang->GetPropName(n, 0));
    CALL(nameLoc = lang->GetPropName(n, 1));
    if (name) CALL(found = lang->FindProp(name));
    if (nameLoc) CALL(foundLoc = lang->FindProp(nameLoc));
    CALL(readable = lang->IsPropReadable(n));
    CALL(writable = lang->IsPropWritable(n));
    Check(memory.IsLiveFromAddIn(name) && memory.IsLiveFromAddIn(nameLoc) && found == n &&
              foundLoc == n,
          Line() << "property " << n << " " << Line().Text(name) << " / " << Line().Text(nameLoc)
                 << (readable ? ", readable" : "") << (writable ? ", writable" : "")
                 << ": names in blocks of the memory manager, FindProp gives " << found << " / "
                 << foundLoc);
    Release(memory, name);
    Release(memory, nameLoc);
  }
  long missing = -2;
  CALL(missing = lang->FindProp(W(u"NoSuchProperty")));
  Check(missing == -1, Line() << "FindProp of an unknown name: " << missing);

  long methods = 0;
  CALL(methods = lang->GetNMethods());
  Check(methods > 0, Line() << "GetNMethods: " << methods);
  for (long n = 0; n < methods; ++n) {
    const WCHAR_T* name = nullptr;
    const WCHAR_T* nameLoc = nullptr;
    long found = -2, foundLoc = -2, params = -1;
    bool function = false;
    CALL(name = lang->GetMethodName(n, 0));
    CALL(nameLoc = lang->GetMethodName(n, 1));
    if (name) CALL(found = lang->FindMethod(name));
    if (nameLoc) CALL(foundLoc = lang->FindMethod(nameLoc));
    CALL(params = lang->GetNParams(n));
    CALL(function = lang->HasRetVal(n));
    int defaults = 0;
    for (long p = 0; p < params; ++p) {
      V8Variant value = Empty();
      bool has = false;
      CALL(has = lang->GetParamDefValue(n, p, &value));
      if (has) ++defaults;
      Release(memory, value);
    }
    Check(memory.IsLiveFromAddIn(name) && memory.IsLiveFromAddIn(nameLoc) && found == n &&
              foundLoc == n && params >= 0,
          Line() << "method " << n << " " << Line().Text(name) << " / " << Line().Text(nameLoc)
                 << ": " << params << " parameter(s), " << defaults << " default(s)"
                 << (function ? ", returns a value" : "") << ", FindMethod gives " << found << " / "
                 << foundLoc);
    Release(memory, name);
    Release(memory, nameLoc);
  }
  CALL(missing = lang->FindMethod(W(u"NoSuchMethod")));
  Check(missing == -1, Line() << "FindMethod of an unknown name: " << missing);
}

void CheckProperties(PlatformMemory& memory, PlatformConnection& connection,
                     ILanguageExtenderBase* lang) {
  long props = 0;
  CALL(props = lang->GetNProps());
  for (long n = 0; n < props; ++n) {
    bool readable = false;
    CALL(readable = lang->IsPropReadable(n));
    if (!readable) continue;
    V8Variant value = Empty();
    bool got = false;
    CALL(got = lang->GetPropVal(n, &value));
    Line line;
    line << "GetPropVal(" << n << "): ";
    Check(got && (!HoldsBlock(value) || memory.IsLiveFromAddIn(value.vtRecString.pstrVal)),
          Describe(line, value));
    Release(memory, value);
  }

  long host = -2, hostLoc = -2;
  CALL(host = lang->FindProp(W(kHostName)));
  CALL(hostLoc = lang->FindProp(W(kHostNameLoc)));
  if (!Check(host >= 0 && hostLoc == host,
             Line() << "the address property " << Line().Text(W(kHostName)) << " / "
                    << Line().Text(W(kHostNameLoc)) << " is " << host << " / " << hostLoc)) {
    return;
  }
  bool writable = false;
  CALL(writable = lang->IsPropWritable(host));
  Check(writable, Line() << "the address property is writable");

  V8Variant value = PlatformText(memory, u"192.0.2.10");
  const V8Variant passed = value;
  bool set = false;
  CALL(set = lang->SetPropVal(host, &value));
  Check(set && memcmp(&value, &passed, sizeof value) == 0,
        Line() << "SetPropVal(" << host << ", «192.0.2.10»), the value left as passed");
  Release(memory, value);  // the platform's own value, the platform's to free
  bool got = false;
  CALL(got = lang->GetPropVal(host, &value));
  Line line;
  line << "GetPropVal(" << host << ") reads back ";
  Check(got && IsText(value, u"192.0.2.10"), Describe(line, value));
  Release(memory, value);

  // A number for a text property: refused, with the reason through AddError.
  value.vt = VTYPE_I4;
  value.lVal = 42;
  const int errorsBefore = connection.Errors;
  CALL(set = lang->SetPropVal(host, &value));
  Check(!set && connection.Errors == errorsBefore + 1,
        Line() << "SetPropVal(" << host << ", 42) fails (" << (set ? "true" : "false") << ") with "
               << connection.Errors - errorsBefore << " AddError, code " << connection.LastCode);
  Release(memory, value);
}

long FindMethod(ILanguageExtenderBase* lang, const char16_t* name) {
  long n = -2;
  CALL(n = lang->FindMethod(W(name)));
  Check(n >= 0, Line() << "FindMethod(" << Line().Text(W(name)) << "): " << n);
  return n;
}

void CheckMethods(PlatformMemory& memory, PlatformConnection& connection,
                  ILanguageExtenderBase* lang) {
  bool ok = false;
  const long version = FindMethod(lang, kVersionMethod);
  if (version >= 0) {
    V8Variant result = Empty();
    CALL(ok = lang->CallAsFunc(version, &result, nullptr, 0));
    Line line;
    line << "CallAsFunc(" << Line().Text(W(kVersionMethod)) << ") returns ";
    Check(ok && (result.vt & VTYPE_TYPEMASK) == VTYPE_PWSTR &&
              memory.IsLiveFromAddIn(result.vtRecWideString.pwstrVal) &&
              result.vtRecWideString.wstrLen > 0 &&
              result.vtRecWideString.wstrLen == WLen(result.vtRecWideString.pwstrVal),
          Describe(line, result));
    Release(memory, result);
  }

  // Seven values written into the parameters: each replaces what the platform passed.
  const long description = FindMethod(lang, kDescriptionMethod);
  if (description >= 0) {
    V8Variant result = Empty();
    V8Variant params[7];
    for (V8Variant& p : params) p = Empty();
    params[0] = PlatformText(memory, u"replaced by the add-in");
    CALL(ok = lang->CallAsFunc(description, &result, params, 7));
    int texts = 0;
    for (const V8Variant& p : params) {
      if ((p.vt & VTYPE_TYPEMASK) == VTYPE_PWSTR && memory.IsLiveFromAddIn(p.vtRecString.pstrVal))
        ++texts;
    }
    Line line;
    line << "CallAsFunc(" << Line().Text(W(kDescriptionMethod)) << ", 7 parameters) returns ";
    Describe(line, result) << ", " << texts << " texts written, the first ";
    Check(ok && texts > 0, Describe(line, params[0]));
    Release(memory, result);
    for (V8Variant& p : params) Release(memory, p);
  }

  // A procedure call with its effect read back through the property.
  const long setParameter = FindMethod(lang, kSetParameterMethod);
  long host = -2;
  CALL(host = lang->FindProp(W(kHostName)));
  if (setParameter >= 0 && host >= 0) {
    V8Variant params[2] = {PlatformText(memory, kHostName), PlatformText(memory, u"192.0.2.11")};
    CALL(ok = lang->CallAsProc(setParameter, params, 2));
    for (V8Variant& p : params) Release(memory, p);
    V8Variant value = Empty();
    bool got = false;
    CALL(got = lang->GetPropVal(host, &value));
    Line line;
    line << "CallAsProc(" << Line().Text(W(kSetParameterMethod)) << ", «Host», «192.0.2.11») "
         << (ok ? "true" : "false") << ", the property reads ";
    Check(ok && got && IsText(value, u"192.0.2.11"), Describe(line, value));
    Release(memory, value);
  }

  // A method number past the end: refused, with the reason through AddError.
  long methods = 0;
  CALL(methods = lang->GetNMethods());
  V8Variant result = Empty();
  const int errorsBefore = connection.Errors;
  CALL(ok = lang->CallAsFunc(methods, &result, nullptr, 0));
  Check(!ok && connection.Errors == errorsBefore + 1,
        Line() << "CallAsFunc(" << methods << ") past the last method fails ("
               << (ok ? "true" : "false") << ") with " << connection.Errors - errorsBefore
               << " AddError, code " << connection.LastCode);
  Release(memory, result);
}

// The destructor slot, called as Microsoft's compiler calls a virtual destructor:
// flags 0 for an explicit destructor call, 1 for delete. The add-in's objects are
// destroyed only through DestroyObject, so the object must come through whole.
void CheckDestructorSlots(IComponentBase* object) {
  IInitDoneBase* init = object;
  ILanguageExtenderBase* lang = object;
  LocaleBase* locale = object;
  IInitDoneBase* initCopy = Opaque(init);
  ILanguageExtenderBase* langCopy = Opaque(lang);
  LocaleBase* localeCopy = Opaque(locale);
  CALL(initCopy->~IInitDoneBase());
  CALL(langCopy->~ILanguageExtenderBase());
  CALL(localeCopy->~LocaleBase());
  CALL(delete Opaque(init));
  CALL(delete Opaque(lang));
  CALL(delete Opaque(locale));
  CALL(delete Opaque(object));
  long info = 0, props = 0;
  CALL(info = init->GetInfo());
  CALL(props = lang->GetNProps());
  CALL(locale->SetLocale(W(u"ru_RU")));
  Check(info == 2000 && props > 0,
        Line() << "destructor slot of each interface called with flags 0 and 1: the object "
                  "still answers (GetInfo "
               << info << ", GetNProps " << props << ")");
}

void CheckClass(const Library& library, PlatformMemory& memory, const WCHAR_T* className) {
  PlatformConnection connection;
  IComponentBase* object = nullptr;
  long created = 0;
  CALL(created = library.getClassObject(className, &object));
  if (!Check(created != 0 && object,
             Line() << "GetClassObject(" << Line().Text(className) << "): " << created)) {
    return;
  }
  IInitDoneBase* init = object;
  ILanguageExtenderBase* lang = object;
  LocaleBase* locale = object;
  Note(Line() << "interfaces at +"
              << static_cast<unsigned long>(reinterpret_cast<uintptr_t>(lang) -
                                            reinterpret_cast<uintptr_t>(init))
              << " and +"
              << static_cast<unsigned long>(reinterpret_cast<uintptr_t>(locale) -
                                            reinterpret_cast<uintptr_t>(init)));

  bool ok = false;
  CALL(ok = init->setMemManager(static_cast<IMemoryManager*>(&memory)));
  Check(ok, Line() << "setMemManager");
  CALL(ok = init->Init(static_cast<IAddInDefBaseEx*>(&connection)));
  Check(ok, Line() << "Init");
  long info = 0;
  CALL(info = init->GetInfo());
  Check(info == 2000, Line() << "GetInfo: " << info);

  WCHAR_T* extension = nullptr;
  CALL(ok = lang->RegisterExtensionAs(&extension));
  Check(ok && extension && WLen(extension) > 0 && memory.IsLiveFromAddIn(extension),
        Line() << "RegisterExtensionAs: " << Line().Text(extension)
               << " in a block of the memory manager");
  Release(memory, extension);

  CALL(locale->SetLocale(W(u"ru_RU")));
  Check(true, Line() << "SetLocale(«ru_RU») returned");

  CheckNames(memory, lang);
  CheckProperties(memory, connection, lang);
  CheckMethods(memory, connection, lang);
  CheckDestructorSlots(object);

  CALL(init->Done());
  Check(true, Line() << "Done returned");
  long destroyed = 0;
  CALL(destroyed = library.destroyObject(&object));
  Check(true, Line() << "DestroyObject returned " << destroyed);
  Note(Line() << "connection: " << connection.Errors << " AddError, " << connection.OtherCalls
              << " other call(s)");
}

void Run(const wchar_t* path) {
  PlatformMemory memory;

  void* module = LoadLibraryW(path);
  if (!module) {
    Check(false, Line() << "LoadLibraryW: error " << GetLastError());
    return;
  }
  Check(true, Line() << "LoadLibraryW");
  Library library{
      reinterpret_cast<GetClassObjectFn>(GetProcAddress(module, "GetClassObject")),
      reinterpret_cast<DestroyObjectFn>(GetProcAddress(module, "DestroyObject")),
      reinterpret_cast<GetClassNamesFn>(GetProcAddress(module, "GetClassNames")),
  };
  if (!Check(library.getClassObject && library.destroyObject && library.getClassNames,
             Line() << "exports GetClassObject, DestroyObject, GetClassNames found")) {
    return;
  }

  const WCHAR_T* names = nullptr;
  CALL(names = library.getClassNames());
  if (!Check(names && *names, Line() << "GetClassNames: " << Line().Text(names))) return;

  IComponentBase* object = nullptr;
  long created = -1;
  CALL(created = library.getClassObject(W(u"NoSuchClass"), &object));
  Check(created == 0 && !object, Line() << "GetClassObject of an unknown class: " << created);

  // Class names are separated by '|'.
  WCHAR_T name[128];
  size_t length = 0;
  for (const WCHAR_T* p = names;; ++p) {
    if (*p && *p != u'|') {
      if (length < sizeof name / sizeof name[0] - 1) name[length++] = *p;
      continue;
    }
    name[length] = 0;
    CheckClass(library, memory, name);
    length = 0;
    if (!*p) break;
  }

  Check(memory.CheckAllFreed() == 0,
        Line() << memory.AllocatedByAddIn()
               << " block(s) allocated by the add-in, each freed by it or by the platform");
  const int freed = FreeLibrary(module);
  Check(freed != 0, Line() << "FreeLibrary");
  memory.ReturnAllToHeap();
}

}  // namespace

extern "C" int PlatformStart() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count != 2) {
    const char usage[] = "usage: stand_in_platform ADDIN.dll\n";
    Write(usage, sizeof usage - 1);
    ExitProcess(2);
  }
  Note(Line() << (sizeof(void*) == 8 ? "64-bit" : "32-bit") << " platform, Microsoft C++ ABI, "
              << Line().Text(reinterpret_cast<const WCHAR_T*>(args[1])));
  Run(args[1]);
  Finish();
}
