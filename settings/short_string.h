#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest start of s that fits in maxBytes without cutting a character in two. Names
// are bytes in the platform's 8-bit encoding: UTF-8 here (a byte sequence that is not
// UTF-8 is cut at maxBytes), the ANSI code page on Windows (whose double-byte characters
// stay whole).
std::string_view CutAtCharacter(std::string_view s, std::size_t maxBytes);

// An 8-bit string of at most 255 bytes, the string type of every record field.
// Assigning a longer value keeps as many whole characters as fit in 255 bytes.
class ShortString {
 public:
  static constexpr std::size_t MaxLength = 255;

  ShortString() = default;
  ShortString(std::string_view value) { Assign(value); }  // NOLINT: implicit by design
  ShortString(const char* value) { Assign(value); }       // NOLINT: implicit by design
  ShortString& operator=(std::string_view value) {
    Assign(value);
    return *this;
  }
  ShortString& operator=(const char* value) {
    Assign(value);
    return *this;
  }

  const std::string& str() const { return value_; }
  operator const std::string&() const { return value_; }  // NOLINT: reads like a string
  bool empty() const { return value_.empty(); }
  std::size_t size() const { return value_.size(); }

  friend bool operator==(const ShortString& a, const ShortString& b) = default;
  friend bool operator==(const ShortString& a, std::string_view b) { return a.value_ == b; }
  friend bool operator==(const ShortString& a, const char* b) { return a.value_ == b; }
  friend bool operator==(const ShortString& a, const std::string& b) { return a.value_ == b; }

 private:
  void Assign(std::string_view value) { value_.assign(CutAtCharacter(value, MaxLength)); }
  std::string value_;
};
