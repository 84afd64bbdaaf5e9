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
  TFakeWin Win;
  std::shared_ptr<THidWinBackend> Backend = std::make_shared<THidWinBackend>(Win.Loader());
  TUiLoop Loop;
  std::unique_ptr<TJvHidDeviceController> Ctl;
  std::unique_ptr<TJvHidDevice> Held;  // the claimed programmer, as the main window holds it
  std::vector<TBytes> Got;
  int Watch = 0;

  void Start() {
    Ctl = std::make_unique<TJvHidDeviceController>(Backend, Loop.Poster());
    Watch = Loop.WatchChanges(*Backend, [this] { Ctl->DeviceChange(); });
    Ctl->SetOnDeviceChange([this](TJvHidDeviceController& c) {
      if (Held && !Held->PluggedIn()) Held.reset();
      TJvHidDevice* dev = nullptr;
      if (!Held && c.ClaimById(dev, 0x0451, 0x3210)) Held.reset(dev);
    });
    Ctl->SetOnDeviceData(
        [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
          Got.push_back(TBytes{id});
          Got.back().insert(Got.back().end(), data, data + size);
        });
  }
  void Echo(std::uint8_t first) {
    TBytes report(65, first);
    report[0] = 0;
    std::size_t written = 0;
    ASSERT_TRUE(Held->WriteReport(report.data(), report.size(), written));
    EXPECT_EQ(written, 65u);
    const std::size_t before = Got.size();
    ASSERT_TRUE(Loop.RunUntil([&] { return Got.size() > before; }, kWait));
    EXPECT_EQ(Got.back(), report);
  }
  void TearDown() override {
    Held.reset();
    Loop.UnwatchChanges(Watch);
    Ctl.reset();
    Backend.reset();
    EXPECT_EQ(Win.Leftovers(), 0u);
  }
};

TEST_F(HidWinLink, ProgrammerIsClaimedUnpluggedDuringAReadAndClaimedAgain) {
  Start();
  EXPECT_EQ(Backend->ChangeMode(), THidWinBackend::TChangeMode::Notification);
  EXPECT_EQ(Held, nullptr);
  Win.Plug(kProg, [](auto& d) { d.Echo = true; });
  ASSERT_TRUE(Loop.RunUntil([&] { return Held != nullptr; }, kWait));
  EXPECT_EQ(Held->PnPInfo().DevicePath, std::string(kProg.begin(), kProg.end()));
  Echo(0x11);

  ASSERT_TRUE(Loop.RunUntil([&] { return Win.ReadPending(kProg); }, kWait));
  Win.Unplug(kProg);
  ASSERT_TRUE(Loop.RunUntil([&] { return Held == nullptr; }, kWait));
  EXPECT_TRUE(Ctl->DeviceList().empty());

  Win.Plug(kProg, [](auto& d) { d.Echo = true; });
  ASSERT_TRUE(Loop.RunUntil([&] { return Held != nullptr; }, kWait));
  EXPECT_EQ(Held->PnPInfo().DevInst, Held->PnPInfo().DevicePath + "#1");
  Echo(0x22);
  EXPECT_EQ(Got.size(), 2u);  // nothing from the dead connection
}

TEST_F(HidWinLink, ReadWriteRefusedListsTheInterfaceQueryOnly) {
  Win.Plug(kKeyboard, [](auto& d) {
    d.Vendor = 0x046D;
    d.Product = 0xC31C;
    d.ReadWriteDenied = true;
  });
  Start();
  ASSERT_EQ(Ctl->DeviceList().size(), 1u);
  TJvHidDevice* keyboard = nullptr;
  ASSERT_TRUE(Ctl->ClaimById(keyboard, 0x046D, 0xC31C));
  std::unique_ptr<TJvHidDevice> release(keyboard);
  EXPECT_EQ(keyboard->Attributes(), (THidAttributes{0x046D, 0xC31C, 0x0100}));
  EXPECT_EQ(keyboard->Capabilities().InputReportByteLength, 65);
  EXPECT_FALSE(keyboard->ReadWriteAccess());
  EXPECT_EQ(keyboard->ReadWriteError(), EACCES);
  // Scans open query-only handles too (for the serial number): from the first
  // read-write open on, the claim's own.
  auto opens = Win.Opens();
  opens.erase(opens.begin(), std::find_if(opens.begin(), opens.end(), [](const auto& o) {
                return o.Access == (kGenericRead | kGenericWrite);
              }));
  ASSERT_GE(opens.size(), 2u);
  EXPECT_EQ(opens[0].Access, kGenericRead | kGenericWrite);
  EXPECT_EQ(opens[1].Access, 0u);
  std::size_t written = 1;
  const TBytes report(65, 0);
  EXPECT_FALSE(keyboard->WriteReport(report.data(), report.size(), written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(Win.Device(kKeyboard, [](auto& d) { return d.Writes.empty(); }));
}

}  // namespace
}  // namespace quenvar::test
