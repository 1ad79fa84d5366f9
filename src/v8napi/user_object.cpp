#include "v8napi/user_object.h"

#include "common/text.h"
#include "v8napi/messages.h"

namespace zorvane {

namespace {
constexpr long kE_FAIL = static_cast<long>(0x80004005u);
}  // namespace

void TV8UserObject::ReportError(const std::string& message) {
  if (!V8) return;
  const std::u16string text = ToUtf16(message);
  V8->AddError(ADDIN_E_FAIL, msg::kErrorSource, text.c_str(), kE_FAIL);
}

}  // namespace zorvane
