// Reading order of targets. Rows are told apart with a tolerance of a few points, so the relation
// chains: a is level with b and b with c while a is well above c. That is no strict weak order,
// and the standard sorts may then misbehave or even read out of bounds. This is a plain stable
// run-and-merge sort whose outcome on such input is fixed by its exact steps, so every one of
// them below is deliberate: labels must come out in the same order on every run and machine.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "system/AccessibilityTargets.hpp"

namespace tovrel {

namespace {

// Frames whose tops differ by at most this many points share a row.
constexpr double rowTolerance = 6;

struct Entry {
  double x = 0;
  double y = 0;
  std::size_t index = 0;
};

bool goesBefore(const Entry& a, const Entry& b) {
  if (std::abs(a.y - b.y) > rowTolerance) return a.y < b.y;
  return a.x < b.x;
}

std::size_t minimumRunLength(std::size_t count) {
  if (count < 64) return count;
  std::size_t kept = count;
  bool droppedBits = false;
  while (kept >= 64) {
    droppedBits = droppedBits || (kept & 1) != 0;
    kept >>= 1;
  }
  return kept + (droppedBits ? 1 : 0);
}

class RunMergeSort {
 public:
  explicit RunMergeSort(std::vector<Entry>& entries) : e_(entries), buffer_(entries.size() / 2) {}

  void run() {
    const std::size_t n = e_.size();
    if (n < 2) return;
    const std::size_t minRun = minimumRunLength(n);
    if (n <= minRun) {
      insertion(0, n, 1);
      return;
    }
    std::size_t start = 0;
    while (start < n) {
      auto [end, descending] = nextRun(start);
      if (descending)
        std::reverse(e_.begin() + static_cast<std::ptrdiff_t>(start),
                     e_.begin() + static_cast<std::ptrdiff_t>(end));
      if (end < n && end - start < minRun) {
        const std::size_t extended = std::min(n, start + minRun);
        insertion(start, extended, end);
        end = extended;
      }
      runs_.push_back({start, end});
      repair();
      start = end;
    }
    while (runs_.size() > 1)
      mergeAt(runs_.size() - 1);
  }

 private:
  struct Run {
    std::size_t begin;
    std::size_t end;
    std::size_t length() const { return end - begin; }
  };

  // [low, sortedEnd) is in order; each later entry moves left past every entry it goes before.
  void insertion(std::size_t low, std::size_t high, std::size_t sortedEnd) {
    for (std::size_t next = sortedEnd; next < high; ++next) {
      for (std::size_t i = next; i > low && goesBefore(e_[i], e_[i - 1]); --i)
        std::swap(e_[i], e_[i - 1]);
    }
  }

  std::pair<std::size_t, bool> nextRun(std::size_t start) const {
    const std::size_t n = e_.size();
    if (start + 1 == n) return {n, false};
    const bool descending = goesBefore(e_[start + 1], e_[start]);
    std::size_t current = start + 2;
    while (current < n && goesBefore(e_[current], e_[current - 1]) == descending)
      ++current;
    return {current, descending};
  }

  // With the newest run lengths W, X, Y, Z (Z newest), merges until W > X + Y, X > Y + Z and
  // Y > Z hold for the runs present.
  void repair() {
    while (runs_.size() > 1) {
      std::size_t last = runs_.size() - 1;
      const bool wTooShort =
          runs_.size() > 3 &&
          runs_[last - 3].length() <= runs_[last - 2].length() + runs_[last - 1].length();
      const bool xTooShort =
          runs_.size() > 2 &&
          runs_[last - 2].length() <= runs_[last - 1].length() + runs_[last].length();
      if (wTooShort || xTooShort) {
        if (runs_[last - 2].length() < runs_[last].length()) --last;
      } else if (runs_[last - 1].length() > runs_[last].length()) {
        break;
      }
      mergeAt(last);
    }
  }

  // Merges run `index` into the run before it.
  void mergeAt(std::size_t index) {
    merge(runs_[index - 1].begin, runs_[index].begin, runs_[index].end);
    runs_[index - 1].end = runs_[index].end;
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  void merge(std::size_t low, std::size_t mid, std::size_t high) {
    const std::size_t lowCount = mid - low;
    const std::size_t highCount = high - mid;
    if (lowCount < highCount) {
      // Forward: the right run's entry is taken only when it goes before the buffered one.
      std::copy_n(e_.begin() + static_cast<std::ptrdiff_t>(low), lowCount, buffer_.begin());
      std::size_t buffered = 0;
      std::size_t source = mid;
      std::size_t destination = low;
      while (buffered < lowCount && source < high) {
        if (goesBefore(e_[source], buffer_[buffered])) {
          e_[destination++] = e_[source++];
        } else {
          e_[destination++] = buffer_[buffered++];
        }
      }
      while (buffered < lowCount)
        e_[destination++] = buffer_[buffered++];
    } else {
      // Backward: the left run's entry goes to the back only when the buffered one goes
      // before it.
      std::copy_n(e_.begin() + static_cast<std::ptrdiff_t>(mid), highCount, buffer_.begin());
      std::size_t buffered = highCount;
      std::size_t source = mid;
      std::size_t destination = high;
      while (buffered > 0 && source > low) {
        if (goesBefore(buffer_[buffered - 1], e_[source - 1])) {
          e_[--destination] = e_[--source];
        } else {
          e_[--destination] = buffer_[--buffered];
        }
      }
      while (buffered > 0)
        e_[--destination] = buffer_[--buffered];
    }
  }

  std::vector<Entry>& e_;
  std::vector<Entry> buffer_;
  std::vector<Run> runs_;
};

}  // namespace

void AccessibilityTargets::sortForLabels(std::vector<TargetPair>& pairs) {
  std::vector<Entry> entries;
  entries.reserve(pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i)
    entries.push_back({pairs[i].first.frame.x, pairs[i].first.frame.y, i});
  RunMergeSort(entries).run();
  std::vector<TargetPair> sorted;
  sorted.reserve(pairs.size());
  for (const Entry& entry : entries)
    sorted.push_back(std::move(pairs[entry.index]));
  pairs = std::move(sorted);
}

}  // namespace tovrel
