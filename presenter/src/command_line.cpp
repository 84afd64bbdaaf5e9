#include "quenvar/presenter/command_line.h"

namespace quenvar {

namespace {

constexpr std::string_view kSimulate = "--simulate";
constexpr std::string_view kSimulateText = "--simulate=";

constexpr std::string_view kUsage =
    "Usage: quenvar [--simulate[=TEXT]]\n"
    "Reads, writes, verifies and erases AVR microcontrollers (ISP) and 24xx serial\n"
    "EEPROMs through the USB HID programmer 0451:3210.\n"
    "\n"
    "  --simulate[=TEXT]  use the simulated programmer instead of the hardware, e.g.\n"
    "                     --simulate=isp=ATmega8,socket=24AA256,state=chip.qvs\n"
    "                     (isp=CHIP|locked|none|sig:1E9307, socket=24xx type,\n"
    "                     timing=none|real, state=FILE keeps the simulated chips\n"
    "                     between runs, shared with quenvar-cli; default\n"
    "                     timing=real)\n"
    "  --help             show this text\n"
    "  --version          show the version\n";

}  // namespace

std::optional<std::string> SimulateOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == kSimulate) return std::string();
    if (arg.starts_with(kSimulateText)) return std::string(arg.substr(kSimulateText.size()));
  }
  return std::nullopt;
}

std::string_view UsageText() {
  return kUsage;
}

std::optional<int> CommandLineExit(int argc, char** argv, std::string_view version,
                                   std::ostream& out, std::ostream& err) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    }
    if (arg == "--version") {
      out << "quenvar " << version << '\n';
      return 0;
    }
    if (arg == kSimulate || arg.starts_with(kSimulateText)) continue;
    if (arg.starts_with("--")) {
      err << "quenvar: unknown option '" << arg << "'\n" << kUsage;
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace quenvar
