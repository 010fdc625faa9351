// TStrU: a string of unsigned char, the second string type of the path
// functions and the file-system tree.
//
// The standard library promises char_traits only for the character types it
// names, so the string carries its own traits: plain byte copies and
// comparisons of unsigned values, the same order as memcmp.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <ios>
#include <string>

struct UCharTraits {
  using char_type = unsigned char;
  using int_type = int;
  using off_type = std::streamoff;
  using pos_type = std::streampos;
  using state_type = std::mbstate_t;

  static constexpr void assign(char_type& to, const char_type& from) noexcept { to = from; }
  static constexpr bool eq(char_type a, char_type b) noexcept { return a == b; }
  static constexpr bool lt(char_type a, char_type b) noexcept { return a < b; }

  static int compare(const char_type* a, const char_type* b, std::size_t n) {
    return n == 0 ? 0 : std::memcmp(a, b, n);
  }
  static std::size_t length(const char_type* s) {
    return std::strlen(reinterpret_cast<const char*>(s));
  }
  static const char_type* find(const char_type* s, std::size_t n, const char_type& c) {
    return n == 0 ? nullptr : static_cast<const char_type*>(std::memchr(s, c, n));
  }
  static char_type* move(char_type* to, const char_type* from, std::size_t n) {
    return n == 0 ? to : static_cast<char_type*>(std::memmove(to, from, n));
  }
  static char_type* copy(char_type* to, const char_type* from, std::size_t n) {
    return n == 0 ? to : static_cast<char_type*>(std::memcpy(to, from, n));
  }
  static char_type* assign(char_type* s, std::size_t n, char_type c) {
    return n == 0 ? s : static_cast<char_type*>(std::memset(s, c, n));
  }

  static constexpr char_type to_char_type(int_type i) noexcept { return static_cast<char_type>(i); }
  static constexpr int_type to_int_type(char_type c) noexcept { return c; }
  static constexpr bool eq_int_type(int_type a, int_type b) noexcept { return a == b; }
  static constexpr int_type eof() noexcept { return EOF; }
  static constexpr int_type not_eof(int_type i) noexcept { return i == EOF ? 0 : i; }
};

using TStrU = std::basic_string<unsigned char, UCharTraits>;
