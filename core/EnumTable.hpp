#pragma once

// Stored texts of the enumerations. Each enumeration numbers its cases from 0 in declaration order
// and specialises EnumInfo with its type name and one stored text per case; rawValue, fromRaw and
// allCases then work for all of them alike.

#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tovrel {

template <class E>
struct EnumInfo;

template <class E>
concept Enumerated = requires {
  { EnumInfo<E>::typeName } -> std::convertible_to<std::string_view>;
  EnumInfo<E>::raw.size();
};

template <Enumerated E>
constexpr std::string_view rawValue(E value) {
  return EnumInfo<E>::raw[static_cast<std::size_t>(value)];
}

// The case whose stored text is exactly `text` (case-sensitive, no trimming).
template <Enumerated E>
constexpr std::optional<E> fromRaw(std::string_view text) {
  const auto& raw = EnumInfo<E>::raw;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == text) return static_cast<E>(i);
  }
  return std::nullopt;
}

template <Enumerated E>
constexpr auto allCases() {
  std::array<E, EnumInfo<E>::raw.size()> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i)
    cases[i] = static_cast<E>(i);
  return cases;
}

}  // namespace tovrel
