#include "tools/zorvane/values.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/text.h"

namespace zorvane::host {

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// Keeps a value on one output line: \\, \n, \r and \t are written escaped.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void* CopyToBlock(HostMemoryManager& mm, const void* data, size_t bytes) {
  void* block = nullptr;
  if (!mm.AllocMemory(&block, static_cast<unsigned long>(bytes))) {
    throw std::runtime_error("out of memory");
  }
  if (bytes) std::memcpy(block, data, bytes);
  return block;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void ParseValue(const std::string& text, V8Variant& v, HostMemoryManager& mm) {
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  if (text == "empty" || text == "e" || text == "out") return;
  try {
    if (StartsWith(text, "i:")) {
      v.vt = VTYPE_I4;
      v.lVal = static_cast<int32_t>(std::stol(text.substr(2)));
    } else if (StartsWith(text, "d:")) {
      v.vt = VTYPE_R8;
      v.dblVal = std::stod(text.substr(2));
    } else if (StartsWith(text, "date:")) {
      v.vt = VTYPE_DATE;
      v.date = std::stod(text.substr(5));
    } else if (StartsWith(text, "b:")) {
      const std::string b = text.substr(2);
      if (b != "true" && b != "false" && b != "1" && b != "0") throw std::invalid_argument(b);
      v.vt = VTYPE_BOOL;
      v.bVal = b == "true" || b == "1";
    } else if (StartsWith(text, "t:")) {
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
      const int n = std::sscanf(text.c_str() + 2, "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s);
      if (n != 3 && n != 6) throw std::invalid_argument(text);
      v.vt = VTYPE_TM;
      v.tmVal.tm_year = y - 1900;
      v.tmVal.tm_mon = mo - 1;
      v.tmVal.tm_mday = d;
      v.tmVal.tm_hour = h;
      v.tmVal.tm_min = mi;
      v.tmVal.tm_sec = s;
    } else if (StartsWith(text, "blob:")) {
      const std::string hex = text.substr(5);
      if (hex.size() % 2) throw std::invalid_argument(hex);
      std::string bytes;
      for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) throw std::invalid_argument(hex);
        bytes += static_cast<char>(hi * 16 + lo);
      }
      v.vt = VTYPE_BLOB;
      v.vtRecString.pstrVal = static_cast<char*>(CopyToBlock(mm, bytes.data(), bytes.size()));
      v.vtRecString.strLen = static_cast<uint32_t>(bytes.size());
    } else if (StartsWith(text, "a:")) {
      const std::string s = text.substr(2);
      v.vt = VTYPE_PSTR;
      v.vtRecString.pstrVal = static_cast<char*>(CopyToBlock(mm, s.c_str(), s.size() + 1));
      v.vtRecString.strLen = static_cast<uint32_t>(s.size());
    } else {
      const std::u16string w = ToUtf16(StartsWith(text, "s:") ? text.substr(2) : text);
      v.vt = VTYPE_PWSTR;
      v.vtRecWideString.pwstrVal =
          static_cast<WCHAR_T*>(CopyToBlock(mm, w.c_str(), (w.size() + 1) * sizeof(WCHAR_T)));
      v.vtRecWideString.wstrLen = static_cast<uint32_t>(w.size());
    }
  } catch (const std::logic_error&) {
    throw std::runtime_error("bad value: " + text);
  }
}

std::string FormatValue(const V8Variant& v) {
  char buf[64];
  switch (v.vt) {
    case VTYPE_EMPTY:
      return "empty";
    case VTYPE_I2:
      return "i:" + std::to_string(v.shortVal);
    case VTYPE_I4:
      return "i:" + std::to_string(v.lVal);
    case VTYPE_UI1:
      return "i:" + std::to_string(v.ui8Val);
    case VTYPE_R4:
      std::snprintf(buf, sizeof buf, "d:%.9g", v.fltVal);
      return buf;
    case VTYPE_R8:
      std::snprintf(buf, sizeof buf, "d:%.17g", v.dblVal);
      return buf;
    case VTYPE_DATE:
      std::snprintf(buf, sizeof buf, "date:%.17g", v.date);
      return buf;
    case VTYPE_BOOL:
      return v.ui8Val ? "b:true" : "b:false";
    case VTYPE_TM:
      std::snprintf(buf, sizeof buf, "t:%04d-%02d-%02dT%02d:%02d:%02d", v.tmVal.tm_year + 1900,
                    v.tmVal.tm_mon + 1, v.tmVal.tm_mday, v.tmVal.tm_hour, v.tmVal.tm_min,
                    v.tmVal.tm_sec);
      return buf;
    case VTYPE_PWSTR: {
      const WCHAR_T* w = v.vtRecWideString.pwstrVal;
      return "s:" + OneLine(w ? ToUtf8(std::u16string_view(w, v.vtRecWideString.wstrLen)) : "");
    }
    case VTYPE_PSTR:
      return "a:" + OneLine(std::string(v.vtRecString.pstrVal ? v.vtRecString.pstrVal : "",
                                        v.vtRecString.pstrVal ? v.vtRecString.strLen : 0));
    case VTYPE_BLOB: {
      std::string text = "blob:" + std::to_string(v.vtRecString.strLen) + ":";
      const auto* bytes = reinterpret_cast<const unsigned char*>(v.vtRecString.pstrVal);
      const uint32_t shown = v.vtRecString.strLen < 32 ? v.vtRecString.strLen : 32;
      for (uint32_t i = 0; bytes && i < shown; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        text += buf;
      }
      if (shown < v.vtRecString.strLen) text += "...";
      return text;
    }
    default:
      return "vt=" + std::to_string(v.vt);
  }
}

void ReleaseValue(V8Variant& v, HostMemoryManager& mm) {
  const uint16_t type = v.vt & VTYPE_TYPEMASK;
  if ((type == VTYPE_PSTR || type == VTYPE_PWSTR || type == VTYPE_BLOB) && v.vtRecString.pstrVal) {
    void* block = v.vtRecString.pstrVal;
    mm.FreeMemory(&block);
  }
  std::memset(static_cast<void*>(&v), 0, sizeof v);
}

}  // namespace zorvane::host
