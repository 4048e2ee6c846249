// Subscription slots: ids, slot reuse, shrinking only the last slot, and
// handlers that change the subscriptions during a notification.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/Publisher.h"

namespace {

// A subscriber that records its tag in a shared call log.
struct Probe {
  std::vector<int>* Calls;
  int Tag;
};

void Record(void* subscriber) {
  auto* probe = static_cast<Probe*>(subscriber);
  probe->Calls->push_back(probe->Tag);
}

class Publisher : public ::testing::Test {
 protected:
  int32_t Add(int tag) {
    Probes.push_back(std::make_unique<Probe>(Probe{&Calls, tag}));
    return Pub.Subscribe(Record, Probes.back().get());
  }
  std::vector<int> NotifyCalls() {
    Calls.clear();
    Pub.Notify();
    return Calls;
  }

  TPublisher Pub;
  std::vector<int> Calls;
  std::vector<std::unique_ptr<Probe>> Probes;
};

TEST_F(Publisher, FreedSlotIsReusedWithANewId) {
  EXPECT_EQ(Add(1), 1);
  EXPECT_EQ(Add(2), 2);
  EXPECT_EQ(Add(3), 3);
  Pub.Unsubscribe(2);
  EXPECT_EQ(Pub.SlotCount(), 3u);  // a middle slot stays
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 3}));
  EXPECT_EQ(Add(4), 4);
  EXPECT_EQ(Pub.SlotCount(), 3u);
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 4, 3}));
}

TEST_F(Publisher, OnlyAFreedLastSlotIsRemoved) {
  Add(1);
  Add(2);
  Add(3);
  Pub.Unsubscribe(2);
  Pub.Unsubscribe(3);
  EXPECT_EQ(Pub.SlotCount(), 2u);  // the free slot before it stays
  EXPECT_EQ(NotifyCalls(), std::vector<int>{1});
  // The free slot still holds id 2: unsubscribing it again, now that it is
  // last, removes it.
  Pub.Unsubscribe(2);
  EXPECT_EQ(Pub.SlotCount(), 1u);
  EXPECT_EQ(Add(5), 4);  // ids are never handed out twice
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 5}));
}

TEST_F(Publisher, UnknownIdChangesNothing) {
  Add(1);
  Add(2);
  Pub.Unsubscribe(0);
  Pub.Unsubscribe(7);
  Pub.Unsubscribe(-1);
  EXPECT_EQ(Pub.SlotCount(), 2u);
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 2}));
}

TEST_F(Publisher, NotifyWithoutSubscribersDoesNothing) {
  EXPECT_TRUE(NotifyCalls().empty());
  Add(1);
  Pub.Unsubscribe(1);
  EXPECT_EQ(Pub.SlotCount(), 0u);
  EXPECT_TRUE(NotifyCalls().empty());
}

// A subscriber that, when notified, subscribes Probe on the same publisher.
struct Subscribing {
  TPublisher* Pub;
  Probe* Added;
  std::vector<int>* Calls;
  int32_t AddedId = 0;
};

void SubscribeAnother(void* subscriber) {
  auto* s = static_cast<Subscribing*>(subscriber);
  s->Calls->push_back(0);
  if (s->AddedId == 0) s->AddedId = s->Pub->Subscribe(Record, s->Added);
}

TEST_F(Publisher, HandlerSubscribedDuringNotifyIsCalledWhenItLandsLater) {
  Probe late{&Calls, 9};
  Subscribing s{&Pub, &late, &Calls};
  Add(1);
  Pub.Subscribe(SubscribeAnother, &s);
  // The new slot grows (and may move) the array during the call.
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 0, 9}));
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 0, 9}));
}

TEST_F(Publisher, HandlerSubscribedDuringNotifyWaitsWhenItLandsEarlier) {
  Probe early{&Calls, 9};
  Subscribing s{&Pub, &early, &Calls};
  const int32_t first = Add(1);
  Pub.Subscribe(SubscribeAnother, &s);
  Pub.Unsubscribe(first);  // frees slot 0, before the subscribing handler
  EXPECT_EQ(NotifyCalls(), std::vector<int>{0});
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{9, 0}));
}

// A subscriber that, when notified, unsubscribes an id (possibly its own).
struct Unsubscribing {
  TPublisher* Pub;
  std::vector<int>* Calls;
  int32_t Target = 0;
};

void UnsubscribeTarget(void* subscriber) {
  auto* u = static_cast<Unsubscribing*>(subscriber);
  u->Calls->push_back(0);
  u->Pub->Unsubscribe(u->Target);
}

TEST_F(Publisher, HandlerUnsubscribedDuringNotifyIsNotCalled) {
  Unsubscribing u{&Pub, &Calls};
  Add(1);
  Pub.Subscribe(UnsubscribeTarget, &u);
  u.Target = Add(2);
  Add(3);
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 0, 3}));
}

TEST_F(Publisher, LastHandlerUnsubscribingItselfEndsTheNotification) {
  Unsubscribing u{&Pub, &Calls};
  Add(1);
  u.Target = Pub.Subscribe(UnsubscribeTarget, &u);
  EXPECT_EQ(NotifyCalls(), (std::vector<int>{1, 0}));
  EXPECT_EQ(Pub.SlotCount(), 1u);
  EXPECT_EQ(NotifyCalls(), std::vector<int>{1});
}

TEST(SubscriptionList, UnsubscribeAllDropsEveryEntryOnEveryPublisher) {
  std::vector<int> calls;
  Probe a{&calls, 1};
  Probe b{&calls, 2};
  TPublisher first;
  TPublisher second;
  const int32_t stays = first.Subscribe(Record, &b);
  TSubscriptionList list;
  list.Add(&first, first.Subscribe(Record, &a));
  list.Add(&second, second.Subscribe(Record, &a));
  EXPECT_EQ(list.Count(), 2);

  list.UnsubscribeAll();
  EXPECT_EQ(list.Count(), 0);
  first.Notify();
  second.Notify();
  EXPECT_EQ(calls, std::vector<int>{2});  // only the subscription not in the list
  EXPECT_EQ(first.SlotCount(), 1u);
  EXPECT_EQ(second.SlotCount(), 0u);
  EXPECT_EQ(stays, 1);

  list.UnsubscribeAll();  // empty: nothing happens
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
