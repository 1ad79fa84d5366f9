#include "platform/library_binding.h"

#include <windows.h>

#include "platform/windows/windows_text.h"

namespace zorvane {

TRuntimeLibrary::~TRuntimeLibrary() {
  if (FHandle) FreeLibrary(static_cast<HMODULE>(FHandle));
}

bool TRuntimeLibrary::OpenLoaded(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    HMODULE module = nullptr;
    // A reference of our own, given back in the destructor.
    if (GetModuleHandleExW(0, Wide(name).c_str(), &module) && module) {
      FHandle = module;
      FName = name;
      FError.clear();
      return true;
    }
  }
  return false;
}

bool TRuntimeLibrary::IsLoaded(const char* name) {
  return GetModuleHandleW(Wide(name).c_str()) != nullptr;
}

bool TRuntimeLibrary::Open(std::initializer_list<const char*> names) {
  if (OpenLoaded(names)) return true;
  std::string reasons;
  for (const char* name : names) {
    // Only the system's folders and the application's: never the current
    // folder, where anyone may have put a library of the same name. (A
    // Windows 7 without the update that brought these flags loads nothing.)
    HMODULE module = LoadLibraryExW(Wide(name).c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module) {
      FHandle = module;
      FName = name;
      FError.clear();
      return true;
    }
    if (!reasons.empty()) reasons += "; ";
    reasons += std::string(name) + ": " + WindowsErrorText(GetLastError());
  }
  FError = reasons;
  return false;
}

void* TRuntimeLibrary::Symbol(const char* name) const {
  return FHandle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(FHandle), name))
                 : nullptr;
}

}  // namespace zorvane
