#include "platform/windows/windows_text.h"

#include <winhttp.h>

#include <algorithm>

#include "platform/messages.h"

namespace zorvane {

namespace {

// The longest piece handed to one conversion call: its length, and the length
// of what it becomes, stay well inside an int.
constexpr size_t kMaxPiece = size_t{1} << 28;

// Where a piece of at most kMaxPiece units ends without cutting a character.
size_t PieceEnd(std::string_view utf8) {
  size_t end = std::min(utf8.size(), kMaxPiece);
  // Step back over at most three continuation bytes to the lead byte.
  for (int k = 0; k < 3 && end < utf8.size() && end > 1 &&
                  (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80;
       ++k)
    --end;
  return end;
}

size_t PieceEnd(std::wstring_view text) {
  size_t end = std::min(text.size(), kMaxPiece);
  // Never split a surrogate pair.
  if (end < text.size() && end > 1 && text[end] >= 0xDC00 && text[end] <= 0xDFFF) --end;
  return end;
}

// Whether WinHTTP, not the system, has the text of code.
bool IsWinHttpCode(unsigned long code) {
  return code > WINHTTP_ERROR_BASE && code <= WINHTTP_ERROR_LAST;
}

// The message text FormatMessageW finds for code in module (null: the
// system's), or empty.
std::wstring FormattedMessage(unsigned long code, HMODULE module) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length =
      FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (buffer) {
    text.assign(buffer, length);
    LocalFree(buffer);
  }
  return text;
}

// Drops the line break, blanks and the one full stop a system message ends with.
void TrimMessageEnd(std::wstring& text) {
  auto isBlank = [](wchar_t c) { return c == L'\r' || c == L'\n' || c == L' ' || c == L'\t'; };
  while (!text.empty() && isBlank(text.back())) text.pop_back();
  if (!text.empty() && text.back() == L'.') text.pop_back();
  while (!text.empty() && isBlank(text.back())) text.pop_back();
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  std::wstring out;
  while (!utf8.empty()) {
    const size_t piece = PieceEnd(utf8);
    const int length = static_cast<int>(piece);
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (wide > 0) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(wide));
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data() + at, wide);
    }
    utf8.remove_prefix(piece);
  }
  return out;
}

std::string Narrow(std::wstring_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t piece = PieceEnd(text);
    const int length = static_cast<int>(piece);
    const int narrow =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (narrow > 0) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(narrow));
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data() + at, narrow, nullptr,
                          nullptr);
    }
    text.remove_prefix(piece);
  }
  return out;
}

std::string WindowsErrorText(unsigned long code) {
  std::wstring text = FormattedMessage(code, nullptr);
  // WinHTTP's own codes have their texts in its module, which the process
  // holds whenever such a code could have come up.
  if (text.empty() && IsWinHttpCode(code)) {
    if (HMODULE winhttp = GetModuleHandleW(L"winhttp.dll")) text = FormattedMessage(code, winhttp);
  }
  TrimMessageEnd(text);
  if (text.empty()) return msg::ErrorCodeOnly(code);
  return Narrow(text);
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace zorvane
