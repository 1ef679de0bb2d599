// Text inside both programs is UTF-8. These are the rules that look at it
// as characters rather than bytes, and the conversions at its edges: UTF-16
// for the Windows calls (see win32/wide.h) and Windows-1252, the code page
// older series and key strings were written in (see segment_format.h).
//
// A character is a Unicode code point: one outside the Basic Multilingual
// Plane (an emoji, say) is one character of four bytes. A byte that does not
// start a whole UTF-8 sequence counts as one character of its own, so text
// of any bytes can be walked and is never cut inside a sequence.
#ifndef TREP_PLATFORM_TEXT_ENCODING_H_
#define TREP_PLATFORM_TEXT_ENCODING_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace trep {

namespace utf8_detail {

inline bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bytes of the sequence that lead byte b starts; 1 for a byte that starts
// none (ASCII, a continuation byte, 0xC0, 0xC1, 0xF5 and above).
inline std::size_t sequenceLength(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 1;
}

}  // namespace utf8_detail

// The index just after the character that starts at byte i (i < s.size()).
// A lead byte followed by its continuation bytes is one character, also
// where strict UTF-8 would refuse the value (a lone surrogate from a Windows
// name, see utf16ToUtf8), so such a sequence is never split either.
inline std::size_t characterEnd(std::string_view s, std::size_t i) {
  const std::size_t n = utf8_detail::sequenceLength(static_cast<unsigned char>(s[i]));
  if (n == 1 || i + n > s.size()) return i + 1;
  for (std::size_t k = 1; k < n; ++k)
    if (!utf8_detail::isContinuation(static_cast<unsigned char>(s[i + k]))) return i + 1;
  return i + n;
}

std::size_t characterCount(std::string_view s);

// The first n characters (all of s when it has fewer).
std::string_view firstCharacters(std::string_view s, std::size_t n);
// The last n characters (all of s when it has fewer).
std::string_view lastCharacters(std::string_view s, std::size_t n);
// s less its last n characters (empty when it has n or fewer).
std::string_view withoutLastCharacters(std::string_view s, std::size_t n);

// The longest start of s of at most `bytes` bytes that ends between two
// characters. Inline, as the fixed-capacity texts that use it.
inline std::string_view fitBytes(std::string_view s, std::size_t bytes) {
  if (s.size() <= bytes) return s;
  std::size_t i = 0;
  for (;;) {
    std::size_t next = characterEnd(s, i);
    if (next > bytes) return s.substr(0, i);
    i = next;
  }
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s);
bool isAscii(std::string_view s);

// UTF-16 code units. A lone surrogate (Windows names may hold one) becomes
// the three bytes its value would take, and comes back as the same unit, so
// every name the system gives round-trips. A byte of s that starts no whole
// sequence becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
// The number of UTF-16 code units s takes (a Windows length).
std::size_t utf16Length(std::string_view s);

// s when it is valid UTF-8; otherwise s read as Windows-1252 (a name a
// POSIX system gives in another encoding), so the result is always valid.
std::string utf8TextOf(std::string_view s);

// Windows-1252: every byte stands for one character. The five bytes the code
// page leaves free (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control
// characters of the same value, as Windows converts them.
std::string fromWindows1252(std::string_view bytes);
// False (and *out unspecified) when a character of the valid UTF-8 text
// `text` has no place in Windows-1252.
bool toWindows1252(std::string_view text, std::string* out);

}  // namespace trep

#endif  // TREP_PLATFORM_TEXT_ENCODING_H_
