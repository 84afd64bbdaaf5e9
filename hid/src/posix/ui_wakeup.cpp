#include "../ui_wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace quenvar::hid_detail {

TUiWakeup::TUiWakeup() : FFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TUiWakeup::~TUiWakeup() {
  if (FFd >= 0) ::close(FFd);
}

void TUiWakeup::Wake() {
  const std::uint64_t one = 1;
  // eventfd only fails when its counter would overflow; it is readable then anyway.
  [[maybe_unused]] auto n = ::write(FFd, &one, sizeof one);
}

void TUiWakeup::Wait(std::chrono::milliseconds timeout, std::span<const int> descriptors) {
  std::vector<pollfd> fds;
  fds.push_back(pollfd{FFd, POLLIN, 0});
  for (const int fd : descriptors) fds.push_back(pollfd{fd, POLLIN, 0});
  ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
  std::uint64_t count = 0;
  [[maybe_unused]] auto n = ::read(FFd, &count, sizeof count);
}

}  // namespace quenvar::hid_detail
