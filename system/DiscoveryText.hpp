#pragma once

// Small shared pieces of the discovery code: the messaging time-out it gives every element it
// reads, the action check, whole numbers written from another application's coordinates, and
// the trimming and cutting of names another application hands over. Those names are
// UTF-8 that nobody checked: trimming never splits a sequence, and a cut counts what a reader
// sees as one character.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Unicode.hpp"

namespace tovrel::discovery {

// Every message to another application waits at most this long.
inline constexpr double messagingTimeout = 0.25;

inline bool hasAction(const std::vector<std::string>& actions, std::string_view action) {
  return std::find(actions.begin(), actions.end(), action) != actions.end();
}

// A number as a decimal whole number cut toward zero. Formatting the cut value instead of
// converting it keeps numbers beyond any integer's range distinct and well defined; a value that
// is not finite (another application can report anything) is written "?".
inline std::string wholeNumber(double value) {
  if (!std::isfinite(value)) return "?";
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", std::trunc(value) + 0.0);  // + 0.0 turns -0 into 0
  return text;
}

namespace detail {

inline bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The scalar starting at `at` and its length in bytes; an ill-formed sequence reads as one
// byte of U+FFFD.
inline std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t scalar = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, scalar = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, scalar = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, scalar = lead & 0x07, minimum = 0x10000;
  } else {
    return {unicode::replacementCharacter, 1};
  }
  if (at + length > text.size()) return {unicode::replacementCharacter, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if (!isContinuation(byte)) return {unicode::replacementCharacter, 1};
    scalar = (scalar << 6) | (byte & 0x3F);
  }
  if (scalar < minimum || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF))
    return {unicode::replacementCharacter, 1};
  return {scalar, length};
}

}  // namespace detail

// The text without leading and trailing white space and line breaks.
inline std::string trimmed(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto [scalar, length] = detail::decodeAt(text, begin);
    if (!unicode::isWhiteSpace(scalar)) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && end - start < 4 &&
           detail::isContinuation(static_cast<unsigned char>(text[start])))
      --start;
    const auto [scalar, length] = detail::decodeAt(text, start);
    if (length != end - start || !unicode::isWhiteSpace(scalar)) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

// The first `count` user-perceived characters of the name, so that a cut never parts a letter
// from its accents or breaks an emoji sequence; activation counts typed text the same way.
inline std::string cutName(std::string_view text, std::size_t count) {
  return unicode::prefixCharacters(text, count);
}

}  // namespace tovrel::discovery
