#pragma once
// The executable's standard streams and arguments, the way the platform has
// them. On Windows: arguments arrive as UTF-16 and are passed on as UTF-8, the
// console shows UTF-8 (its code page is put back at exit), standard error's
// console takes the escape sequences the progress display draws with (its mode
// is put back too), and standard output and error are binary, so a line ends
// in "\n" as on Linux.

#include <string>
#include <vector>

namespace quenvar {

class TCliConsole {
 public:
  TCliConsole();
  // Trivial on Linux; on Windows it gives the console its code page back.
  ~TCliConsole();  // NOLINT(performance-trivially-destructible)
  TCliConsole(const TCliConsole&) = delete;
  TCliConsole& operator=(const TCliConsole&) = delete;

  // Whether standard error is a terminal (on Windows a console that takes
  // escape sequences), so that a progress bar can be drawn there.
  static bool ErrIsTerminal();

 private:
  // Used by the Windows half only.
  [[maybe_unused]] unsigned FSavedCodePage = 0;      // the console's output code page before
  [[maybe_unused]] unsigned long FSavedErrMode = 0;  // standard error's console mode before
  [[maybe_unused]] bool FErrModeChanged = false;
};

#ifdef _WIN32
// The program's arguments as wmain gets them, without the program name, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, const wchar_t* const* argv);
#endif

}  // namespace quenvar
