#pragma once
// The progress display of a production run on standard error: one line per
// programmer, drawn over itself in place.

#include <iosfwd>
#include <string>
#include <vector>

namespace quenvar {

class TGangProgress {
 public:
  TGangProgress(std::ostream& err, bool enabled) : FErr(err), FEnabled(enabled) {}

  bool Enabled() const { return FEnabled; }
  // Draws the lines over the ones drawn before.
  void Draw(const std::vector<std::string>& lines);
  // Removes them, e.g. before a log line is printed.
  void Clear();

 private:
  std::ostream& FErr;
  bool FEnabled;
  std::size_t FShown = 0;
  std::vector<std::string> FLast;
};

}  // namespace quenvar
