#include "app/selftest/Check.hpp"

#include <algorithm>
#include <cmath>

namespace tovrel::selftest {

json::Value Check::toJson() const {
  json::Value measured = json::Value::object();
  for (const auto& [name, value] : metrics) {
    if (std::isfinite(value)) measured[name] = value;
  }
  return json::Value{
      {"id", id},         {"acceptance", acceptance}, {"title", title},
      {"passed", passed}, {"detail", detail},         {"metrics", std::move(measured)},
  };
}

Check Check::fromJson(const json::Reader& reader) {
  reader.expectObject();
  Check check;
  check.id = reader.member("id").string();
  for (const json::Reader& element : reader.member("acceptance").elements())
    check.acceptance.push_back(element.string());
  check.title = reader.member("title").string();
  check.passed = reader.member("passed").boolean();
  check.detail = reader.member("detail").string();
  const json::Reader metrics = reader.member("metrics");
  metrics.expectObject();
  for (const auto& [name, value] : metrics.value().items()) {
    json::CodingPath path = metrics.path();
    path.push_back(json::PathElement{.key = name, .index = std::nullopt});
    check.metrics[name] = json::Reader(value, std::move(path)).number();
  }
  return check;
}

std::string consoleLine(const Check& check) {
  return (check.passed ? "PASS " : "FAIL ") + check.id + " " + check.title + " — " + check.detail +
         "\n";
}

bool allPassed(const std::vector<Check>& checks) {
  return !checks.empty() &&
         std::all_of(checks.begin(), checks.end(), [](const Check& check) { return check.passed; });
}

std::string reportJson(const std::vector<Check>& checks) {
  json::Value array = json::Value::array();
  for (const Check& check : checks)
    array.push_back(check.toJson());
  return json::writePretty(array);
}

std::vector<Check> decodeReportJson(std::string_view bytes) {
  const json::Value document = json::parse(bytes);
  std::vector<Check> checks;
  for (const json::Reader& element : json::Reader(document).elements())
    checks.push_back(Check::fromJson(element));
  return checks;
}

}  // namespace tovrel::selftest
