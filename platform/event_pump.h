#pragma once

namespace vq {

// Lets the window handle the events that are waiting, in the middle of long
// work (the console edition has none to handle).
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void DoEvents() = 0;
  // True once the window has gone long enough without handling its events
  // (some 25 ms of work) that a person would soon notice it not answering.
  // Work that cannot stop anywhere asks before it starts a piece it must
  // finish in one go.
  virtual bool EventsDue() = 0;
  // Handles the waiting events when they are due: cheap enough to call
  // between any two small steps of long work.
  void KeepAnswering() {
    if (EventsDue()) DoEvents();
  }
};

}  // namespace vq
