#include "forms/shown_text.h"

#include "common/text.h"

namespace zorvane {

std::string ShownText(std::string_view text) {
  const std::string valid = ToValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (const char c : valid) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\n' && c != '\t') || u == 0x7F) {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace zorvane
