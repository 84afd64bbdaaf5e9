// What the driver reports as typed events: how each operation ends, the order
// of the events of one operation, the device changes, and the typed state a
// front end reads instead of a window (the code size, the fuse boxes, the
// operations a target offers).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver_fakes.h"
#include "event_recorder.h"

namespace quenvar::test {
namespace {

using Lines = std::vector<std::string>;
using Op = TRequestedOperation;

// The ISP target with an ATmega8 identified and its fuses read.
void Atmega8(TDriverRig& r) {
  r.FDriver.SelectIsp();
  r.Connect();
  r.FDriver.StartOperation(Op::DetectDevice);
  r.Reply({'s', 0x1E, 0x93, 0x07});
  r.Reply({'r', 0xFF, 0xFF, 0xFF, 0xA1, 0xA2, 0xA3, 0xA4});
}

// The 24C04A in the socket, with `op` started.
void Socket(TDriverRig& r, Op op) {
  r.FDriver.SelectEeprom(5);
  r.Connect();
  r.FDriver.StartOperation(op);
}

class DriverEventsTest : public ::testing::Test, protected TDriverRig {
 protected:
  DriverEventsTest() { FDriver.SetListener(&FEvents); }

  std::string Trace() const {
    std::string text;
    for (const std::string& event : FEvents.FTrace) text += (text.empty() ? "" : " ") + event;
    return text;
  }

  TEventRecorder FEvents;
};

TEST(DriverEndings, EveryEndingHasItsResult) {
  const struct {
    const char* FName;
    std::function<void(TDriverRig&)> FRun;
    TOperationResult FResult;
    Lines FTail;  // the last lines of the log
  } cases[] = {
      {"erase done",
       [](TDriverRig& r) {
         Socket(r, Op::Erase);
         r.ReplyChar('e');
       },
       TOperationResult::Success,
       {"", "Successfully finished.", "Duration: 0.00 s"}},
      {"programmer failed",
       [](TDriverRig& r) {
         Socket(r, Op::Erase);
         r.ReplyChar('!');
       },
       TOperationResult::Error,
       {"erasing...", "", "Error.", "Duration: 0.00 s"}},
      {"no reply",
       [](TDriverRig& r) {
         Socket(r, Op::ReadFlash);
         r.FTimer.Fire();
       },
       TOperationResult::NoReply,
       {"No reply from the programmer.", "", "Error.", "Duration: 0.00 s"}},
      {"image larger than the chip",
       [](TDriverRig& r) {
         Atmega8(r);
         r.FBuffer.FData = Ramp(8193);
         r.FDriver.StartOperation(Op::ProgramFlash);
         r.Reply({'s', 0x1E, 0x93, 0x07});
         r.ReplyChar('r');
       },
       TOperationResult::Refused,
       {"Calibration Byte 3: 00", "", "Error.", "Duration: 0.00 s"}},
      {"locked chip refused when asked",
       [](TDriverRig& r) {
         r.FDriver.FRefuseLockedChip = true;
         r.FBuffer.FData = Ramp(10);
         r.FDriver.SelectIsp();
         r.Connect();
         r.FDriver.StartOperation(Op::Verify);
         r.Reply({'s', 0x00, 0x01, 0x02});
         r.ReplyChar('r');
       },
       TOperationResult::Refused,
       {"reading fuse bis...", "", "Error.", "Duration: 0.00 s"}},
      {"no size to read",
       [](TDriverRig& r) {
         r.FDriver.SelectIsp();
         r.Connect();
         r.FDriver.StartOperation(Op::ReadFlash);
         r.Reply({'s', 0x00, 0x01, 0x02});
         r.ReplyChar('r');
       },
       TOperationResult::Error,
       {"reading...", "", "Error.", "Duration: 0.00 s"}},
      {"programmer pulled out",
       [](TDriverRig& r) {
         Socket(r, Op::ReadFlash);
         r.Device().FPlugged = false;
         r.FDriver.DeviceChange();
       },
       TOperationResult::Abandoned,
       {"reading..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.FName);
    TDriverRig rig;
    TEventRecorder events;
    rig.FDriver.SetListener(&events);
    c.FRun(rig);
    ASSERT_FALSE(events.FResults.empty());
    EXPECT_EQ(events.FResults.back(), c.FResult);
    ASSERT_GE(events.FLines.size(), c.FTail.size());
    EXPECT_EQ(Lines(events.FLines.end() - static_cast<std::ptrdiff_t>(c.FTail.size()),
                    events.FLines.end()),
              c.FTail);
  }
}

TEST_F(DriverEventsTest, OneProgramAndVerifyInTheOrderItsEventsCome) {
  Atmega8(*this);
  FEvents.FTrace.clear();
  FBuffer.FData = Ramp(70);
  FDriver.SetVerifyAfterProgram(true);
  FDriver.StartOperation(Op::ProgramFlash);
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xFF, 0xFF, 0xA1, 0xA2, 0xA3, 0xA4});
  for (char reply : std::string("e*w*v")) ReplyChar(reply);
  EXPECT_EQ(Trace(),
            "start log log chip log fuses log log log log log log progress progress log verify "
            "progress progress log log log finished");
  EXPECT_EQ(FEvents.FVerifySteps, 1);
  EXPECT_EQ(FEvents.FIdentified.back().FChip, FindChipByName("ATmega8"));
  EXPECT_EQ(FEvents.FFuseChanges.size(), 22u);
}

TEST_F(DriverEventsTest, AReadHandsOverWhatItCollected) {
  FDriver.SelectEeprom(0);  // 16 bytes
  Connect();
  FDriver.StartOperation(Op::ReadFlash);
  DataReport(Ramp(10));
  EXPECT_TRUE(FEvents.FDataRead.empty());
  DataReport(Ramp(8, 10));
  EXPECT_EQ(FEvents.FDataRead, Ramp(18));
  EXPECT_EQ(FEvents.FPosition, 18);
  EXPECT_EQ(FEvents.FMaximum, 16);
}

TEST_F(DriverEventsTest, DeviceChangesInTheirOrder) {
  FPort.FAvailable = false;
  FDriver.DeviceChange();
  EXPECT_EQ(Trace(), "missing changed");
  FPort.FAvailable = true;
  FDriver.DeviceChange();
  FDriver.DeviceChange();  // another device: the programmer stays
  FDriver.SelectEeprom(1);
  FDriver.StartOperation(Op::Erase);
  Device().FPlugged = false;
  FPort.FAvailable = false;
  FDriver.DeviceChange();
  EXPECT_EQ(Trace(),
            "missing changed claimed changed changed start log lost finished missing changed");
  EXPECT_EQ(FEvents.FResults, std::vector<TOperationResult>{TOperationResult::Abandoned});
}

TEST_F(DriverEventsTest, CodeSizeFollowsTargetAndIdentification) {
  using TStep = std::function<void()>;
  const auto identify = [this](std::uint8_t s1, std::uint8_t s2, std::uint8_t s3) {
    FDriver.StartOperation(Op::DetectDevice);
    Reply({'s', s1, s2, s3});
    if (FDriver.ProtocolStateValue() == TProtocolState::AwaitFuseRead) ReplyChar('r');
  };
  const struct {
    const char* FName;
    TStep FStep;
    std::optional<std::int64_t> FSize;
  } steps[] = {
      {"fresh", [] {}, std::nullopt},
      {"24AA256", [this] { FDriver.SelectEeprom(12); }, 32768},
      {"ISP keeps it", [this] { FDriver.SelectIsp(); }, 32768},
      {"ATmega16", [&] { identify(0x1E, 0x94, 0x03); }, 16384},
      {"locked keeps it", [&] { identify(0x00, 0x01, 0x02); }, 16384},
      {"unknown empties it", [&] { identify(0x1E, 0x98, 0x01); }, std::nullopt},
      {"24AA00", [this] { FDriver.SelectEeprom(0); }, 16},
  };
  Connect();
  for (const auto& s : steps) {
    s.FStep();
    EXPECT_EQ(FDriver.CodeSize(), s.FSize) << s.FName;
  }
}

TEST_F(DriverEventsTest, FuseBoxesComeFromTheChipAndTheReadAndGoWithTheTarget) {
  Atmega8(*this);
  ASSERT_EQ(FDriver.FuseBoxes().size(), 22u);
  EXPECT_EQ(FDriver.FuseBoxes()[8], (TFuseBox{"SPIEN", false, false}));
  FDriver.StartOperation(Op::DetectDevice);
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFE, 0xFF, 0xDF});  // lock bit 1 and SPIEN programmed
  FDriver.SetFuseState(13, true);  // BOOTRST, by the user
  FDriver.SetFuseState(99, true);  // no such box
  std::vector<bool> checked;
  for (const TFuseBox& box : FDriver.FuseBoxes()) checked.push_back(box.FChecked);
  std::vector<bool> read(22, false);
  read[5] = read[8] = true;
  EXPECT_EQ(FDriver.FusesAsRead(), read);
  read[13] = true;
  EXPECT_EQ(checked, read);
  EXPECT_FALSE(FDriver.ChipLocked());
  FDriver.StartOperation(Op::DetectDevice);
  Reply({'s', 0x00, 0x01, 0x02});
  EXPECT_TRUE(FDriver.ChipLocked());
  EXPECT_EQ(FDriver.FuseBoxes().size(), 22u) << "a locked chip leaves the list";
  FDriver.SelectIsp();
  EXPECT_TRUE(FDriver.FuseBoxes().empty());
  EXPECT_TRUE(FDriver.FusesAsRead().empty());
  EXPECT_FALSE(FDriver.ChipLocked());
  EXPECT_FALSE(FDriver.LastIdentification());
}

TEST_F(DriverEventsTest, WhatEachTargetOffers) {
  const Op all[] = {Op::Erase,      Op::Verify,        Op::ProgramFlash, Op::ReadFlash,
                    Op::ReadEeprom, Op::ProgramEeprom, Op::WriteFuses,   Op::DetectDevice};
  const struct {
    const char* FName;
    std::function<void()> FSelect;
    const char* FOffered;  // one letter per operation above
  } targets[] = {
      {"none", [this] { FDriver.ClearTarget(); }, "--------"},
      {"socket", [this] { FDriver.SelectEeprom(3); }, "xxxx----"},
      {"isp", [this] { FDriver.SelectIsp(); }, "xxxxxxxx"},
  };
  for (const auto& t : targets) {
    t.FSelect();
    std::string offered;
    for (Op op : all) offered += FDriver.Offers(op) ? 'x' : '-';
    EXPECT_EQ(offered, t.FOffered) << t.FName;
  }
}

TEST_F(DriverEventsTest, ADestroyedDriverStopsDeliveriesBeforeItGivesTheProgrammerBack) {
  TFakePort port;
  TFakeTimer timer;
  {
    TProgrammerDriver driver(TProgrammerDriver::TPorts{&port, &FBuffer, &timer});
    driver.SelectEeprom(0);
    driver.DeviceChange();
    driver.StartOperation(Op::Erase);
    ASSERT_TRUE(timer.FArmed);
  }
  EXPECT_EQ(port.FTrace, "gr");
  EXPECT_EQ(port.FClaimed, nullptr);
  EXPECT_FALSE(timer.FArmed);
}

}  // namespace
}  // namespace quenvar::test
