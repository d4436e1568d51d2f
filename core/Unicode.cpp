#include "core/Unicode.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>
#include <stdexcept>

namespace tovrel::unicode {

namespace {

// Decodes one scalar at `offset`, advancing it; ill-formed input yields U+FFFD.
char32_t nextScalar(std::string_view text, std::int32_t& offset) {
  UChar32 scalar = 0;
  U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), offset,
          static_cast<std::int32_t>(text.size()), scalar);
  return scalar < 0 ? replacementCharacter : static_cast<char32_t>(scalar);
}

icu::UnicodeString toIcu(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string fromIcu(const icu::UnicodeString& text) {
  std::string result;
  text.toUTF8String(result);
  return result;
}

// Creating a break iterator loads rule data; each thread keeps one and resets it per text.
icu::BreakIterator& characterIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !created)
      throw std::runtime_error("ICU character breaks are unavailable");
    return created;
  }();
  return *iterator;
}

const icu::Normalizer2& normalizer(bool compose) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* instance =
      compose ? icu::Normalizer2::getNFCInstance(status) : icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status) || !instance) throw std::runtime_error("ICU normalization is unavailable");
  return *instance;
}

std::string normalized(std::string_view text, bool compose) {
  if (isAscii(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = normalizer(compose).normalize(toIcu(text), status);
  if (U_FAILURE(status)) return sanitizedUtf8(text);
  return fromIcu(result);
}

}  // namespace

bool isAscii(std::string_view text) {
  for (unsigned char byte : text) {
    if (byte >= 0x80) return false;
  }
  return true;
}

bool isValidUtf8(std::string_view text) {
  std::int32_t offset = 0;
  auto length = static_cast<std::int32_t>(text.size());
  while (offset < length) {
    UChar32 scalar = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), offset, length, scalar);
    if (scalar < 0) return false;
  }
  return true;
}

std::string sanitizedUtf8(std::string_view text) {
  if (isValidUtf8(text)) return std::string(text);
  std::string result;
  result.reserve(text.size() + 8);
  std::int32_t offset = 0;
  while (offset < static_cast<std::int32_t>(text.size()))
    result += toUtf8(nextScalar(text, offset));
  return result;
}

std::vector<char32_t> scalars(std::string_view text) {
  std::vector<char32_t> result;
  result.reserve(text.size());
  std::int32_t offset = 0;
  while (offset < static_cast<std::int32_t>(text.size()))
    result.push_back(nextScalar(text, offset));
  return result;
}

std::optional<char32_t> firstScalar(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int32_t offset = 0;
  return nextScalar(text, offset);
}

std::string toUtf8(char32_t scalar) {
  if (scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) scalar = replacementCharacter;
  std::uint8_t buffer[4];
  std::int32_t length = 0;
  // The scalar is valid and the buffer holds any scalar, so appending cannot fail.
  U8_APPEND_UNSAFE(buffer, length, static_cast<UChar32>(scalar));
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

std::vector<std::string> characters(std::string_view text) {
  std::vector<std::string> result;
  // In ASCII only CR LF forms a cluster of more than one scalar.
  if (isAscii(text) && text.find('\r') == std::string_view::npos) {
    result.reserve(text.size());
    for (char byte : text)
      result.emplace_back(1, byte);
    return result;
  }
  icu::UnicodeString unicodeText = toIcu(text);
  icu::BreakIterator& iterator = characterIterator();
  iterator.setText(unicodeText);
  std::int32_t start = iterator.first();
  for (std::int32_t end = iterator.next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator.next()) {
    result.push_back(fromIcu(unicodeText.tempSubStringBetween(start, end)));
  }
  return result;
}

std::string prefixCharacters(std::string_view text, std::size_t count) {
  if (isAscii(text) && text.find('\r') == std::string_view::npos) {
    return std::string(text.substr(0, count));
  }
  // Names handed over by other applications can be long: stop at the cut instead of splitting
  // the whole text into characters.
  icu::UnicodeString unicodeText = toIcu(text);
  icu::BreakIterator& iterator = characterIterator();
  iterator.setText(unicodeText);
  std::int32_t end = iterator.first();
  for (std::size_t taken = 0; taken < count; ++taken) {
    const std::int32_t next = iterator.next();
    if (next == icu::BreakIterator::DONE) break;
    end = next;
  }
  return fromIcu(unicodeText.tempSubString(0, end));
}

std::string lowercased(std::string_view text) {
  if (isAscii(text)) {
    std::string result(text);
    for (char& byte : result) {
      if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
    }
    return result;
  }
  icu::UnicodeString unicodeText = toIcu(text);
  unicodeText.toLower(icu::Locale::getRoot());
  return fromIcu(unicodeText);
}

std::string nfc(std::string_view text) {
  return normalized(text, true);
}

std::string nfd(std::string_view text) {
  return normalized(text, false);
}

std::size_t characterCount(std::string_view text) {
  if (isAscii(text)) {
    std::size_t count = text.size();
    // CR LF is the one ASCII pair that forms a single character.
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
      if (text[i] == '\r' && text[i + 1] == '\n') --count;
    }
    return count;
  }
  icu::UnicodeString unicodeText = toIcu(text);
  icu::BreakIterator& iterator = characterIterator();
  iterator.setText(unicodeText);
  std::size_t count = 0;
  iterator.first();
  while (iterator.next() != icu::BreakIterator::DONE)
    ++count;
  return count;
}

std::string folded(std::string_view text) {
  if (isAscii(text)) return lowercased(text);
  icu::UnicodeString unicodeText = toIcu(text);
  // Folding comes first so that a capital whose folded form carries a mark (U+0130 gives i with
  // a dot above) loses the mark with the rest.
  unicodeText.foldCase(U_FOLD_CASE_DEFAULT);
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString decomposed = normalizer(false).normalize(unicodeText, status);
  if (U_FAILURE(status)) return fromIcu(unicodeText);
  icu::UnicodeString stripped;
  for (std::int32_t offset = 0; offset < decomposed.length();) {
    UChar32 scalar = decomposed.char32At(offset);
    if (u_charType(scalar) != U_NON_SPACING_MARK) stripped.append(scalar);
    offset += U16_LENGTH(scalar);
  }
  icu::UnicodeString composed = normalizer(true).normalize(stripped, status);
  if (U_FAILURE(status)) return fromIcu(stripped);
  return fromIcu(composed);
}

bool isWhiteSpace(char32_t scalar) {
  return u_isUWhiteSpace(static_cast<UChar32>(scalar));
}

bool isControlCharacter(char32_t scalar) {
  return scalar < 0x20 || (scalar >= 0x7F && scalar <= 0x9F) || scalar == 0x2028 ||
         scalar == 0x2029;
}

bool isAlphabetic(char32_t scalar) {
  return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_ALPHABETIC);
}

bool isNumeric(char32_t scalar) {
  return u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

}  // namespace tovrel::unicode
