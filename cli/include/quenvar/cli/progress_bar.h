#pragma once
// The progress bar on standard error while a memory operation runs.

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace quenvar {

// One bar line without line control: "[#####...]  50%  4096/8192 bytes  2.0 KiB/s".
// `seconds` is the time since the bar started; the rate is left out until
// some time has passed.
std::string FormatProgressLine(std::int64_t position, std::int64_t maximum, double seconds);

class TProgressBar {
 public:
  using TClock = std::chrono::steady_clock;

  TProgressBar(std::ostream& err, bool enabled) : FErr(err), FEnabled(enabled) {}

  // Draws the bar when it changed and the last drawing is old enough.
  void Update(std::int64_t position, std::int64_t maximum);
  // Removes the bar, e.g. before log lines are printed or at the end.
  void Clear();
  // Forgets the start time: the next Update starts a new rate measurement.
  void Restart();

 private:
  std::ostream& FErr;
  bool FEnabled;
  bool FShown = false;
  bool FStarted = false;
  std::int64_t FLastMaximum = -1;
  std::int64_t FLastPosition = 0;
  TClock::time_point FStart{};
  TClock::time_point FLastDraw{};
  std::string FLastLine;
};

}  // namespace quenvar
