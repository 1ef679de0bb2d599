// A text of fixed capacity: Capacity - 1 characters (UTF-8, up to four
// bytes each) and the terminating zero, so that a limit means the same in
// every script. Assignment and appending never write past the end; they
// report whether the whole text fitted, so a caller can refuse a path rather
// than cut it. A text that is cut keeps whole characters.
#ifndef TREP_PLATFORM_FIXED_TEXT_H_
#define TREP_PLATFORM_FIXED_TEXT_H_

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace trep {

template <std::size_t Capacity>
class FixedText {
  static_assert(Capacity >= 1, "room for the terminator");

 public:
  // Characters, not bytes.
  static constexpr std::size_t kMaxLength = Capacity - 1;

  // True when s fits whole.
  static bool fits(std::string_view s) { return characterCount(s) <= kMaxLength; }

  FixedText() { text_[0] = '\0'; }
  FixedText(std::string_view s) { assign(s); }  // NOLINT: implicit on purpose

  // Replaces the text; keeps at most kMaxLength characters. Returns false
  // when the text had to be cut.
  bool assign(std::string_view s) {
    length_ = 0;
    characters_ = 0;
    text_[0] = '\0';
    return append(s);
  }

  // Appends as much of s as fits. Returns false when s had to be cut.
  bool append(std::string_view s) {
    std::string_view taken = firstCharacters(s, kMaxLength - characters_);
    if (!taken.empty()) std::memcpy(text_ + length_, taken.data(), taken.size());
    length_ += taken.size();
    characters_ += characterCount(taken);
    text_[length_] = '\0';
    return taken.size() == s.size();
  }

  FixedText& operator=(std::string_view s) {
    assign(s);
    return *this;
  }
  FixedText& operator+=(std::string_view s) {
    append(s);
    return *this;
  }

  // Keeps the first n characters (no-op when already shorter).
  void truncate(std::size_t n) {
    if (n < characters_) {
      length_ = firstCharacters(view(), n).size();
      characters_ = n;
      text_[length_] = '\0';
    }
  }

  const char* c_str() const { return text_; }
  std::string str() const { return std::string(text_, length_); }
  std::string_view view() const { return std::string_view(text_, length_); }
  operator std::string_view() const { return view(); }  // NOLINT
  std::size_t size() const { return length_; }  // bytes
  bool empty() const { return length_ == 0; }
  char operator[](std::size_t i) const { return text_[i]; }

 private:
  char text_[kMaxLength * 4 + 1];
  std::size_t length_ = 0;      // bytes
  std::size_t characters_ = 0;
};

// 599 characters: every path and text of a job. Any Windows path (MAX_PATH
// UTF-16 units) fits whole.
using PathText = FixedText<600>;
// The base name buffer of the segment names (only four characters are used).
using BaseNameText = FixedText<64>;

}  // namespace trep

#endif  // TREP_PLATFORM_FIXED_TEXT_H_
