#include <gtest/gtest.h>

#include <cerrno>

#include "hid_test_support.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;

// Pulls the cable after queuing two replies.
class TTwoRepliesThenGone : public ISimDeviceModel {
 public:
  void OnOutputReport(std::span<const std::uint8_t>, ISimDeviceHost& host) override {
    const std::uint8_t a[] = {0, 'a'};
    const std::uint8_t b[] = {0, 'b'};
    host.PushInputReport(a);
    host.PushInputReport(b, 2000us);
    host.RequestUnplug();
    host.PushInputReport(a);  // after the unplug request: dropped
  }
};

TEST(HidSimBackend, OpenWriteAndReadErrors) {
  TSimHidBackend sim;
  const auto plug = sim.Plug(0x0451, 0x3210, std::make_shared<TEchoModel>());
  const std::string path = sim.Scan().at(0).FDevicePath;
  EXPECT_EQ(sim.Open("/sim/none", THidAccess::ReadWrite).Error().FCode, ENOENT);
  const THidHandle query = *sim.Open(path, THidAccess::QueryOnly);
  const THidHandle rw = *sim.Open(path, THidAccess::ReadWrite);
  std::uint8_t report[65] = {0, 0x11};
  const struct {
    THidHandle FHandle;
    std::size_t FSize;
    int FError;  // 0 = accepted
  } writes[] = {{query, 65, EBADF},
                {rw, 64, EINVAL},
                {rw, 66, EINVAL},
                {rw, 65, 0},
                {THidHandle{999}, 65, EBADF}};
  std::uint8_t big[66] = {};
  for (const auto& w : writes) {
    auto r = sim.Write(w.FHandle, w.FSize == 66 ? big : report, w.FSize);
    EXPECT_EQ(r.Ok() ? 0 : r.Error().FCode, w.FError) << w.FSize;
  }
  EXPECT_EQ(sim.WrittenReports(plug).size(), 1u);
  std::uint8_t in[65] = {};
  THidReadResult r = sim.Read(rw, in, sizeof in, 1000ms);
  EXPECT_EQ(r.FStatus, THidReadStatus::Data);
  EXPECT_EQ(r.FBytes, 65u);
  EXPECT_EQ(in[1], 0x11);
  r = sim.Read(rw, in, sizeof in, 1ms);
  EXPECT_EQ(r.FStatus, THidReadStatus::Timeout);

  sim.Unplug(plug);
  EXPECT_FALSE(sim.IsPlugged(plug));
  EXPECT_TRUE(sim.Scan().empty());
  EXPECT_EQ(sim.Open(path, THidAccess::Read).Error().FCode, ENODEV);
  r = sim.Read(rw, in, sizeof in, 1000ms);
  EXPECT_EQ(r.FStatus, THidReadStatus::Unplugged);
  EXPECT_EQ(sim.Write(rw, report, 65).Error().FCode, ENODEV);
  EXPECT_EQ(sim.GetAttributes(rw).Error().FCode, ENODEV);
  sim.PushInputReport(plug, report);  // ignored once gone
  EXPECT_EQ(sim.PendingInputReports(plug), 0u);
  EXPECT_TRUE(sim.Drain());  // plug and unplug were both announced
  EXPECT_FALSE(sim.Drain());
}

TEST(HidSimBackend, UnplugRequestWaitsForQueuedReplies) {
  TSimHidBackend sim;
  const auto plug = sim.Plug(0x0451, 0x3210, std::make_shared<TTwoRepliesThenGone>());
  sim.Drain();
  const THidHandle rw = *sim.Open(sim.Scan().at(0).FDevicePath, THidAccess::ReadWrite);
  std::uint8_t report[65] = {};
  ASSERT_TRUE(sim.Write(rw, report, 65).Ok());
  EXPECT_TRUE(sim.IsPlugged(plug));
  EXPECT_EQ(sim.PendingInputReports(plug), 2u);
  std::string got;
  std::uint8_t in[65];
  for (int i = 0; i < 3; ++i) {
    const THidReadResult r = sim.Read(rw, in, sizeof in, 1000ms);
    got += r.FStatus == THidReadStatus::Data ? static_cast<char>(in[1]) : '-';
  }
  EXPECT_EQ(got, "ab-");
  EXPECT_FALSE(sim.IsPlugged(plug));
  EXPECT_TRUE(sim.Drain());
}

TEST(HidSimBackend, EveryPlugIsANewIdentity) {
  TSimHidBackend sim;
  const auto a = sim.Plug(0x0451, 0x3210, nullptr);
  sim.Unplug(a);
  const auto b = sim.Plug(0x0451, 0x3210, nullptr);
  EXPECT_EQ(sim.IdentityOf(a), "sim-1");
  EXPECT_EQ(sim.IdentityOf(b), "sim-2");
  EXPECT_EQ(sim.Scan(), (std::vector<THidInterfaceInfo>{{"sim-2", "/sim/hidraw2"}}));
  const THidHandle h = *sim.Open("/sim/hidraw2", THidAccess::QueryOnly);
  EXPECT_EQ(*sim.GetCapabilities(h), (THidCaps{0x0001, 0xFF00, 65, 65, 0}));
  EXPECT_EQ(*sim.GetAttributes(h), (THidAttributes{0x0451, 0x3210, 0x0100}));
}

}  // namespace
}  // namespace quenvar::test
