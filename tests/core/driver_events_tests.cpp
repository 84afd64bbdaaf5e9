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
  r.Driver.SelectIsp();
  r.Connect();
  r.Driver.StartOperation(Op::DetectDevice);
  r.Reply({'s', 0x1E, 0x93, 0x07});
  r.Reply({'r', 0xFF, 0xFF, 0xFF, 0xA1, 0xA2, 0xA3, 0xA4});
}

// The 24C04A in the socket, with `op` started.
void Socket(TDriverRig& r, Op op) {
  r.Driver.SelectEeprom(5);
  r.Connect();
  r.Driver.StartOperation(op);
}

class DriverEventsTest : public ::testing::Test, protected TDriverRig {
 protected:
  DriverEventsTest() { Driver.SetListener(&Events); }

  std::string Trace() const {
    std::string text;
    for (const std::string& event : Events.Trace) text += (text.empty() ? "" : " ") + event;
    return text;
  }

  TEventRecorder Events;
};

TEST(DriverEndings, EveryEndingHasItsResult) {
  const struct {
    const char* Name;
    std::function<void(TDriverRig&)> Run;
    TOperationResult Result;
    Lines Tail;  // the last lines of the log
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
         r.Timer.Fire();
       },
       TOperationResult::NoReply,
       {"No reply from the programmer.", "", "Error.", "Duration: 0.00 s"}},
      {"image larger than the chip",
       [](TDriverRig& r) {
         Atmega8(r);
         r.Buffer.Data = Ramp(8193);
         r.Driver.StartOperation(Op::ProgramFlash);
         r.Reply({'s', 0x1E, 0x93, 0x07});
         r.ReplyChar('r');
       },
       TOperationResult::Refused,
       {"Calibration Byte 3: 00", "", "Error.", "Duration: 0.00 s"}},
      {"locked chip refused when asked",
       [](TDriverRig& r) {
         r.Driver.RefuseLockedChip = true;
         r.Buffer.Data = Ramp(10);
         r.Driver.SelectIsp();
         r.Connect();
         r.Driver.StartOperation(Op::Verify);
         r.Reply({'s', 0x00, 0x01, 0x02});
         r.ReplyChar('r');
       },
       TOperationResult::Refused,
       {"reading fuse bis...", "", "Error.", "Duration: 0.00 s"}},
      {"no size to read",
       [](TDriverRig& r) {
         r.Driver.SelectIsp();
         r.Connect();
         r.Driver.StartOperation(Op::ReadFlash);
         r.Reply({'s', 0x00, 0x01, 0x02});
         r.ReplyChar('r');
       },
       TOperationResult::Error,
       {"reading...", "", "Error.", "Duration: 0.00 s"}},
      {"programmer pulled out",
       [](TDriverRig& r) {
         Socket(r, Op::ReadFlash);
         r.Device().Plugged = false;
         r.Driver.DeviceChange();
       },
       TOperationResult::Abandoned,
       {"reading..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDriverRig rig;
    TEventRecorder events;
    rig.Driver.SetListener(&events);
    c.Run(rig);
    ASSERT_FALSE(events.Results.empty());
    EXPECT_EQ(events.Results.back(), c.Result);
    ASSERT_GE(events.Lines.size(), c.Tail.size());
    EXPECT_EQ(
        Lines(events.Lines.end() - static_cast<std::ptrdiff_t>(c.Tail.size()), events.Lines.end()),
        c.Tail);
  }
}

TEST_F(DriverEventsTest, OneProgramAndVerifyInTheOrderItsEventsCome) {
  Atmega8(*this);
  Events.Trace.clear();
  Buffer.Data = Ramp(70);
  Driver.SetVerifyAfterProgram(true);
  Driver.StartOperation(Op::ProgramFlash);
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xFF, 0xFF, 0xA1, 0xA2, 0xA3, 0xA4});
  for (char reply : std::string("e*w*v")) ReplyChar(reply);
  EXPECT_EQ(Trace(),
            "start log log chip log fuses log log log log log log progress progress log verify "
            "progress progress log log log finished");
  EXPECT_EQ(Events.VerifySteps, 1);
  EXPECT_EQ(Events.Identified.back().Chip, FindChipByName("ATmega8"));
  EXPECT_EQ(Events.FuseChanges.size(), 22u);
}

TEST_F(DriverEventsTest, AReadHandsOverWhatItCollected) {
  Driver.SelectEeprom(0);  // 16 bytes
  Connect();
  Driver.StartOperation(Op::ReadFlash);
  DataReport(Ramp(10));
  EXPECT_TRUE(Events.DataRead.empty());
  DataReport(Ramp(8, 10));
  EXPECT_EQ(Events.DataRead, Ramp(18));
  EXPECT_EQ(Events.Position, 18);
  EXPECT_EQ(Events.Maximum, 16);
}

TEST_F(DriverEventsTest, DeviceChangesInTheirOrder) {
  Port.Available = false;
  Driver.DeviceChange();
  EXPECT_EQ(Trace(), "missing changed");
  Port.Available = true;
  Driver.DeviceChange();
  Driver.DeviceChange();  // another device: the programmer stays
  Driver.SelectEeprom(1);
  Driver.StartOperation(Op::Erase);
  Device().Plugged = false;
  Port.Available = false;
  Driver.DeviceChange();
  EXPECT_EQ(Trace(),
            "missing changed claimed changed changed start log lost finished missing changed");
  EXPECT_EQ(Events.Results, std::vector<TOperationResult>{TOperationResult::Abandoned});
}

TEST_F(DriverEventsTest, CodeSizeFollowsTargetAndIdentification) {
  using TStep = std::function<void()>;
  const auto identify = [this](std::uint8_t s1, std::uint8_t s2, std::uint8_t s3) {
    Driver.StartOperation(Op::DetectDevice);
    Reply({'s', s1, s2, s3});
    if (Driver.ProtocolStateValue() == TProtocolState::AwaitFuseRead) ReplyChar('r');
  };
  const struct {
    const char* Name;
    TStep Step;
    std::optional<std::int64_t> Size;
  } steps[] = {
      {"fresh", [] {}, std::nullopt},
      {"24AA256", [this] { Driver.SelectEeprom(12); }, 32768},
      {"ISP keeps it", [this] { Driver.SelectIsp(); }, 32768},
      {"ATmega16", [&] { identify(0x1E, 0x94, 0x03); }, 16384},
      {"locked keeps it", [&] { identify(0x00, 0x01, 0x02); }, 16384},
      {"unknown empties it", [&] { identify(0x1E, 0x98, 0x01); }, std::nullopt},
      {"24AA00", [this] { Driver.SelectEeprom(0); }, 16},
  };
  Connect();
  for (const auto& s : steps) {
    s.Step();
    EXPECT_EQ(Driver.CodeSize(), s.Size) << s.Name;
  }
}

TEST_F(DriverEventsTest, FuseBoxesComeFromTheChipAndTheReadAndGoWithTheTarget) {
  Atmega8(*this);
  ASSERT_EQ(Driver.FuseBoxes().size(), 22u);
  EXPECT_EQ(Driver.FuseBoxes()[8], (TFuseBox{"SPIEN", false, false}));
  Driver.StartOperation(Op::DetectDevice);
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFE, 0xFF, 0xDF});  // lock bit 1 and SPIEN programmed
  Driver.SetFuseState(13, true);   // BOOTRST, by the user
  Driver.SetFuseState(99, true);   // no such box
  std::vector<bool> checked;
  for (const TFuseBox& box : Driver.FuseBoxes()) checked.push_back(box.Checked);
  std::vector<bool> read(22, false);
  read[5] = read[8] = true;
  EXPECT_EQ(Driver.FusesAsRead(), read);
  read[13] = true;
  EXPECT_EQ(checked, read);
  EXPECT_FALSE(Driver.ChipLocked());
  Driver.StartOperation(Op::DetectDevice);
  Reply({'s', 0x00, 0x01, 0x02});
  EXPECT_TRUE(Driver.ChipLocked());
  EXPECT_EQ(Driver.FuseBoxes().size(), 22u) << "a locked chip leaves the list";
  Driver.SelectIsp();
  EXPECT_TRUE(Driver.FuseBoxes().empty());
  EXPECT_TRUE(Driver.FusesAsRead().empty());
  EXPECT_FALSE(Driver.ChipLocked());
  EXPECT_FALSE(Driver.LastIdentification());
}

TEST_F(DriverEventsTest, WhatEachTargetOffers) {
  const Op all[] = {Op::Erase,      Op::Verify,        Op::ProgramFlash, Op::ReadFlash,
                    Op::ReadEeprom, Op::ProgramEeprom, Op::WriteFuses,   Op::DetectDevice};
  const struct {
    const char* Name;
    std::function<void()> Select;
    const char* Offered;  // one letter per operation above
  } targets[] = {
      {"none", [this] { Driver.ClearTarget(); }, "--------"},
      {"socket", [this] { Driver.SelectEeprom(3); }, "xxxx----"},
      {"isp", [this] { Driver.SelectIsp(); }, "xxxxxxxx"},
  };
  for (const auto& t : targets) {
    t.Select();
    std::string offered;
    for (Op op : all) offered += Driver.Offers(op) ? 'x' : '-';
    EXPECT_EQ(offered, t.Offered) << t.Name;
  }
}

TEST_F(DriverEventsTest, ADestroyedDriverStopsDeliveriesBeforeItGivesTheProgrammerBack) {
  TFakePort port;
  TFakeTimer timer;
  {
    TProgrammerDriver driver(TProgrammerDriver::TPorts{&port, &Buffer, &timer});
    driver.SelectEeprom(0);
    driver.DeviceChange();
    driver.StartOperation(Op::Erase);
    ASSERT_TRUE(timer.Armed);
  }
  EXPECT_EQ(port.Trace, "gr");
  EXPECT_EQ(port.Claimed, nullptr);
  EXPECT_FALSE(timer.Armed);
}

}  // namespace
}  // namespace quenvar::test
