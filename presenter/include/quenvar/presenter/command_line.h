#pragma once

// The window program's own options, read before any window exists. Qt's own
// options (e.g. -platform, -style) pass through.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quenvar {

// "--simulate" gives the empty text, "--simulate=TEXT" the text, no such
// option nothing (the real programmer).
std::optional<std::string> SimulateOption(int argc, char** argv);

// What --help prints.
std::string_view UsageText();

// Handles --help, --version and unknown options, printing to Out or Err.
// Returns the exit code when the program should end at once.
std::optional<int> CommandLineExit(int argc, char** argv, std::string_view version,
                                   std::ostream& out, std::ostream& err);

}  // namespace quenvar
