// A small observer mechanism: a publisher keeps handler slots in subscription
// order; a notification carries no data, the handler reads the model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using TNotifyHandler = void (*)(void* subscriber);

struct TSubscriber {
  TNotifyHandler Handler = nullptr;  // null marks a free slot
  void* Subscriber = nullptr;        // not owned
  int32_t Id = 0;
};

class TPublisher {
 public:
  TPublisher() = default;
  virtual ~TPublisher() = default;
  TPublisher(const TPublisher&) = delete;
  TPublisher& operator=(const TPublisher&) = delete;

  int32_t Subscribe(TNotifyHandler handler, void* subscriber);
  void Unsubscribe(int32_t id);
  void Notify();
  size_t SlotCount() const { return Slots.size(); }

 protected:
  bool Invalid = false;  // forces the next TAnsiString::Set to notify

 private:
  std::vector<TSubscriber> Slots;
  int32_t LastId = 0;
};

class TSubscriptionList {
 public:
  void Add(TPublisher* publisher, int32_t id);
  void UnsubscribeAll();
  int32_t Count() const { return static_cast<int32_t>(Publishers.size()); }

 private:
  std::vector<TPublisher*> Publishers;  // not owned
  std::vector<int32_t> Ids;
};
