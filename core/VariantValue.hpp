#pragma once

// The engine's results are small closed sets of cases (commands, decisions, effects). Each is a
// class around a std::variant; this declares what they share: implicit construction from any case,
// access to the case, and equality.

#include <type_traits>
#include <utility>
#include <variant>

// Use inside a class that has declared `using Value = std::variant<...>;`.
#define TOVREL_VARIANT_VALUE(Type)                                    \
 public:                                                              \
  template <class Case>                                               \
  requires std::is_constructible_v<Value, Case&&>                     \
  constexpr Type(Case&& value) : value_(std::forward<Case>(value)) {} \
  const Value& value() const {                                        \
    return value_;                                                    \
  }                                                                   \
  Value& value() {                                                    \
    return value_;                                                    \
  }                                                                   \
  template <class Case>                                               \
  const Case* as() const {                                            \
    return std::get_if<Case>(&value_);                                \
  }                                                                   \
  bool operator==(const Type&) const = default;                       \
                                                                      \
 private:                                                             \
  Value value_;
