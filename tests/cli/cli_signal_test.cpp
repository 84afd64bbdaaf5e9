// The real executable under Ctrl+C, SIGTERM and a closed output pipe, with the
// simulated programmer on real timing so that operations last long enough.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "quenvar/sim/sim_state_file.h"

namespace quenvar::cli_test {
namespace {

// quenvar-cli as a child process with its output in pipes.
class TChild {
 public:
  // Without `keepOut` standard output is a pipe nobody reads.
  TChild(const std::vector<std::string>& args, bool keepOut) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return;
    Pid = ::fork();
    if (Pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      ::close(out[0]);
      ::close(err[0]);
      std::vector<char*> argv{const_cast<char*>(QUENVAR_CLI_BINARY)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (keepOut) {
      OutFd = out[0];
    } else {
      ::close(out[0]);
    }
    ErrFd = err[0];
  }
  ~TChild() {
    if (Pid > 0 && !Reaped) {
      ::kill(Pid, SIGKILL);
      Wait();
    }
    if (OutFd >= 0) ::close(OutFd);
    if (ErrFd >= 0) ::close(ErrFd);
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // Collects output until `stream` (Out or Err) holds `text`; false when
  // the child ends or a minute passes first.
  bool WaitFor(const std::string& stream, const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (stream.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !Pump(100)) return false;
    }
    return true;
  }

  void Signal(int signal) const { ::kill(Pid, signal); }

  // The exit status, or minus the signal that ended it.
  int Wait() {
    while (Pump(100)) {
    }
    int raw = 0;
    ::waitpid(Pid, &raw, 0);
    Reaped = true;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
  }

  std::string Out;
  std::string Err;

 private:
  // Reads what is there; false once both pipes are closed.
  bool Pump(int ms) {
    pollfd fds[2] = {{OutFd, POLLIN, 0}, {ErrFd, POLLIN, 0}};
    if (::poll(fds, 2, ms) < 0) return true;
    bool open = false;
    for (int i = 0; i < 2; ++i) {
      int& fd = i == 0 ? OutFd : ErrFd;
      if (fd < 0) continue;
      open = true;
      if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? Out : Err).append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fd);
        fd = -1;
      }
    }
    return open;
  }

  pid_t Pid = -1;
  int OutFd = -1;
  int ErrFd = -1;
  bool Reaped = false;
};

std::vector<std::string> FolderNames(const TTempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> FlashStart(const TTempDir& dir, std::size_t size) {
  auto state = LoadSimStateFile(dir / "s.qvs");
  if (!state) return {};
  const auto& flash = state.Value->Avr.Flash();
  return {flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(size)};
}

TEST(CliPipe, AClosedOutputDoesNotStopAWrite) {
  TTempDir dir;
  const std::vector<std::uint8_t> image = Noise(4096, 21);
  WriteBytes(dir / "a.bin", image);
  TChild child({"--simulate=isp=ATmega8,timing=real,state=" + (dir / "s.qvs"), "--quiet",
                "write-flash", dir / "a.bin"},
               false);
  EXPECT_EQ(child.Wait(), 0) << child.Err;
  EXPECT_EQ(FlashStart(dir, image.size()), image);
}

struct TSignalCase {
  std::string Name;
  int Signal;
};

auto SignalName = [](const auto& info) { return info.param.Name; };

class CliFirstSignal : public ::testing::TestWithParam<TSignalCase> {};

TEST_P(CliFirstSignal, TheRunningWriteFinishesAndNothingElseStarts) {
  TTempDir dir;
  const std::vector<std::uint8_t> image = Noise(8192, 22);
  WriteBytes(dir / "a.bin", image);
  TChild child({"--simulate=isp=ATmega8,timing=real,state=" + (dir / "s.qvs"), "--quiet",
                "write-flash", dir / "a.bin", "read-flash", dir / "b.bin"},
               true);
  ASSERT_TRUE(child.WaitFor(child.Out, "writing...\n")) << child.Out << child.Err;
  child.Signal(GetParam().Signal);
  EXPECT_EQ(child.Wait(), 128 + GetParam().Signal);
  EXPECT_EQ(child.Err, "stopping after this operation\n");
  EXPECT_TRUE(EndsWith(Masked(child.Out),
                       "writing...\nverifying...\n\nSuccessfully finished.\nDuration: #.## s\n"))
      << child.Out;
  EXPECT_EQ(FlashStart(dir, image.size()), image);
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"a.bin", "s.qvs"}));
}

INSTANTIATE_TEST_SUITE_P(Table, CliFirstSignal,
                         ::testing::Values(TSignalCase{"Interrupt", SIGINT},
                                           TSignalCase{"Terminate", SIGTERM}),
                         SignalName);

class CliSecondSignal : public ::testing::TestWithParam<TSignalCase> {};

TEST_P(CliSecondSignal, EndsAtOnceAndLeavesNoFileBehind) {
  TTempDir dir;
  // 128 KiB: the read lasts seconds.
  TChild child({"--simulate=isp=ATmega128,timing=real,state=" + (dir / "s.qvs"), "--quiet",
                "read-flash", dir / "r.hex"},
               true);
  ASSERT_TRUE(child.WaitFor(child.Out, "reading...\n")) << child.Out << child.Err;
  // One at a time: a second signal sent before the first is taken would merge with it.
  child.Signal(GetParam().Signal);
  ASSERT_TRUE(child.WaitFor(child.Err, "stopping after this operation\n")) << child.Err;
  child.Signal(GetParam().Signal);
  EXPECT_EQ(child.Wait(), 128 + GetParam().Signal);
  EXPECT_EQ(child.Err, "stopping after this operation\n");
  EXPECT_TRUE(EndsWith(child.Out, "reading...\n")) << child.Out;
  // The state file is there, and nothing else.
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"s.qvs"});
}

INSTANTIATE_TEST_SUITE_P(Table, CliSecondSignal,
                         ::testing::Values(TSignalCase{"Interrupt", SIGINT},
                                           TSignalCase{"Terminate", SIGTERM}),
                         SignalName);

}  // namespace
}  // namespace quenvar::cli_test
