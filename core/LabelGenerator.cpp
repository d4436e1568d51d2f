#include "core/LabelGenerator.hpp"

#include "core/Unicode.hpp"

namespace tovrel::LabelGenerator {

namespace {

constexpr int longestLabel = 6;
// Far more labels than any screen can show (discovery stops at a few hundred targets); larger
// requests are refused rather than attempted, since they could only exhaust memory.
constexpr std::int64_t mostLabels = 1 << 20;

bool isLetterOrNumber(std::string_view character) {
  auto first = unicode::firstScalar(character);
  return first && (unicode::isAlphabetic(*first) || unicode::isNumeric(*first));
}

}  // namespace

std::vector<std::string> usableAlphabet(std::string_view alphabet,
                                        const std::set<std::string>& reserved) {
  // Characters are compared in composed form, so "é" typed either way counts once.
  std::set<std::string> reservedComposed;
  for (const auto& character : reserved)
    reservedComposed.insert(unicode::nfc(character));

  std::vector<std::string> result;
  std::set<std::string> taken;
  for (auto& character : unicode::characters(unicode::nfc(unicode::lowercased(alphabet)))) {
    if (reservedComposed.contains(character) || taken.contains(character)) continue;
    if (!isLetterOrNumber(character)) continue;
    taken.insert(character);
    result.push_back(std::move(character));
  }
  return result;
}

std::vector<std::string> labels(std::int64_t count, std::span<const std::string> alphabet) {
  auto base = static_cast<std::int64_t>(alphabet.size());
  if (count <= 0 || count > mostLabels || base <= 1) return {};

  int length = 1;
  std::int64_t capacity = base;
  while (capacity < count) {
    if (length == longestLabel) return {};
    std::int64_t next = 0;
    // An overflow means the capacity is far beyond any count.
    if (__builtin_mul_overflow(capacity, base, &next)) next = count;
    capacity = next;
    ++length;
  }

  std::vector<std::string> result;
  result.reserve(static_cast<std::size_t>(count));
  std::vector<std::size_t> digits(static_cast<std::size_t>(length));
  for (std::int64_t i = 0; i < count; ++i) {
    std::int64_t rest = i;
    for (int position = length - 1; position >= 0; --position) {
      digits[static_cast<std::size_t>(position)] = static_cast<std::size_t>(rest % base);
      rest /= base;
    }
    std::string label;
    for (std::size_t digit : digits)
      label += alphabet[digit];
    result.push_back(std::move(label));
  }
  return result;
}

}  // namespace tovrel::LabelGenerator
