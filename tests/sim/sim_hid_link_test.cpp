// The simulated programmer behind the HID link, as the application sees it.

#include <gtest/gtest.h>

#include <memory>

#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/hid/ui_loop.h"
#include "sim_test_support.h"

namespace quenvar::simtest {
namespace {

constexpr std::chrono::milliseconds kWait{5000};

class SimOverHid : public ::testing::Test {
 protected:
  void PlugAndClaim(std::shared_ptr<TSimProgrammer> sim) {
    FSim = std::move(sim);
    FPlug = FBackend->Plug(1105, 12816, FSim);
    FCtl = std::make_unique<TJvHidDeviceController>(FBackend, FLoop.Poster());
    ASSERT_TRUE(FCtl->ClaimById(FDev, 1105, 12816));
    FDev->SetOnData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          TBytes report{id};
          report.insert(report.end(), data, data + size);
          FReceived.push_back(std::move(report));
        });
  }
  void Send(const TBytes& report) {
    std::size_t written = 0;
    ASSERT_TRUE(
        FDev->WriteReport(report.data(), FDev->Capabilities().FOutputReportByteLength, written));
    EXPECT_EQ(written, 65u);
  }
  void TearDown() override {
    delete FDev;
    FCtl.reset();
  }

  TUiLoop FLoop;
  std::shared_ptr<TSimHidBackend> FBackend = std::make_shared<TSimHidBackend>();
  std::shared_ptr<TSimProgrammer> FSim;
  std::unique_ptr<TJvHidDeviceController> FCtl;
  TJvHidDevice* FDev = nullptr;
  TSimHidBackend::TPlugHandle FPlug = 0;
  std::vector<TBytes> FReceived;
};

TEST_F(SimOverHid, SignatureOfAnAtmega8) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(NoTiming()));
  Send(Out(kIsp, 1));
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1; }, kWait));
  EXPECT_EQ(FReceived[0], In({'s', 0x1E, 0x93, 0x07}));
}

TEST_F(SimOverHid, RealTimingStreamArrivesWhole) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(TSimConfig{}));  // ATmega8, real timing
  Send(Out(kIsp, 10, 0x82));
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 9; }, kWait));
  std::size_t total = 0;
  for (const auto& r : FReceived) total += r[1];
  EXPECT_EQ(total, 512u);
}

TEST_F(SimOverHid, UnplugFaultRemovesTheDevice) {
  auto sim = std::make_shared<TSimProgrammer>(NoTiming());
  sim->AddFault(TSimFault::AtOutputReport(2, TSimFaultAction::Unplug));
  PlugAndClaim(sim);
  Send(Out(kIsp, 2));
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1; }, kWait));
  EXPECT_EQ(FReceived[0], In({'e'}));
  Send(Out(kIsp, 1));
  EXPECT_TRUE(FLoop.RunUntil([&] { return !FBackend->IsPlugged(FPlug); }, kWait));
  EXPECT_EQ(FReceived.size(), 1u);
}

// Forwards to the backend's queue of one plugged device, for reports that
// the programmer sends without being asked.
class TPlugHost final : public ISimDeviceHost {
 public:
  TPlugHost(TSimHidBackend& backend, TSimHidBackend::TPlugHandle plug)
      : FBackend(backend), FPlug(plug) {}
  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    FBackend.PushInputReport(FPlug, report, delay);
  }
  void RequestUnplug() override { FBackend.Unplug(FPlug); }

 private:
  TSimHidBackend& FBackend;
  TSimHidBackend::TPlugHandle FPlug;
};

TEST_F(SimOverHid, UnsolicitedReportWhileIdle) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(NoTiming()));
  TPlugHost host(*FBackend, FPlug);
  const TBytes star{'*'};
  FSim->EmitUnsolicited(host, star);
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1; }, kWait));
  EXPECT_EQ(FReceived[0], In({'*'}));
}

}  // namespace
}  // namespace quenvar::simtest
