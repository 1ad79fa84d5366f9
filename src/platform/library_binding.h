// Libraries bound at run time: a library the add-in needs only for some of its
// work (crypto, windows, help) is opened when first used, so the add-in loads
// on machines that lack it and reports clearly what is missing.
#pragma once

#include <initializer_list>
#include <string>

#include "platform/messages.h"

namespace zorvane {

class TRuntimeLibrary {
 public:
  TRuntimeLibrary() = default;
  TRuntimeLibrary(const TRuntimeLibrary&) = delete;
  TRuntimeLibrary& operator=(const TRuntimeLibrary&) = delete;
  ~TRuntimeLibrary();  // gives back its reference to the library

  // Takes the first of names that the process already holds; else loads the
  // first of them that the system has. False when none can be had; Error()
  // then says why.
  bool Open(std::initializer_list<const char*> names);
  // Loads only one that the process already holds.
  bool OpenLoaded(std::initializer_list<const char*> names);
  // Whether the process holds the library (nothing is loaded or kept).
  static bool IsLoaded(const char* name);

  bool IsOpen() const { return FHandle != nullptr; }
  const std::string& Name() const { return FName; }
  const std::string& Error() const { return FError; }

  // Gives back the memory of Name() and Error(), keeping the library: for a
  // binding that outlives the add-in's unloading.
  void ReleaseText() {
    std::string().swap(FName);
    std::string().swap(FError);
  }

  // The address of a function or variable, or null.
  void* Symbol(const char* name) const;

  // Binds entry to the symbol of that name with its declared type; false
  // (and Error() naming it) when the library lacks it.
  template <typename T>
  bool Bind(T& entry, const char* name) {
    entry = reinterpret_cast<T>(Symbol(name));
    if (!entry) FError = msg::NoSymbol(FName, name);
    return entry != nullptr;
  }

 private:
  void* FHandle = nullptr;
  std::string FName;
  std::string FError;
};

}  // namespace zorvane
