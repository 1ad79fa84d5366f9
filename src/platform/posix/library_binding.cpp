#include "platform/library_binding.h"

#include <dlfcn.h>

namespace zorvane {

TRuntimeLibrary::~TRuntimeLibrary() {
  if (FHandle) dlclose(FHandle);
}

bool TRuntimeLibrary::OpenLoaded(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
      FHandle = handle;
      FName = name;
      FError.clear();
      return true;
    }
  }
  return false;
}

bool TRuntimeLibrary::IsLoaded(const char* name) {
  void* handle = dlopen(name, RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

bool TRuntimeLibrary::Open(std::initializer_list<const char*> names) {
  if (OpenLoaded(names)) return true;
  std::string reasons;
  for (const char* name : names) {
    if (void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL)) {
      FHandle = handle;
      FName = name;
      FError.clear();
      return true;
    }
    const char* why = dlerror();
    if (!reasons.empty()) reasons += "; ";
    reasons += why ? why : name;
  }
  FError = reasons;
  return false;
}

void* TRuntimeLibrary::Symbol(const char* name) const {
  return FHandle ? dlsym(FHandle, name) : nullptr;
}

}  // namespace zorvane
