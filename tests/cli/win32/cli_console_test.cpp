// The Windows half of the executable's surroundings: its UTF-16 arguments,
// and the console's control events in the place of Linux's signals.
#include "quenvar/cli/cli_console.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <string>
#include <vector>

#include "quenvar/cli/cli_signals.h"

namespace quenvar {
namespace {

TEST(CliWindowsArguments, ArriveInUtf8WithoutTheProgramName) {
  const wchar_t* const argv[] = {L"C:\\bin\\quenvar-cli.exe", L"convert", L"\u041F\u0440\u043E.hex",
                                 L"\xD834\xDD1E.bin", L""};
  EXPECT_EQ(Utf8Arguments(5, argv),
            (std::vector<std::string>{"convert", "\xD0\x9F\xD1\x80\xD0\xBE.hex",
                                      "\xF0\x9D\x84\x9E.bin", ""}));
  EXPECT_EQ(Utf8Arguments(1, argv), std::vector<std::string>{});
}

struct TEventCase {
  const char* FLabel;
  DWORD FEvent;
  int FSignal;  // 0: not a stop
};

void PrintTo(const TEventCase& c, std::ostream* os) {
  *os << c.FLabel;
}

class CliConsoleEvents : public testing::TestWithParam<TEventCase> {};

// Each stop counts once; two of them abandon the running operation, as two
// signals do on Linux.
TEST_P(CliConsoleEvents, CountAsTheSignalLinuxWouldSend) {
  const TEventCase& c = GetParam();
  TCliSignals signals;
  EXPECT_EQ(TCliSignals::OnConsoleEvent(c.FEvent), c.FSignal != 0);
  EXPECT_EQ(TCliSignals::OnConsoleEvent(c.FEvent), c.FSignal != 0);
  const TCliStopRequest request = signals.Poll();
  EXPECT_EQ(request.FCount, c.FSignal != 0 ? 2 : 0);
  EXPECT_EQ(request.FSignal, c.FSignal);
}

// While the program only waits for another one's state file, a stop ends it
// at once with 128 + the signal.
TEST_P(CliConsoleEvents, EndAtOnceWhileWaiting) {
  const TEventCase& c = GetParam();
  if (c.FSignal == 0) GTEST_SKIP() << "not a stop";
  EXPECT_EXIT(
      {
        TCliSignals signals;
        signals.EndAtOnce(true);
        TCliSignals::OnConsoleEvent(c.FEvent);
      },
      testing::ExitedWithCode(128 + c.FSignal), "");
}

INSTANTIATE_TEST_SUITE_P(Console, CliConsoleEvents,
                         testing::Values(TEventCase{"CtrlC", CTRL_C_EVENT, SIGINT},
                                         TEventCase{"CtrlBreak", CTRL_BREAK_EVENT, SIGTERM},
                                         TEventCase{"WindowClosed", CTRL_CLOSE_EVENT, SIGTERM},
                                         TEventCase{"LogOff", CTRL_LOGOFF_EVENT, SIGTERM},
                                         TEventCase{"ShutDown", CTRL_SHUTDOWN_EVENT, SIGTERM},
                                         TEventCase{"Unknown", 7, 0}),
                         [](const auto& info) { return std::string(info.param.FLabel); });

}  // namespace
}  // namespace quenvar
