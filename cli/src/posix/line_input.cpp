// Standard input of a 24xx station, read as far as it goes without blocking.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "../production_run.h"

namespace quenvar {

bool TLineInput::Drain() {
  bool any = false;
  while (!FClosed) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) break;
    char buffer[256];
    const ssize_t n = (p.revents & POLLNVAL) != 0 ? 0 : ::read(FFd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) break;
    if (n <= 0) {
      FClosed = true;
      return true;
    }
    const auto lines = std::count(buffer, buffer + n, '\n');
    FEnters += static_cast<int>(lines);
    any = any || lines > 0;
  }
  return any;
}

}  // namespace quenvar
