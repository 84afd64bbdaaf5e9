#include "quenvar/presenter/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace quenvar {
namespace {

struct TArgsCase {
  const char* Name;
  std::vector<std::string> Args;
  std::optional<int> Exit;
  std::string Out;
  std::string Err;
  std::optional<std::string> Simulate;
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
    std::vector<std::string> args = c.Args;
    args.insert(args.begin(), "quenvar");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    const int argc = static_cast<int>(args.size());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(CommandLineExit(argc, argv.data(), "3.0.0", out, err), c.Exit) << c.Name;
    EXPECT_EQ(out.str(), c.Out) << c.Name;
    EXPECT_EQ(err.str(), c.Err) << c.Name;
    EXPECT_EQ(SimulateOption(argc, argv.data()), c.Simulate) << c.Name;
  }
  // The window takes the simulator's settings the command line takes.
  EXPECT_NE(usage.find("     (isp=CHIP|locked|none|sig:1E9307, socket=24xx type,\n"
                       "                     timing=none|real, state=FILE keeps the simulated"),
            std::string::npos);
}

}  // namespace
}  // namespace quenvar
