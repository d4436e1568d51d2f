#include "platform/fake/FakeAccess.hpp"

namespace tovrel::platform::fake {

bool FakeAccessServices::isProcessTrusted(bool prompt) {
  trustQueries.push_back(prompt);
  if (prompt && grantOnPrompt) trusted = true;
  return trusted;
}

std::optional<std::string> FakeAccessServices::runningApplicationName(std::int64_t pid) {
  auto found = applicationNames.find(pid);
  if (found == applicationNames.end()) return std::nullopt;
  return found->second;
}

bool FakeAccessServices::openURL(const std::string& url) {
  openedURLs.push_back(url);
  return canOpenURLs;
}

}  // namespace tovrel::platform::fake
