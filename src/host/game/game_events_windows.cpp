#include <memory>
#include <mutex>
#include <utility>
#include <vector>

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

// A subscription's share of its event: the event lives while any share does.
class EventShare : public HostPatch {
 public:
  explicit EventShare(std::shared_ptr<void> event) : event_(std::move(event)) {}

 private:
  std::shared_ptr<void> event_;
};

// Function-local: the plug-in's start-up (another file) subscribes during static
// initialisation, in an order no file-scope constructor here could be sure to precede.
std::mutex& EventsMutex() {
  static std::mutex mutex;
  return mutex;
}

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
  return std::make_unique<EventShare>(std::move(event));
}

std::unique_ptr<HostPatch> Subscribe(HostEvent which, EventOrder order, PlainEventCallback callback,
                                     int32_t id) {
  static std::weak_ptr<PlainEvent> frame, firstReset, secondReset;
  std::lock_guard<std::mutex> hold(EventsMutex());
  std::shared_ptr<PlainEvent> event;
  switch (which) {
    case HostEvent::Frame:
      event = SharedEvent(&frame, {ga::kFrameCall}, CallContract::Plain);
      break;
    case HostEvent::FirstReset:
      event = SharedEvent(&firstReset, {ga::kFirstResetCall}, CallContract::Plain);
      break;
    case HostEvent::SecondReset:
      event = SharedEvent(&secondReset, {ga::kSecondResetCallA, ga::kSecondResetCallB},
                          CallContract::Plain);
      break;
    case HostEvent::PedRemoval:  // passes the ped: SubscribePedRemoval
      return std::make_unique<EventShare>(nullptr);
  }
  event->Subscribe(OrderOf(order), callback, id);
  return std::make_unique<EventShare>(std::move(event));
}

}  // namespace events
