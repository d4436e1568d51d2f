// The operations every check uses: posting input, waiting, reading the fixture, starting and
// bringing forward its processes, and forcing the program into a mode.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStringList>

#include <signal.h>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "core/EnumTable.hpp"
#include "fixture/FixtureSignals.hpp"
#include "platform/Platform.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

void LiveSelfTest::wait(int milliseconds) {
  pacer_.sleep(milliseconds);
}

bool LiveSelfTest::waitFor(double timeout, const std::function<bool()>& condition) {
  return selftest::waitFor(pacer_, timeout, condition);
}

bool LiveSelfTest::tapModifier(std::uint16_t code, const std::function<bool()>& until,
                               double timeout) {
  input().modifierKey(code, true);
  wait(50);
  input().modifierKey(code, false);
  return waitFor(timeout, until);
}

void LiveSelfTest::keyDown(std::uint16_t code, Modifiers modifiers) {
  input().key(code, true, modifiers);
}

void LiveSelfTest::keyUp(std::uint16_t code, Modifiers modifiers) {
  input().key(code, false, modifiers);
}

void LiveSelfTest::press(std::uint16_t code, Modifiers modifiers) {
  keyDown(code, modifiers);
  keyUp(code, modifiers);
}

void LiveSelfTest::holdModifier(std::uint16_t code) {
  input().modifierKey(code, true);
}

void LiveSelfTest::releaseModifier(std::uint16_t code) {
  input().modifierKey(code, false);
}

void LiveSelfTest::type(std::string_view text) {
  for (std::uint16_t code : typingCodes(text))
    press(code);
}

void LiveSelfTest::pressClickEntry(Modifiers extra) {
  const Gesture gesture = navigation().config().clickEntry.gesture;
  if (!gesture.isKey()) return;
  press(gesture.keyCode(), gesture.modifiers() | extra);
}

void LiveSelfTest::pointAt(const std::string& frameName, double fx, double fy) {
  const FixtureFrame area = frame(frameName);
  input().movePointer({area.x + fx * area.width, area.y + fy * area.height});
}

void LiveSelfTest::clickField(const std::string& frameName) {
  const FixtureFrame area = frame(frameName);
  const Point centre{area.x + area.width / 2, area.y + area.height / 2};
  input().movePointer(centre);
  wait(100);
  input().leftButton(true, centre);
  input().leftButton(false, centre);
  wait(200);
  // End puts the caret after the text; a line edit here has no Command-Right.
  press(Key::end);
  wait(80);
}

Point LiveSelfTest::pointer() {
  return input().pointerLocation().value_or(Point{0, 0});
}

bool LiveSelfTest::leftButtonDown() {
  return input().leftButtonDown();
}

std::filesystem::path LiveSelfTest::statePath(const char* fileName) const {
  return outputDirectory_ / fileName;
}

FixtureState LiveSelfTest::fixtureState() const {
  return FixtureState::read(statePath("fixture-state.json").string());
}

FixtureFrame LiveSelfTest::frame(const std::string& name) const {
  return fixtureState().frame(name);
}

double LiveSelfTest::padCount(const std::string& name) const {
  return fixtureState().padCount(name);
}

std::string LiveSelfTest::fixtureText(const char* member) const {
  return fixtureState().text(member);
}

double LiveSelfTest::fixtureNumber(const char* member) const {
  return fixtureState().number(member);
}

std::optional<FixtureProcess> LiveSelfTest::launch(const std::vector<std::string>& arguments) {
  if (!fixturePath_) return std::nullopt;
  QStringList list;
  std::optional<std::string> state;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    list << QString::fromStdString(arguments[index]);
    if (arguments[index] == "--state" && index + 1 < arguments.size()) state = arguments[index + 1];
  }
  // A state file left by an earlier run would say the new instance is up before it is.
  std::error_code ignored;
  if (state) std::filesystem::remove(*state, ignored);
  qint64 pid = 0;
  const bool started = QProcess::startDetached(QString::fromStdString(fixturePath_->string()), list,
                                               QString(), &pid);
  wait(800);
  if (!started || pid <= 0) {
    problems_.push_back("The fixture " + fixturePath_->string() + " could not be started.");
    return std::nullopt;
  }
  // On a busy machine a new instance can take longer than the settling time to show its window;
  // what follows needs it on screen.
  if (state) waitFor(5.0, [&] { return FixtureState::read(*state).ready(); });
  return FixtureProcess{pid};
}

bool LiveSelfTest::launchFixture() {
  auto started = launch({"--state", statePath("fixture-state.json").string()});
  if (!started) return false;
  fixture_ = started;
  return waitFor(5.0, [this] { return fixtureState().ready(); });
}

void LiveSelfTest::activate(const FixtureProcess& process) {
  const auto pid = static_cast<std::int32_t>(process.pid);
  platform().application.activate(pid);
  waitFor(2.0, [&] { return platform().workspace.frontmostApplicationPid() == pid; });
  wait(150);
}

void LiveSelfTest::activateFixture() {
  if (fixture_) activate(*fixture_);
}

void LiveSelfTest::terminate(std::optional<FixtureProcess>& process) {
  if (!process) return;
  ::kill(static_cast<pid_t>(process->pid), SIGTERM);
  process.reset();
}

void LiveSelfTest::signalFixture(const char* member) {
  QDBusMessage message = QDBusMessage::createSignal(QString::fromLatin1(fixture::kSignalPath),
                                                    QString::fromLatin1(fixture::kSignalInterface),
                                                    QString::fromLatin1(member));
  QDBusConnection::sessionBus().send(message);
}

void LiveSelfTest::ensureOff() {
  if (navigation().mode() == InteractionMode::off) return;
  navigation().stopNavigation();
  wait(100);
}

void LiveSelfTest::ensureCursor() {
  if (navigation().mode() == InteractionMode::cursor) return;
  activateFixture();
  tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
}

std::size_t LiveSelfTest::visibleOverlayCount() {
  return platform().overlays.visiblePanelCount();
}

std::string LiveSelfTest::modeName() {
  return std::string(rawValue(navigation().mode()));
}

bool LiveSelfTest::labelled() {
  const ClickSession* click = navigation().router().click();
  return click != nullptr && click->hasSnapshot();
}

}  // namespace tovrel::selftest
