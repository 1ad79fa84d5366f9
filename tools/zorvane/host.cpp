#include "tools/zorvane/host.h"


#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "common/text.h"

namespace zorvane::host {

namespace {
std::string PointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}
}  // namespace

HostMemoryManager::~HostMemoryManager() {
  for (auto& [block, size] : FLive) std::free(block);
}

bool HostMemoryManager::AllocMemory(void** pMemory, unsigned long ulCountByte) {
  if (!pMemory) {
    FFaults.push_back("AllocMemory called without an address to fill");
    return false;
  }
  if (FRefuse) {
    *pMemory = nullptr;
    return false;
  }
  void* block = std::malloc(ulCountByte ? ulCountByte : 1);
  if (!block) return false;
  FFreed.erase(block);
  FLive[block] = ulCountByte;
  *pMemory = block;
  return true;
}

void HostMemoryManager::FreeMemory(void** pMemory) {
  if (!pMemory) {
    FFaults.push_back("FreeMemory called without an address");
    return;
  }
  void* block = *pMemory;
  if (!block) return;
  if (auto it = FLive.find(block); it != FLive.end()) {
    FLive.erase(it);
    FFreed.insert(block);
    std::free(block);
    *pMemory = nullptr;
    return;
  }
  FFaults.push_back(FFreed.count(block) ? "double free of block " + PointerText(block)
                                        : "free of a block never handed out " + PointerText(block));
}

size_t HostMemoryManager::LiveBytes() const {
  size_t total = 0;
  for (const auto& [block, size] : FLive) total += size;
  return total;
}

bool HostConnection::AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                              long scode) {
  AddErrorRecord record{wcode, source ? ToUtf8(source) : "", descr ? ToUtf8(descr) : "", scode};
  Errors.push_back(record);
  if (OnError) OnError(record);
  return true;
}

AddInLibrary::AddInLibrary(const std::string& path) {
  if (!FLibrary.Open({path.c_str()}))
    throw std::runtime_error("cannot load " + path + ": " + FLibrary.Error());
  if (!FLibrary.Bind(FGetClassObject, "GetClassObject") ||
      !FLibrary.Bind(FDestroyObject, "DestroyObject") ||
      !FLibrary.Bind(FGetClassNames, "GetClassNames")) {
    throw std::runtime_error(path +
                             " does not export GetClassObject, DestroyObject and GetClassNames");
  }
}

AddInLibrary::~AddInLibrary() = default;

std::vector<std::string> AddInLibrary::ClassNames() const {
  std::vector<std::string> names;
  const WCHAR_T* text = FGetClassNames();
  if (!text) return names;
  const std::string all = ToUtf8(text);
  size_t start = 0;
  while (start <= all.size()) {
    const size_t bar = all.find('|', start);
    const std::string name =
        all.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (!name.empty()) names.push_back(name);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return names;
}

IComponentBase* AddInLibrary::Create(const std::string& className) const {
  IComponentBase* object = nullptr;
  const std::u16string name = ToUtf16(className);
  if (FGetClassObject(name.c_str(), &object) == 0) return nullptr;
  return object;
}

void AddInLibrary::Destroy(IComponentBase* object) const {
  FDestroyObject(&object);
}

}  // namespace zorvane::host
