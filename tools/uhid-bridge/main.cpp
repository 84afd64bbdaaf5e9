// quenvar-uhid-bridge: makes the simulated programmer a real kernel HID device
// (0451:3210) through /dev/uhid, so the hidraw path can be tried without the
// hardware. Control: SIGUSR1 unplugs, SIGUSR2 plugs in again, and a FIFO
// takes the commands of uhid_control.h.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/uhid/uhid_bridge.h"
#include "quenvar/uhid/uhid_control.h"

namespace {

using namespace quenvar;
using TClock = TUhidBridge::TClock;

constexpr const char* kUsage =
    "Usage: quenvar-uhid-bridge [OPTIONS]\n"
    "Serves the simulated programmer as the USB HID device 0451:3210 through /dev/uhid.\n"
    "  --sim TEXT                  simulator setup as for quenvar-cli --simulate=TEXT\n"
    "                              (default: isp=ATmega8,socket=24AA256,timing=none)\n"
    "  --uhid PATH                 the uhid device (default /dev/uhid)\n"
    "  --control FIFO              command FIFO, created when missing; commands:\n"
    "                              unplug, replug, unplug-after N, stats, quit\n"
    "  --unplug-after-reports N    unplug once N output reports were served\n"
    "  --frame-us N                at most one input report per N microseconds\n"
    "                              (default 1000; 0: no pacing)\n"
    "  --phys TEXT                 the physical path (the USB port it is plugged into)\n"
    "  --uniq TEXT                 the serial-number string\n"
    "SIGUSR1 unplugs, SIGUSR2 plugs in again, SIGTERM and SIGINT end.\n";

struct TOptions {
  std::string FSim = "isp=ATmega8,socket=24AA256,timing=none";
  std::string FUhid = "/dev/uhid";
  std::string FControl;
  std::uint64_t FUnplugAfter = 0;
  long FFrameUs = 1000;
  std::string FPhys;
  std::string FUniq;
};

bool ParseNumber(const std::string& text, std::uint64_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

// Returns false (with a message) on a bad command line.
bool ParseArgs(int argc, char** argv, TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    std::uint64_t n = 0;
    if (a == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (a == "--sim" && value(v)) {
      o.FSim = v;
    } else if (a == "--uhid" && value(v)) {
      o.FUhid = v;
    } else if (a == "--control" && value(v)) {
      o.FControl = v;
    } else if (a == "--unplug-after-reports" && value(v) && ParseNumber(v, n) && n > 0) {
      o.FUnplugAfter = n;
    } else if (a == "--frame-us" && value(v) && ParseNumber(v, n) && n <= 1000000) {
      o.FFrameUs = static_cast<long>(n);
    } else if (a == "--phys" && value(v)) {
      o.FPhys = v;
    } else if (a == "--uniq" && value(v)) {
      o.FUniq = v;
    } else {
      std::cerr << "quenvar-uhid-bridge: bad argument '" << a << "'\n" << kUsage;
      return false;
    }
  }
  return true;
}

void Say(const std::string& line) {
  std::cout << "uhid-bridge: " << line << std::endl;
}

class TBridgeMain {
 public:
  TBridgeMain(TOptions options, std::shared_ptr<TSimProgrammer> sim, int uhidFd)
      : FOptions(std::move(options)),
        FSim(std::move(sim)),
        FBridge(uhidFd, FSim, Setup(FOptions)) {}

  int Run(int signalFd, int controlFd) {
    if (!Report(FBridge.Plug())) return 1;
    FBridge.UnplugAfterReports(FOptions.FUnplugAfter);
    Say("plugged 0451:3210");
    for (;;) {
      bool wasPlugged = FBridge.Plugged();
      std::vector<pollfd> fds{{FBridge.Fd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
      if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
      timespec wait{};
      timespec* waitPtr = nullptr;
      if (auto due = FBridge.NextDue()) {
        const auto left = std::max(*due - TClock::now(), TClock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        wait.tv_sec = static_cast<time_t>(ns / 1000000000);
        wait.tv_nsec = static_cast<long>(ns % 1000000000);
        waitPtr = &wait;
      }
      if (::ppoll(fds.data(), fds.size(), waitPtr, nullptr) < 0 && errno != EINTR) {
        Say(std::string("poll: ") + std::strerror(errno));
        return 1;
      }
      if (fds[0].revents & POLLIN)
        if (!Report(FBridge.HandleEvent(TClock::now()))) return 1;
      if (fds[0].revents & (POLLERR | POLLHUP)) {
        Say("the uhid device went away");
        return 1;
      }
      if (fds[1].revents & POLLIN)
        if (!OnSignal(signalFd)) break;
      if (controlFd >= 0 && (fds[2].revents & POLLIN))
        if (!OnControl(controlFd)) break;
      if (!Report(FBridge.Flush(TClock::now()))) return 1;
      if (wasPlugged && !FBridge.Plugged()) Say("unplugged");
    }
    Report(FBridge.Unplug());
    Say(FormatUhidStats(FBridge.Stats()));
    return 0;
  }

 private:
  static TUhidDeviceSetup Setup(const TOptions& o) {
    TUhidDeviceSetup s;
    s.FFrame = std::chrono::microseconds(o.FFrameUs);
    s.FPhys = o.FPhys;
    s.FUniq = o.FUniq;
    return s;
  }

  static bool Report(const TResult<void>& r) {
    if (!r) Say("error: " + r.Error().FText);
    return static_cast<bool>(r);
  }

  // False: time to end.
  bool Execute(const TUhidCommand& c) {
    switch (c.FKind) {
      case TUhidCommandKind::Unplug:
        Report(FBridge.Unplug());  // the loop tells
        return true;
      case TUhidCommandKind::Replug:
        if (!FBridge.Plugged()) {
          // A fresh connection: the firmware starts without a half-done transfer.
          FSim->ResetSession();
          if (Report(FBridge.Plug())) Say("plugged 0451:3210");
        }
        return true;
      case TUhidCommandKind::UnplugAfter:
        FBridge.UnplugAfterReports(c.FCount);
        Say("unplug after " + std::to_string(c.FCount) + " output reports");
        return true;
      case TUhidCommandKind::Stats:
        Say(FormatUhidStats(FBridge.Stats()));
        return true;
      case TUhidCommandKind::Quit:
        return false;
    }
    return true;
  }

  bool OnSignal(int signalFd) {
    signalfd_siginfo info{};
    if (::read(signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return true;
    switch (info.ssi_signo) {
      case SIGUSR1:
        return Execute({TUhidCommandKind::Unplug});
      case SIGUSR2:
        return Execute({TUhidCommandKind::Replug});
      default:
        return false;
    }
  }

  bool OnControl(int controlFd) {
    char buf[256];
    const ssize_t n = ::read(controlFd, buf, sizeof buf);
    if (n <= 0) return true;
    bool go = true;
    ForEachUhidLine(FPending, std::string_view(buf, static_cast<std::size_t>(n)),
                    [&](std::string_view line) {
                      if (!go) return;
                      if (auto c = ParseUhidCommand(line))
                        go = Execute(*c);
                      else if (!line.empty())
                        Say("unknown command '" + std::string(line) + "'");
                    });
    return go;
  }

  TOptions FOptions;
  std::shared_ptr<TSimProgrammer> FSim;
  TUhidBridge FBridge;
  std::string FPending;
};

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseArgs(argc, argv, options)) return 2;

  TResult<TSimConfig> config = ParseSimConfig(options.FSim);
  if (!config) {
    std::cerr << "quenvar-uhid-bridge: --sim: " << config.Error().FText << '\n';
    return 2;
  }
  TResult<std::shared_ptr<TSimProgrammer>> sim =
      TSimProgrammer::FromConfig(config.Value(), [&config] {
        std::cerr << "quenvar-uhid-bridge: " << config->FStatePath
                  << ": waiting until another program is done with this state file\n";
      });
  if (!sim) {
    std::cerr << "quenvar-uhid-bridge: " << sim.Error().FText << '\n';
    return 2;
  }

  // Signals arrive as readable data, so the loop stays single-threaded.
  sigset_t mask;
  sigemptyset(&mask);
  for (int s : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT, SIGHUP}) sigaddset(&mask, s);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  const int signalFd = ::signalfd(-1, &mask, SFD_CLOEXEC);

  const int uhidFd = ::open(options.FUhid.c_str(), O_RDWR | O_CLOEXEC);
  if (uhidFd < 0) {
    std::cerr << "quenvar-uhid-bridge: " << options.FUhid << ": " << std::strerror(errno) << '\n';
    return 1;
  }
  int controlFd = -1;
  if (!options.FControl.empty()) {
    if (::mkfifo(options.FControl.c_str(), 0600) != 0 && errno != EEXIST) {
      std::cerr << "quenvar-uhid-bridge: " << options.FControl << ": " << std::strerror(errno)
                << '\n';
      return 1;
    }
    // Read-write, so the FIFO never reports an end when a writer closes it.
    controlFd = ::open(options.FControl.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (controlFd < 0) {
      std::cerr << "quenvar-uhid-bridge: " << options.FControl << ": " << std::strerror(errno)
                << '\n';
      return 1;
    }
  }

  TBridgeMain bridge(options, sim.Value(), uhidFd);
  const int status = bridge.Run(signalFd, controlFd);
  if (TResult<void> saved = sim.Value()->SaveState(); !saved)
    std::cerr << "quenvar-uhid-bridge: " << saved.Error().FText << '\n';
  ::close(uhidFd);
  if (controlFd >= 0) ::close(controlFd);
  return status;
}
