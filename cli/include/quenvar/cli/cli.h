#pragma once
// quenvar-cli as a library call: the executable passes its arguments and
// standard streams, tests call it in-process.

#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>

#include "quenvar/hid/hid_backend.h"

namespace quenvar {

// Exit statuses.
inline constexpr int kCliOk = 0;
inline constexpr int kCliOperationFailed = 1;  // "Error." in the log, or no reply
inline constexpr int kCliUsageOrFile = 2;
inline constexpr int kCliNoProgrammer = 3;

// Stops asked for from outside while commands run (Ctrl+C, SIGTERM).
struct TCliStopRequest {
  int FCount = 0;   // requests so far
  int FSignal = 0;  // the signal of the last one; the exit status is 128 + Signal
};

struct TCliEnvironment {
  // The progress bar is drawn only on a terminal.
  bool FErrIsTerminal = false;
  // The platform's HID backend, used without --simulate; the executable
  // supplies it. Empty: this build has none, only --simulate works.
  std::function<std::shared_ptr<IHidBackend>()> FMakeBackend;
  // Polled while commands run; empty: nothing ever asks to stop. The first
  // request lets the running operation finish and starts no further command;
  // a second one abandons the operation.
  std::function<TCliStopRequest()> FPollStop;
  // Called with true while a stop request may end the process at once, as
  // nothing is running and nothing needs saving (waiting for another
  // program's lock on the state file), and with false after that.
  std::function<void(bool)> FStopEndsAtOnce;
  // Where station mode reads the Enter presses that say the 24xx chips were
  // changed; -1: nobody can press Enter.
  int FInputFd = 0;
};

// Arguments without the program name. Log lines and listings go to `out`,
// messages and the progress bar to `err`.
int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
           const TCliEnvironment& env = {});

}  // namespace quenvar
