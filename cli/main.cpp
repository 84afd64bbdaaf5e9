// quenvar-cli: the command-line front end. All logic is in quenvar_cli_lib.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/cli/cli.h"
#include "quenvar/cli/cli_signals.h"
#if defined(__linux__)
#include "quenvar/hid/hidraw_backend.h"
#endif

#ifdef _WIN32
#include <io.h>
#define QUENVAR_ISATTY _isatty
#else
#include <unistd.h>
#define QUENVAR_ISATTY isatty
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  quenvar::TCliSignals signals;
  quenvar::TCliEnvironment env;
  env.ErrIsTerminal = QUENVAR_ISATTY(2) != 0;
#if defined(__linux__)
  env.MakeBackend = [] { return std::make_shared<quenvar::THidrawBackend>(); };
#endif
  env.PollStop = [&signals] { return signals.Poll(); };
  env.StopEndsAtOnce = [&signals](bool on) { signals.EndAtOnce(on); };
#if defined(__linux__)
  env.MakeBackend = [] { return std::make_shared<quenvar::THidrawBackend>(); };
#endif
  return quenvar::RunCli(args, std::cout, std::cerr, env);
}
