#include "core/HintTarget.hpp"

#include <algorithm>
#include <tuple>

#include "core/Unicode.hpp"

namespace tovrel {

std::ostream& operator<<(std::ostream& stream, const Point& point) {
  return stream << "(" << point.x << ", " << point.y << ")";
}

std::ostream& operator<<(std::ostream& stream, const HintTarget::Frame& frame) {
  return stream << "Frame(x: " << frame.x << ", y: " << frame.y << ", width: " << frame.width
                << ", height: " << frame.height << ")";
}

namespace TargetSearch {

namespace {

// The ASCII members of White_Space: tab, line feed, vertical tab, form feed, carriage return and
// space.
bool isAsciiWhiteSpace(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Appends one non-space piece of text, with a single space before it unless it starts the result.
void appendWord(std::string& result, bool& gap, std::string_view piece) {
  if (gap && !result.empty()) result += ' ';
  gap = false;
  result += piece;
}

struct Match {
  std::size_t index;
  int tier;
  std::size_t length;
};

}  // namespace

std::string normalize(std::string_view text) {
  std::string foldedText = unicode::folded(text);
  std::string result;
  result.reserve(foldedText.size());
  bool gap = false;
  // Folding keeps ASCII text ASCII, and then every byte is a whole character.
  if (unicode::isAscii(foldedText)) {
    for (char byte : foldedText) {
      if (isAsciiWhiteSpace(byte)) {
        gap = true;
      } else {
        appendWord(result, gap, std::string_view(&byte, 1));
      }
    }
    return result;
  }
  for (char32_t scalar : unicode::scalars(foldedText)) {
    if (unicode::isWhiteSpace(scalar)) {
      gap = true;
    } else {
      appendWord(result, gap, unicode::toUtf8(scalar));
    }
  }
  return result;
}

PreparedName prepare(std::string_view name) {
  PreparedName prepared;
  prepared.normalized = normalize(name);
  prepared.length = unicode::characterCount(prepared.normalized);
  return prepared;
}

std::vector<PreparedName> prepare(std::span<const std::string> names) {
  std::vector<PreparedName> result;
  result.reserve(names.size());
  for (const auto& name : names)
    result.push_back(prepare(name));
  return result;
}

std::vector<std::size_t> rank(std::string_view query, std::span<const std::string> names) {
  auto prepared = prepare(names);
  return rank(query, std::span<const PreparedName>(prepared));
}

// Matching compares UTF-8 bytes of composed, mark-free text. A valid needle can only match at
// character boundaries of a valid haystack, so this equals matching by scalars; it differs from
// matching by whole characters only where a word would end inside a cluster (half of a flag,
// Hangul jamo, emoji joined by ZWJ).
std::vector<std::size_t> rank(std::string_view query, std::span<const PreparedName> names) {
  const std::string normalizedQuery = normalize(query);
  std::vector<std::string_view> words;
  for (std::size_t start = 0; start < normalizedQuery.size();) {
    std::size_t end = std::min(normalizedQuery.find(' ', start), normalizedQuery.size());
    words.push_back(std::string_view(normalizedQuery).substr(start, end - start));
    start = end + 1;
  }

  std::vector<std::size_t> result;
  if (words.empty()) {
    result.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
      result[i] = i;
    return result;
  }

  std::string laterWord(1, ' ');
  laterWord.append(words.front());
  std::vector<Match> matches;
  for (std::size_t index = 0; index < names.size(); ++index) {
    const std::string& name = names[index].normalized;
    bool containsAll = std::all_of(words.begin(), words.end(), [&](std::string_view word) {
      return name.find(word) != std::string::npos;
    });
    if (!containsAll) continue;
    int tier = name.starts_with(words.front())             ? 0
               : name.find(laterWord) != std::string::npos ? 1
                                                           : 2;
    matches.push_back({index, tier, names[index].length});
  }
  std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
    return std::tie(a.tier, a.length, a.index) < std::tie(b.tier, b.length, b.index);
  });
  result.reserve(matches.size());
  for (const auto& match : matches)
    result.push_back(match.index);
  return result;
}

}  // namespace TargetSearch

}  // namespace tovrel
