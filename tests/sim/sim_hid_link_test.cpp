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
    Sim = std::move(sim);
    Plug = Backend->Plug(1105, 12816, Sim);
    Ctl = std::make_unique<TJvHidDeviceController>(Backend, Loop.Poster());
    ASSERT_TRUE(Ctl->ClaimById(Dev, 1105, 12816));
    Dev->SetOnData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          TBytes report{id};
          report.insert(report.end(), data, data + size);
          Received.push_back(std::move(report));
        });
  }
  void Send(const TBytes& report) {
    std::size_t written = 0;
    ASSERT_TRUE(
        Dev->WriteReport(report.data(), Dev->Capabilities().OutputReportByteLength, written));
    EXPECT_EQ(written, 65u);
  }
  void TearDown() override {
    delete Dev;
    Ctl.reset();
  }

  TUiLoop Loop;
  std::shared_ptr<TSimHidBackend> Backend = std::make_shared<TSimHidBackend>();
  std::shared_ptr<TSimProgrammer> Sim;
  std::unique_ptr<TJvHidDeviceController> Ctl;
  TJvHidDevice* Dev = nullptr;
  TSimHidBackend::TPlugHandle Plug = 0;
  std::vector<TBytes> Received;
};

TEST_F(SimOverHid, SignatureOfAnAtmega8) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(NoTiming()));
  Send(Out(kIsp, 1));
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1; }, kWait));
  EXPECT_EQ(Received[0], In({'s', 0x1E, 0x93, 0x07}));
}

TEST_F(SimOverHid, RealTimingStreamArrivesWhole) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(TSimConfig{}));  // ATmega8, real timing
  Send(Out(kIsp, 10, 0x82));
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 9; }, kWait));
  std::size_t total = 0;
  for (const auto& r : Received) total += r[1];
  EXPECT_EQ(total, 512u);
}

TEST_F(SimOverHid, UnplugFaultRemovesTheDevice) {
  auto sim = std::make_shared<TSimProgrammer>(NoTiming());
  sim->AddFault(TSimFault::AtOutputReport(2, TSimFaultAction::Unplug));
  PlugAndClaim(sim);
  Send(Out(kIsp, 2));
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1; }, kWait));
  EXPECT_EQ(Received[0], In({'e'}));
  Send(Out(kIsp, 1));
  EXPECT_TRUE(Loop.RunUntil([&] { return !Backend->IsPlugged(Plug); }, kWait));
  EXPECT_EQ(Received.size(), 1u);
}

// Forwards to the backend's queue of one plugged device, for reports that
// the programmer sends without being asked.
class TPlugHost final : public ISimDeviceHost {
 public:
  TPlugHost(TSimHidBackend& backend, TSimHidBackend::TPlugHandle plug)
      : Backend(backend), Plug(plug) {}
  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds delay) override {
    Backend.PushInputReport(Plug, report, delay);
  }
  void RequestUnplug() override { Backend.Unplug(Plug); }

 private:
  TSimHidBackend& Backend;
  TSimHidBackend::TPlugHandle Plug;
};

TEST_F(SimOverHid, UnsolicitedReportWhileIdle) {
  PlugAndClaim(std::make_shared<TSimProgrammer>(NoTiming()));
  TPlugHost host(*Backend, Plug);
  const TBytes star{'*'};
  Sim->EmitUnsolicited(host, star);
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1; }, kWait));
  EXPECT_EQ(Received[0], In({'*'}));
}

}  // namespace
}  // namespace quenvar::simtest
