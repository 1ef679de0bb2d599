// A text of fixed capacity: Capacity bytes including the terminating zero.
// Assignment and appending never write past the end; they report whether the
// whole text fitted, so a caller can refuse a path rather than cut it. A text
// that is cut is cut between two UTF-8 characters, never inside one.
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
  static constexpr std::size_t kMaxLength = Capacity - 1;

  FixedText() { text_[0] = '\0'; }
  FixedText(std::string_view s) { assign(s); }  // NOLINT: implicit on purpose

  // Replaces the text; keeps at most kMaxLength bytes. Returns false when
  // the text had to be cut.
  bool assign(std::string_view s) {
    length_ = 0;
    text_[0] = '\0';
    return append(s);
  }

  // Appends as much of s as fits. Returns false when s had to be cut.
  bool append(std::string_view s) {
    std::size_t n = fitBytes(s, kMaxLength - length_).size();
    if (n != 0) std::memcpy(text_ + length_, s.data(), n);
    length_ += n;
    text_[length_] = '\0';
    return n == s.size();
  }

  FixedText& operator=(std::string_view s) {
    assign(s);
    return *this;
  }
  FixedText& operator+=(std::string_view s) {
    append(s);
    return *this;
  }

  // Keeps at most the first n bytes (no-op when already shorter), less a
  // character that would be cut.
  void truncate(std::size_t n) {
    if (n < length_) {
      length_ = fitBytes(view(), n).size();
      text_[length_] = '\0';
    }
  }

  const char* c_str() const { return text_; }
  std::string str() const { return std::string(text_, length_); }
  std::string_view view() const { return std::string_view(text_, length_); }
  operator std::string_view() const { return view(); }  // NOLINT
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  char operator[](std::size_t i) const { return text_[i]; }

 private:
  char text_[Capacity];
  std::size_t length_ = 0;
};

// 599 bytes and a terminating zero: every path and text of a job (599
// characters of ASCII, at least 149 of any script).
using PathText = FixedText<600>;
// The base name buffer of the segment names (only four characters are used).
using BaseNameText = FixedText<64>;

}  // namespace trep

#endif  // TREP_PLATFORM_FIXED_TEXT_H_
