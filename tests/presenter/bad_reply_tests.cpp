// Replies the programmer should never send: short, overlong, miscounted and
// random reports, and a buffer that throws, in every state of an operation.
#include <string>
#include <vector>

#include "presenter_fixture.h"

namespace quenvar::test {
namespace {

using Lines = std::vector<std::string>;

TEST_F(OperationTest, ABufferThatThrowsEndsTheOperationInsteadOfEscaping) {
  SocketReady(0);
  FPresenter.SetLanguageIndex(1);
  FBuffer.FThrowOnReplace = true;
  FPresenter.bReadClick();
  EXPECT_NO_THROW(DataReport(Ramp(16)));
  EXPECT_EQ(FErrors, (Lines{"buffer full"}));
  EXPECT_EQ(Log(), (Lines{"reading...", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_FALSE(FDriver.ErrorFlagValue());
}

TEST_F(OperationTest, ShortAndOverlongRepliesNeverReadPastTheirEnd) {
  IspReady();
  FPresenter.SetLanguageIndex(1);
  // 's' with no signature bytes at all: read as 00 00 00, an unknown chip.
  FPresenter.bDetectDeviceClick();
  const std::uint8_t s = 's';
  FDriver.HidData(0, std::span(&s, 1));
  EXPECT_EQ(Log(),
            (Lines{"reading signature byte...", "ID: 00 00 00", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_EQ(FPresenter.Window().AutoDevice(), "Error");
  // An empty report while idle only finishes again.
  FDriver.HidData(0, {});
  EXPECT_EQ(Log().size(), 8u);

  // A fuse reply that carries only the lock byte sets only the lock boxes.
  FPresenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  const TBytes shortFuses{'r', 0xFE};
  FDriver.HidData(0, shortFuses);
  const auto& boxes = FPresenter.Window().FuseList();
  ASSERT_EQ(boxes.size(), 22u);
  for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i].FChecked, i == 5) << i;
  EXPECT_EQ(Log(), (Lines{"reading signature byte...", "ID: 1E 93 07", "reading fuse bis...", "",
                          "Successfully finished.", "Duration: 0.00 s"}));
}

struct TCountCase {
  const char* FName;
  TBytes FReport;  // reply bytes as delivered
  std::size_t FCollected;
};

TEST_F(OperationTest, DataReportCountIsLimitedToWhatTheReportHolds) {
  const TCountCase cases[] = {
      {"count 63 in a full report",
       [] {
         TBytes r(64, 0xAA);
         r[0] = 63;
         return r;
       }(),
       63},
      {"count 64 claims one too many",
       [] {
         TBytes r(64, 0xAA);
         r[0] = 64;
         return r;
       }(),
       63},
      {"count 255",
       [] {
         TBytes r(64, 0xAA);
         r[0] = 255;
         return r;
       }(),
       63},
      {"count 20 in a 6-byte report", TBytes{20, 1, 2, 3, 4, 5}, 5},
      {"count 0", TBytes{0, 9, 9}, 0},
      {"'!' is a count while reading",
       [] {
         TBytes r(64, 0x07);
         r[0] = '!';
         return r;
       }(),
       33},
      {"'*' is a count while reading",
       [] {
         TBytes r(64, 0x07);
         r[0] = '*';
         return r;
       }(),
       42},
      {"nothing at all", TBytes{}, 0},
  };
  SocketReady(13);  // 65536 bytes: never completes here
  for (const TCountCase& c : cases) {
    FPresenter.bReadClick();
    FDriver.HidData(0, c.FReport);
    EXPECT_EQ(FDriver.ReadDataValue().size(), c.FCollected) << c.FName;
    EXPECT_EQ(FPresenter.Window().Progress().FGaugePosition,
              static_cast<std::int64_t>(c.FCollected));
    EXPECT_EQ(FPresenter.Window().Progress().FGaugeMax, 65536);
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Reading);
    EXPECT_EQ(Sent().size(), 1u) << "only the read command went out";
    Sent().clear();
    FDriver.FinishOperation();
  }
}

TEST_F(OperationTest, GarbageInEveryStateNeverCorruptsTheBuffer) {
  const TBytes garbage[] = {
      TBytes(64, 0xFF), TBytes{0x00},      TBytes{'x', 'y'},
      TBytes{'e'},      TBytes{'v', 1, 2}, TBytes{'w'},
      TBytes{'f'},      TBytes{'r', 0xFF}, TBytes{'s', 0x1E, 0x93, 0x07},
  };
  FBuffer.FData = Ramp(120);
  IspReady();
  using Handler = void (TMainPresenter::*)();
  const Handler starts[] = {&TMainPresenter::bProgClick,      &TMainPresenter::bVerifyClick,
                            &TMainPresenter::bEraseClick,     &TMainPresenter::bprogeepromClick,
                            &TMainPresenter::bWriteFuseClick, &TMainPresenter::bDetectDeviceClick};
  for (Handler start : starts) {
    for (const TBytes& g : garbage) {
      (FPresenter.*start)();
      EXPECT_NO_THROW(FDriver.HidData(0, g));
      EXPECT_NO_THROW(FDriver.HidData(0, g));
      EXPECT_EQ(FBuffer.FData, Ramp(120));
      FDriver.FinishOperation();
    }
  }
  EXPECT_EQ(FBuffer.FReplacements, 0);
  EXPECT_TRUE(FErrors.empty());
}

}  // namespace
}  // namespace quenvar::test
