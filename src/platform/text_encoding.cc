#include "platform/text_encoding.h"

#include <cstdint>

namespace trep {
namespace {

// The code point of the character at i and the index after it; false for a
// byte that starts no whole sequence (its value is then the byte).
bool decodeAt(std::string_view s, std::size_t i, uint32_t* value, std::size_t* end) {
  const auto b = static_cast<unsigned char>(s[i]);
  *end = characterEnd(s, i);
  const std::size_t n = *end - i;
  if (n == 1) {
    *value = b;
    return b < 0x80;
  }
  uint32_t v = b & (0xFF >> (n + 1));
  for (std::size_t k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  *value = v;
  return true;
}

// A value a longer sequence than needed encodes: never taken as that value
// (an overlong zero would end a Windows name early).
bool isOverlong(uint32_t v, std::size_t bytes) {
  return (bytes == 3 && v < 0x800) || (bytes == 4 && v < 0x10000);
}

void appendUtf8(uint32_t v, std::string* out) {
  if (v < 0x80) {
    out->push_back(static_cast<char>(v));
  } else if (v < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (v >> 6)));
    out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
  } else if (v < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (v >> 12)));
    out->push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (v >> 18)));
    out->push_back(static_cast<char>(0x80 | ((v >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
  }
}

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

}  // namespace

std::size_t characterCount(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); i = characterEnd(s, i)) ++n;
  return n;
}

std::string_view firstCharacters(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t k = 0; k < n && i < s.size(); ++k) i = characterEnd(s, i);
  return s.substr(0, i);
}

std::string_view lastCharacters(std::string_view s, std::size_t n) {
  std::size_t count = characterCount(s);
  if (count <= n) return s;
  std::string_view head = firstCharacters(s, count - n);
  return s.substr(head.size());
}

std::string_view withoutLastCharacters(std::string_view s, std::size_t n) {
  std::size_t count = characterCount(s);
  return count <= n ? std::string_view() : firstCharacters(s, count - n);
}

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    uint32_t v = 0;
    std::size_t end = 0;
    if (!decodeAt(s, i, &v, &end)) return false;
    const std::size_t n = end - i;
    // Shortest form, no surrogates, at most U+10FFFF.
    if (isOverlong(v, n) || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
      return false;
    i = end;
  }
  return true;
}

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    uint32_t v = 0;
    std::size_t end = 0;
    if (!decodeAt(s, i, &v, &end) || isOverlong(v, end - i) || v > 0x10FFFF) v = 0xFFFD;
    if (v >= 0x10000) {
      v -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(v));
    }
    i = end;
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    uint32_t v = s[i];
    if (v >= 0xD800 && v <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      v = 0x10000 + ((v - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    appendUtf8(v, &out);  // a lone surrogate keeps its value
  }
  return out;
}

std::size_t utf16Length(std::string_view s) { return utf8ToUtf16(s).size(); }

std::string utf8TextOf(std::string_view s) {
  return isValidUtf8(s) ? std::string(s) : fromWindows1252(s);
}

std::string fromWindows1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    appendUtf8(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : b, &out);
  }
  return out;
}

bool toWindows1252(std::string_view text, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    uint32_t v = 0;
    std::size_t end = 0;
    if (!decodeAt(text, i, &v, &end) || isOverlong(v, end - i)) return false;
    i = end;
    if (v < 0x80 || (v >= 0xA0 && v <= 0xFF)) {
      out->push_back(static_cast<char>(v));
      continue;
    }
    bool found = false;
    for (unsigned k = 0; k < 32 && !found; ++k) {
      if (kWindows1252High[k] == v) {
        out->push_back(static_cast<char>(0x80 + k));
        found = true;
      }
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace trep
