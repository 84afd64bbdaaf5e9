#pragma once
// How TUiLoop sleeps until a function is posted, a change source's descriptor
// turns readable or its time is up: an eventfd and poll() on Linux, an event
// and WaitForSingleObject on Windows, whose change sources wake the loop
// instead of handing out descriptors.

#include <chrono>
#include <span>

namespace quenvar::hid_detail {

class TUiWakeup {
 public:
  TUiWakeup();
  ~TUiWakeup();
  TUiWakeup(const TUiWakeup&) = delete;
  TUiWakeup& operator=(const TUiWakeup&) = delete;

  // Any thread. A wakeup while nobody waits makes the next Wait return at once.
  void Wake();
  // UI thread: sleeps until a wakeup, a readable descriptor or the timeout, and
  // uses up the wakeups that came.
  void Wait(std::chrono::milliseconds timeout, std::span<const int> descriptors);

 private:
#ifdef _WIN32
  void* FEvent = nullptr;  // an auto-reset event's HANDLE
#else
  int FFd = -1;  // an eventfd
#endif
};

}  // namespace quenvar::hid_detail
