#pragma once

namespace vq {

// Lets the window handle the events that are waiting, in the middle of long
// work (the console edition has none to handle).
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void DoEvents() = 0;
};

}  // namespace vq
