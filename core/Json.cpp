#include "core/Json.hpp"

#include <fmt/format.h>
#include <cmath>

#include "core/Unicode.hpp"

namespace tovrel::json {

namespace {

std::string describePath(const CodingPath& path) {
  return path.empty() ? std::string() : " (at " + pathText(path) + ")";
}

// nlohmann's messages start with "[json.exception.parse_error.101] " and quote the bytes last read,
// which may be invalid UTF-8; the user sees this text, so it is cleaned up.
std::string cleanParserMessage(std::string_view message) {
  if (message.starts_with("[json.exception.")) {
    auto end = message.find("] ");
    if (end != std::string_view::npos) message.remove_prefix(end + 2);
  }
  return unicode::sanitizedUtf8(message);
}

struct DepthExceeded {};

void checkWritable(const Value& value, CodingPath& path) {
  switch (value.type()) {
    case Value::value_t::number_float:
      if (!std::isfinite(value.get<double>())) {
        throw EncodingError(
            path, fmt::format("Unable to encode the non-finite number {}", value.get<double>()));
      }
      break;
    case Value::value_t::string:
      if (!unicode::isValidUtf8(value.get_ref<const std::string&>())) {
        throw EncodingError(path, "Unable to encode a string that is not valid UTF-8");
      }
      break;
    case Value::value_t::object:
      for (const auto& [key, member] : value.items()) {
        if (!unicode::isValidUtf8(key)) {
          throw EncodingError(path, "Unable to encode a member name that is not valid UTF-8");
        }
        path.push_back({key, std::nullopt});
        checkWritable(member, path);
        path.pop_back();
      }
      break;
    case Value::value_t::array: {
      std::size_t index = 0;
      for (const auto& element : value) {
        path.push_back({{}, index++});
        checkWritable(element, path);
        path.pop_back();
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

std::string pathText(const CodingPath& path) {
  std::string text;
  for (const auto& element : path) {
    if (element.index) {
      text += fmt::format("[{}]", *element.index);
    } else {
      if (!text.empty()) text += '.';
      text += element.key;
    }
  }
  return text;
}

DecodingError::DecodingError(Kind kind, CodingPath codingPath, std::string debugDescription)
    : std::runtime_error(debugDescription + describePath(codingPath)),
      kind_(kind),
      codingPath_(std::move(codingPath)),
      debugDescription_(std::move(debugDescription)) {}

EncodingError::EncodingError(CodingPath codingPath, std::string debugDescription)
    : std::runtime_error(debugDescription + describePath(codingPath)),
      codingPath_(std::move(codingPath)) {}

Value parse(std::string_view bytes) {
  // The callback sees each container as it opens, before anything deeper is built, so a hostile
  // file is refused without ever holding a deep tree.
  auto limitDepth = [](int depth, Value::parse_event_t event, Value&) {
    if ((event == Value::parse_event_t::object_start ||
         event == Value::parse_event_t::array_start) &&
        depth >= maxDepth) {
      throw DepthExceeded{};
    }
    return true;
  };
  try {
    return Value::parse(bytes.begin(), bytes.end(), limitDepth);
  } catch (const DepthExceeded&) {
    throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                        fmt::format("The given data was not valid JSON: it is nested deeper than "
                                    "{} levels.",
                                    maxDepth));
  } catch (const Value::exception& error) {
    throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                        "The given data was not valid JSON: " + cleanParserMessage(error.what()));
  }
}

std::string writePretty(const Value& value) {
  CodingPath path;
  checkWritable(value, path);
  // nlohmann keeps object members in a std::map, so they come out sorted by name.
  return value.dump(2);
}

std::string describeType(const Value& value) {
  switch (value.type()) {
    case Value::value_t::null:
      return "null";
    case Value::value_t::object:
      return "a dictionary";
    case Value::value_t::array:
      return "an array";
    case Value::value_t::string:
      return "a string";
    case Value::value_t::boolean:
      return "a boolean";
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
    case Value::value_t::number_float:
      return "a number";
    default:
      return "an unsupported value";
  }
}

Reader::Reader(const Value& value, CodingPath path) : value_(&value), path_(std::move(path)) {}

void Reader::fail(DecodingError::Kind kind, std::string description) const {
  throw DecodingError(kind, path_, std::move(description));
}

void Reader::typeMismatch(std::string_view expected) const {
  fail(DecodingError::Kind::typeMismatch,
       fmt::format("Expected to decode {} but found {} instead.", expected, describeType(*value_)));
}

void Reader::expectType(bool matches, std::string_view expected) const {
  if (matches) return;
  if (value_->is_null()) {
    fail(DecodingError::Kind::valueNotFound,
         fmt::format("Expected {} value but found null instead.", expected));
  }
  typeMismatch(expected);
}

void Reader::expectObject(std::string_view typeName) const {
  expectType(value_->is_object(), typeName);
}

bool Reader::contains(std::string_view key) const {
  return value_->is_object() && value_->find(key) != value_->end();
}

Reader Reader::member(std::string_view key) const {
  expectObject();
  auto found = value_->find(key);
  CodingPath childPath = path_;
  if (found == value_->end()) {
    fail(DecodingError::Kind::keyNotFound,
         fmt::format("No value associated with key “{}”.", unicode::sanitizedUtf8(key)));
  }
  childPath.push_back({std::string(key), std::nullopt});
  return Reader(*found, std::move(childPath));
}

std::optional<Reader> Reader::optionalMember(std::string_view key) const {
  expectObject();
  auto found = value_->find(key);
  if (found == value_->end() || found->is_null()) return std::nullopt;
  CodingPath childPath = path_;
  childPath.push_back({std::string(key), std::nullopt});
  return Reader(*found, std::move(childPath));
}

std::vector<Reader> Reader::elements() const {
  expectType(value_->is_array(), "Array");
  std::vector<Reader> result;
  result.reserve(value_->size());
  std::size_t index = 0;
  for (const auto& element : *value_) {
    CodingPath childPath = path_;
    childPath.push_back({{}, index++});
    result.emplace_back(element, std::move(childPath));
  }
  return result;
}

std::int64_t Reader::integer(std::int64_t min, std::int64_t max) const {
  expectType(value_->is_number(), "Int");
  auto outOfRange = [&]() {
    fail(DecodingError::Kind::dataCorrupted,
         fmt::format("Parsed JSON number <{}> does not fit in {}…{}.", value_->dump(), min, max));
  };
  std::int64_t result = 0;
  if (value_->is_number_unsigned()) {
    auto raw = value_->get<std::uint64_t>();
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) outOfRange();
    result = static_cast<std::int64_t>(raw);
  } else if (value_->is_number_integer()) {
    result = value_->get<std::int64_t>();
  } else {
    double raw = value_->get<double>();
    if (!std::isfinite(raw) || std::trunc(raw) != raw) {
      fail(DecodingError::Kind::dataCorrupted,
           fmt::format("Parsed JSON number <{}> is not a whole number.", value_->dump()));
    }
    // 2^63 is exactly representable; anything at or above it does not fit in 64 bits.
    if (raw < -9223372036854775808.0 || raw >= 9223372036854775808.0) outOfRange();
    result = static_cast<std::int64_t>(raw);
  }
  if (result < min || result > max) outOfRange();
  return result;
}

double Reader::number() const {
  expectType(value_->is_number(), "Double");
  return value_->get<double>();
}

bool Reader::boolean() const {
  expectType(value_->is_boolean(), "Bool");
  return value_->get<bool>();
}

std::string Reader::string() const {
  expectType(value_->is_string(), "String");
  return value_->get<std::string>();
}

}  // namespace tovrel::json
