// The UHID bridge against a socket pair standing in for /dev/uhid. Events are
// built and taken apart by their byte offsets in the kernel's packed
// struct uhid_event, so the bridge's use of the header is checked too.
#include "quenvar/uhid/uhid_bridge.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/hid/report_descriptor.h"
#include "quenvar/sim/sim_programmer.h"

namespace quenvar {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using TClock = TUhidBridge::TClock;

// struct uhid_event: u32 type, then the union at offset 4. Its largest member,
// create2, has 4372 bytes; start_req's u64 rounds the union up to 4376.
constexpr std::size_t kEventSize = 4380;
enum : std::uint32_t {
  kDestroy = 1,
  kStart = 2,
  kStop = 3,
  kOpen = 4,
  kClose = 5,
  kOutput = 6,
  kGetReport = 9,
  kGetReportReply = 10,
  kCreate2 = 11,
  kInput2 = 12,
  kSetReport = 13,
  kSetReportReply = 14,
};

std::uint32_t U32(const Bytes& ev, std::size_t at) {
  return ev[at] | ev[at + 1] << 8 | ev[at + 2] << 16 | static_cast<std::uint32_t>(ev[at + 3]) << 24;
}
std::uint16_t U16(const Bytes& ev, std::size_t at) {
  return static_cast<std::uint16_t>(ev[at] | ev[at + 1] << 8);
}
void Put32(Bytes& ev, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) ev[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(Bytes& ev, std::size_t at, std::uint16_t v) {
  ev[at] = static_cast<std::uint8_t>(v);
  ev[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
Bytes Range(const Bytes& ev, std::size_t at, std::size_t n) {
  return Bytes(ev.begin() + static_cast<std::ptrdiff_t>(at),
               ev.begin() + static_cast<std::ptrdiff_t>(at + n));
}

// An output report as hidraw's write() hands it to uhid: data at 4, size at
// 4100, rtype at 4102 (1 = output report).
Bytes OutputEvent(const Bytes& report, std::uint8_t rtype = 1) {
  Bytes ev(kEventSize, 0);
  Put32(ev, 0, kOutput);
  std::copy(report.begin(), report.end(), ev.begin() + 4);
  Put16(ev, 4100, static_cast<std::uint16_t>(report.size()));
  ev[4102] = rtype;
  return ev;
}

Bytes Report65(std::initializer_list<std::uint8_t> head) {
  Bytes r(65, 0);
  std::copy(head.begin(), head.end(), r.begin());
  return r;
}

// Answers each output report with a scripted list of replies.
class TScriptedModel final : public ISimDeviceModel {
 public:
  struct TReply {
    Bytes FReport;
    std::chrono::microseconds FDelay{0};
  };
  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    FSeen.emplace_back(report.begin(), report.end());
    for (const TReply& r : FReplies) host.PushInputReport(r.FReport, r.FDelay);
    if (FUnplugAfterReply) host.RequestUnplug();
  }
  std::vector<TReply> FReplies;
  bool FUnplugAfterReply = false;
  std::vector<Bytes> FSeen;
};

class UhidBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, FFds), 0);
    FModel = std::make_shared<TScriptedModel>();
  }
  void TearDown() override {
    ::close(FFds[0]);
    ::close(FFds[1]);
  }
  TUhidBridge Make(std::chrono::microseconds frame = 0us) {
    TUhidDeviceSetup setup;
    setup.FFrame = frame;
    return TUhidBridge(FFds[0], FModel, setup);
  }
  // Feeds one event to the bridge as if the kernel had queued it.
  void Kernel(TUhidBridge& b, const Bytes& ev, TClock::time_point now) {
    ASSERT_EQ(::write(FFds[1], ev.data(), ev.size()), static_cast<ssize_t>(ev.size()));
    ASSERT_TRUE(b.HandleEvent(now));
  }
  // The events the bridge wrote since the last call, whole.
  std::vector<Bytes> Written() {
    std::vector<Bytes> out;
    for (;;) {
      Bytes ev(kEventSize + 16, 0);
      const ssize_t n = ::read(FFds[1], ev.data(), ev.size());
      if (n < 0) break;
      ev.resize(static_cast<std::size_t>(n));
      out.push_back(std::move(ev));
    }
    return out;
  }
  std::vector<std::uint32_t> Types() {
    std::vector<std::uint32_t> t;
    for (const Bytes& ev : Written()) t.push_back(U32(ev, 0));
    return t;
  }
  Bytes PluggedBridgeCreate(TUhidBridge& b) {
    EXPECT_TRUE(b.Plug());
    auto ev = Written();
    EXPECT_EQ(ev.size(), 1u);
    return ev.empty() ? Bytes{} : ev[0];
  }

  int FFds[2] = {-1, -1};
  std::shared_ptr<TScriptedModel> FModel;
  const TClock::time_point FT0 = TClock::time_point{} + 1h;
};

TEST_F(UhidBridge, PlugAnnouncesAUsbDeviceWithTheProgrammersIdsAndDescriptor) {
  TUhidBridge b = Make();
  const Bytes ev = PluggedBridgeCreate(b);
  ASSERT_EQ(ev.size(), kEventSize);
  EXPECT_EQ(U32(ev, 0), kCreate2);
  const std::string name = "Quenvar simulated programmer";
  EXPECT_EQ(Range(ev, 4, name.size() + 1), Bytes(name.c_str(), name.c_str() + name.size() + 1));
  EXPECT_EQ(U16(ev, 260), 25);      // rd_size
  EXPECT_EQ(U16(ev, 262), 0x03);    // BUS_USB
  EXPECT_EQ(U32(ev, 264), 0x0451);  // vendor
  EXPECT_EQ(U32(ev, 268), 0x3210);  // product
  EXPECT_EQ(U32(ev, 272), 0x0100);  // version
  EXPECT_EQ(U32(ev, 276), 0u);      // country
  const Bytes rd = Range(ev, 280, 25);
  EXPECT_EQ(rd, Bytes({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
                       0x08, 0x95, 0x40, 0x09, 0x02, 0x81, 0x02, 0x09, 0x03, 0x91, 0x02, 0xC0}));
  EXPECT_EQ(Range(ev, 280 + 25, 8), Bytes(8, 0));
  EXPECT_TRUE(b.Plugged());
  EXPECT_EQ(b.Stats().FPlugs, 1u);

  // A second Plug while plugged in creates nothing.
  EXPECT_TRUE(b.Plug());
  EXPECT_TRUE(Written().empty());
}

TEST_F(UhidBridge, PlugNamesThePortAndTheSerialNumberWhenGiven) {
  TUhidDeviceSetup setup;
  setup.FPhys = "usb-qvsim-2/input0";
  setup.FUniq = "QVSIM2";
  TUhidBridge b(FFds[0], FModel, setup);
  const Bytes ev = PluggedBridgeCreate(b);
  ASSERT_EQ(ev.size(), kEventSize);
  // phys[64] follows name[128], uniq[64] follows phys; both end in a 0 byte.
  EXPECT_EQ(Range(ev, 132, 19), Bytes(setup.FPhys.c_str(), setup.FPhys.c_str() + 19));
  EXPECT_EQ(Range(ev, 196, 7), Bytes(setup.FUniq.c_str(), setup.FUniq.c_str() + 7));
  const Bytes bare = PluggedBridgeCreate(*std::make_unique<TUhidBridge>(FFds[0], FModel));
  EXPECT_EQ(Range(bare, 132, 128), Bytes(128, 0));
}

TEST(UhidReportDescriptor, TheLinkReadsIt65BytesEachWayWithoutReportIds) {
  auto parsed = ParseReportDescriptor(TUhidBridge::ReportDescriptor());
  ASSERT_TRUE(parsed) << parsed.Error().FText;
  EXPECT_FALSE(parsed->FNumberedReports);
  EXPECT_EQ(parsed->FCaps.FInputReportByteLength, 65);
  EXPECT_EQ(parsed->FCaps.FOutputReportByteLength, 65);
  EXPECT_EQ(parsed->FCaps.FFeatureReportByteLength, 0);
  EXPECT_EQ(parsed->FCaps.FUsagePage, 0xFF00);
  EXPECT_EQ(parsed->FCaps.FUsage, 0x0001);
}

struct TReplyCase {
  const char* FName;
  Bytes FReply;     // as the model pushes it, id byte first
  Bytes FExpected;  // the 64 bytes of UHID_INPUT2
};

class UhidBridgeReplies : public UhidBridge, public ::testing::WithParamInterface<TReplyCase> {};

TEST_P(UhidBridgeReplies, GoOutAs64ByteInput2WithoutTheIdByte) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  FModel->FReplies = {{GetParam().FReply}};
  const Bytes request = Report65({0x00, 0x05, 0x01, 0xAA});
  Kernel(b, OutputEvent(request), FT0);
  ASSERT_EQ(FModel->FSeen.size(), 1u);
  EXPECT_EQ(FModel->FSeen[0], request);
  ASSERT_TRUE(b.Flush(FT0));
  const auto events = Written();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(U32(events[0], 0), kInput2);
  EXPECT_EQ(U16(events[0], 4), 64);
  EXPECT_EQ(Range(events[0], 6, 64), GetParam().FExpected);
  EXPECT_EQ(Range(events[0], 70, 8), Bytes(8, 0));
  EXPECT_EQ(b.Stats().FInputReports, 1u);
}

Bytes Padded(std::initializer_list<std::uint8_t> head) {
  Bytes r(64, 0);
  std::copy(head.begin(), head.end(), r.begin());
  return r;
}
Bytes Counting(std::size_t n, std::uint8_t first) {
  Bytes r(n);
  for (std::size_t i = 0; i < n; ++i) r[i] = static_cast<std::uint8_t>(first + i);
  return r;
}

void PrintTo(const TReplyCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UhidBridgeReplies,
    ::testing::Values(
        TReplyCase{"Short", {0x00, 's', 0x1E, 0x93, 0x07}, Padded({'s', 0x1E, 0x93, 0x07})},
        TReplyCase{"Whole", Counting(65, 0), Counting(64, 1)},
        // Longer than a report: the tail does not fit and is cut.
        TReplyCase{"TooLong", Counting(70, 0x10), Counting(64, 0x11)},
        TReplyCase{"IdOnly", {0x00}, Bytes(64, 0)}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST_F(UhidBridge, TheRealSimulatorAnswersTheSignatureRequest) {
  TSimConfig config;
  config.FRealTiming = false;
  auto sim = std::make_shared<TSimProgrammer>(config);
  TUhidBridge b(FFds[0], sim);
  ASSERT_TRUE(b.Plug());
  Written();
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x01})), FT0);
  ASSERT_TRUE(b.Flush(FT0));
  const auto events = Written();
  ASSERT_EQ(events.size(), 1u);
  Bytes expected = {64, 0};  // size, then the data
  const Bytes data = Padded({'s', 0x1E, 0x93, 0x07});
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(Range(events[0], 4, 66), expected);
}

struct TScheduleCase {
  const char* FName;
  std::chrono::microseconds FFrame;
  std::vector<std::chrono::microseconds> FDelays;  // of the replies to one output report
  // Flush times (after T0) and the first data byte of each report sent by then.
  std::vector<std::pair<std::chrono::microseconds, Bytes>> FFlushes;
};

class UhidBridgeSchedule : public UhidBridge,
                           public ::testing::WithParamInterface<TScheduleCase> {};

TEST_P(UhidBridgeSchedule, RepliesKeepTheirOrderAndDelays) {
  TUhidBridge b = Make(GetParam().FFrame);
  PluggedBridgeCreate(b);
  std::uint8_t tag = 1;
  for (auto d : GetParam().FDelays) FModel->FReplies.push_back({{0x00, tag++}, d});
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x01})), FT0);
  for (const auto& [at, expected] : GetParam().FFlushes) {
    ASSERT_TRUE(b.Flush(FT0 + at));
    Bytes sent;
    for (const Bytes& ev : Written()) sent.push_back(ev[6]);
    EXPECT_EQ(sent, expected) << "at " << at.count() << " us";
  }
  EXPECT_EQ(b.QueuedInputReports(), 0u);
  EXPECT_FALSE(b.NextDue().has_value());
}

void PrintTo(const TScheduleCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UhidBridgeSchedule,
    ::testing::Values(
        // Each report is due its delay after the later of now and the one before.
        TScheduleCase{"DelaysAddUp",
                      0us,
                      {5000us, 0us, 2000us},
                      {{4999us, {}}, {5000us, {1, 2}}, {6999us, {}}, {7000us, {3}}}},
        TScheduleCase{"ImmediateRepliesAllAtOnce", 0us, {0us, 0us, 0us}, {{0us, {1, 2, 3}}}},
        // One report per frame at most, even when the model says now.
        TScheduleCase{"FramePacing",
                      1000us,
                      {0us, 0us, 0us},
                      {{0us, {1}}, {999us, {}}, {1000us, {2}}, {2500us, {3}}}},
        // A delay longer than the frame wins over the pacing.
        TScheduleCase{"DelayBeyondFrame",
                      1000us,
                      {0us, 4500us, 0us},
                      {{0us, {1}}, {4499us, {}}, {4500us, {2}}, {5499us, {}}, {5500us, {3}}}}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST_F(UhidBridge, ALaterRequestsRepliesQueueBehindEarlierOnes) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  FModel->FReplies = {{{0x00, 'A'}, 3000us}};
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x01})), FT0);
  FModel->FReplies = {{{0x00, 'B'}, 1000us}};
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x02})), FT0 + 500us);
  ASSERT_TRUE(b.NextDue().has_value());
  EXPECT_EQ(*b.NextDue(), FT0 + 3000us);
  ASSERT_TRUE(b.Flush(FT0 + 3999us));
  auto first = Written();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0][6], 'A');
  ASSERT_TRUE(b.Flush(FT0 + 4000us));
  auto second = Written();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0][6], 'B');
}

struct TOutputCheckCase {
  const char* FName;
  Bytes FReport;
  std::uint8_t FRtype;
  std::uint64_t FBad;
};

class UhidBridgeOutputChecks : public UhidBridge,
                               public ::testing::WithParamInterface<TOutputCheckCase> {};

TEST_P(UhidBridgeOutputChecks, CountWhatDidNotArriveAs65BytesWithIdZero) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  Kernel(b, OutputEvent(GetParam().FReport, GetParam().FRtype), FT0);
  EXPECT_EQ(b.Stats().FOutputReports, 1u);
  EXPECT_EQ(b.Stats().FBadOutputReports, GetParam().FBad);
  // The model judges every report itself, odd ones included.
  ASSERT_EQ(FModel->FSeen.size(), 1u);
  EXPECT_EQ(FModel->FSeen[0], GetParam().FReport);
}

void PrintTo(const TOutputCheckCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UhidBridgeOutputChecks,
    ::testing::Values(TOutputCheckCase{"Proper", Report65({0x00, 0x05, 0x01}), 1, 0},
                      TOutputCheckCase{"IdDropped", Counting(64, 0x05), 1, 1},
                      TOutputCheckCase{"NumberedId", Report65({0x01, 0x05, 0x01}), 1, 1},
                      TOutputCheckCase{"FeatureType", Report65({0x00, 0x05, 0x01}), 2, 1},
                      TOutputCheckCase{"Oversized", Bytes(66, 0), 1, 1}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST_F(UhidBridge, AModelsUnplugWaitsForItsRepliesThenDestroys) {
  TUhidBridge b = Make(1000us);
  PluggedBridgeCreate(b);
  FModel->FReplies = {{{0x00, 'w'}}, {{0x00, 'x'}}};
  FModel->FUnplugAfterReply = true;
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x03})), FT0);
  EXPECT_TRUE(b.UnplugPending());
  ASSERT_TRUE(b.Flush(FT0));
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kInput2}));
  EXPECT_TRUE(b.Plugged());
  ASSERT_TRUE(b.Flush(FT0 + 1000us));
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kInput2, kDestroy}));
  EXPECT_FALSE(b.Plugged());
  EXPECT_EQ(b.Stats().FUnplugs, 1u);
  EXPECT_EQ(b.Stats().FDroppedInputReports, 0u);
}

TEST_F(UhidBridge, UnplugAfterReportsServesExactlyThatManyAndIgnoresTheRest) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  b.UnplugAfterReports(2);
  FModel->FReplies = {{{0x00, '*'}}};
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x03, 1})), FT0);
  ASSERT_TRUE(b.Flush(FT0));
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kInput2}));
  EXPECT_FALSE(b.UnplugPending());

  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x03, 2})), FT0);
  // Written by the application before the device was gone.
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x03, 3})), FT0);
  ASSERT_TRUE(b.Flush(FT0));
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kInput2, kDestroy}));
  ASSERT_EQ(FModel->FSeen.size(), 2u);
  EXPECT_EQ(FModel->FSeen[1][3], 2);
  EXPECT_EQ(b.Stats().FOutputReports, 3u);
  EXPECT_EQ(b.Stats().FIgnoredOutputReports, 1u);
  EXPECT_EQ(b.Stats().FInputReports, 2u);
}

TEST_F(UhidBridge, UnplugDropsQueuedRepliesAndReplugStartsAfresh) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  b.UnplugAfterReports(5);
  FModel->FReplies = {{{0x00, 'a'}, 10000us}, {{0x00, 'b'}, 0us}};
  Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x01})), FT0);
  ASSERT_TRUE(b.Unplug());
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kDestroy}));
  EXPECT_EQ(b.Stats().FDroppedInputReports, 2u);
  EXPECT_FALSE(b.NextDue().has_value());
  EXPECT_TRUE(b.Unplug());  // already gone: nothing more
  EXPECT_TRUE(Written().empty());

  ASSERT_TRUE(b.Plug());
  EXPECT_EQ(Types(), (std::vector<std::uint32_t>{kCreate2}));
  // The old schedule and countdown are gone with the old connection.
  FModel->FReplies = {{{0x00, 'c'}, 0us}};
  for (int i = 0; i < 5; ++i) Kernel(b, OutputEvent(Report65({0x00, 0x05, 0x01})), FT0 + 1ms);
  ASSERT_TRUE(b.Flush(FT0 + 1ms));
  const auto events = Written();
  ASSERT_EQ(events.size(), 5u);
  for (const Bytes& ev : events) EXPECT_EQ(ev[6], 'c');
  EXPECT_TRUE(b.Plugged());
  EXPECT_EQ(b.Stats().FPlugs, 2u);
  EXPECT_EQ(b.Stats().FUnplugs, 1u);
}

TEST_F(UhidBridge, ReportRequestsAreRefusedWithEio) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  Bytes get(kEventSize, 0);
  Put32(get, 0, kGetReport);
  Put32(get, 4, 0x11223344);
  get[8] = 0;  // report number
  get[9] = 0;  // feature
  Kernel(b, get, FT0);
  Bytes set(kEventSize, 0);
  Put32(set, 0, kSetReport);
  Put32(set, 4, 7);
  Kernel(b, set, FT0);
  const auto events = Written();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(U32(events[0], 0), kGetReportReply);
  EXPECT_EQ(U32(events[0], 4), 0x11223344u);
  EXPECT_EQ(U16(events[0], 8), 5);  // EIO
  EXPECT_EQ(U16(events[0], 10), 0);
  EXPECT_EQ(U32(events[1], 0), kSetReportReply);
  EXPECT_EQ(U32(events[1], 4), 7u);
  EXPECT_EQ(U16(events[1], 8), 5);
  EXPECT_EQ(b.Stats().FRefusedRequests, 2u);
  EXPECT_TRUE(FModel->FSeen.empty());
}

TEST_F(UhidBridge, LifecycleEventsNeedNoAnswer) {
  TUhidBridge b = Make();
  PluggedBridgeCreate(b);
  for (std::uint32_t type : std::vector<std::uint32_t>{kStart, kOpen, kClose, kStop, 99u}) {
    Bytes ev(kEventSize, 0);
    Put32(ev, 0, type);
    Kernel(b, ev, FT0);
  }
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(b.Stats(), (TUhidStats{0, 0, 0, 0, 0, 1, 0, 0}));
}

TEST_F(UhidBridge, AClosedUhidEndsTheBridgeWithAReason) {
  TUhidBridge b = Make();
  ::close(FFds[1]);
  FFds[1] = ::dup(FFds[0]);  // keep TearDown's close harmless
  ::shutdown(FFds[0], SHUT_RD);
  const TResult<void> r = b.HandleEvent(FT0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.Error(), TError(TErrorKind::Device, "reading uhid events: end of file"));
}

TEST(UhidStatsText, OneLineWithEveryCounter) {
  EXPECT_EQ(FormatUhidStats(TUhidStats{1234, 1, 2, 1230, 3, 2, 1, 4}),
            "outputs 1234 (bad 1, ignored 2), inputs 1230 x 64 bytes, dropped 3, plugs 2, "
            "unplugs 1, refused 4");
  EXPECT_EQ(FormatUhidStats({}),
            "outputs 0 (bad 0, ignored 0), inputs 0 x 64 bytes, dropped 0, plugs 0, unplugs 0, "
            "refused 0");
}

}  // namespace
}  // namespace quenvar
