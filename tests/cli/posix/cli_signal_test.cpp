// The real executable under Ctrl+C, SIGTERM and a closed output pipe, with the
// simulated programmer on real timing so that operations last long enough.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_test_util.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar::cli_test {
namespace {

// Runs quenvar-cli with its output in <name>out.txt and <name>err.txt of
// `dir`, or with standard output a pipe nobody reads.
pid_t Start(const TTempDir& dir, std::vector<std::string> args, bool closedPipe = false,
            const std::string& name = "") {
  int pipeEnds[2] = {-1, -1};
  if (closedPipe && ::pipe(pipeEnds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(closedPipe ? pipeEnds[1]
                      : ::open((dir / (name + "out.txt")).c_str(), O_WRONLY | O_CREAT, 0600),
           1);
    ::dup2(::open((dir / (name + "err.txt")).c_str(), O_WRONLY | O_CREAT, 0600), 2);
    std::vector<char*> argv{const_cast<char*>(QUENVAR_CLI_BINARY)};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (closedPipe) ::close(pipeEnds[0]), ::close(pipeEnds[1]);
  return pid;
}

// Waits (a minute at most) until the file holds `text`.
bool WaitFor(const std::string& file, const std::string& text) {
  for (int i = 0; i < 3000 && ReadText(file).find(text) == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ReadText(file).find(text) != std::string::npos;
}

// The exit status, or minus the signal that ended the process.
int Wait(pid_t pid) {
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

std::vector<std::uint8_t> FlashStart(const TTempDir& dir, std::size_t size) {
  auto state = LoadSimStateFile(dir / "s.qvs");
  if (!state) return {};
  return {state->FAvr.Flash().begin(),
          state->FAvr.Flash().begin() + static_cast<std::ptrdiff_t>(size)};
}

TEST(CliPipe, AClosedOutputDoesNotStopAWrite) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(4096, 21));
  const pid_t pid = Start(
      dir, {"--simulate=timing=real,state=" + (dir / "s.qvs"), "write-flash", dir / "a.bin"}, true);
  EXPECT_EQ(Wait(pid), 0) << ReadText(dir / "err.txt");
  EXPECT_EQ(FlashStart(dir, 4096), Noise(4096, 21));
}

struct TSignalCase {
  std::string FName;
  int FSignal;
  int FCount;
};

class CliSignals : public ::testing::TestWithParam<TSignalCase> {};

TEST_P(CliSignals, StopWithTheStateSavedAndNoFileLeft) {
  TTempDir dir;
  const TSignalCase& c = GetParam();
  WriteBytes(dir / "a.bin", Noise(8192, 22));
  // One signal lets the write finish and keeps the read from starting; a second
  // one abandons the write.
  const pid_t pid = Start(dir, {"--simulate=timing=real,state=" + (dir / "s.qvs"), "write-flash",
                                dir / "a.bin", "read-flash", dir / "r.hex"});
  ASSERT_TRUE(WaitFor(dir / "out.txt", "writing...\n"));
  ::kill(pid, c.FSignal);
  if (c.FCount == 2) {
    // A second signal sent before the first is taken would merge with it.
    ASSERT_TRUE(WaitFor(dir / "err.txt", "stopping"));
    ::kill(pid, c.FSignal);
  }
  EXPECT_EQ(Wait(pid), 128 + c.FSignal);
  EXPECT_EQ(ReadText(dir / "err.txt"), "stopping after this operation\n");
  EXPECT_EQ(
      EndsWith(Masked(ReadText(dir / "out.txt")), "\nSuccessfully finished.\nDuration: #.## s\n"),
      c.FCount == 1);
  EXPECT_EQ(FlashStart(dir, 8192) == Noise(8192, 22), c.FCount == 1);
  std::size_t files = 0;
  for (auto it = std::filesystem::directory_iterator(dir.FPath); it != decltype(it)(); ++it)
    ++files;
  EXPECT_EQ(files, 4u);  // a.bin, s.qvs, out.txt, err.txt
}

void PrintTo(const TSignalCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(Table, CliSignals,
                         ::testing::Values(TSignalCase{"OneInterrupt", SIGINT, 1},
                                           TSignalCase{"OneTerminate", SIGTERM, 1},
                                           TSignalCase{"TwoInterrupts", SIGINT, 2},
                                           TSignalCase{"TwoTerminates", SIGTERM, 2}),
                         [](const auto& info) { return info.param.FName; });

TEST(CliSignals, EndTheWaitForAnotherRunsStateFileAtOnce) {
  TTempDir dir;
  WriteBytes(dir / "a.bin", Noise(8192, 23));
  const std::string sim = "--simulate=timing=real,state=" + (dir / "s.qvs");
  const pid_t first = Start(dir, {sim, "write-flash", dir / "a.bin"});
  ASSERT_TRUE(WaitFor(dir / "out.txt", "writing...\n"));
  const pid_t second = Start(dir, {sim, "erase"}, false, "2");
  ASSERT_TRUE(WaitFor(dir / "2err.txt", "waiting until another program is done"));
  ::kill(second, SIGINT);
  EXPECT_EQ(Wait(second), 130);
  // The first run still holds the file and goes on undisturbed.
  int raw = 0;
  EXPECT_EQ(::waitpid(first, &raw, WNOHANG), 0);
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(FlashStart(dir, 8192), Noise(8192, 23));
}

}  // namespace
}  // namespace quenvar::cli_test
