// Slots keep their place: a freed slot is reused by the next subscription,
// and only a freed last slot is removed, so notification order stays the
// subscription order apart from reused slots.
#include "core/Publisher.h"

#include <cstddef>

int32_t TPublisher::Subscribe(TNotifyHandler handler, void* subscriber) {
  ++LastId;
  for (TSubscriber& slot : Slots) {
    if (slot.Handler == nullptr) {
      slot = TSubscriber{handler, subscriber, LastId};
      return LastId;
    }
  }
  Slots.push_back(TSubscriber{handler, subscriber, LastId});
  return LastId;
}

void TPublisher::Unsubscribe(int32_t id) {
  for (size_t i = 0; i < Slots.size(); ++i) {
    if (Slots[i].Id != id) continue;
    // Subscriber and id stay in the freed slot.
    Slots[i].Handler = nullptr;
    if (i + 1 == Slots.size()) Slots.pop_back();
    return;
  }
}

void TPublisher::Notify() {
  // A handler may subscribe or unsubscribe on this publisher: the slot count
  // is read again before every call, and the slot is copied out before the
  // call because the array may grow (and move) during it.
  for (size_t i = 0; i < Slots.size(); ++i) {
    const TSubscriber slot = Slots[i];
    if (slot.Handler != nullptr) slot.Handler(slot.Subscriber);
  }
}

void TSubscriptionList::Add(TPublisher* publisher, int32_t id) {
  Publishers.push_back(publisher);
  Ids.push_back(id);
}

void TSubscriptionList::UnsubscribeAll() {
  for (size_t i = 0; i < Publishers.size(); ++i) {
    if (Publishers[i] != nullptr) Publishers[i]->Unsubscribe(Ids[i]);
  }
  Publishers.clear();
  Ids.clear();
}
