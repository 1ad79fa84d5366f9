#include "platform/threads.h"

#include <dlfcn.h>
#include <pthread.h>

#include <memory>
#include <utility>

#include "common/error.h"
#include "platform/messages.h"

namespace zorvane {

namespace {

// The key whose value is a thread's reference to this library and whose
// destructor is dlclose itself. The C library calls key destructors after
// the thread's own code has returned, so when that reference is the last
// one and dlclose unmaps the library, dlclose returns into the C library,
// never into code that is gone: what FreeLibraryAndExitThread does on
// Windows. The key is made once per load of the library and deleted with
// it (its last reference is then let go, so no thread holds a value).
class TReleaseKey {
 public:
  TReleaseKey() {
    // void (*)(void) first: dlclose's result is ignored where it is called.
    const auto release = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void (*)()>(&dlclose));
    Made = pthread_key_create(&Key, release) == 0;
  }
  ~TReleaseKey() {
    if (Made) pthread_key_delete(Key);
  }
  pthread_key_t Key{};
  bool Made = false;
};

TReleaseKey gReleaseKey;

// A new reference to the library this code is in, or null (linked into a
// program, which is never unloaded, there may be nothing to hold).
void* ReferenceToThisLibrary() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ReferenceToThisLibrary), &info) || !info.dli_fname)
    return nullptr;
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

struct TStart {
  std::function<void()> Work;
  void* Library = nullptr;
};

void* RunThread(void* parameter) {
  {
    const std::unique_ptr<TStart> start(static_cast<TStart*>(parameter));
    // From here the reference is the key's to give back, as the thread's last act.
    if (start->Library) pthread_setspecific(gReleaseKey.Key, start->Library);
    try {
      start->Work();
    } catch (...) {
    }
  }
  return nullptr;
}

}  // namespace

namespace {

// Starts work on a new thread that holds a reference to this library.
pthread_t Launch(std::function<void()> work, bool detached) {
  auto start = std::make_unique<TStart>();
  start->Work = std::move(work);
  if (gReleaseKey.Made) start->Library = ReferenceToThisLibrary();
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    if (start->Library) dlclose(start->Library);
    throw Error(msg::kCannotStartThread);
  }
  pthread_attr_setdetachstate(&attributes,
                              detached ? PTHREAD_CREATE_DETACHED : PTHREAD_CREATE_JOINABLE);
  pthread_t thread;
  const int failed = pthread_create(&thread, &attributes, &RunThread, start.get());
  pthread_attr_destroy(&attributes);
  if (failed != 0) {
    if (start->Library) dlclose(start->Library);
    throw Error(msg::kCannotStartThread);
  }
  start.release();
  return thread;
}

}  // namespace

void StartDetachedThread(std::function<void()> work) {
  Launch(std::move(work), true);
}

static_assert(sizeof(pthread_t) <= sizeof(uint64_t));

TJoinableThread::TJoinableThread(std::function<void()> work)
    : FHandle(static_cast<uint64_t>(Launch(std::move(work), false))), FRunning(true) {}

void TJoinableThread::Join() noexcept {
  if (!std::exchange(FRunning, false)) return;
  pthread_join(static_cast<pthread_t>(FHandle), nullptr);
}

bool ProcessIsExiting() {
  return false;
}

}  // namespace zorvane
