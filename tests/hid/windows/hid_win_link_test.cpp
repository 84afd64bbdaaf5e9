// The link's own lifecycle (controller, devices, reader threads) on the
// Windows backend, as the main window drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "fake_win_api.h"
#include "quenvar/hid/hid_win_backend.h"
#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/ui_loop.h"

namespace quenvar::test {
namespace {

const std::u16string kProg = u"\\\\?\\hid#vid_0451&pid_3210#7&1a2b&0&0000#{4d1e55b2}";
const std::u16string kKeyboard = u"\\\\?\\hid#vid_046d&pid_c31c&mi_00#8&3c4d&0&0000#{4d1e55b2}";
constexpr auto kWait = std::chrono::seconds(10);

struct HidWinLink : ::testing::Test {
  TFakeWin FWin;
  std::shared_ptr<THidWinBackend> FBackend = std::make_shared<THidWinBackend>(FWin.Loader());
  TUiLoop FLoop;
  std::unique_ptr<TJvHidDeviceController> FCtl;
  std::unique_ptr<TJvHidDevice> FHeld;  // the claimed programmer, as the main window holds it
  std::vector<TBytes> FGot;
  int FWatch = 0;

  void Start() {
    FCtl = std::make_unique<TJvHidDeviceController>(FBackend, FLoop.Poster());
    FWatch = FLoop.WatchChanges(*FBackend, [this] { FCtl->DeviceChange(); });
    FCtl->SetOnDeviceChange([this](TJvHidDeviceController& c) {
      if (FHeld && !FHeld->PluggedIn()) FHeld.reset();
      TJvHidDevice* dev = nullptr;
      if (!FHeld && c.ClaimById(dev, 0x0451, 0x3210)) FHeld.reset(dev);
    });
    FCtl->SetOnDeviceData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          FGot.push_back(TBytes{id});
          FGot.back().insert(FGot.back().end(), data, data + size);
        });
  }
  void Echo(std::uint8_t first) {
    TBytes report(65, first);
    report[0] = 0;
    std::size_t written = 0;
    ASSERT_TRUE(FHeld->WriteReport(report.data(), report.size(), written));
    EXPECT_EQ(written, 65u);
    const std::size_t before = FGot.size();
    ASSERT_TRUE(FLoop.RunUntil([&] { return FGot.size() > before; }, kWait));
    EXPECT_EQ(FGot.back(), report);
  }
  void TearDown() override {
    FHeld.reset();
    FLoop.UnwatchChanges(FWatch);
    FCtl.reset();
    FBackend.reset();
    EXPECT_EQ(FWin.Leftovers(), 0u);
  }
};

TEST_F(HidWinLink, ProgrammerIsClaimedUnpluggedDuringAReadAndClaimedAgain) {
  Start();
  EXPECT_EQ(FBackend->ChangeMode(), THidWinBackend::TChangeMode::Notification);
  EXPECT_EQ(FHeld, nullptr);
  FWin.Plug(kProg, [](auto& d) { d.FEcho = true; });
  ASSERT_TRUE(FLoop.RunUntil([&] { return FHeld != nullptr; }, kWait));
  EXPECT_EQ(FHeld->PnPInfo().FDevicePath, std::string(kProg.begin(), kProg.end()));
  Echo(0x11);

  ASSERT_TRUE(FLoop.RunUntil([&] { return FWin.ReadPending(kProg); }, kWait));
  FWin.Unplug(kProg);
  ASSERT_TRUE(FLoop.RunUntil([&] { return FHeld == nullptr; }, kWait));
  EXPECT_TRUE(FCtl->DeviceList().empty());

  FWin.Plug(kProg, [](auto& d) { d.FEcho = true; });
  ASSERT_TRUE(FLoop.RunUntil([&] { return FHeld != nullptr; }, kWait));
  EXPECT_EQ(FHeld->PnPInfo().FDevInst, FHeld->PnPInfo().FDevicePath + "#1");
  Echo(0x22);
  EXPECT_EQ(FGot.size(), 2u);  // nothing from the dead connection
}

TEST_F(HidWinLink, ReadWriteRefusedListsTheInterfaceQueryOnly) {
  FWin.Plug(kKeyboard, [](auto& d) {
    d.FVendor = 0x046D;
    d.FProduct = 0xC31C;
    d.FReadWriteDenied = true;
  });
  Start();
  ASSERT_EQ(FCtl->DeviceList().size(), 1u);
  TJvHidDevice* keyboard = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(keyboard, 0x046D, 0xC31C));
  std::unique_ptr<TJvHidDevice> release(keyboard);
  EXPECT_EQ(keyboard->Attributes(), (THidAttributes{0x046D, 0xC31C, 0x0100}));
  EXPECT_EQ(keyboard->Capabilities().FInputReportByteLength, 65);
  EXPECT_FALSE(keyboard->ReadWriteAccess());
  EXPECT_EQ(keyboard->ReadWriteError(), EACCES);
  // Scans open query-only handles too (for the serial number): from the first
  // read-write open on, the claim's own.
  auto opens = FWin.Opens();
  opens.erase(opens.begin(), std::find_if(opens.begin(), opens.end(), [](const auto& o) {
                return o.FAccess == (kGenericRead | kGenericWrite);
              }));
  ASSERT_GE(opens.size(), 2u);
  EXPECT_EQ(opens[0].FAccess, kGenericRead | kGenericWrite);
  EXPECT_EQ(opens[1].FAccess, 0u);
  std::size_t written = 1;
  const TBytes report(65, 0);
  EXPECT_FALSE(keyboard->WriteReport(report.data(), report.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(FWin.Device(kKeyboard, [](auto& d) { return d.FWrites.empty(); }));
}

}  // namespace
}  // namespace quenvar::test
