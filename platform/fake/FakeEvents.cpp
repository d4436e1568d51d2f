#include "platform/fake/FakeEvents.hpp"

#include <algorithm>
#include <utility>

namespace tovrel::platform::fake {

namespace {

class FakeTapSource : public TapSource {
 public:
  explicit FakeTapSource(std::shared_ptr<FakeTapRecord> record) : record_(std::move(record)) {
    record_->attached = true;
    ++record_->sourcesAdded;
  }
  ~FakeTapSource() override {
    record_->attached = false;
    ++record_->sourcesRemoved;
  }

 private:
  std::shared_ptr<FakeTapRecord> record_;
};

bool movesPointer(EventType type) {
  return (type >= eventType::leftMouseDown && type <= eventType::rightMouseDragged) ||
         (type >= eventType::otherMouseDown && type <= eventType::otherMouseDragged);
}

}  // namespace

FakeTapPort::FakeTapPort(std::shared_ptr<FakeTapRecord> record, bool refuseSource)
    : record_(std::move(record)), refuseSource_(refuseSource) {}

FakeTapPort::~FakeTapPort() {
  record_->destroyed = true;
}

void FakeTapPort::enable(bool enabled) {
  record_->enabled = enabled;
  ++(enabled ? record_->enableCount : record_->disableCount);
}

bool FakeTapPort::isEnabled() const {
  return record_->enabled;
}

std::unique_ptr<TapSource> FakeTapPort::addToMainLoop() {
  if (refuseSource_) return nullptr;
  return std::make_unique<FakeTapSource>(record_);
}

void FakeTapPort::invalidate() {
  record_->invalidated = true;
}

void FakeTapPort::setKeyInterception(const KeyInterception& interception) {
  record_->interceptions.push_back(interception);
}

void FakeTapPort::setEventMask(std::uint64_t mask) {
  record_->mask = mask;
  record_->masks.push_back(mask);
}

bool FakeEventSource::post(const InputEvent& event, bool hasLocation) {
  return owner_.post(event, hasLocation);
}

std::unique_ptr<TapPort> FakeEventServices::createTap(std::uint64_t mask, TapCallback callback) {
  if (refuseTap) return nullptr;
  auto record = std::make_shared<FakeTapRecord>();
  record->mask = mask;
  record->callback = std::move(callback);
  taps.push_back(record);
  return std::make_unique<FakeTapPort>(std::move(record), refuseMainLoopSource);
}

std::unique_ptr<EventSource> FakeEventServices::createSource() {
  if (refuseSource) return nullptr;
  return std::make_unique<FakeEventSource>(*this);
}

std::optional<Point> FakeEventServices::pointerLocation() {
  if (!pointerReadable) return std::nullopt;
  return pointer;
}

bool FakeEventServices::requestListenEventAccess() {
  ++accessRequests;
  if (grantOnRequest) listenAccess = true;
  return listenAccess;
}

FakeTapRecord* FakeEventServices::liveTap() {
  auto found = std::find_if(taps.rbegin(), taps.rend(),
                            [](const auto& record) { return !record->destroyed; });
  return found == taps.rend() ? nullptr : found->get();
}

int FakeEventServices::liveTapCount() const {
  return static_cast<int>(
      std::count_if(taps.begin(), taps.end(), [](const auto& r) { return !r->destroyed; }));
}

bool FakeEventServices::inject(EventType type, const InputEvent& event) {
  FakeTapRecord* tap = liveTap();
  if (!tap || !tap->delivers() || (tap->mask & eventMaskBit(type)) == 0) return false;
  // Copied: the callback may destroy the port, and with it the record's callback.
  TapCallback callback = tap->callback;
  return callback(type, event);
}

void FakeEventServices::emitDisabled(bool byTimeout) {
  FakeTapRecord* tap = liveTap();
  if (!tap || !tap->delivers()) return;
  tap->enabled = false;
  const EventType type =
      byTimeout ? eventType::tapDisabledByTimeout : eventType::tapDisabledByUserInput;
  InputEvent event;
  event.type = type;
  TapCallback callback = tap->callback;
  callback(type, event);
}

bool FakeEventServices::post(const InputEvent& event, bool hasLocation) {
  if (refusedEventTypes.contains(event.type)) return false;
  if (movesPointer(event.type)) pointer = event.location;
  posted.push_back({event, hasLocation, false});
  const std::size_t index = posted.size() - 1;
  const bool swallowed = inject(event.type, event);
  posted[index].swallowed = swallowed;
  return true;
}

}  // namespace tovrel::platform::fake
