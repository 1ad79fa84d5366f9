// The host side of the platform's Native API, as the command-line program
// plays it: a memory manager that accounts for every block, a connection that
// records every AddError, and the loaded add-in library.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/library_binding.h"
#include "v8napi/native_api.h"

namespace zorvane::host {

class HostMemoryManager final : public IMemoryManager {
 public:
  ~HostMemoryManager();  // virtual only where the interfaces' destructors are
  bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) override;
  void ADDIN_API FreeMemory(void** pMemory) override;

  size_t LiveBlocks() const { return FLive.size(); }
  size_t LiveBytes() const;
  const std::vector<std::string>& Faults() const { return FFaults; }
  // Fails the next allocations (for tests of refused memory).
  void RefuseAllocations(bool refuse) { FRefuse = refuse; }

 private:
  std::map<void*, size_t> FLive;
  std::set<void*> FFreed;  // freed and not handed out again
  std::vector<std::string> FFaults;
  bool FRefuse = false;
};

struct AddErrorRecord {
  unsigned short code;
  std::string source;
  std::string description;
  long scode;
};

class HostConnection final : public IAddInDefBaseEx {
 public:
  std::function<void(const AddErrorRecord&)> OnError;
  std::vector<AddErrorRecord> Errors;

  bool ADDIN_API AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                          long scode) override;
  bool ADDIN_API Read(WCHAR_T*, V8Variant*, long*, WCHAR_T**) override { return false; }
  bool ADDIN_API Write(WCHAR_T*, V8Variant*) override { return false; }
  bool ADDIN_API RegisterProfileAs(WCHAR_T*) override { return false; }
  bool ADDIN_API SetEventBufferDepth(long) override { return false; }
  long ADDIN_API GetEventBufferDepth() override { return 0; }
  bool ADDIN_API ExternalEvent(WCHAR_T*, WCHAR_T*, WCHAR_T*) override { return false; }
  void ADDIN_API CleanEventBuffer() override {}
  bool ADDIN_API SetStatusLine(WCHAR_T*) override { return false; }
  void ADDIN_API ResetStatusLine() override {}
  IInterface* ADDIN_API GetInterface(int) override { return nullptr; }
};

// An add-in library loaded as the platform loads it (dlopen, LoadLibrary),
// reached only through its three exports.
class AddInLibrary {
 public:
  explicit AddInLibrary(const std::string& path);  // throws std::runtime_error
  ~AddInLibrary();
  AddInLibrary(const AddInLibrary&) = delete;
  AddInLibrary& operator=(const AddInLibrary&) = delete;

  std::vector<std::string> ClassNames() const;
  IComponentBase* Create(const std::string& className) const;  // null on failure
  void Destroy(IComponentBase* object) const;

 private:
  TRuntimeLibrary FLibrary;
  GetClassObjectFn FGetClassObject = nullptr;
  DestroyObjectFn FDestroyObject = nullptr;
  GetClassNamesFn FGetClassNames = nullptr;
};

}  // namespace zorvane::host
