// quenvar-cli: the command-line front end. All logic is in quenvar_cli_lib.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/cli/cli.h"
#include "quenvar/cli/cli_console.h"
#include "quenvar/cli/cli_signals.h"
#if defined(__linux__)
#include "quenvar/hid/hidraw_backend.h"
#elif defined(_WIN32)
#include "quenvar/hid/hid_win_backend.h"
#endif

namespace {

int Run(const std::vector<std::string>& args) {
  quenvar::TCliSignals signals;
  quenvar::TCliEnvironment env;
  env.FErrIsTerminal = quenvar::TCliConsole::ErrIsTerminal();
#if defined(__linux__)
  env.FMakeBackend = [] { return std::make_shared<quenvar::THidrawBackend>(); };
#elif defined(_WIN32)
  env.FMakeBackend = [] { return std::make_shared<quenvar::THidWinBackend>(); };
#endif
  env.FPollStop = [&signals] { return signals.Poll(); };
  env.FStopEndsAtOnce = [&signals](bool on) { signals.EndAtOnce(on); };
  return quenvar::RunCli(args, std::cout, std::cerr, env);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  const quenvar::TCliConsole console;
  return Run(quenvar::Utf8Arguments(argc, argv));
}
#else
int main(int argc, char** argv) {
  const quenvar::TCliConsole console;
  return Run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
