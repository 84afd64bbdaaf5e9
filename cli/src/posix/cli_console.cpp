#include "quenvar/cli/cli_console.h"

#include <unistd.h>

namespace quenvar {

// Terminals take UTF-8 and "\n" as they are.
TCliConsole::TCliConsole() = default;
TCliConsole::~TCliConsole() = default;

bool TCliConsole::ErrIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

}  // namespace quenvar
