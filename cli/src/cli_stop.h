#pragma once
// What the command runner makes of stop requests (Ctrl+C, SIGTERM).

#include <cstdint>
#include <iosfwd>

#include "quenvar/cli/cli.h"

namespace quenvar {

class TProgressBar;

class TCliStop {
 public:
  TCliStop(const TCliEnvironment& env, std::ostream& err, std::uint8_t language)
      : FEnv(env), FErr(err), FLanguage(language) {}

  // Whether a stop was asked for; the first request is announced once.
  bool Requested(TProgressBar* bar = nullptr);
  // Whether the running operation must be abandoned now (a second request).
  bool Abandon(TProgressBar* bar = nullptr);
  // The exit status of a stopped run: 128 + the signal.
  int Status() const { return 128 + FLast.FSignal; }

 private:
  void Poll(TProgressBar* bar);

  const TCliEnvironment& FEnv;
  std::ostream& FErr;
  std::uint8_t FLanguage;
  TCliStopRequest FLast;
  bool FAnnounced = false;
};

}  // namespace quenvar
