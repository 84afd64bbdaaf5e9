#include "quenvar/presenter/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace quenvar {
namespace {

struct TArgsCase {
  const char* FName;
  std::vector<std::string> FArgs;
  std::optional<int> FExit;
  std::string FOut;
  std::string FErr;
  std::optional<std::string> FSimulate;
};

TEST(CommandLine, ExitsOnlyForItsOwnOptionsAndFindsSimulate) {
  const std::string usage(UsageText());
  const TArgsCase cases[] = {
      {"Help", {"--help"}, 0, usage, "", std::nullopt},
      {"Version", {"--version"}, 0, "quenvar 3.0.0\n", "", std::nullopt},
      {"Unknown", {"--simulated"}, 2, "", "quenvar: unknown option '--simulated'\n" + usage, {}},
      {"QtOption", {"-platform", "offscreen"}, std::nullopt, "", "", std::nullopt},
      {"Simulate", {"--simulate=isp=ATmega8,state=c.qvs"}, {}, "", "", "isp=ATmega8,state=c.qvs"},
  };
  for (const TArgsCase& c : cases) {
    std::vector<std::string> args = c.FArgs;
    args.insert(args.begin(), "quenvar");
    std::vector<char*> argv;
    argv.reserve(args.size());
    for (std::string& arg : args) argv.push_back(arg.data());
    const int argc = static_cast<int>(args.size());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineExit(argc, argv.data(), "3.0.0", out, err), c.FExit) << c.FName;
    EXPECT_EQ(out.str(), c.FOut) << c.FName;
    EXPECT_EQ(err.str(), c.FErr) << c.FName;
    EXPECT_EQ(SimulateOption(argc, argv.data()), c.FSimulate) << c.FName;
  }
  // The window takes the simulator's settings the command line takes.
  EXPECT_NE(usage.find("     (isp=CHIP|locked|none|sig:1E9307, socket=24xx type,\n"
                       "                     timing=none|real, state=FILE keeps the simulated"),
            std::string::npos);
}

}  // namespace
}  // namespace quenvar
