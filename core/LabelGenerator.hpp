#pragma once

// The letter codes click mode shows beside its targets.

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::LabelGenerator {

// The characters that may appear in labels, in the order of the user's alphabet: the lower-cased
// letters and numbers of `alphabet`, each once, leaving out those in `reserved`. Reserved
// characters are compared with the lower-cased ones as given, so callers pass them in lower case.
std::vector<std::string> usableAlphabet(std::string_view alphabet,
                                        const std::set<std::string>& reserved = {});

// `count` distinct labels of one length (1 to 6) over `alphabet`, label i being i written in base
// `alphabet.size()` with the characters as digits. Empty when `count` is not positive, the
// alphabet has fewer than two characters, six characters cannot number `count` labels, or `count`
// is beyond any number of targets a screen could hold (over 2^20).
std::vector<std::string> labels(std::int64_t count, std::span<const std::string> alphabet);

}  // namespace tovrel::LabelGenerator
