#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "hid_test_support.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;

class HidLink : public HidSimFixture {
 protected:
  // A claimed programmer with the recorder as data handler.
  TJvHidDevice* ClaimProgrammer(std::shared_ptr<ISimDeviceModel> model = nullptr) {
    Plug = Sim->Plug(0x0451, 0x3210, std::move(model));
    MakeController();
    Ctl->SetOnDeviceData(Recorder());
    TJvHidDevice* dev = nullptr;
    EXPECT_TRUE(Ctl->ClaimById(dev, 0x0451, 0x3210));
    return dev;
  }
  // Waits (without serving the UI loop) until the reader has taken every queued report.
  void WaitUntilReaderTookAll() {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (Sim->PendingInputReports(Plug) > 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
  }
  TSimHidBackend::TPlugHandle Plug = 0;
};

TEST_F(HidLink, EchoRoundTripDeliversIdAndPayload) {
  TJvHidDevice* dev = ClaimProgrammer(std::make_shared<TEchoModel>());
  const THidCaps caps = dev->Capabilities();
  EXPECT_EQ(caps.InputReportByteLength, 65);
  EXPECT_EQ(caps.OutputReportByteLength, 65);
  const auto out = Report(0x00, 0x40);
  std::size_t written = 0;
  ASSERT_TRUE(dev->WriteReport(out.data(), caps.OutputReportByteLength, written));
  EXPECT_EQ(written, 65u);
  EXPECT_EQ(Sim->WrittenReports(Plug), std::vector<std::vector<std::uint8_t>>{out});
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1; }, kWait));
  EXPECT_EQ(Received[0].ReportID, 0x00);
  ASSERT_EQ(Received[0].Data.size(), 64u);
  EXPECT_EQ(Received[0].Data.front(), 0x40);
  EXPECT_EQ(Received[0].Data.back(), 0x7F);
  EXPECT_EQ(dev->ReadThread()->NumBytesRead(), 65u);
  delete dev;
}

TEST_F(HidLink, ReportIdIsFirstByteAndOrderIsKept) {
  TJvHidDevice* dev = ClaimProgrammer();
  // The first one is late; the others must still come after it.
  Sim->PushInputReport(Plug, Report(0x07, 0x10), 3000us);
  Sim->PushInputReport(Plug, Report(0x08, 0x20));
  const std::uint8_t shortOne[] = {0x09, 0xAA, 0xBB};
  Sim->PushInputReport(Plug, shortOne);
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 3; }, kWait));
  EXPECT_EQ(Received[0].ReportID, 0x07);
  EXPECT_EQ(Received[0].Data[0], 0x10);
  EXPECT_EQ(Received[1].ReportID, 0x08);
  EXPECT_EQ(Received[1].Data[63], 0x5F);
  EXPECT_EQ(Received[2].ReportID, 0x09);
  std::vector<std::uint8_t> padded(64, 0);
  padded[0] = 0xAA;
  padded[1] = 0xBB;
  EXPECT_EQ(Received[2].Data, padded);  // a short report arrives padded to 65 bytes
  delete dev;
}

TEST_F(HidLink, HandlerRunsOnUiThreadAndReaderWaitsForIt) {
  TJvHidDevice* dev = ClaimProgrammer();
  std::vector<bool> onUi;
  std::vector<std::size_t> pendingDuringCall;
  dev->SetOnData([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    onUi.push_back(Loop.IsUiThread());
    std::this_thread::sleep_for(10ms);
    // The reader waits for us, so the next report is still queued at the device.
    pendingDuringCall.push_back(Sim->PendingInputReports(Plug));
  });
  Sim->PushInputReport(Plug, Report(1, 0));
  Sim->PushInputReport(Plug, Report(2, 0));
  ASSERT_TRUE(Loop.RunUntil([&] { return onUi.size() == 2; }, kWait));
  EXPECT_EQ(onUi, (std::vector<bool>{true, true}));
  EXPECT_EQ(pendingDuringCall, (std::vector<std::size_t>{1, 0}));
  delete dev;
}

TEST_F(HidLink, ReleaseWhileReaderWaitsForHandOverDeliversItFirst) {
  TJvHidDevice* dev = ClaimProgrammer();
  Sim->PushInputReport(Plug, Report(0x05, 0x01));
  WaitUntilReaderTookAll();  // the reader now waits for the UI thread
  EXPECT_TRUE(Received.empty());
  delete dev;  // must not deadlock; the pending report is delivered during the release
  ASSERT_EQ(Received.size(), 1u);
  EXPECT_EQ(Received[0].ReportID, 0x05);
  EXPECT_EQ(Received[0].Data[0], 0x01);
  EXPECT_FALSE(Ctl->DeviceList()[0]->Claimed());
  Loop.ProcessEvents(0ms);  // the posted drain finds nothing
  EXPECT_EQ(Received.size(), 1u);
}

TEST_F(HidLink, ClearingDataHandlerStopsReaderWithoutDeadlock) {
  TJvHidDevice* dev = ClaimProgrammer();
  Sim->PushInputReport(Plug, Report(0x06, 0x02));
  WaitUntilReaderTookAll();
  dev->SetOnData(nullptr);
  EXPECT_EQ(dev->ReadThread(), nullptr);
  EXPECT_EQ(Received.size(), 1u);  // delivered with the handler of that moment
  dev->SetOnData(Recorder());      // claimed, plugged, read-write: a new reader
  EXPECT_NE(dev->ReadThread(), nullptr);
  Sim->PushInputReport(Plug, Report(0x07, 0x03));
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 2; }, kWait));
  delete dev;
}

TEST_F(HidLink, ReleaseFromInsideDataHandler) {
  TJvHidDevice* dev = ClaimProgrammer();
  bool released = false;
  dev->SetOnData([&](TJvHidDevice& d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    delete &d;
    released = true;
  });
  Sim->PushInputReport(Plug, Report(1, 1));
  ASSERT_TRUE(Loop.RunUntil([&] { return released; }, kWait));
  ASSERT_EQ(Ctl->DeviceList().size(), 1u);
  EXPECT_FALSE(Ctl->DeviceList()[0]->Claimed());
}

TEST_F(HidLink, HandlerErrorEndsThatReader) {
  TJvHidDevice* dev = ClaimProgrammer();
  int calls = 0;
  dev->SetOnData([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  Sim->PushInputReport(Plug, Report(1, 1));
  ASSERT_TRUE(Loop.RunUntil([&] { return dev->ReadThread()->Finished(); }, kWait));
  EXPECT_TRUE(dev->ReadThread()->EndedByHandlerError());
  Sim->PushInputReport(Plug, Report(2, 2));
  Loop.RunUntil([] { return false; }, 150ms);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Sim->PendingInputReports(Plug), 1u);
  delete dev;  // released and claimed again: reports flow once more
  TJvHidDevice* again = nullptr;
  ASSERT_TRUE(Ctl->ClaimById(again, 0x0451, 0x3210));
  again->SetOnData(Recorder());
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1; }, kWait));
  EXPECT_EQ(Received[0].ReportID, 2);
  delete again;
}

TEST_F(HidLink, UnplugReportsErrorOnceAndReaderIdles) {
  TJvHidDevice* dev = ClaimProgrammer();
  std::vector<std::uint32_t> errors;
  dev->SetOnDataError([&](TJvHidDevice&, std::uint32_t e) { errors.push_back(e); });
  Sim->Unplug(Plug);
  ASSERT_TRUE(Loop.RunUntil([&] { return !errors.empty(); }, kWait));
  Loop.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(errors, std::vector<std::uint32_t>{ENODEV});
  EXPECT_FALSE(dev->ReadThread()->Finished());
  delete dev;
}

TEST_F(HidLink, WriteRefusedWhenUnclaimedOrUnplugged) {
  Plug = Sim->Plug(0x0451, 0x3210, std::make_shared<TEchoModel>());
  MakeController();
  TJvHidDevice* listed = Ctl->DeviceList()[0];
  const auto out = Report(0, 0);
  std::size_t written = 5;
  EXPECT_FALSE(listed->WriteReport(out.data(), out.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(listed->Capabilities(), THidCaps{});  // all zero while unclaimed
  TJvHidDevice* dev = nullptr;
  ASSERT_TRUE(Ctl->ClaimById(dev, 0x0451, 0x3210));
  EXPECT_EQ(dev->Capabilities(), (THidCaps{0x0001, 0xFF00, 65, 65, 0}));
  Sim->Unplug(Plug);
  Ctl->DeviceChange();
  written = 5;
  EXPECT_FALSE(dev->WriteReport(out.data(), out.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(Sim->WrittenReports(Plug).empty());
  delete dev;
  EXPECT_TRUE(Ctl->DeviceList().empty());
}

TEST_F(HidLink, HotplugRunsDeviceChangeOncePerBurst) {
  MakeController();
  int changes = 0;
  std::vector<std::size_t> sizes;
  Ctl->SetOnDeviceChange([&](TJvHidDeviceController& c) {
    ++changes;
    sizes.push_back(c.DeviceList().size());
  });
  Loop.WatchChanges(*Sim->ChangeSource(), [this] { Ctl->DeviceChange(); });
  Sim->Plug(0x0451, 0x3210, nullptr);
  Sim->Plug(0x0451, 0x3210, nullptr);
  Sim->Plug(0x046D, 0xC077, nullptr);
  Loop.ProcessEvents(100ms);
  EXPECT_EQ(changes, 2);  // the first assignment, then one for the burst of three
  EXPECT_EQ(sizes, (std::vector<std::size_t>{0, 3}));

  std::thread other([this] { Sim->Plug(0x0451, 0x3210, nullptr); });
  other.join();
  ASSERT_TRUE(Loop.RunUntil([&] { return changes == 3; }, kWait));
  EXPECT_EQ(sizes.back(), 4u);
}

TEST_F(HidLink, DeviceThatUnplugsItselfIsReleasedAndReclaimed) {
  // What the main window does on a device change: release an unplugged
  // programmer and claim again.
  Plug = Sim->Plug(0x0451, 0x3210, std::make_shared<TUnplugAfterReplyModel>());
  MakeController();
  TJvHidDevice* dev = nullptr;
  int changes = 0;
  Ctl->SetOnDeviceChange([&](TJvHidDeviceController& c) {
    ++changes;
    if (dev && !dev->PluggedIn()) {
      delete dev;
      dev = nullptr;
    }
    if (!dev) c.ClaimById(dev, 0x0451, 0x3210);
  });
  Ctl->SetOnDeviceData(Recorder());
  Loop.WatchChanges(*Sim->ChangeSource(), [this] { Ctl->DeviceChange(); });
  ASSERT_NE(dev, nullptr);
  ASSERT_NE(dev->ReadThread(), nullptr);
  const auto out = Report(0, 0x30);
  std::size_t written = 0;
  ASSERT_TRUE(dev->WriteReport(out.data(), out.size(), written));
  // The reply queued before the unplug is still delivered.
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() == 1 && dev == nullptr; }, kWait));
  EXPECT_EQ(Received[0].Data[0], 0x30);
  EXPECT_TRUE(Ctl->DeviceList().empty());

  Sim->Plug(0x0451, 0x3210, std::make_shared<TEchoModel>());
  ASSERT_TRUE(Loop.RunUntil([&] { return dev != nullptr; }, kWait));
  EXPECT_EQ(dev->PnPInfo().DevInst, "sim-2");
  delete dev;
}

}  // namespace
}  // namespace quenvar::test
