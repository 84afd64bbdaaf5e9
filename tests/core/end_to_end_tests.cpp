// The driver against the simulated programmer, through the HID link's
// controller, the simulated backend and the UI loop, with simulator timing off.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/core/hex_editor_buffer.h"
#include "quenvar/core/hid_programmer_port.h"
#include "quenvar/core/ui_loop_reply_timer.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/hid/ui_loop.h"
#include "quenvar/sim/sim_chip_table.h"
#include "quenvar/sim/sim_programmer.h"
#include "session_fakes.h"

namespace quenvar::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr auto kWait = 20s;

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    TSimConfig config;
    config.RealTiming = false;
    Programmer = std::make_shared<TSimProgrammer>(config);
    Plug = Backend->Plug(0x0451, 0x3210, Programmer);
    Ctl = std::make_unique<TJvHidDeviceController>(Backend, Loop.Poster());
    Watch = Loop.WatchChanges(*Backend->ChangeSource(), [this] { Ctl->DeviceChange(); });
    Port = std::make_unique<THidProgrammerPort>(*Ctl);
    Session = std::make_unique<TProgrammerSession>(
        TProgrammerSession::TPorts{Port.get(), &Buffer, nullptr, &Timer});
    Session->SetLanguageIndex(1);
    Session->OnError = [this](const std::string& e) { Errors.push_back(e); };
    Port->Attach(*Session);
  }
  ~EndToEndTest() override {
    Port->Detach();
    Session.reset();
    Port.reset();
    Loop.UnwatchChanges(Watch);
    Ctl.reset();
  }

  TWindowModel& W() { return Session->Window(); }
  const Lines& Log() { return W().Verlauf(); }
  Lines Tail(std::size_t n) {
    return Lines(Log().end() - static_cast<std::ptrdiff_t>(n), Log().end());
  }
  bool Idle() const { return Session->ProtocolStateValue() == TProtocolState::Idle; }
  bool RunUntilIdle() {
    return Loop.RunUntil([this] { return Idle(); }, kWait);
  }
  // A file load; the window's change handler enables what needs data.
  void Load(const TBytes& data) {
    Editor.LoadDataFromBytes(data);
    if (data.empty()) return;
    for (const char* name : {"bProg", "bVerify", "nprogflash", "nverifyflash"})
      W().SetEnabled(name, true);
    if (W().Enabled("nreadeeprom")) {
      W().SetEnabled("nprogeeprom", true);
      W().SetEnabled("bprogeeprom", true);
    }
  }
  TBytes Content() const { return TBytes(Editor.Data().begin(), Editor.Data().end()); }
  std::size_t Written() const { return Backend->WrittenReports(Plug).size(); }

  TUiLoop Loop;
  std::shared_ptr<TSimHidBackend> Backend = std::make_shared<TSimHidBackend>();
  std::shared_ptr<TSimProgrammer> Programmer;
  TSimHidBackend::TPlugHandle Plug = 0;
  std::unique_ptr<TJvHidDeviceController> Ctl;
  int Watch = 0;
  std::unique_ptr<THidProgrammerPort> Port;
  TCustomMPHexEditor Editor;
  THexEditorBuffer Buffer{Editor};
  TUiLoopReplyTimer Timer{Loop};
  std::vector<std::string> Errors;
  std::unique_ptr<TProgrammerSession> Session;
};

TEST_F(EndToEndTest, DetectsTheSimulatedATmega8) {
  Programmer->Avr().SetCalibration({0xA1, 0xA2, 0xA3, 0xA4});
  ASSERT_TRUE(Session->HasProgrammer());
  EXPECT_EQ(W().StatusPanel(0), "Программатор к работе готов.");
  Session->nAVRISPClick();
  ASSERT_TRUE(Session->Click("bDetectDevice"));
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
  EXPECT_TRUE(W().FuseList()[8].Checked) << "SPIEN is programmed on a fresh chip";
}

TEST_F(EndToEndTest, ProgramVerifyAndReadBackTheFlash) {
  TBytes image(8192);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Load(image);
  Session->nAVRISPClick();
  W().SetChecked("nverifyprogramm", true);
  ASSERT_TRUE(Session->Click("bProg"));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Tail(2)[0], "Successfully finished.");
  EXPECT_EQ(Programmer->Avr().Flash(), image);
  // 1 signature, 1 fuse read, 1 erase, 142 write chunks, 142 verify chunks.
  EXPECT_EQ(Written(), 287u);

  Load(TBytes{1, 2, 3});
  ASSERT_TRUE(Session->Click("bRead"));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Content(), image);
  EXPECT_EQ(Tail(2)[0], "Successfully finished.");
}

TEST_F(EndToEndTest, AVerifyDifferenceEndsWithError) {
  Load(TBytes(100, 0x00));
  Session->nAVRISPClick();
  ASSERT_TRUE(Session->Click("bVerify"));  // the fresh chip is all 0xFF
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(Tail(3)[0], "");
  EXPECT_EQ(Tail(3)[1], "Error.");
}

TEST_F(EndToEndTest, EepromWriteAndReadOfTheIspChip) {
  Load(TBytes{0x11, 0x22, 0x33, 0x44});
  Session->nAVRISPClick();
  ASSERT_TRUE(Session->Click("bprogeeprom"));
  ASSERT_TRUE(RunUntilIdle());
  EXPECT_EQ(TBytes(Programmer->Avr().Eeprom().begin(), Programmer->Avr().Eeprom().begin() + 4),
            (TBytes{0x11, 0x22, 0x33, 0x44}));
  ASSERT_TRUE(Session->Click("breadeeprom"));
  ASSERT_TRUE(RunUntilIdle());
  const TBytes read = Content();
  ASSERT_EQ(read.size(), 512u);
  EXPECT_EQ(TBytes(read.begin(), read.begin() + 5), (TBytes{0x11, 0x22, 0x33, 0x44, 0xFF}));
}

TEST_F(EndToEndTest, EverySerialEepromTypeRoundTrips) {
  const auto models = Sim24xxModels();
  ASSERT_EQ(models.size(), 14u);
  W().SetChecked("nverifyprogramm", true);
  for (std::size_t i = 0; i < models.size(); ++i) {
    const TSim24xxModel& model = models[i];
    SCOPED_TRACE(std::string(model.ShortName));
    Programmer->SetSocket(TSim24xx(model));
    Session->SelectEepromType(i);
    ASSERT_EQ(W().FindControl(EepromTypes()[i].MenuName)->Caption, model.Caption);

    Load(TBytes{0});
    ASSERT_TRUE(Session->Click("bErase"));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_TRUE(Session->Click("bRead"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Content(), TBytes(model.Size, 0xFF));

    TBytes image(model.Size);
    for (std::size_t b = 0; b < image.size(); ++b)
      image[b] = static_cast<std::uint8_t>(b ^ (b >> 8) ^ i);
    Load(image);
    const std::size_t before = Written();
    ASSERT_TRUE(Session->Click("bProg"));  // write and verify
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Tail(2)[0], "Successfully finished.");
    EXPECT_EQ(Written() - before, (model.Size + 31) / 32 + (model.Size + 57) / 58);
    EXPECT_EQ(Programmer->Socket().Content(), image);

    Load(TBytes{0});
    ASSERT_TRUE(Session->Click("bRead"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Content(), image);
  }
}

// --- injected faults ---------------------------------------------------------------

struct TOperation {
  const char* Name;
  bool Isp;
  const char* Control;
  std::size_t Bytes;  // buffer content before the start
  bool Reads;
};

const TOperation kOperations[] = {
    {"detect", true, "bDetectDevice", 10, false},
    {"erase", true, "bErase", 10, false},
    {"program+verify", true, "bProg", 130, false},
    {"program eeprom", true, "bprogeeprom", 70, false},
    {"verify", true, "bVerify", 130, false},
    {"read flash", true, "bRead", 10, true},
    {"read eeprom", true, "breadeeprom", 10, true},
    {"write fuses", true, "bWriteFuse", 10, false},
    {"socket erase", false, "bErase", 10, false},
    {"socket program+verify", false, "bProg", 70, false},
    {"socket verify", false, "bVerify", 70, false},
    {"socket read", false, "bRead", 10, true},
};

class FaultTest : public EndToEndTest {
 protected:
  void Prepare(const TOperation& op) {
    if (!Session->HasProgrammer()) {
      Plug = Backend->Plug(0x0451, 0x3210, Programmer);
      ASSERT_TRUE(Loop.RunUntil([this] { return Session->HasProgrammer(); }, kWait));
    }
    Programmer->ClearFaults();
    Programmer->ResetSession();
    if (op.Isp) {
      Session->nAVRISPClick();
      // Start from a known chip so that the fuse write has its boxes.
      Session->Click("bDetectDevice");
      ASSERT_TRUE(RunUntilIdle());
      Session->ToggleFuse(0);
    } else {
      Session->N24AA01Click();
    }
    W().SetChecked("nverifyprogramm", true);
    Load(Ramp(op.Bytes, 0x40));
    // Make the chip match the buffer, so the verify of the clean run succeeds.
    Programmer->Avr().Flash().assign(Programmer->Avr().Flash().size(), 0xFF);
    std::copy_n(Ramp(op.Bytes, 0x40).begin(), op.Bytes, Programmer->Avr().Flash().begin());
    Programmer->Socket().Content().assign(Programmer->Socket().Content().size(), 0xFF);
    std::copy_n(Ramp(op.Bytes, 0x40).begin(), op.Bytes, Programmer->Socket().Content().begin());
  }
  // Reports the clean run sends.
  std::size_t CleanRun(const TOperation& op) {
    // A busy machine must not turn a slow reply into a timeout here.
    const auto timeout = Session->ReplyTimeout;
    Session->ReplyTimeout = 10s;
    Prepare(op);
    const std::size_t before = Written();
    EXPECT_TRUE(Session->Click(op.Control));
    EXPECT_TRUE(RunUntilIdle());
    Session->ReplyTimeout = timeout;
    EXPECT_EQ(Tail(2)[0], "Successfully finished.") << op.Name;
    return Written() - before;
  }
};

TEST_F(FaultTest, ErrorReplyAtEveryStepEndsWithErrorAndDuration) {
  Session->ReplyTimeout = 40ms;
  for (const TOperation& op : kOperations) {
    const std::size_t steps = CleanRun(op);
    ASSERT_GT(steps, 0u) << op.Name;
    for (std::uint32_t k = 1; k <= steps; ++k) {
      SCOPED_TRACE(std::string(op.Name) + " step " + std::to_string(k));
      Prepare(op);
      const TBytes before = Content();
      Programmer->AddFault(TSimFault::AtOutputReport(k, TSimFaultAction::ReplyError));
      ASSERT_TRUE(Session->Click(op.Control));
      ASSERT_TRUE(RunUntilIdle());
      if (op.Reads && k == steps) {
        // The read command itself answered '!': for a read that is a data
        // report of 0x21 bytes, and the read goes on until the timeout.
        continue;
      }
      const Lines tail = Tail(3);
      EXPECT_EQ(tail[0], "");
      EXPECT_EQ(tail[1], "Error.");
      EXPECT_EQ(tail[2].rfind("Duration: ", 0), 0u);
      EXPECT_EQ(Content(), before);
      EXPECT_TRUE(W().MainWindowEnabled());
      EXPECT_FALSE(W().Progress().Shown);
    }
  }
}

TEST_F(FaultTest, UnplugAtEveryStepReleasesTheProgrammerAndFreesTheWindow) {
  for (const TOperation& op : kOperations) {
    const std::size_t steps = CleanRun(op);
    for (std::uint32_t k = 1; k <= steps; ++k) {
      SCOPED_TRACE(std::string(op.Name) + " step " + std::to_string(k));
      Prepare(op);
      const TBytes before = Content();
      Programmer->AddFault(TSimFault::AtOutputReport(k, TSimFaultAction::Unplug));
      ASSERT_TRUE(Session->Click(op.Control));
      ASSERT_TRUE(Loop.RunUntil([this] { return !Session->HasProgrammer(); }, kWait));
      EXPECT_TRUE(W().MainWindowEnabled());
      EXPECT_FALSE(W().Progress().Shown);
      EXPECT_EQ(W().StatusPanel(0), "Программатор не подключен!");
      EXPECT_FALSE(W().Enabled("bRead"));
      EXPECT_EQ(Content(), before);
      EXPECT_EQ(Ctl->NumClaimedDevices(), 0);
    }
  }
}

TEST_F(FaultTest, MissingReplyAtEveryStepEndsByTheTimeout) {
  Session->ReplyTimeout = 40ms;
  for (const TOperation& op : kOperations) {
    const std::size_t steps = CleanRun(op);
    for (std::uint32_t k = 1; k <= steps; ++k) {
      SCOPED_TRACE(std::string(op.Name) + " step " + std::to_string(k));
      Prepare(op);
      const TBytes before = Content();
      Programmer->AddFault(TSimFault::AtOutputReport(k, TSimFaultAction::NoReply));
      ASSERT_TRUE(Session->Click(op.Control));
      ASSERT_TRUE(RunUntilIdle());
      EXPECT_EQ(Tail(4), (Lines{"No reply from the programmer.", "", "Error.", Log().back()}));
      EXPECT_EQ(Content(), before);
      EXPECT_TRUE(W().Enabled("bRead"));
    }
  }
}

TEST_F(FaultTest, ReadStreamsThatStopEarlyEndByTheTimeoutWithTheBufferUnchanged) {
  Session->ReplyTimeout = 40ms;
  for (const TOperation& op : kOperations) {
    if (!op.Reads) continue;
    for (std::uint32_t n : {1u, 2u}) {
      SCOPED_TRACE(op.Name);
      Prepare(op);
      Programmer->AddFault(TSimFault::StopStreamAfter(n));
      ASSERT_TRUE(Session->Click(op.Control));
      ASSERT_TRUE(RunUntilIdle());
      EXPECT_EQ(Tail(4)[0], "No reply from the programmer.");
      EXPECT_EQ(Content(), Ramp(10, 0x40));
    }
  }
}

TEST_F(FaultTest, GarbageAndDuplicatesNeverCrashOrTouchTheBufferOutsideReads) {
  Session->ReplyTimeout = 40ms;
  for (const TOperation& op : kOperations) {
    const std::size_t steps = CleanRun(op);
    for (TSimFaultAction action : {TSimFaultAction::Garbage, TSimFaultAction::Duplicate}) {
      for (std::uint32_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE(std::string(op.Name) + " step " + std::to_string(k));
        Prepare(op);
        const TBytes before = Content();
        Programmer->AddFault(TSimFault::AtOutputReport(k, action));
        ASSERT_TRUE(Session->Click(op.Control));
        ASSERT_TRUE(RunUntilIdle());
        Loop.ProcessEvents(5ms);  // a duplicate may still arrive
        ASSERT_TRUE(RunUntilIdle());
        if (!op.Reads) {
          EXPECT_EQ(Content(), before);
        }
        EXPECT_TRUE(Errors.empty());
        EXPECT_TRUE(Session->HasProgrammer());
      }
    }
  }
}

}  // namespace
}  // namespace quenvar::test
