#pragma once

// One result of the live self-test, as it is printed while the run goes and kept in its reports.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/Json.hpp"

namespace tovrel::selftest {

struct Check {
  std::string id;                       // "L00" … "L24"
  std::vector<std::string> acceptance;  // e.g. "A03", "M1", "Scroll"; empty for a start-up failure
  std::string title;
  bool passed = false;
  std::string detail;  // the evidence, built from measured values
  std::map<std::string, double> metrics;

  bool operator==(const Check&) const = default;

  // All six keys, always. A metric that is not a finite number has no JSON form and is left out,
  // so one bad measurement cannot cost the whole report.
  json::Value toJson() const;
  // All six keys are required.
  static Check fromJson(const json::Reader& reader);
};

// "PASS L03 Right Alt tap starts … — <detail>\n".
std::string consoleLine(const Check& check);

// Whether every check passed; an empty run has not passed.
bool allPassed(const std::vector<Check>& checks);

// The checks as one pretty JSON array with sorted keys, as selftest.json holds them.
std::string reportJson(const std::vector<Check>& checks);
// Reads what `reportJson` wrote; throws json::DecodingError naming the faulty member.
std::vector<Check> decodeReportJson(std::string_view bytes);

}  // namespace tovrel::selftest
