// The logic side of a view: what the main window, the controller and the
// channels talk to. Each view owns a widget side that fills the main window's
// client area.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "core/Publisher.h"

class TFrBase {
 public:
  TFrBase() = default;
  TFrBase(const TFrBase&) = delete;
  TFrBase& operator=(const TFrBase&) = delete;

  // In slot order.
  virtual void Update() {}
  virtual void StateChanged() {}
  virtual int32_t GetConnection() { return Connection; }
  virtual void SetConnection(int32_t connection) { Connection = connection; }
  // Does not cancel subscriptions: a view that subscribed cancels them in its
  // own destructor, before its widget side goes.
  virtual ~TFrBase() = default;

  // The widget side, for the main window to place and show.
  virtual QWidget* Widget() const = 0;
  // The channel went into or out of a transfer (the main window watches for
  // it; channels flag only some of their state changes).
  virtual void TransferChanged() {}

 protected:
  int32_t Connection = 0;
  TSubscriptionList Subscriptions;
};

// Widget sides swallow the mouse clicks they do not use: a click that reached
// the main window would count as a click on its own surface.
void MakeViewSurface(QWidget* frame);
