// The Windows backend on its own, against the fake system calls.
#include "quenvar/hid/hid_win_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "case_name.h"
#include "fake_win_api.h"

namespace quenvar::test {
namespace {

const std::u16string kProg = u"\\\\?\\hid#vid_0451&pid_3210#7&1a2b&0&0000#{4d1e55b2}";
const std::string kProgPath(kProg.begin(), kProg.end());
constexpr auto kShort = std::chrono::milliseconds(20);

TBytes Report(std::uint8_t first) {
  TBytes r(65, 0);
  for (std::size_t i = 1; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(first + i);
  return r;
}

std::vector<std::string> Identities(THidWinBackend& backend) {
  std::vector<std::string> ids;
  for (const auto& info : backend.Scan()) ids.push_back(info.FIdentity);
  return ids;
}

TEST(HidWinBackend, ListsReadableInterfacesWithTheirPathsWhole) {
  TFakeWin win;
  const std::u16string named = u"\\\\?\\hid#b\u00e4\U0001F600\xD800";  // ends in a lone surrogate
  win.Plug(u"\\\\?\\hid#a", [](auto& d) { d.FDetailFails = true; });
  win.Plug(named);
  win.Plug(u"\\\\?\\HID#C");
  {
    THidWinBackend backend(win.Loader());
    ASSERT_TRUE(backend.Bind());
    const auto found = backend.Scan();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].FDevicePath, "\\\\?\\HID#C");
    EXPECT_EQ(found[1].FDevicePath, "\\\\?\\hid#b\xC3\xA4\xF0\x9F\x98\x80\xED\xA0\x80");
    EXPECT_EQ(found[1].FIdentity, found[1].FDevicePath);
    auto h = backend.Open(found[1].FDevicePath, THidAccess::QueryOnly);
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(win.Opens().back().FPath, named);
    EXPECT_EQ(backend.GetCapabilities(*h)->FOutputReportByteLength, 65);
    EXPECT_EQ(backend.Open("\\\\?\\hid#\xC3", THidAccess::QueryOnly).Error().FCode, EINVAL);
    EXPECT_EQ(backend.Open("\\\\?\\hid#gone", THidAccess::ReadWrite).Error().FCode, ENOENT);
    (void)backend.Open(found[0].FDevicePath, THidAccess::Read);  // left open: Unbind closes it
  }
  EXPECT_EQ(win.Leftovers(), 0u);
}

TEST(HidWinBackend, BindsAllOrNothing) {
  TFakeWin win;
  win.Plug(kProg);
  THidWinBackend backend([&win] {
    auto api = win.Api();
    api.FHidPGetCaps = nullptr;
    return std::optional<TWinHidApi>(api);
  });
  EXPECT_FALSE(backend.Bind());
  EXPECT_TRUE(backend.Scan().empty());
  EXPECT_EQ(backend.ChangeMode(), THidWinBackend::TChangeMode::None);
}

struct TPortCase {
  std::string FName;
  std::u16string FPath;
  std::u16string FSerial;
  std::string FIdentityPath;
  std::string FSerialUtf8;
};

void PrintTo(const TPortCase& c, std::ostream* os) {
  *os << c.FName;
}

class HidWinPort : public ::testing::TestWithParam<TPortCase> {};

TEST_P(HidWinPort, ScanTellsThePortAndTheSerialNumber) {
  TFakeWin win;
  win.Plug(GetParam().FPath, [](auto& d) { d.FSerial = GetParam().FSerial; });
  {
    THidWinBackend backend(win.Loader());
    ASSERT_TRUE(backend.Bind());
    const auto found = backend.Scan();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].FIdentityPath, GetParam().FIdentityPath);
    EXPECT_EQ(found[0].FSerial, GetParam().FSerialUtf8);
    // A replug into the same port: a new connection, the same port.
    win.Unplug(GetParam().FPath);
    win.Plug(GetParam().FPath, [](auto& d) { d.FSerial = GetParam().FSerial; });
    const auto again = backend.Scan();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NE(again[0].FIdentity, found[0].FIdentity);
    EXPECT_EQ(again[0].FIdentityPath, GetParam().FIdentityPath);
  }
  EXPECT_EQ(win.Leftovers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    HidWin, HidWinPort,
    ::testing::Values(TPortCase{"WithSerial", kProg, u"QV-0001", "7&1A2B&0&0000", "QV-0001"},
                      TPortCase{"CollectionNonAsciiSerial",
                                u"\\\\?\\HID#VID_0451&PID_3210&Col01#8&3c4d&0&0000#{4d1e55b2}",
                                u"Q\u00e4\U0001F600", "8&3C4D&0&0000", "Q\xC3\xA4\xF0\x9F\x98\x80"},
                      TPortCase{"LongestSerial", kProg, std::u16string(126, u'9'), "7&1A2B&0&0000",
                                std::string(126, '9')},
                      TPortCase{"NoSerialOtherShape", u"\\\\?\\hid#a", u"", "", ""}),
    [](const auto& info) { return info.param.FName; });

// The programmer plugged in, the backend bound and one handle open.
class HidWinOne : public ::testing::Test {
 protected:
  THidHandle OpenProgrammer(THidAccess access,
                            const std::function<void(TFakeWin::TDevice&)>& setup = nullptr) {
    FWin.Plug(kProg, setup);
    EXPECT_TRUE(FBackend.Bind());
    auto h = FBackend.Open(kProgPath, access);
    EXPECT_TRUE(h.Ok());
    return h ? *h : THidHandle{};
  }

  TFakeWin FWin;
  THidWinBackend FBackend{FWin.Loader()};
};

struct TReadCase {
  std::string FName;
  std::function<void(TFakeWin&)> FMeanwhile;  // after the read handle opened
  THidReadStatus FStatus;
  int FErrno;
  bool FChange;  // the read told of a device that is gone
};

void PrintTo(const TReadCase& c, std::ostream* os) {
  *os << c.FName;
}

class HidWinRead : public HidWinOne, public ::testing::WithParamInterface<TReadCase> {};

TEST_P(HidWinRead, EndsAsTheSystemSays) {
  const THidHandle h = OpenProgrammer(THidAccess::Read);
  GetParam().FMeanwhile(FWin);
  FBackend.Drain();
  TBytes buffer(65, 0xEE);
  const THidReadResult r = FBackend.Read(h, buffer.data(), buffer.size(), kShort);
  EXPECT_EQ(r.FStatus, GetParam().FStatus);
  EXPECT_EQ(r.FError, GetParam().FErrno);
  EXPECT_EQ(FBackend.Drain(), GetParam().FChange);
  const bool data = r.FStatus == THidReadStatus::Data;
  EXPECT_EQ(r.FBytes, data ? 65u : 0u);
  if (data) {
    EXPECT_EQ(buffer, Report(7));
  }
}

INSTANTIATE_TEST_SUITE_P(
    HidWin, HidWinRead,
    ::testing::Values(
        TReadCase{"nothing arrives", [](TFakeWin&) {}, THidReadStatus::Timeout, 0, false},
        TReadCase{
            "report waiting",
            [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FInputs.push_back(Report(7)); }); },
            THidReadStatus::Data, 0, false},
        TReadCase{
            "report beats the cancel",
            [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FArrivesOnCancel = Report(7); }); },
            THidReadStatus::Data, 0, false},
        TReadCase{"device not connected",
                  [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FReadError = 1167; }); },
                  THidReadStatus::Unplugged, ENODEV, true},
        TReadCase{"gen failure",
                  [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FReadError = 31; }); },
                  THidReadStatus::Unplugged, ENODEV, true},
        TReadCase{"gone before the read",
                  [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FPresent = false; }); },
                  THidReadStatus::Unplugged, ENODEV, true},
        TReadCase{"aborted after a removal",
                  [](TFakeWin& w) {
                    w.Device(kProg, [](auto& d) { d.FReadError = 995; });
                    w.Notify(kCmNotifyActionInterfaceRemoval, kProg);
                  },
                  THidReadStatus::Unplugged, ENODEV, false},
        TReadCase{"aborted by another program",
                  [](TFakeWin& w) { w.Device(kProg, [](auto& d) { d.FReadError = 995; }); },
                  THidReadStatus::Error, ECANCELED, false}),
    [](const auto& info) { return CaseName(info.param.FName); });

using HidWinClose = HidWinOne;

TEST_F(HidWinClose, WakesAReadAndTheHandleGoesWhenItReturns) {
  const THidHandle h = OpenProgrammer(THidAccess::Read);
  THidReadResult r;
  std::thread reader([&] {
    TBytes buffer(65);
    r = FBackend.Read(h, buffer.data(), buffer.size(), std::chrono::hours(1));
  });
  while (!FWin.ReadPending(kProg)) std::this_thread::yield();
  FBackend.Close(h);
  reader.join();
  EXPECT_EQ(r.FStatus, THidReadStatus::Error);
  EXPECT_EQ(r.FError, EBADF);
  EXPECT_EQ(FWin.Leftovers(), 0u);
}

struct TWriteCase {
  TWinDword FError;
  int FErrno;
  std::string FIdentityAfter;  // a device found gone comes back as a new connection
};

void PrintTo(const TWriteCase& c, std::ostream* os) {
  *os << "Windows error " << c.FError;
}

class HidWinWrite : public HidWinOne, public ::testing::WithParamInterface<TWriteCase> {};

TEST_P(HidWinWrite, FailsWithTheMappedCode) {
  const THidHandle h =
      OpenProgrammer(THidAccess::ReadWrite, [](auto& d) { d.FWriteError = GetParam().FError; });
  FBackend.Drain();
  const TBytes report = Report(1);
  auto written = FBackend.Write(h, report.data(), report.size());
  ASSERT_FALSE(written.Ok());
  EXPECT_EQ(written.Error(), (TError{TErrorKind::Device, "write failed", GetParam().FErrno}));
  EXPECT_EQ(FBackend.Drain(), !GetParam().FIdentityAfter.empty());
  EXPECT_EQ(Identities(FBackend).at(0), kProgPath + GetParam().FIdentityAfter);
}

INSTANTIATE_TEST_SUITE_P(HidWin, HidWinWrite,
                         ::testing::Values(TWriteCase{1167, ENODEV, "#1"},
                                           TWriteCase{31, ENODEV, "#1"}, TWriteCase{87, EINVAL, ""},
                                           TWriteCase{5, EACCES, ""}),
                         [](const auto& info) {
                           return "Win32Error" + std::to_string(info.param.FError);
                         });

TEST(HidWinBackend, RescansWhenTheSystemCannotNotify) {
  for (const auto cm : {TFakeWin::TCm::Missing, TFakeWin::TCm::Refused}) {
    SCOPED_TRACE(cm == TFakeWin::TCm::Missing ? "no entry point" : "registration refused");
    TFakeWin win;
    win.FCm = cm;
    THidWinBackend backend(win.Loader(), std::chrono::milliseconds(2));
    std::atomic<int> wakes{0};
    backend.SetWakeup([&wakes] { ++wakes; });
    ASSERT_TRUE(backend.Bind());
    EXPECT_EQ(backend.ChangeMode(), THidWinBackend::TChangeMode::Rescan);
    auto next = [&](const std::function<void()>& step) {
      const int before = wakes;
      step();
      while (wakes == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_TRUE(backend.Drain());
      return Identities(backend);
    };
    EXPECT_EQ(next([&] { win.Plug(kProg); }), std::vector<std::string>{kProgPath});
    EXPECT_EQ(next([&] { win.Unplug(kProg); }), std::vector<std::string>{});
    EXPECT_EQ(next([&] { win.Plug(kProg); }), std::vector<std::string>{kProgPath + "#1"});
    backend.Unbind();
    EXPECT_EQ(backend.ChangeMode(), THidWinBackend::TChangeMode::None);
  }
}

}  // namespace
}  // namespace quenvar::test
