// The presenter and its driver against the simulated programmer, through the
// stack's controller, the simulated backend and the UI loop, with simulator
// timing off.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver_fakes.h"
#include "quenvar/presenter/main_presenter.h"
#include "quenvar/sim/sim_chip_table.h"
#include "quenvar/sim/sim_programmer.h"
#include "sim_stack.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr auto kWait = 20s;

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    FPresenter.SetLanguageIndex(1);
    FPresenter.FOnError = [this](const std::string& e) { FErrors.push_back(e); };
    FSim.Attach();
  }

  TWindowModel& W() { return FPresenter.Window(); }
  TProgrammerDriver& Driver() { return FSim.Driver(); }
  const Lines& Log() { return W().Verlauf(); }
  Lines Tail(std::size_t n) {
    return Lines(Log().end() - static_cast<std::ptrdiff_t>(n), Log().end());
  }
  bool RunUntilIdle() { return FSim.RunUntilIdle(kWait); }
  // A file load; the window's change handler enables what needs data.
  void Load(const TBytes& data) {
    FSim.FEditor.LoadDataFromBytes(data);
    FPresenter.EnableBufferCommands(static_cast<std::int64_t>(data.size()));
  }
  TBytes Content() const { return FSim.Content(); }
  std::size_t Written() const { return FSim.Written(); }

  TSimStack FSim;
  std::shared_ptr<TSimProgrammer>& FProgrammer = FSim.FProgrammer;
  TUiLoop& FLoop = FSim.FLoop.Loop();
  std::vector<std::string> FErrors;
  TMainPresenter FPresenter{FSim.Driver()};
};

TEST_F(EndToEndTest, DetectsTheSimulatedATmega8) {
  FProgrammer->Avr().SetCalibration({0xA1, 0xA2, 0xA3, 0xA4});
  ASSERT_TRUE(Driver().HasProgrammer());
  EXPECT_EQ(W().StatusPanel(0), "Программатор к работе готов.");
  FPresenter.nAVRISPClick();
  ASSERT_TRUE(FPresenter.Click(TControl::bDetectDevice));
  ASSERT_TRUE(RunUntilIdle());
  const Lines expected{"reading signature byte...", "ID: 1E 93 07",
                       "reading fuse bis...",       "Calibration Byte 0: A1",
                       "Calibration Byte 1: A2",    "Calibration Byte 2: A3",
                       "Calibration Byte 3: A4",    "",
                       "Successfully finished.",    "Duration: 0.00 s"};
  Lines log = Log();
  log.back() = log.back().substr(0, 10) == "Duration: " ? "Duration: 0.00 s" : log.back();
  EXPECT_EQ(log, expected);
  EXPECT_EQ(W().AutoDevice(), "ATmega8");
  EXPECT_EQ(W().CodeSize(), "8192");
  ASSERT_EQ(W().FuseList().size(), 22u);
  EXPECT_TRUE(W().FuseList()[8].FChecked) << "SPIEN is programmed on a fresh chip";
}

TEST_F(EndToEndTest, ProgramVerifyAndReadBackTheFlash) {
  TBytes image(8192);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Load(image);
  FPresenter.nAVRISPClick();
  FPresenter.SetVerifyAfterProgram(true);
  ASSERT_TRUE(FPresenter.Click(TControl::bProg));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Tail(2)[0], "Successfully finished.");
  EXPECT_EQ(FProgrammer->Avr().Flash(), image);
  // 1 signature, 1 fuse read, 1 erase, 142 write chunks, 142 verify chunks.
  EXPECT_EQ(Written(), 287u);

  Load(TBytes{1, 2, 3});
  ASSERT_TRUE(FPresenter.Click(TControl::bRead));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Content(), image);
  EXPECT_EQ(Tail(2)[0], "Successfully finished.");
}

TEST_F(EndToEndTest, AVerifyDifferenceEndsWithError) {
  Load(TBytes(100, 0x00));
  FPresenter.nAVRISPClick();
  ASSERT_TRUE(FPresenter.Click(TControl::bVerify));  // the fresh chip is all 0xFF
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Tail(3)[0], "");
  EXPECT_EQ(Tail(3)[1], "Error.");
}

TEST_F(EndToEndTest, EepromWriteAndReadOfTheIspChip) {
  Load(TBytes{0x11, 0x22, 0x33, 0x44});
  FPresenter.nAVRISPClick();
  ASSERT_TRUE(FPresenter.Click(TControl::bprogeeprom));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(TBytes(FProgrammer->Avr().Eeprom().begin(), FProgrammer->Avr().Eeprom().begin() + 4),
            (TBytes{0x11, 0x22, 0x33, 0x44}));
  ASSERT_TRUE(FPresenter.Click(TControl::breadeeprom));
  ASSERT_TRUE(RunUntilIdle());
  const TBytes read = Content();
  ASSERT_EQ(read.size(), 512u);
  EXPECT_EQ(TBytes(read.begin(), read.begin() + 5), (TBytes{0x11, 0x22, 0x33, 0x44, 0xFF}));
}

TEST_F(EndToEndTest, EverySerialEepromTypeRoundTrips) {
  const auto models = Sim24xxModels();
  ASSERT_EQ(models.size(), 14u);
  FPresenter.SetVerifyAfterProgram(true);
  for (std::size_t i = 0; i < models.size(); ++i) {
    const TSim24xxModel& model = models[i];
    SCOPED_TRACE(std::string(model.FShortName));
    FProgrammer->SetSocket(TSim24xx(model));
    FPresenter.SelectEepromType(i);
    ASSERT_EQ(W().Control(EepromEntry(i)).FCaption, model.FCaption);

    Load(TBytes{0});
    ASSERT_TRUE(FPresenter.Click(TControl::bErase));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_TRUE(FPresenter.Click(TControl::bRead));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Content(), TBytes(model.FSize, 0xFF));

    TBytes image(model.FSize);
    for (std::size_t b = 0; b < image.size(); ++b)
      image[b] = static_cast<std::uint8_t>(b ^ (b >> 8) ^ i);
    Load(image);
    const std::size_t before = Written();
    ASSERT_TRUE(FPresenter.Click(TControl::bProg));  // write and verify
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Tail(2)[0], "Successfully finished.");
    EXPECT_EQ(Written() - before, (model.FSize + 31) / 32 + (model.FSize + 57) / 58);
    EXPECT_EQ(FProgrammer->Socket().Content(), image);

    Load(TBytes{0});
    ASSERT_TRUE(FPresenter.Click(TControl::bRead));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Content(), image);
  }
}

// --- injected faults ---------------------------------------------------------------

struct TOperation {
  const char* FName;
  bool FIsp;
  TControl FControl;
  std::size_t FBytes;  // buffer content before the start
  bool FReads;
};

const TOperation kOperations[] = {
    {"detect", true, TControl::bDetectDevice, 10, false},
    {"erase", true, TControl::bErase, 10, false},
    {"program+verify", true, TControl::bProg, 130, false},
    {"program eeprom", true, TControl::bprogeeprom, 70, false},
    {"verify", true, TControl::bVerify, 130, false},
    {"read flash", true, TControl::bRead, 10, true},
    {"read eeprom", true, TControl::breadeeprom, 10, true},
    {"write fuses", true, TControl::bWriteFuse, 10, false},
    {"socket erase", false, TControl::bErase, 10, false},
    {"socket program+verify", false, TControl::bProg, 70, false},
    {"socket verify", false, TControl::bVerify, 70, false},
    {"socket read", false, TControl::bRead, 10, true},
};

class FaultTest : public EndToEndTest {
 protected:
  void Prepare(const TOperation& op) {
    if (!Driver().HasProgrammer()) {
      ASSERT_TRUE(FSim.Replug(kWait));
    }
    FProgrammer->ClearFaults();
    FProgrammer->ResetSession();
    if (op.FIsp) {
      FPresenter.nAVRISPClick();
      // Start from a known chip so that the fuse write has its boxes.
      FPresenter.Click(TControl::bDetectDevice);
      ASSERT_TRUE(RunUntilIdle());
      FPresenter.ToggleFuse(0);
    } else {
      FPresenter.N24AA01Click();
    }
    FPresenter.SetVerifyAfterProgram(true);
    Load(Ramp(op.FBytes, 0x40));
    // Make the chip match the buffer, so the verify of the clean run succeeds.
    FProgrammer->Avr().Flash().assign(FProgrammer->Avr().Flash().size(), 0xFF);
    std::copy_n(Ramp(op.FBytes, 0x40).begin(), op.FBytes, FProgrammer->Avr().Flash().begin());
    FProgrammer->Socket().Content().assign(FProgrammer->Socket().Content().size(), 0xFF);
    std::copy_n(Ramp(op.FBytes, 0x40).begin(), op.FBytes, FProgrammer->Socket().Content().begin());
  }
  // Reports the clean run sends.
  std::size_t CleanRun(const TOperation& op) {
    // A busy machine must not turn a slow reply into a timeout here.
    const auto timeout = Driver().FReplyTimeout;
    Driver().FReplyTimeout = 10s;
    Prepare(op);
    const std::size_t before = Written();
    EXPECT_TRUE(FPresenter.Click(op.FControl));
    EXPECT_TRUE(RunUntilIdle());
    Driver().FReplyTimeout = timeout;
    EXPECT_EQ(Tail(2)[0], "Successfully finished.") << op.FName;
    return Written() - before;
  }
  // For each operation and each report of its clean run: a fresh start with `action` at that
  // report, the operation clicked, then `check` with the buffer's content from before.
  void AtEveryStep(std::initializer_list<TSimFaultAction> actions,
                   const std::function<void(const TOperation&, std::uint32_t step,
                                            std::size_t steps, const TBytes& before)>& check) {
    for (const TOperation& op : kOperations) {
      const std::size_t steps = CleanRun(op);
      ASSERT_GT(steps, 0u) << op.FName;
      for (TSimFaultAction action : actions) {
        for (std::uint32_t k = 1; k <= steps; ++k) {
          SCOPED_TRACE(std::string(op.FName) + " step " + std::to_string(k));
          Prepare(op);
          const TBytes before = Content();
          FProgrammer->AddFault(TSimFault::AtOutputReport(k, action));
          ASSERT_TRUE(FPresenter.Click(op.FControl));
          check(op, k, steps, before);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
};

TEST_F(FaultTest, ErrorReplyAtEveryStepEndsWithErrorAndDuration) {
  Driver().FReplyTimeout = 40ms;
  AtEveryStep({TSimFaultAction::ReplyError}, [this](const TOperation& op, std::uint32_t k,
                                                    std::size_t steps, const TBytes& before) {
    ASSERT_TRUE(RunUntilIdle());
    // The read command itself answered '!': for a read that is a data report of
    // 0x21 bytes, and the read goes on until the timeout.
    if (op.FReads && k == steps) return;
    const Lines tail = Tail(3);
    EXPECT_EQ(tail[0], "");
    EXPECT_EQ(tail[1], "Error.");
    EXPECT_EQ(tail[2].rfind("Duration: ", 0), 0u);
    EXPECT_EQ(Content(), before);
    EXPECT_TRUE(W().MainWindowEnabled());
    EXPECT_FALSE(W().Progress().FShown);
  });
}

TEST_F(FaultTest, UnplugAtEveryStepReleasesTheProgrammerAndFreesTheWindow) {
  AtEveryStep({TSimFaultAction::Unplug},
              [this](const TOperation&, std::uint32_t, std::size_t, const TBytes& before) {
                ASSERT_TRUE(FLoop.RunUntil([this] { return !Driver().HasProgrammer(); }, kWait));
                EXPECT_TRUE(W().MainWindowEnabled());
                EXPECT_FALSE(W().Progress().FShown);
                EXPECT_EQ(W().StatusPanel(0), "Программатор не подключен!");
                EXPECT_FALSE(W().Enabled(TControl::bRead));
                EXPECT_EQ(Content(), before);
                EXPECT_EQ(FSim.FStack.Controller().NumClaimedDevices(), 0);
              });
}

TEST_F(FaultTest, MissingReplyAtEveryStepEndsByTheTimeout) {
  Driver().FReplyTimeout = 40ms;
  AtEveryStep({TSimFaultAction::NoReply}, [this](const TOperation&, std::uint32_t, std::size_t,
                                                 const TBytes& before) {
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Tail(4), (Lines{"No reply from the programmer.", "", "Error.", Log().back()}));
    EXPECT_EQ(Content(), before);
    EXPECT_TRUE(W().Enabled(TControl::bRead));
  });
}

TEST_F(FaultTest, ReadStreamsThatStopEarlyEndByTheTimeoutWithTheBufferUnchanged) {
  Driver().FReplyTimeout = 40ms;
  for (const TOperation& op : kOperations) {
    if (!op.FReads) continue;
    for (std::uint32_t n : {1u, 2u}) {
      SCOPED_TRACE(op.FName);
      Prepare(op);
      FProgrammer->AddFault(TSimFault::StopStreamAfter(n));
      ASSERT_TRUE(FPresenter.Click(op.FControl));
      ASSERT_TRUE(RunUntilIdle());
      EXPECT_EQ(Tail(4)[0], "No reply from the programmer.");
      EXPECT_EQ(Content(), Ramp(10, 0x40));
    }
  }
}

TEST_F(FaultTest, GarbageAndDuplicatesNeverCrashOrTouchTheBufferOutsideReads) {
  Driver().FReplyTimeout = 40ms;
  AtEveryStep({TSimFaultAction::Garbage, TSimFaultAction::Duplicate},
              [this](const TOperation& op, std::uint32_t, std::size_t, const TBytes& before) {
                ASSERT_TRUE(RunUntilIdle());
                FLoop.ProcessEvents(5ms);  // a duplicate may still arrive
                ASSERT_TRUE(RunUntilIdle());
                if (!op.FReads) {
                  EXPECT_EQ(Content(), before);
                }
                EXPECT_TRUE(FErrors.empty());
                EXPECT_TRUE(Driver().HasProgrammer());
              });
}

}  // namespace
}  // namespace quenvar::test
