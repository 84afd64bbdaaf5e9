#pragma once
// Ctrl+C and SIGTERM for the executable: the handler only counts them; the
// command runner polls the count between its steps. A closed output pipe is
// ignored too, so that a failed log line never ends an operation half-way.
// On Windows the console's control events take the signals' place.

#include "quenvar/cli/cli.h"

namespace quenvar {

class TCliSignals {
 public:
  // Installs the handlers; one instance at a time.
  TCliSignals();
  // Restores what was there before.
  ~TCliSignals();
  TCliSignals(const TCliSignals&) = delete;
  TCliSignals& operator=(const TCliSignals&) = delete;

  TCliStopRequest Poll() const;
  // While on, a signal ends the process at once with 128 + the signal; one
  // that came before ends it now.
  void EndAtOnce(bool on);

#ifdef _WIN32
  // What the console's control handler does with an event (CTRL_C_EVENT ...):
  // true when it is taken as a stop. Callable by tests, as no console event
  // can be sent to a process without a console.
  static bool OnConsoleEvent(unsigned long event);
#endif
};

}  // namespace quenvar
