#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include "fake_backend.h"
#include "hid_test_support.h"

namespace quenvar::test {
namespace {

using HidControllerRules = HidSimFixture;

TEST_F(HidControllerRules, OnlyOneControllerPerProgram) {
  MakeController();
  try {
    TJvHidDeviceController second(FSim, FLoop.Poster());
    FAIL() << "second controller constructed";
  } catch (const TJvHidError& e) {
    EXPECT_STREQ(e.what(), "Only one TJvHidDeviceController allowed per program");
  }
  auto asValue = TJvHidDeviceController::Create(FSim, FLoop.Poster());
  ASSERT_FALSE(asValue.Ok());
  EXPECT_EQ(asValue.Error().FText, "Only one TJvHidDeviceController allowed per program");
  FCtl.reset();
  EXPECT_TRUE(TJvHidDeviceController::Create(FSim, FLoop.Poster()).Ok());
}

TEST_F(HidControllerRules, StartsWithDefaultsAndScannedList) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x046D, 0xC077, nullptr);
  MakeController();
  EXPECT_EQ(TJvHidDeviceController::Version(), "1.0.19");
  EXPECT_EQ(FCtl->DevThreadSleepTime(), 100);
  EXPECT_FALSE(FCtl->FirstChangeReported());
  EXPECT_EQ(ListIds(), (std::vector<std::string>{"sim-1", "sim-2"}));
  EXPECT_EQ(FCtl->NumUnclaimedDevices(), 2);
  EXPECT_EQ(FCtl->NumClaimedDevices(), 0);
  EXPECT_EQ(FCtl->NumUnpluggedDevices(), 0);
  for (auto* d : FCtl->DeviceList()) {
    EXPECT_TRUE(d->PluggedIn());
    EXPECT_FALSE(d->Claimed());
    EXPECT_TRUE(d->ReadWriteAccess());
    EXPECT_EQ(d->ReaderPollTime(), 100);
  }
  EXPECT_EQ(FCtl->DeviceList()[1]->Attributes(), (THidAttributes{0x046D, 0xC077, 0x0100}));
}

TEST_F(HidControllerRules, FirstAssignmentOfChangeHandlerReportsOnce) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  int changes = 0;
  auto onChange = [&changes](TJvHidDeviceController&) { ++changes; };
  FCtl->SetOnDeviceChange(onChange);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(FCtl->FirstChangeReported());
  FCtl->DeviceChange();  // same devices: nothing to say
  EXPECT_EQ(changes, 1);
  FCtl->SetOnDeviceChange(onChange);  // same code: not a new handler
  EXPECT_EQ(changes, 1);
  FSim->Plug(0x0451, 0x3210, nullptr);
  FCtl->DeviceChange();
  EXPECT_EQ(changes, 2);
  int others = 0;
  FCtl->SetOnDeviceChange([&others](TJvHidDeviceController&) { ++others; });
  EXPECT_EQ(others, 0);  // a rescan with no change, FirstChangeReported already set
}

struct TClaimCase {
  std::string FName;
  std::vector<std::pair<int, int>> FCalls;  // vid, pid
  std::vector<std::string> FClaimed;        // identity per call, "" = failed
};

class HidControllerClaim : public HidSimFixture,
                           public ::testing::WithParamInterface<TClaimCase> {};

TEST_P(HidControllerClaim, TakesFirstUnclaimedMatchInListOrder) {
  FSim->Plug(0x0451, 0x3210, nullptr);  // sim-1
  FSim->Plug(0x0451, 0x1111, nullptr);  // sim-2
  FSim->Plug(0x0451, 0x3210, nullptr);  // sim-3
  FSim->Plug(0xFFFF, 0x8000, nullptr);  // sim-4
  MakeController();
  std::vector<std::unique_ptr<TJvHidDevice>> held;
  std::vector<std::string> got;
  for (auto [vid, pid] : GetParam().FCalls) {
    TJvHidDevice* dev = reinterpret_cast<TJvHidDevice*>(0x1);
    const bool ok = FCtl->ClaimById(dev, vid, pid);
    EXPECT_EQ(ok, dev != nullptr);
    got.push_back(ok ? dev->PnPInfo().FDevInst : "");
    if (ok) held.emplace_back(dev);
  }
  EXPECT_EQ(got, GetParam().FClaimed);
}

void PrintTo(const TClaimCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    HidCases, HidControllerClaim,
    ::testing::Values(
        TClaimCase{"TwoProgrammers",
                   {{1105, 12816}, {1105, 12816}, {1105, 12816}},
                   {"sim-1", "sim-3", ""}},
        TClaimCase{"AnyProduct",
                   {{0x0451, -1}, {0x0451, -1}, {0x0451, -1}, {0x0451, -1}},
                   {"sim-1", "sim-2", "sim-3", ""}},
        TClaimCase{"Ids16Bit",
                   {{0x10451, 0x3210}, {0x0451, 0x13210}, {-1, 0x8000}},
                   {"sim-1", "sim-3", "sim-4"}},
        TClaimCase{"Product65535IsNotAny", {{0xFFFF, 0xFFFF}, {0x0451, 0x1111}}, {"", "sim-2"}},
        TClaimCase{"NoMatch", {{0x1234, -1}, {0x0451, 0x3211}}, {"", ""}}),
    [](const auto& info) { return info.param.FName; });

using HidControllerLifecycle = HidSimFixture;

TEST_F(HidControllerLifecycle, UnpluggedClaimedDeviceStaysListedUntilReleased) {
  const auto a = FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  int changes = 0;
  FCtl->SetOnDeviceChange([&changes](TJvHidDeviceController&) { ++changes; });
  TJvHidDevice* dev = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(dev, 0x0451, 0x3210));
  std::vector<std::string> unplugs;
  dev->SetOnUnplug([&unplugs](TJvHidDevice& d) { unplugs.push_back(d.PnPInfo().FDevInst); });

  FSim->Unplug(a);
  FCtl->DeviceChange();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(ListIds(), (std::vector<std::string>{"sim-1", "sim-2"}));
  EXPECT_FALSE(dev->PluggedIn());
  EXPECT_TRUE(dev->Claimed());
  EXPECT_EQ(unplugs, std::vector<std::string>{"sim-1"});
  EXPECT_FALSE(dev->OnUnplug().IsSet());
  EXPECT_EQ(FCtl->NumUnclaimedDevices(), 1);
  EXPECT_EQ(FCtl->NumUnpluggedDevices(), 1);
  EXPECT_EQ(FCtl->NumClaimedDevices(), 0);

  // A claimed device that is not plugged in counts as a change on every
  // rescan until it is released; its unplug handler ran once only.
  FCtl->DeviceChange();
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(unplugs.size(), 1u);

  TJvHidDevice* other = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(other, 0x0451, 0x3210));
  EXPECT_EQ(other->PnPInfo().FDevInst, "sim-2");
  TJvHidDevice* none = nullptr;
  EXPECT_FALSE(FCtl->ClaimById(none, 0x0451, 0x3210));

  delete dev;  // release of an unplugged device: it leaves the list
  EXPECT_EQ(ListIds(), std::vector<std::string>{"sim-2"});
  delete other;
}

TEST_F(HidControllerLifecycle, ReleasePutsFreshObjectAtSamePosition) {
  FSim->Plug(0x046D, 0xC077, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x046D, 0xC31C, nullptr);
  MakeController();
  TJvHidDevice* dev = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(dev, 0x0451, 0x3210));
  dev->SetReaderPollTime(250);
  int unplugs = 0;
  auto onUnplug = [&unplugs](TJvHidDevice&) { ++unplugs; };
  dev->SetOnUnplug(onUnplug);
  dev->SetOnData(Recorder());
  EXPECT_EQ(FCtl->NumClaimedDevices(), 1);
  EXPECT_EQ(FCtl->NumUnclaimedDevices(), 2);

  delete dev;
  ASSERT_EQ(ListIds(), (std::vector<std::string>{"sim-1", "sim-2", "sim-3"}));
  TJvHidDevice* fresh = FCtl->DeviceList()[1];
  EXPECT_FALSE(fresh->Claimed());
  EXPECT_TRUE(fresh->PluggedIn());
  EXPECT_EQ(fresh->ReaderPollTime(), 250);
  EXPECT_TRUE(fresh->OnData().SameCode(Recorder()));
  EXPECT_TRUE(fresh->OnUnplug().SameCode(TJvHidUnplugEvent(onUnplug)));
  EXPECT_EQ(fresh->ReadThread(), nullptr);  // unclaimed: no reader
  EXPECT_EQ(FCtl->NumClaimedDevices(), 0);
  EXPECT_EQ(FCtl->NumUnclaimedDevices(), 3);

  TJvHidDevice* again = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(again, 0x0451, 0x3210));
  EXPECT_EQ(again, fresh);
  EXPECT_NE(again->ReadThread(), nullptr);  // it kept the data handler
  delete again;
  EXPECT_EQ(unplugs, 0);
}

TEST_F(HidControllerLifecycle, TeardownLeavesClaimedDeviceToApplication) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  FCtl->SetOnDeviceData(Recorder());
  TJvHidDevice* dev = nullptr;
  ASSERT_TRUE(FCtl->ClaimById(dev, 0x0451, 0x3210));
  ASSERT_NE(dev->ReadThread(), nullptr);
  int unplugs = 0;
  dev->SetOnUnplug([&unplugs](TJvHidDevice&) { ++unplugs; });
  FCtl.reset();
  EXPECT_EQ(dev->Controller(), nullptr);
  EXPECT_FALSE(dev->PluggedIn());
  EXPECT_EQ(dev->ReadThread(), nullptr);
  EXPECT_EQ(unplugs, 1);
  size_t written = 9;
  const auto r = Report(0, 1);
  EXPECT_FALSE(dev->WriteReport(r.data(), r.size(), written));
  EXPECT_EQ(written, 0u);
  delete dev;
  EXPECT_TRUE(TJvHidDeviceController::Create(FSim, FLoop.Poster()).Ok());
}

struct TRescanCase {
  std::string FName;
  std::vector<std::string> FBefore;
  std::vector<std::string> FClaim;  // claimed before the rescan
  std::vector<std::string> FAfter;  // scan result of the rescan
  std::vector<std::string> FList;   // resulting list, "-" suffix = unplugged
  int FChanges;
};

class HidControllerRescan : public ::testing::TestWithParam<TRescanCase> {};

TEST_P(HidControllerRescan, ReconcilesByIdentity) {
  const TRescanCase& c = GetParam();
  auto fake = std::make_shared<TFakeBackend>();
  for (const auto& id : c.FBefore) fake->Add(id, 0x0451, 0x3210);
  TJvHidDeviceController ctl(fake, [](const std::function<void()>&) {});
  int changes = 0;
  ctl.SetOnDeviceChange([&changes](TJvHidDeviceController&) { ++changes; });
  changes = 0;
  std::vector<std::unique_ptr<TJvHidDevice>> held;
  for (const auto& id : c.FClaim) {
    for (std::size_t i = 0; i < ctl.DeviceList().size(); ++i) {
      TJvHidDevice* d = ctl.DeviceList()[i];
      if (d->PnPInfo().FDevInst != id || d->Claimed()) continue;
      // Claim exactly this one: skip the ones before it by claiming and keeping them aside.
      std::vector<TJvHidDevice*> skipped;
      TJvHidDevice* got = nullptr;
      while (ctl.ClaimById(got, 0x0451, 0x3210) && got != d) skipped.push_back(got);
      held.emplace_back(got);
      for (auto* s : skipped) delete s;
      break;
    }
  }
  fake->FInterfaces.clear();
  for (const auto& id : c.FAfter) fake->Add(id, 0x0451, 0x3210);
  ctl.DeviceChange();
  std::vector<std::string> list;
  for (auto* d : ctl.DeviceList())
    list.push_back(d->PnPInfo().FDevInst + (d->PluggedIn() ? "" : "-"));
  EXPECT_EQ(list, c.FList);
  EXPECT_EQ(changes, c.FChanges);
  EXPECT_EQ(fake->OpenHandles(), 0);  // listed devices hold no handle
  held.clear();
}

void PrintTo(const TRescanCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    HidCases, HidControllerRescan,
    ::testing::Values(
        TRescanCase{"Same", {"a", "b"}, {}, {"a", "b"}, {"a", "b"}, 0},
        TRescanCase{"SameOtherOrder", {"a", "b"}, {}, {"b", "a"}, {"a", "b"}, 0},
        TRescanCase{"UnclaimedRemoved", {"a", "b", "c"}, {}, {"a", "c"}, {"a", "c"}, 1},
        TRescanCase{"ClaimedRemoved", {"a", "b"}, {"a"}, {"b"}, {"a-", "b"}, 1},
        TRescanCase{"NewAppendedInScanOrder", {"a"}, {}, {"c", "a", "b"}, {"a", "c", "b"}, 1},
        TRescanCase{"Duplicates", {"a", "b"}, {"b"}, {"a", "b", "d", "b", "d"}, {"a", "b", "d"}, 1},
        TRescanCase{"ReplugOfClaimed", {"a"}, {"a"}, {"a2"}, {"a-", "a2"}, 1},
        TRescanCase{"AllGone", {"a", "b"}, {}, {}, {}, 1}),
    [](const auto& info) { return info.param.FName; });

TEST(HidControllerBackend, FailedBindingListsNothing) {
  auto fake = std::make_shared<TFakeBackend>();
  fake->Add("a", 0x0451, 0x3210);
  fake->FBindOk = false;
  {
    TJvHidDeviceController ctl(fake, [](const std::function<void()>&) {});
    EXPECT_FALSE(ctl.Bound());
    EXPECT_TRUE(ctl.DeviceList().empty());
    ctl.DeviceChange();
    EXPECT_TRUE(ctl.DeviceList().empty());
    TJvHidDevice* dev = reinterpret_cast<TJvHidDevice*>(0x1);
    EXPECT_FALSE(ctl.ClaimById(dev, 0x0451, 0x3210));
    EXPECT_EQ(dev, nullptr);
  }
  EXPECT_TRUE(fake->FOpens.empty());
  EXPECT_EQ(fake->FUnbinds, 0);
}

TEST(HidControllerBackend, OpenAndIdentifyFailures) {
  auto fake = std::make_shared<TFakeBackend>();
  fake->Add("ok", 0x0451, 0x3210);
  fake->Add("perm", 0x0451, 0x3210);
  fake->Add("closed", 0x0451, 0x3210);
  fake->Add("anon", 0x0451, 0x3210);
  fake->FReadWriteErrno["/dev/perm"] = EACCES;
  fake->FReadWriteErrno["/dev/closed"] = EACCES;
  fake->FQueryRefused.insert("/dev/closed");
  fake->FUnidentifiable.insert("/dev/anon");
  TJvHidDeviceController ctl(fake, [](const std::function<void()>&) {});
  ASSERT_EQ(ctl.DeviceList().size(), 2u);  // "closed" cannot be opened, "anon" not identified
  EXPECT_EQ(ctl.NumUnclaimedDevices(), 2);
  TJvHidDevice* ok = ctl.DeviceList()[0];
  TJvHidDevice* perm = ctl.DeviceList()[1];
  EXPECT_EQ(perm->PnPInfo().FDevInst, "perm");
  EXPECT_TRUE(ok->ReadWriteAccess());
  EXPECT_EQ(ok->ReadWriteError(), 0);
  EXPECT_FALSE(perm->ReadWriteAccess());
  EXPECT_EQ(perm->ReadWriteError(), EACCES);
  EXPECT_EQ(fake->FOpens,
            (std::vector<std::string>{"/dev/ok:rw", "/dev/perm:rw", "/dev/perm:query",
                                      "/dev/closed:rw", "/dev/closed:query", "/dev/anon:rw"}));
  EXPECT_EQ(fake->OpenHandles(), 0);

  // Query-only: claimable, but never written to and no reader.
  ctl.SetOnDeviceData([](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
  TJvHidDevice* a = nullptr;
  TJvHidDevice* b = nullptr;
  ASSERT_TRUE(ctl.ClaimById(a, 0x0451, 0x3210));
  ASSERT_TRUE(ctl.ClaimById(b, 0x0451, 0x3210));
  EXPECT_EQ(b, perm);
  EXPECT_EQ(b->ReadThread(), nullptr);
  const std::uint8_t report[65] = {0, 1, 2};
  std::size_t written = 7;
  EXPECT_FALSE(b->WriteReport(report, sizeof report, written));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(a->WriteReport(report, sizeof report, written));
  EXPECT_EQ(written, 65u);
  ASSERT_EQ(fake->FWrites.size(), 1u);
  EXPECT_EQ(fake->FWrites[0].first, "/dev/ok");
  delete a;
  delete b;
}

TEST(HidControllerBackend, UnbindsAtTeardown) {
  auto fake = std::make_shared<TFakeBackend>();
  {
    TJvHidDeviceController ctl(fake, [](const std::function<void()>&) {});
  }
  EXPECT_EQ(fake->FBinds, 1);
  EXPECT_EQ(fake->FUnbinds, 1);
}

using HidControllerHandlers = HidSimFixture;

TEST_F(HidControllerHandlers, ControllerHandlersReachDevicesThatFollowIt) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  auto own = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
  TJvHidDevice* second = FCtl->DeviceList()[1];
  second->SetOnData(own);
  FCtl->SetOnDeviceData(Recorder());
  EXPECT_TRUE(FCtl->DeviceList()[0]->OnData().SameCode(Recorder()));
  EXPECT_TRUE(second->OnData().SameCode(TJvHidDataEvent(own)));
  auto errors = [](TJvHidDevice&, std::uint32_t) {};
  FCtl->SetOnDeviceDataError(errors);
  EXPECT_TRUE(second->OnDataError().SameCode(TJvHidDataErrorEvent(errors)));
  // New devices copy data and unplug handlers, not the data-error handler.
  auto unplug = [](TJvHidDevice&) {};
  FCtl->SetOnDeviceUnplug(unplug);
  FSim->Plug(0x0451, 0x3210, nullptr);
  FCtl->DeviceChange();
  TJvHidDevice* third = FCtl->DeviceList()[2];
  EXPECT_TRUE(third->OnData().SameCode(Recorder()));
  EXPECT_TRUE(third->OnUnplug().SameCode(TJvHidUnplugEvent(unplug)));
  EXPECT_FALSE(third->OnDataError().IsSet());
}

TEST_F(HidControllerHandlers, SleepTimeFollowsOnlyDevicesAtTheOldValue) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  FCtl->DeviceList()[1]->SetReaderPollTime(50);
  FCtl->SetDevThreadSleepTime(300);
  EXPECT_EQ(FCtl->DevThreadSleepTime(), 300);
  EXPECT_EQ(FCtl->DeviceList()[0]->ReaderPollTime(), 300);
  EXPECT_EQ(FCtl->DeviceList()[1]->ReaderPollTime(), 50);
  FCtl->SetDevThreadSleepTime(5);  // stored; devices ignore an out-of-range value
  EXPECT_EQ(FCtl->DevThreadSleepTime(), 5);
  EXPECT_EQ(FCtl->DeviceList()[0]->ReaderPollTime(), 300);
  FSim->Plug(0x0451, 0x3210, nullptr);
  FCtl->DeviceChange();
  EXPECT_EQ(FCtl->DeviceList()[2]->ReaderPollTime(), 100);
}

TEST_F(HidControllerHandlers, ReaderPollTimeBounds) {
  FSim->Plug(0x0451, 0x3210, nullptr);
  MakeController();
  TJvHidDevice* d = FCtl->DeviceList()[0];
  const std::pair<int, int> cases[] = {{5, 100},       {20000, 100},   {10, 10},    {9, 10},
                                       {10000, 10000}, {10001, 10000}, {-1, 10000}, {11, 11}};
  for (auto [set, want] : cases) {
    d->SetReaderPollTime(set);
    EXPECT_EQ(d->ReaderPollTime(), want) << set;
  }
}

TEST(HidHandlerIdentity, ComparesByCodeNotObject) {
  struct TForm {
    void A(TJvHidDevice&) {}
    void B(TJvHidDevice&) {}
  } f1, f2;
  auto l1 = [](TJvHidDevice&) {};
  auto l2 = [](TJvHidDevice&) {};
  const TJvHidUnplugEvent a1 = TJvHidUnplugEvent::Bind(&f1, &TForm::A);
  const TJvHidUnplugEvent a2 = TJvHidUnplugEvent::Bind(&f2, &TForm::A);
  const TJvHidUnplugEvent b1 = TJvHidUnplugEvent::Bind(&f1, &TForm::B);
  const struct {
    TJvHidUnplugEvent FX, FY;
    bool FSame;
  } cases[] = {
      {a1, a2, true},
      {a1, b1, false},
      {TJvHidUnplugEvent(l1), TJvHidUnplugEvent(l1), true},
      {l1, l2, false},
      {nullptr, nullptr, true},
      {a1, nullptr, false},
      {TJvHidUnplugEvent(l1), a1, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].FX.SameCode(cases[i].FY), cases[i].FSame) << i;
  EXPECT_EQ(a2.BoundObject(), &f2);
}

}  // namespace
}  // namespace quenvar::test
