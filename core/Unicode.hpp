#pragma once

// Unicode text rules over ICU. Texts are UTF-8 in std::string; a "character" is a user-perceived
// character (an extended grapheme cluster), so a letter with a combining accent counts as one.
// Invalid UTF-8 never reaches ICU unchecked: it reads as U+FFFD.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::unicode {

inline constexpr char32_t replacementCharacter = 0xFFFD;

bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

// The text with each ill-formed UTF-8 sequence replaced by U+FFFD.
std::string sanitizedUtf8(std::string_view text);

// The Unicode scalars of the text (ill-formed sequences give U+FFFD).
std::vector<char32_t> scalars(std::string_view text);

// The first scalar, or nothing for an empty text.
std::optional<char32_t> firstScalar(std::string_view text);

std::string toUtf8(char32_t scalar);

// The characters (extended grapheme clusters) of the text, in order.
std::vector<std::string> characters(std::string_view text);

// The first `count` characters of the text (all of it when it is shorter).
std::string prefixCharacters(std::string_view text, std::size_t count);

// Unicode default lower-case mapping, independent of the user's locale.
std::string lowercased(std::string_view text);

// Canonical composition, so that canonically equivalent texts compare equal byte for byte.
std::string nfc(std::string_view text);
std::string nfd(std::string_view text);

// The number of characters (extended grapheme clusters) of the text.
std::size_t characterCount(std::string_view text);

// Case and accents folded away with no locale: full case folding, then the canonical
// decomposition without its nonspacing marks, composed again. "Éte" and "ÉTÉ" both give "ete",
// "Straße" gives "strasse". Whitespace and every other character stay as they are.
std::string folded(std::string_view text);

// The scalar has the Unicode White_Space property: spaces, tabs, line breaks, no-break spaces.
bool isWhiteSpace(char32_t scalar);

// C0 and C1 controls, DEL and the line and paragraph separators: what keys that type no text
// (Return, Escape, Delete, the page and function keys) carry as their "character".
bool isControlCharacter(char32_t scalar);

// The scalar has the Unicode Alphabetic property.
bool isAlphabetic(char32_t scalar);
// The scalar has a Unicode numeric type (decimal, digit or numeric).
bool isNumeric(char32_t scalar);

}  // namespace tovrel::unicode
