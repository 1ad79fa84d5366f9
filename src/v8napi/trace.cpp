#include "v8napi/trace.h"

#include "common/error.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "v8napi/messages.h"
#include "v8napi/variant.h"

namespace zorvane {

namespace {

constexpr const char* kMask = "********";

// Setting names whose value must never reach the log in clear text.
bool IsSecretName(const std::string& text) {
  return text == "Password" || text == "Пароль";
}

// The call lines are debug lines: with the log off or quieter, nothing is formatted.
bool TracingCalls() {
  return GetLogMode() == TLogMode::lmAll;
}

// Makes and writes a line; a line whose text cannot be made is lost and counted.
template <typename Make>
void WriteLine(Make&& make) noexcept {
  try {
    make();
  } catch (const std::exception& e) {
    LogLineLost(e.what());
  } catch (...) {
    LogLineLost(msg::kUnknownFailure);
  }
}

}  // namespace

std::string V8ParamsToStr(const V8Variant* Params, long ParamCount) {
  std::string text = "[";
  bool maskNext = false;
  for (long i = 0; i < ParamCount; ++i) {
    if (i > 0) text += "; ";
    // A URL's user information (user:password@) is a secret too.
    std::string item =
        Params[i].vt == VTYPE_BLOB ? "BLOB" : MaskUrlCredentials(V8ToStr(&Params[i]));
    if (maskNext) item = kMask;
    maskNext = IsSecretName(item);
    text += item;
  }
  return text + "]";
}

void RequireTraceableParams(const V8Variant* Params, long ParamCount) {
  for (long i = 0; i < ParamCount; ++i) {
    const V8Variant& p = Params[i];
    if (p.vt != VTYPE_BLOB && !V8HasText(&p)) throw Error(msg::kUnsupportedDataType);
    // A date that does not exist has no text either: its error, as the line would raise it.
    if (p.vt == VTYPE_TM) V8GetDate(&p);
  }
}

void TraceCallIn(const std::string& MethName, const V8Variant* Params, long ParamCount) {
  // The rule holds whether or not the line is written: the types alone are
  // looked at, no text is made.
  RequireTraceableParams(Params, ParamCount);
  if (!TracingCalls()) return;
  WriteLine([&] {
    WriteLog("> " + MethName, msg::kTraceParams + V8ParamsToStr(Params, ParamCount),
             TLogLevel::llDebug);
  });
}

void TraceCallOut(const std::string& MethName, const V8Variant* Params, long ParamCount,
                  const V8Variant* RetValue) noexcept {
  if (!TracingCalls()) return;
  WriteLine([&] {
    std::string details;
    if (RetValue) details = "Result=" + MaskUrlCredentials(V8ToStr(RetValue));
    details += std::string("; ") + msg::kTraceParams + V8ParamsToStr(Params, ParamCount);
    WriteLog("< " + MethName, details, TLogLevel::llDebug);
  });
}

void TraceError(const std::string& message) noexcept {
  WriteLine(
      [&] { WriteLog(msg::kTraceException, MaskUrlCredentials(message), TLogLevel::llError); });
}

}  // namespace zorvane
