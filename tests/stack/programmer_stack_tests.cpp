// The wiring itself: what Open makes of its options, the simulator's timing
// default, and the reply timer's runs on the event loop.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/stack/loop_reply_timer.h"
#include "quenvar/stack/programmer_stack.h"
#include "temp_dir.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;
TEST(ProgrammerStack, OpenSaysWhatStandsInTheWay) {
  TTempDir dir;
  std::filesystem::create_directory(dir / "folder");
  const struct {
    const char* FName;
    std::optional<std::string> FSimulate;
    bool FBackend;
    std::optional<TErrorKind> FError;
    bool FSimulatorError;
  } cases[] = {
      {"simulator", std::string("isp=ATmega128"), false, std::nullopt, false},
      {"platform backend", std::nullopt, true, std::nullopt, false},
      {"unknown chip", std::string("isp=ATmega9"), false, TErrorKind::BadOption, true},
      {"state file is a folder", "state=" + (dir / "folder"), false, TErrorKind::Open, true},
      {"no backend in this build", std::nullopt, false, TErrorKind::Unsupported, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.FName);
    TUiEventLoop loop;
    TProgrammerStack stack(loop);
    TStackOptions options;
    options.FSimulate = c.FSimulate;
    if (c.FBackend) options.FMakeBackend = [] { return std::make_shared<TSimHidBackend>(); };
    const TResult<void> opened = stack.Open(options);
    EXPECT_EQ(!opened, c.FError.has_value());
    if (!opened) {
      EXPECT_EQ(opened.Error().FKind, *c.FError);
      EXPECT_FALSE(opened.Error().FText.empty());
      EXPECT_EQ(IsSimulatorError(opened.Error()), c.FSimulatorError);
    }
    EXPECT_EQ(stack.IsOpen(), !c.FError);
    EXPECT_EQ(stack.Simulator() != nullptr, c.FSimulate && !c.FError);
  }
}

TEST(ProgrammerStack, ASecondControllerIsRefusedAsAValue) {
  TUiEventLoop loop;
  TStackOptions options;
  options.FSimulate = "";
  TProgrammerStack first(loop);
  ASSERT_TRUE(first.Open(options));
  TProgrammerStack second(loop);
  const TResult<void> opened = second.Open(options);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.Error(), TError(TErrorKind::Device, kHidOneControllerOnly));
  EXPECT_FALSE(IsSimulatorError(opened.Error()));
}

TEST(ProgrammerStack, TheSimulatorRunsWithoutDelaysOnlyWhereAskedAndNotOverridden) {
  const struct {
    const char* FText;
    bool FRealByDefault;
    bool FReal;
  } cases[] = {
      {"", true, true},
      {"", false, false},
      {"timing=real", false, true},
      {" Timing = none", true, false},
      {"isp=ATmega8,timing=none", true, false},
  };
  for (const auto& c : cases) {
    TUiEventLoop loop;
    TProgrammerStack stack(loop);
    TStackOptions options;
    options.FSimulate = c.FText;
    options.FRealTimingByDefault = c.FRealByDefault;
    ASSERT_TRUE(stack.Open(options)) << c.FText;
    EXPECT_EQ(stack.Simulator()->RealTiming(), c.FReal) << "'" << c.FText << "'";
  }
}

TEST(ProgrammerStack, TheDriverClaimsOnlyWhenAttached) {
  TUiEventLoop loop;
  TProgrammerStack stack(loop);
  TStackOptions options;
  options.FSimulate = "isp=ATmega8,timing=none";
  ASSERT_TRUE(stack.Open(options));
  TCustomMPHexEditor editor;
  TProgrammerDriver& driver = stack.StartDriver(editor);
  EXPECT_FALSE(driver.HasProgrammer());
  EXPECT_EQ(stack.ClaimedDevice(), nullptr);
  stack.Attach();
  EXPECT_TRUE(driver.HasProgrammer());
  ASSERT_NE(stack.ClaimedDevice(), nullptr);
  // The driver's buffer is the editor's.
  const std::uint8_t bytes[] = {1, 2, 3};
  editor.LoadDataFromBytes(bytes);
  EXPECT_EQ(driver.BufferLength(), 3);
}

TEST(LoopReplyTimer, RunsAndSaysWhenTheWaitIsOver) {
  TUiEventLoop loop;
  TLoopReplyTimer timer(loop);
  std::vector<std::string> trace;
  timer.FOnIdle = [&] { trace.push_back("idle"); };
  const auto expired = [&] { trace.push_back("expired"); };

  timer.Start(1h, expired);
  EXPECT_TRUE(timer.Running());
  timer.Start(1h, expired);  // the next reply: no idle in between
  timer.Stop();
  timer.Stop();  // stopped already: nothing more
  EXPECT_FALSE(timer.Running());
  EXPECT_EQ(trace, (std::vector<std::string>{"idle"}));

  trace.clear();
  timer.Start(1ms, expired);
  ASSERT_TRUE(loop.Loop().RunUntil([&] { return !trace.empty(); }, 5s));
  EXPECT_EQ(trace, (std::vector<std::string>{"expired", "idle"}));
  EXPECT_FALSE(timer.Running());

  // A handler that waits again: still running, no idle.
  trace.clear();
  timer.Start(1ms, [&] {
    trace.push_back("expired");
    timer.Start(1h, [] {});
  });
  ASSERT_TRUE(loop.Loop().RunUntil([&] { return !trace.empty(); }, 5s));
  EXPECT_EQ(trace, (std::vector<std::string>{"expired"}));
  EXPECT_TRUE(timer.Running());
}

}  // namespace
}  // namespace quenvar::test
