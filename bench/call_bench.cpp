// Cost of one method call through the component object, with the log off
// (trace lines built and dropped) and on (each line appended to the file).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>

#include "log/log_writer.h"
#include "tests/support/test_class.h"
#include "tools/zorvane/host.h"
#include "v8napi/component.h"

namespace {

void CallEcho(benchmark::State& state, bool logOn) {
  static bool loaded = false;
  if (!loaded) {
    zorvane::LibraryLoad(&zorvane::testing::RegisterTestClasses);
    loaded = true;
  }
  char dir[] = "/tmp/zorvane-bench-XXXXXX";
  setenv("ZORVANE_DATA_DIR", mkdtemp(dir), 1);
  zorvane::SetLogMode(logOn ? zorvane::TLogMode::lmAll : zorvane::TLogMode::lmOff);

  zorvane::host::HostMemoryManager mm;
  zorvane::host::HostConnection connection;
  IComponentBase* object = nullptr;
  GetClassObject(u"test", &object);
  object->setMemManager(&mm);
  object->Init(&connection);
  const long echo = object->FindMethod(u"Эхо");

  WCHAR_T text[] = u"camera-1";
  V8Variant param, result;
  std::memset(static_cast<void*>(&param), 0, sizeof param);
  std::memset(static_cast<void*>(&result), 0, sizeof result);
  param.vt = VTYPE_PWSTR;
  param.vtRecWideString.pwstrVal = text;
  param.vtRecWideString.wstrLen = 8;
  for (auto _ : state) {
    benchmark::DoNotOptimize(object->CallAsFunc(echo, &result, &param, 1));
    void* block = result.vtRecWideString.pwstrVal;
    mm.FreeMemory(&block);
    result.vt = VTYPE_EMPTY;
  }
  DestroyObject(&object);
  zorvane::SetLogMode(zorvane::TLogMode::lmOff);
  std::system((std::string("rm -rf ") + dir).c_str());
}

void BM_CallLogOff(benchmark::State& state) {
  CallEcho(state, false);
}
void BM_CallLogOn(benchmark::State& state) {
  CallEcho(state, true);
}

}  // namespace

BENCHMARK(BM_CallLogOff);
BENCHMARK(BM_CallLogOn);
BENCHMARK_MAIN();
