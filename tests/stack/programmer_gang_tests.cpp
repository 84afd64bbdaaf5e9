// Several drivers on one controller: each claims the programmer at its own
// port, hears only its own programmer's replies, and claims it again when it
// is plugged back into the same port.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/core/protocol.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/sim/sim_config.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/stack/programmer_gang.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;

struct TNoImage final : IMemoryBuffer {
  std::int64_t DataLength() const override { return 0; }
  std::size_t ReadRange(std::int64_t, std::span<std::uint8_t>) const override { return 0; }
  void ReplaceAll(std::span<const std::uint8_t>) override {}
};

std::shared_ptr<TSimProgrammer> Chip(const char* name) {
  TSimConfig config = ParseSimConfig(std::string("timing=none,isp=") + name).Value();
  return std::make_shared<TSimProgrammer>(config);
}

std::string ChipOf(TProgrammerDriver& driver) {
  const TChipInfo* chip = driver.IdentifiedChipValue();
  return chip != nullptr ? std::string(chip->FName) : "-";
}

TEST(ProgrammerGang, EachDriverKeepsToTheProgrammerAtItsPort) {
  TUiEventLoop loop;
  auto backend = std::make_shared<TSimHidBackend>();
  const auto atmega16 = Chip("ATmega16");
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, Chip("ATmega8"), 0x0100, "/p/1");
  auto second = backend->Plug(kProgrammerVendorId, kProgrammerProductId, atmega16, 0x0100, "/p/2");
  TProgrammerStack stack(loop);
  TStackOptions options;
  options.FMakeBackend = [backend] { return backend; };
  ASSERT_TRUE(stack.Open(options));
  TNoImage image;
  TProgrammerGang gang(stack);
  // Listed second, asked for first; and a port where nothing is plugged in.
  for (const char* port : {"/p/2", "/p/1", "/p/3"}) gang.Add(port, image).SelectIsp();
  gang.Attach();
  ASSERT_EQ(gang.Size(), 3u);
  EXPECT_EQ(gang.ClaimedDevice(0)->PnPInfo().FIdentityPath, "/p/2");
  EXPECT_EQ(gang.ClaimedDevice(1)->PnPInfo().FIdentityPath, "/p/1");
  EXPECT_EQ(gang.ClaimedDevice(2), nullptr);

  auto detectBoth = [&] {
    for (std::size_t i = 0; i < 2; ++i)
      gang.Driver(i).StartOperation(TRequestedOperation::DetectDevice);
    return loop.Loop().RunUntil(
        [&] {
          return gang.Driver(0).ProtocolStateValue() == TProtocolState::Idle &&
                 gang.Driver(1).ProtocolStateValue() == TProtocolState::Idle;
        },
        10s);
  };
  ASSERT_TRUE(detectBoth());
  EXPECT_EQ(ChipOf(gang.Driver(0)) + " " + ChipOf(gang.Driver(1)), "ATmega16 ATmega8");

  backend->Unplug(second);
  ASSERT_TRUE(loop.Loop().RunUntil([&] { return !gang.Driver(0).HasProgrammer(); }, 10s));
  EXPECT_TRUE(gang.Driver(1).HasProgrammer());
  // Back into its port as a new connection: its own driver takes it again.
  backend->Plug(kProgrammerVendorId, kProgrammerProductId, atmega16, 0x0100, "/p/2");
  ASSERT_TRUE(loop.Loop().RunUntil([&] { return gang.Driver(0).HasProgrammer(); }, 10s));
  EXPECT_EQ(gang.ClaimedDevice(2), nullptr);
  ASSERT_TRUE(detectBoth());
  EXPECT_EQ(ChipOf(gang.Driver(0)) + " " + ChipOf(gang.Driver(1)), "ATmega16 ATmega8");
}

}  // namespace
}  // namespace quenvar::test
