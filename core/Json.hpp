#pragma once

// Strict JSON reading and writing on top of nlohmann-json.
//
// nlohmann is lenient where the settings file must not be: it wraps out-of-range integers,
// truncates fractions, writes NaN as null and overflows the stack on deeply nested input. Every
// read of a stored value goes through `Reader`, which checks type and range and reports the coding
// path of the member it was reading; every write goes through `writePretty`, which refuses
// non-finite numbers.

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/EnumTable.hpp"

namespace tovrel::json {

using Value = nlohmann::json;

// One step of a coding path: a member name or an array index.
struct PathElement {
  std::string key;
  std::optional<std::size_t> index;

  bool operator==(const PathElement&) const = default;
};
using CodingPath = std::vector<PathElement>;

// "cursorBindings[3].gesture.key"; empty for the top level.
std::string pathText(const CodingPath& path);

// Nesting deeper than this is rejected when parsing: the configuration needs four levels, and
// deeper trees would only serve to exhaust the stack.
inline constexpr int maxDepth = 64;

class DecodingError : public std::runtime_error {
 public:
  enum class Kind { typeMismatch, keyNotFound, valueNotFound, dataCorrupted };

  DecodingError(Kind kind, CodingPath codingPath, std::string debugDescription);

  Kind kind() const { return kind_; }
  const CodingPath& codingPath() const { return codingPath_; }
  // what() gives the full text: this description followed by the path it happened at.
  const std::string& debugDescription() const { return debugDescription_; }

 private:
  Kind kind_;
  CodingPath codingPath_;
  std::string debugDescription_;
};

class EncodingError : public std::runtime_error {
 public:
  EncodingError(CodingPath codingPath, std::string debugDescription);
  const CodingPath& codingPath() const { return codingPath_; }

 private:
  CodingPath codingPath_;
};

// Parses a whole document. Malformed JSON, invalid UTF-8, trailing content and nesting deeper than
// `maxDepth` throw a DecodingError of kind dataCorrupted; the text is always valid UTF-8.
Value parse(std::string_view bytes);

// Pretty-printed JSON (two-space indent) with every object's members sorted by name, ending without
// a newline. Throws EncodingError for a non-finite number or a string that is not valid UTF-8.
std::string writePretty(const Value& value);

// The JSON type name used in messages: "a string", "an object", "null".
std::string describeType(const Value& value);

// A read-only view of one value at a coding path. The viewed value must outlive the reader.
class Reader {
 public:
  explicit Reader(const Value& value, CodingPath path = {});

  const Value& value() const { return *value_; }
  const CodingPath& path() const { return path_; }
  bool isNull() const { return value_->is_null(); }

  // Object access. `member` requires an object holding the key (its value may still be null, which
  // the typed reads then report); `optionalMember` gives nothing for an absent or null member.
  bool contains(std::string_view key) const;
  Reader member(std::string_view key) const;
  std::optional<Reader> optionalMember(std::string_view key) const;
  // Requires an object; `typeName` names what was expected in the error.
  void expectObject(std::string_view typeName = "Dictionary") const;

  // Array access.
  std::vector<Reader> elements() const;

  // Scalars. Integers accept integral numbers written with a fraction or exponent (49.0, 1e2) but
  // never a fractional value; out-of-range values are errors, never wrapped.
  std::int64_t integer(std::int64_t min, std::int64_t max) const;
  template <class T>
  T integer() const {
    return static_cast<T>(integer(static_cast<std::int64_t>(std::numeric_limits<T>::min()),
                                  static_cast<std::int64_t>(std::numeric_limits<T>::max())));
  }
  double number() const;
  bool boolean() const;
  std::string string() const;

  template <Enumerated E>
  E enumeration() const {
    std::string text = string();
    if (auto value = fromRaw<E>(text)) return *value;
    fail(DecodingError::Kind::dataCorrupted, "Cannot initialize " +
                                                 std::string(EnumInfo<E>::typeName) +
                                                 " from invalid String value " + text);
  }

  [[noreturn]] void fail(DecodingError::Kind kind, std::string description) const;
  [[noreturn]] void typeMismatch(std::string_view expected) const;

 private:
  void expectType(bool matches, std::string_view expected) const;

  const Value* value_;
  CodingPath path_;
};

template <Enumerated E>
Value enumToJson(E value) {
  return Value(std::string(rawValue(value)));
}

}  // namespace tovrel::json
