// The one crossing between the program's UTF-8 and the UTF-16 of the Windows
// calls: every W function is given widen(text) and its answers come back
// through narrow(). Both keep a lone surrogate of a Windows name as it is
// (see text_encoding.h), so any name the system gives can be handed back.
#ifndef TREP_PLATFORM_WIN32_WIDE_H_
#define TREP_PLATFORM_WIN32_WIDE_H_

#include <cwchar>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace trep {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline std::wstring widen(std::string_view text) {
  std::u16string units = utf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

inline std::string narrow(const wchar_t* text, std::size_t length) {
  std::u16string units(text, text + length);
  return utf16ToUtf8(units);
}

// A zero-terminated wide text, as the system fills its buffers.
inline std::string narrow(const wchar_t* text) {
  return text == nullptr ? std::string() : narrow(text, std::wcslen(text));
}

}  // namespace trep

#endif  // TREP_PLATFORM_WIN32_WIDE_H_
