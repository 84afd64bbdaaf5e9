#include "quenvar/cli/cli_signals.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
}

}  // namespace

#ifdef _WIN32

// Ctrl+C counts as SIGINT; Ctrl+Break, closing the console window, logging
// off and shutting down as SIGTERM, so the exit statuses are those of Linux.
bool TCliSignals::OnConsoleEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
      OnStopSignal(SIGINT);
      return true;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      OnStopSignal(SIGTERM);
      return true;
    default:
      return false;
  }
}

namespace {

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!TCliSignals::OnConsoleEvent(event)) return FALSE;
  // After a close, log-off or shutdown event returns, the system ends the
  // process: hold it until the operation has finished and the main thread
  // exits (the system waits a few seconds at most).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    ::Sleep(INFINITE);
  return TRUE;
}

}  // namespace

TCliSignals::TCliSignals() {
  StopCount = 0;
  StopSignal = 0;
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

TCliSignals::~TCliSignals() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

#else

namespace {
struct sigaction PreviousInt;
struct sigaction PreviousTerm;
struct sigaction PreviousPipe;
}  // namespace

TCliSignals::TCliSignals() {
  StopCount = 0;
  StopSignal = 0;
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
  r.FCount = StopCount.load();
  r.FSignal = StopSignal.load();
  return r;
}

}  // namespace quenvar
