#include "quenvar/cli/cli_signals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace quenvar {

namespace {

// A signal handler reaches no object, so the count lives here; lock-free
// atomics are all a handler may touch.
std::atomic<int> StopCount{0};
std::atomic<int> StopSignal{0};
std::atomic<bool> StopEndsAtOnce{false};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signal) {
  StopSignal.store(signal);
  StopCount.fetch_add(1);
  if (StopEndsAtOnce.load()) std::_Exit(128 + signal);
#ifdef _WIN32
  std::signal(signal, OnStopSignal);  // reset to the default on delivery there
#endif
}

}  // namespace

#ifdef _WIN32

TCliSignals::TCliSignals() {
  StopCount = 0;
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
}

TCliSignals::~TCliSignals() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

#else

namespace {
struct sigaction PreviousInt;
struct sigaction PreviousTerm;
struct sigaction PreviousPipe;
}  // namespace

TCliSignals::TCliSignals() {
  StopCount = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls: reader threads and file writes must not see EINTR.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &PreviousInt);
  sigaction(SIGTERM, &action, &PreviousTerm);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &PreviousPipe);
}

TCliSignals::~TCliSignals() {
  sigaction(SIGINT, &PreviousInt, nullptr);
  sigaction(SIGTERM, &PreviousTerm, nullptr);
  sigaction(SIGPIPE, &PreviousPipe, nullptr);
}

#endif

void TCliSignals::EndAtOnce(bool on) {
  StopEndsAtOnce.store(on);
  if (on && StopCount.load() > 0) std::_Exit(128 + StopSignal.load());
}

TCliStopRequest TCliSignals::Poll() const {
  TCliStopRequest r;
  r.Count = StopCount.load();
  r.Signal = StopSignal.load();
  return r;
}

}  // namespace quenvar
