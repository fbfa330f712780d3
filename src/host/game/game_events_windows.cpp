#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/log.h"
#include "hooking/event.h"
#include "host/game/game_addresses.h"
#include "host/game/game_patches.h"
#include "host/game_facts.h"

namespace events {
namespace {

namespace ga = game_address;

using PedEvent = Event<HostPed*>;
using PlainEvent = Event<>;

// The call sites are those of the 1.0 US builds, rebased; any other build has none.
std::vector<uintptr_t> SitesOf(std::initializer_list<uintptr_t> fixedAddresses) {
  std::vector<uintptr_t> sites;
  const int version = GameVersion();
  if (!game::IsSupportedVersion(version)) return sites;
  for (uintptr_t fixedAddress : fixedAddresses) sites.push_back(Rebase(fixedAddress));
  return sites;
}

Order OrderOf(EventOrder order) {
  return order == EventOrder::Before ? Order::Before : Order::After;
}

// Function-local: the plug-in's start-up (another file) subscribes during static
// initialisation, in an order no file-scope constructor here could be sure to precede.
std::mutex& EventsMutex() {
  static std::mutex mutex;
  return mutex;
}

// A subscription's share of its event: the event lives while any share does. The last
// share takes the event off its call sites and says so when one had to stay.
template <typename E>
class EventShare : public HostPatch {
 public:
  EventShare(std::shared_ptr<E> event, const char* name) : event_(std::move(event)), name_(name) {}
  ~EventShare() override {
    std::lock_guard<std::mutex> hold(EventsMutex());
    if (event_.use_count() == 1 && event_->Unpatch() && LogOpen()) {
      LogLine("%s event hook: left in place, another hook was placed over it", name_);
    }
  }
  EventShare(const EventShare&) = delete;
  EventShare& operator=(const EventShare&) = delete;

 private:
  std::shared_ptr<E> event_;
  const char* name_;
};

template <typename E>
std::shared_ptr<E> SharedEvent(std::weak_ptr<E>* slot, std::initializer_list<uintptr_t> sites,
                               CallContract contract) {
  std::shared_ptr<E> event = slot->lock();
  if (!event) {
    event = std::make_shared<E>(SitesOf(sites), contract);
    *slot = event;
  }
  return event;
}

}  // namespace

std::unique_ptr<HostPatch> SubscribePedRemoval(EventOrder order, PedEventCallback callback,
                                               int32_t id) {
  static std::weak_ptr<PedEvent> pedRemoval;
  std::lock_guard<std::mutex> hold(EventsMutex());
  auto event = SharedEvent(&pedRemoval, {ga::kPedRemovalCall}, CallContract::Member);
  event->Subscribe(OrderOf(order), callback, id);
  return std::make_unique<EventShare<PedEvent>>(std::move(event), "ped removal");
}

std::unique_ptr<HostPatch> Subscribe(HostEvent which, EventOrder order, PlainEventCallback callback,
                                     int32_t id) {
  static std::weak_ptr<PlainEvent> frame, firstReset, secondReset;
  std::lock_guard<std::mutex> hold(EventsMutex());
  std::shared_ptr<PlainEvent> event;
  const char* name = "";
  switch (which) {
    case HostEvent::Frame:
      event = SharedEvent(&frame, {ga::kFrameCall}, CallContract::Plain);
      name = "frame";
      break;
    case HostEvent::FirstReset:
      event = SharedEvent(&firstReset, {ga::kFirstResetCall}, CallContract::Plain);
      name = "first reset";
      break;
    case HostEvent::SecondReset:
      event = SharedEvent(&secondReset, {ga::kSecondResetCallA, ga::kSecondResetCallB},
                          CallContract::Plain);
      name = "second reset";
      break;
    case HostEvent::PedRemoval:  // passes the ped: SubscribePedRemoval
      return std::make_unique<EventShare<PlainEvent>>(nullptr, "");
  }
  event->Subscribe(OrderOf(order), callback, id);
  return std::make_unique<EventShare<PlainEvent>>(std::move(event), name);
}

}  // namespace events
