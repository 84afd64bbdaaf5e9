#pragma once
// A line of the operation log as the driver reports it: which text, and the
// values that go into it. Every front end renders it in its own language with
// the one renderer below, so the window and the command line print the same.

#include <cstdint>
#include <string>
#include <vector>

namespace quenvar {

enum class TLogText : std::uint8_t {
  ReadingSignature,
  Erasing,
  Writing,
  Verifying,
  Reading,
  WritingEeprom,
  ReadingEeprom,
  ReadingFuses,
  WritingFuses,
  Signature,    // %1 %2 %3: the three signature bytes in hex
  Calibration,  // %1 the byte's number, %2 its value in hex
  Blank,        // the empty line before a result
  Success,
  Error,
  Duration,  // %1 the duration, e.g. "12.34 s"
  NoReply,
};

struct TLogLine {
  TLogText FText = TLogText::Blank;
  std::vector<std::string> FArgs;

  bool operator==(const TLogLine&) const = default;
};

// The line in the language of `languageIndex` (0 German, 1 English, 2 Russian;
// any other index English).
std::string RenderLogLine(const TLogLine& line, std::uint8_t languageIndex);

// "12.34 s": whole seconds, then hundredths cut off (not rounded).
std::string FormatDuration(std::int64_t milliseconds);

}  // namespace quenvar
