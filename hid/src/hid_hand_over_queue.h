#pragma once
// The hand-over of reader-thread calls to the UI thread. The reader queues a
// call, posts a drain to the UI thread and waits until the call has run. The
// queue belongs to the device, so a UI thread that waits for a reader to stop
// can keep running that reader's calls itself (ServeUntil) and the two never
// wait for each other. Posted drains hold the queue, not the device, so a
// drain that arrives after the device is gone finds nothing to do.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "quenvar/hid/jv_hid_device.h"

namespace quenvar {

class THidHandOverQueue : public std::enable_shared_from_this<THidHandOverQueue> {
 public:
  // Reader thread. False if the call threw.
  bool HandOver(std::function<void()> call, const TJvHidPostFn& post);
  // UI thread: runs every queued call.
  void Drain();
  // UI thread: runs queued calls until finished() holds. finished() is
  // re-checked whenever Wake() is called.
  void ServeUntil(const std::function<bool()>& finished);
  void Wake();
  // UI thread, from inside a call of this queue: lets its reader go on now.
  void ReleaseRunning();

 private:
  struct TItem {
    std::function<void()> FCall;
    std::atomic<bool> FDone{false};  // also read without the lock while spinning
    bool FFailed = false;
  };

  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TItem*> FPending;
  TItem* FRunning = nullptr;
};

}  // namespace quenvar
