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
    FPlug = FSim->Plug(0x0451, 0x3210, std::move(model));
    MakeController();
    FCtl->SetOnDeviceData(Recorder());
    TJvHidDevice* dev = nullptr;
    EXPECT_TRUE(FCtl->ClaimById(dev, 0x0451, 0x3210));
    return dev;
  }
  // Waits (without serving the UI loop) until the reader has taken every queued report.
  void WaitUntilReaderTookAll() {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (FSim->PendingInputReports(FPlug) > 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
  }
  TSimHidBackend::TPlugHandle FPlug = 0;
};

TEST_F(HidLink, EchoRoundTripDeliversIdAndPayload) {
  TJvHidDevice* dev = ClaimProgrammer(std::make_shared<TEchoModel>());
  const THidCaps caps = dev->Capabilities();
  EXPECT_EQ(caps.FInputReportByteLength, 65);
  EXPECT_EQ(caps.FOutputReportByteLength, 65);
  const auto out = Report(0x00, 0x40);
  std::size_t written = 0;
  ASSERT_TRUE(dev->WriteReport(out.data(), caps.FOutputReportByteLength, written));
  EXPECT_EQ(written, 65u);
  EXPECT_EQ(FSim->WrittenReports(FPlug), std::vector<std::vector<std::uint8_t>>{out});
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1; }, kWait));
  EXPECT_EQ(FReceived[0].FReportID, 0x00);
  ASSERT_EQ(FReceived[0].FData.size(), 64u);
  EXPECT_EQ(FReceived[0].FData.front(), 0x40);
  EXPECT_EQ(FReceived[0].FData.back(), 0x7F);
  EXPECT_EQ(dev->ReadThread()->NumBytesRead(), 65u);
  delete dev;
}

TEST_F(HidLink, ReportIdIsFirstByteAndOrderIsKept) {
  TJvHidDevice* dev = ClaimProgrammer();
  // The first one is late; the others must still come after it.
  FSim->PushInputReport(FPlug, Report(0x07, 0x10), 3000us);
  FSim->PushInputReport(FPlug, Report(0x08, 0x20));
  const std::uint8_t shortOne[] = {0x09, 0xAA, 0xBB};
  FSim->PushInputReport(FPlug, shortOne);
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 3; }, kWait));
  EXPECT_EQ(FReceived[0].FReportID, 0x07);
  EXPECT_EQ(FReceived[0].FData[0], 0x10);
  EXPECT_EQ(FReceived[1].FReportID, 0x08);
  EXPECT_EQ(FReceived[1].FData[63], 0x5F);
  EXPECT_EQ(FReceived[2].FReportID, 0x09);
  std::vector<std::uint8_t> padded(64, 0);
  padded[0] = 0xAA;
  padded[1] = 0xBB;
  EXPECT_EQ(FReceived[2].FData, padded);  // a short report arrives padded to 65 bytes
  delete dev;
}

TEST_F(HidLink, HandlerRunsOnUiThreadAndReaderWaitsForIt) {
  TJvHidDevice* dev = ClaimProgrammer();
  std::vector<bool> onUi;
  std::vector<std::size_t> pendingDuringCall;
  dev->SetOnData([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    onUi.push_back(FLoop.IsUiThread());
    std::this_thread::sleep_for(10ms);
    // The reader waits for us, so the next report is still queued at the device.
    pendingDuringCall.push_back(FSim->PendingInputReports(FPlug));
  });
  FSim->PushInputReport(FPlug, Report(1, 0));
  FSim->PushInputReport(FPlug, Report(2, 0));
  ASSERT_TRUE(FLoop.RunUntil([&] { return onUi.size() == 2; }, kWait));
  EXPECT_EQ(onUi, (std::vector<bool>{true, true}));
  EXPECT_EQ(pendingDuringCall, (std::vector<std::size_t>{1, 0}));
  delete dev;
}

TEST_F(HidLink, ReleaseWhileReaderWaitsForHandOverDeliversItFirst) {
  TJvHidDevice* dev = ClaimProgrammer();
  FSim->PushInputReport(FPlug, Report(0x05, 0x01));
  WaitUntilReaderTookAll();  // the reader now waits for the UI thread
  EXPECT_TRUE(FReceived.empty());
  delete dev;  // must not deadlock; the pending report is delivered during the release
  ASSERT_EQ(FReceived.size(), 1u);
  EXPECT_EQ(FReceived[0].FReportID, 0x05);
  EXPECT_EQ(FReceived[0].FData[0], 0x01);
  EXPECT_FALSE(FCtl->DeviceList()[0]->Claimed());
  FLoop.ProcessEvents(0ms);  // the posted drain finds nothing
  EXPECT_EQ(FReceived.size(), 1u);
}

TEST_F(HidLink, ClearingDataHandlerStopsReaderWithoutDeadlock) {
  TJvHidDevice* dev = ClaimProgrammer();
  FSim->PushInputReport(FPlug, Report(0x06, 0x02));
  WaitUntilReaderTookAll();
  dev->SetOnData(nullptr);
  EXPECT_EQ(dev->ReadThread(), nullptr);
  EXPECT_EQ(FReceived.size(), 1u);  // delivered with the handler of that moment
  dev->SetOnData(Recorder());       // claimed, plugged, read-write: a new reader
  EXPECT_NE(dev->ReadThread(), nullptr);
  FSim->PushInputReport(FPlug, Report(0x07, 0x03));
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 2; }, kWait));
  delete dev;
}

TEST_F(HidLink, ReleaseFromInsideDataHandler) {
  TJvHidDevice* dev = ClaimProgrammer();
  bool released = false;
  dev->SetOnData([&](TJvHidDevice& d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    delete &d;
    released = true;
  });
  FSim->PushInputReport(FPlug, Report(1, 1));
  ASSERT_TRUE(FLoop.RunUntil([&] { return released; }, kWait));
  ASSERT_EQ(FCtl->DeviceList().size(), 1u);
  EXPECT_FALSE(FCtl->DeviceList()[0]->Claimed());
}

TEST_F(HidLink, HandlerErrorEndsThatReader) {
  TJvHidDevice* dev = ClaimProgrammer();
  int calls = 0;
  dev->SetOnData([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  FSim->PushInputReport(FPlug, Report(1, 1));
  ASSERT_TRUE(FLoop.RunUntil([&] { return dev->ReadThread()->Finished(); }, kWait));
  EXPECT_TRUE(dev->ReadThread()->EndedByHandlerError());
  FSim->PushInputReport(FPlug, Report(2, 2));
  FLoop.RunUntil([] { return false; }, 150ms);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(FSim->PendingInputReports(FPlug), 1u);
  delete dev;  // released and claimed again: reports flow once more
  TJvHidDevice* again = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(again, 0x0451, 0x3210));
  again->SetOnData(Recorder());
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1; }, kWait));
  EXPECT_EQ(FReceived[0].FReportID, 2);
  delete again;
}

TEST_F(HidLink, UnplugReportsErrorOnceAndReaderIdles) {
  TJvHidDevice* dev = ClaimProgrammer();
  std::vector<std::uint32_t> errors;
  dev->SetOnDataError([&](TJvHidDevice&, std::uint32_t e) { errors.push_back(e); });
  FSim->Unplug(FPlug);
  ASSERT_TRUE(FLoop.RunUntil([&] { return !errors.empty(); }, kWait));
  FLoop.RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(errors, std::vector<std::uint32_t>{ENODEV});
  EXPECT_FALSE(dev->ReadThread()->Finished());
  delete dev;
}

TEST_F(HidLink, WriteRefusedWhenUnclaimedOrUnplugged) {
  FPlug = FSim->Plug(0x0451, 0x3210, std::make_shared<TEchoModel>());
  MakeController();
  TJvHidDevice* listed = FCtl->DeviceList()[0];
  const auto out = Report(0, 0);
  std::size_t written = 5;
  EXPECT_FALSE(listed->WriteReport(out.data(), out.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(listed->Capabilities(), THidCaps{});  // all zero while unclaimed
  TJvHidDevice* dev = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(dev, 0x0451, 0x3210));
  EXPECT_EQ(dev->Capabilities(), (THidCaps{0x0001, 0xFF00, 65, 65, 0}));
  FSim->Unplug(FPlug);
  FCtl->DeviceChange();
  written = 5;
  EXPECT_FALSE(dev->WriteReport(out.data(), out.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(FSim->WrittenReports(FPlug).empty());
  delete dev;
  EXPECT_TRUE(FCtl->DeviceList().empty());
}

TEST_F(HidLink, HotplugRunsDeviceChangeOncePerBurst) {
  MakeController();
  int changes = 0;
  std::vector<std::size_t> sizes;
  FCtl->SetOnDeviceChange([&](TJvHidDeviceController& c) {
    ++changes;
    sizes.push_back(c.DeviceList().size());
  });
  FLoop.WatchChanges(*FSim->ChangeSource(), [this] { FCtl->DeviceChange(); });
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x046D, 0xC077, nullptr);
  FLoop.ProcessEvents(100ms);
  EXPECT_EQ(changes, 2);  // the first assignment, then one for the burst of three
  EXPECT_EQ(sizes, (std::vector<std::size_t>{0, 3}));

  std::thread other([this] { FSim->Plug(0x0451, 0x3210, nullptr); });
  other.join();
  ASSERT_TRUE(FLoop.RunUntil([&] { return changes == 3; }, kWait));
  EXPECT_EQ(sizes.back(), 4u);
}

TEST_F(HidLink, DeviceThatUnplugsItselfIsReleasedAndReclaimed) {
  // What the main window does on a device change: release an unplugged
  // programmer and claim again.
  FPlug = FSim->Plug(0x0451, 0x3210, std::make_shared<TUnplugAfterReplyModel>());
  MakeController();
  TJvHidDevice* dev = nullptr;
  int changes = 0;
  FCtl->SetOnDeviceChange([&](TJvHidDeviceController& c) {
    ++changes;
    if (dev && !dev->PluggedIn()) {
      delete dev;
      dev = nullptr;
    }
    if (!dev) c.ClaimById(dev, 0x0451, 0x3210);
  });
  FCtl->SetOnDeviceData(Recorder());
  FLoop.WatchChanges(*FSim->ChangeSource(), [this] { FCtl->DeviceChange(); });
  ASSERT_NE(dev, nullptr);
  ASSERT_NE(dev->ReadThread(), nullptr);
  const auto out = Report(0, 0x30);
  std::size_t written = 0;
  ASSERT_TRUE(dev->WriteReport(out.data(), out.size(), written));
  // The reply queued before the unplug is still delivered.
  ASSERT_TRUE(FLoop.RunUntil([&] { return FReceived.size() == 1 && dev == nullptr; }, kWait));
  EXPECT_EQ(FReceived[0].FData[0], 0x30);
  EXPECT_TRUE(FCtl->DeviceList().empty());

  FSim->Plug(0x0451, 0x3210, std::make_shared<TEchoModel>());
  ASSERT_TRUE(FLoop.RunUntil([&] { return dev != nullptr; }, kWait));
  EXPECT_EQ(dev->PnPInfo().FDevInst, "sim-2");
  delete dev;
}

}  // namespace
}  // namespace quenvar::test
