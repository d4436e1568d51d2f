#include "app/selftest/SelfTestConfig.hpp"

#include <system_error>

#include "core/ConfigStore.hpp"

namespace tovrel::selftest {

TovrelConfig selfTestConfig() {
  TovrelConfig config = TovrelConfig::defaults();
  config.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::leftCommand)});
  config.dragStyle = DragStyle::hold;
  config.scrollEntry.gesture = Gesture::key(Key::j, {Modifiers::control, Modifiers::command});
  return config;
}

std::optional<std::string> writeSelfTestConfig(const std::filesystem::path& directory) {
  const std::filesystem::path file = directory / configFileName;
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error)
    return "The self-test folder " + directory.string() +
           " could not be created: " + error.message() + ".";
  try {
    ConfigStore(file).save(selfTestConfig());
  } catch (const std::exception& failure) {
    return "The self-test settings " + file.string() + " could not be written: " + failure.what();
  }
  return std::nullopt;
}

}  // namespace tovrel::selftest
