// The operation driver: start, reply dispatch, ending, controls, device changes,
// the reply timeout and the error paths.
#include <string>
#include <vector>

#include "session_fakes.h"

namespace quenvar::test {
namespace {

using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

class DriverTest : public SessionTest {
 protected:
  // Socket target 24AA00 with a programmer present and an empty log.
  void SocketReady(std::size_t type = 0) {
    Session.SelectEepromType(type);
    Connect();
  }
  void IspReady() {
    Session.nAVRISPClick();
    Connect();
  }
};

struct DurationCase {
  std::uint8_t Language;
  long long Ms;
  const char* Line;
};

TEST_F(DriverTest, DurationLineCutsToHundredthsInEveryLanguage) {
  const DurationCase cases[] = {
      {1, 0, "Duration: 0.00 s"},           {1, 59999, "Duration: 59.99 s"},
      {1, 12345, "Duration: 12.34 s"},      {1, 1005, "Duration: 1.00 s"},
      {1, 9, "Duration: 0.00 s"},           {1, 10, "Duration: 0.01 s"},
      {1, 999, "Duration: 0.99 s"},         {1, 1000, "Duration: 1.00 s"},
      {1, 3723456, "Duration: 3723.45 s"},  {0, 2500, "Dauer: 2.50 s"},
      {2, 70, "Время выполнения : 0.07 s"}, {3, 2500, "Duration: 2.50 s"},
  };
  SocketReady();
  for (const DurationCase& c : cases) {
    Session.SetLanguageIndex(c.Language);
    Session.bEraseClick();
    Advance(milliseconds(c.Ms));
    ReplyChar('e');
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back(), c.Line) << c.Ms;
  }
}

TEST_F(DriverTest, DurationIsAbsoluteWhenTheClockGoesBack) {
  SocketReady();
  Session.SetLanguageIndex(1);
  Session.bEraseClick();
  Advance(milliseconds(-4321));
  ReplyChar('e');
  EXPECT_EQ(Log().back(), "Duration: 4.32 s");
}

struct EndingCase {
  std::uint8_t Language;
  char Reply;
  Lines Expected;
};

TEST_F(DriverTest, EraseEndsWithResultAndDurationLinesInEveryLanguage) {
  const EndingCase cases[] = {
      {0, 'e', {"lösche...", "", "Erfolgreich beendet.", "Dauer: 0.00 s"}},
      {1, 'e', {"erasing...", "", "Successfully finished.", "Duration: 0.00 s"}},
      {2, 'e', {"стирание...", "", "Действие завершено успешно !", "Время выполнения : 0.00 s"}},
      {0, '!', {"lösche...", "", "Fehler.", "Dauer: 0.00 s"}},
      {1, '!', {"erasing...", "", "Error.", "Duration: 0.00 s"}},
      {2, '!', {"стирание...", "", "Ошибка.", "Время выполнения : 0.00 s"}},
      {7, 'e', {"erasing...", "", "Successfully finished.", "Duration: 0.00 s"}},
  };
  SocketReady();
  for (const EndingCase& c : cases) {
    Session.SetLanguageIndex(c.Language);
    Session.bEraseClick();
    ReplyChar(c.Reply);
    EXPECT_EQ(Log(), c.Expected);
    EXPECT_FALSE(Session.ErrorFlagValue());
    EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Idle);
  }
}

TEST_F(DriverTest, ErrorReplyInTheMiddleOfAWriteStopsTheChunks) {
  Buffer.Data = Ramp(200);
  SocketReady(13);
  Session.SetLanguageIndex(1);
  Session.bProgClick();
  ReplyChar('*');
  ASSERT_EQ(Sent().size(), 2u);
  ReplyChar('!');
  ReplyChar('w');  // late replies after the end change nothing but the ending lines
  EXPECT_EQ(Sent().size(), 2u);
  const Lines expected{"writing...",       "", "Error.",
                       "Duration: 0.00 s", "", "Successfully finished.",
                       "Duration: 0.00 s"};
  EXPECT_EQ(Log(), expected);
}

TEST_F(DriverTest, ReportWhileIdleFinishesAgainAndStarSendsTheNextChunk) {
  Buffer.Data = Ramp(100);
  SocketReady(5);
  Session.SetLanguageIndex(1);
  Session.bProgClick();  // first chunk of 32
  ReplyChar('!');        // ends with an error after one chunk
  ASSERT_EQ(Sent().size(), 1u);
  Advance(milliseconds(1500));
  ReplyChar('*');  // Idle: the next chunk still goes out, then the ending again
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Head(Sent()[1]), (TBytes{0, 3, 3, 58, 4, 8}));
  EXPECT_EQ(Payload(Sent()[1], 58), Ramp(58, 32));
  const Lines tail(Log().end() - 3, Log().end());
  EXPECT_EQ(tail, (Lines{"", "Successfully finished.", "Duration: 1.50 s"}));
  Reply({0x42});  // any other byte: just the ending
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Log().size(), 1u + 3 + 3 + 3);
}

TEST_F(DriverTest, StarAfterACommandWithoutDataSendsNoBufferBytes) {
  struct Case {
    const char* Name;
    bool Socket;
    void (TProgrammerSession::*Start)();
    char EndReply;
    std::uint8_t Command;
  };
  const Case cases[] = {
      {"24xx erase", true, &TProgrammerSession::bEraseClick, 'e', 2},
      {"fuse write", false, &TProgrammerSession::bWriteFuseClick, 'f', 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Buffer.Data = Ramp(100);
    if (c.Socket)
      SocketReady(5);
    else
      IspReady();
    const std::size_t before = Sent().size();
    (Session.*c.Start)();
    ASSERT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Sent().back()[2], c.Command);
    ReplyChar(c.EndReply);
    ReplyChar('*');  // late: must not send 58 buffer bytes under that command
    EXPECT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);
  }
}

TEST_F(DriverTest, FiveLongOperationsShowTheProgressWindowInRussianOnly) {
  struct Case {
    const char* Control;
    const char* Label;
  };
  const Case cases[] = {
      {"bProg", "Выполняется запись FLASH"},
      {"bprogeeprom", "Выполняется запись EEPROM"},
      {"bVerify", "Сравнение"},
      {"bRead", "Выполняется чтение FLASH"},
      {"breadeeprom", "Выполняется чтение EEPROM"},
  };
  Buffer.Data = Ramp(10);
  IspReady();
  Session.SetLanguageIndex(1);
  for (const Case& c : cases) {
    ASSERT_TRUE(Session.Click(c.Control)) << c.Control;
    EXPECT_EQ(Session.Window().Progress().Label, c.Label);
    EXPECT_TRUE(Session.Window().Progress().Shown);
    EXPECT_FALSE(Session.Window().MainWindowEnabled());
    EXPECT_FALSE(Session.Click("bErase")) << "main window must be disabled";
    ReplyChar('!');
    EXPECT_EQ(Session.Window().StatusPanel(0), "Программатор к работе готов.");
  }
}

TEST_F(DriverTest, ShortOperationsKeepTheMainWindowEnabled) {
  Buffer.Data = Ramp(10);
  IspReady();
  for (const char* control : {"bErase", "bDetectDevice", "nErase", "nDetectDevice"}) {
    Session.Window().SetProgressLabel("previous");
    ASSERT_TRUE(Session.Click(control)) << control;
    EXPECT_TRUE(Session.Window().MainWindowEnabled());
    EXPECT_FALSE(Session.Window().Progress().Shown);
    EXPECT_EQ(Session.Window().Progress().Label, "previous");
    EXPECT_FALSE(Session.Window().Enabled("bErase"));
    ReplyChar('!');
  }
}

TEST_F(DriverTest, FailedReloadKeepsThePreviousLabelAndStillStarts) {
  Buffer.Data = Ramp(10);
  IspReady();
  Session.Window().SetChecked("updatebuffer", true);
  struct Case {
    void (TProgrammerSession::*Handler)();
    bool Reloads;
  };
  const Case cases[] = {{&TProgrammerSession::bProgClick, true},
                        {&TProgrammerSession::bVerifyClick, true},
                        {&TProgrammerSession::bReadClick, false}};
  for (const Case& c : cases) {
    Reloader.Calls = 0;
    Reloader.Succeeds = false;
    Session.Window().SetProgressLabel("old");
    Sent().clear();
    (Session.*c.Handler)();
    EXPECT_EQ(Reloader.Calls, c.Reloads ? 1 : 0);
    if (c.Reloads) {
      EXPECT_EQ(Session.Window().Progress().Label, "old");
    }
    EXPECT_EQ(Sent().size(), 1u) << "the operation starts anyway";
    EXPECT_FALSE(Session.ErrorFlagValue()) << "StartOperation clears the flag";
    Session.HidCtlDeviceChange();
    Session.FinishOperation();
  }
  // Unchecked: no re-read at all.
  Session.Window().SetChecked("updatebuffer", false);
  Reloader.Calls = 0;
  Session.bProgClick();
  EXPECT_EQ(Reloader.Calls, 0);
  EXPECT_EQ(Session.Window().Progress().Label, "Выполняется запись FLASH");
}

TEST_F(DriverTest, ReloadHappensBeforeTheFirstChunkIsTaken) {
  SocketReady(3);
  Session.Window().SetChecked("updatebuffer", true);
  Reloader.OnLoad = [this] { Buffer.Data = TBytes{0xDE, 0xAD}; };
  Session.bProgClick();
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 3, 3, 2, 0, 8}));
  EXPECT_EQ(Payload(Sent()[0], 2), (TBytes{0xDE, 0xAD}));
}

// --- controls ---------------------------------------------------------------

struct ControlExpect {
  const char* Name;
  bool Enabled;
};

void ExpectControls(const TWindowModel& w, std::initializer_list<ControlExpect> expected) {
  for (const ControlExpect& e : expected) EXPECT_EQ(w.Enabled(e.Name), e.Enabled) << e.Name;
}

TEST_F(DriverTest, DisableControlsClearsTheLogAndDisablesEveryOperation) {
  IspReady();
  Session.Window().AddLine("something");
  Session.Window().SetEnabled("nWritefuse", true);
  Session.DisableControls();
  EXPECT_TRUE(Log().empty());
  ExpectControls(Session.Window(), {{"bProg", false},
                                    {"bVerify", false},
                                    {"bRead", false},
                                    {"bErase", false},
                                    {"bDetectDevice", false},
                                    {"bWriteFuse", false},
                                    {"bprogeeprom", false},
                                    {"breadeeprom", false},
                                    {"nFile", false},
                                    {"nBuffer", false},
                                    {"nDevice", false},
                                    {"nChose", false},
                                    {"FuseList", false},
                                    {"nWritefuse", false},
                                    {"nSetup", true}});
  EXPECT_FALSE(Session.Window().Reachable("nopen")) << "entries under a disabled menu";
  EXPECT_FALSE(Session.Click("N24AA02"));
}

TEST_F(DriverTest, EnableControlsFollowsBufferTargetAndEepromMenus) {
  struct Case {
    const char* Name;
    bool Isp;
    std::size_t Bytes;
    std::initializer_list<ControlExpect> Expected;
  };
  const Case cases[] = {
      {"isp with data",
       true,
       5,
       {{"bProg", true},
        {"bVerify", true},
        {"bprogeeprom", true},
        {"bErase", true},
        {"breadeeprom", true},
        {"bDetectDevice", true},
        {"nDetectDevice", true},
        {"bRead", true},
        {"FuseList", true},
        {"bWriteFuse", false}}},
      {"isp empty",
       true,
       0,
       {{"bProg", false},
        {"bVerify", false},
        {"bprogeeprom", false},
        {"bErase", true},
        {"breadeeprom", true},
        {"bDetectDevice", true},
        {"bRead", true}}},
      {"socket with data",
       false,
       5,
       {{"bProg", true},
        {"bVerify", true},
        {"bprogeeprom", false},
        {"bErase", true},
        {"breadeeprom", false},
        {"bDetectDevice", false},
        {"nDetectDevice", false},
        {"bRead", true},
        {"bWriteFuse", false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Buffer.Data = Ramp(c.Bytes);
    if (c.Isp)
      Session.nAVRISPClick();
    else
      Session.SelectEepromType(2);
    Session.DisableControls();
    Session.EnableControls();
    ExpectControls(Session.Window(), c.Expected);
    ExpectControls(Session.Window(),
                   {{"nFile", true}, {"nBuffer", true}, {"nChose", true}, {"nDevice", true}});
  }
}

// --- device changes -----------------------------------------------------------

TEST_F(DriverTest, PlugAndUnplugSetStatusAndControls) {
  Buffer.Data = Ramp(4);
  Session.nAVRISPClick();
  Port.Available = false;
  Session.HidCtlDeviceChange();
  EXPECT_FALSE(Session.HasProgrammer());
  EXPECT_EQ(Session.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(Session.Window().Enabled("bRead"));

  Port.Available = true;
  Session.SetLanguageIndex(1);
  Session.HidCtlDeviceChange();
  ASSERT_TRUE(Session.HasProgrammer());
  EXPECT_EQ(Port.ClaimIds.back(), (std::pair<std::uint16_t, std::uint16_t>{1105, 12816}));
  EXPECT_EQ(Session.Window().StatusPanel(0), "Программатор к работе готов.");
  EXPECT_TRUE(Session.Window().Enabled("bRead"));
  EXPECT_TRUE(Session.Window().Enabled("bProg"));

  // Another device comes: the programmer stays, nothing is claimed again.
  const std::size_t claims = Port.ClaimIds.size();
  Session.HidCtlDeviceChange();
  EXPECT_EQ(Port.ClaimIds.size(), claims);

  Device().Plugged = false;
  Port.Available = false;
  Session.HidCtlDeviceChange();
  EXPECT_FALSE(Session.HasProgrammer());
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_EQ(Session.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(Session.Window().Enabled("bRead"));
}

TEST_F(DriverTest, UnplugDuringAnOperationAbandonsItWithoutResultLine) {
  Buffer.Data = Ramp(300);
  SocketReady(13);
  Session.bProgClick();
  ReplyChar('*');
  ASSERT_TRUE(Timer.Armed);
  Device().Plugged = false;
  Port.Available = false;
  Session.HidCtlDeviceChange();
  EXPECT_TRUE(Session.Window().MainWindowEnabled());
  EXPECT_FALSE(Session.Window().Progress().Shown);
  EXPECT_EQ(Session.Window().Progress().GaugePosition, 0);
  EXPECT_TRUE(Log().empty()) << "DisableControls cleared it; no result line";
  EXPECT_FALSE(Timer.Armed) << "nothing can answer any more";
  EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Writing);
}

TEST_F(DriverTest, OtherDeviceChangeDuringAReadReenablesTheWindowButTheReadGoesOn) {
  SocketReady(0);  // 16 bytes
  Session.SetLanguageIndex(1);
  Session.bReadClick();
  DataReport(Ramp(10));
  Session.HidCtlDeviceChange();  // some other HID device
  EXPECT_TRUE(Session.Window().MainWindowEnabled());
  EXPECT_FALSE(Session.Window().Progress().Shown);
  EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Reading);
  DataReport(Ramp(6, 10));
  EXPECT_EQ(Buffer.Data, Ramp(16));
  EXPECT_EQ(Log().back(), "Duration: 0.00 s");
  EXPECT_EQ(Log()[Log().size() - 2], "Successfully finished.");
}

TEST_F(DriverTest, ADestroyedSessionStopsDeliveriesBeforeItGivesTheProgrammerBack) {
  TFakePort port;
  TFakeTimer timer;
  {
    TProgrammerSession session(TProgrammerSession::TPorts{&port, &Buffer, nullptr, &timer});
    session.SelectEepromType(0);
    session.HidCtlDeviceChange();
    session.bEraseClick();
    ASSERT_TRUE(timer.Armed);
  }
  EXPECT_EQ(port.Trace, "gr");
  EXPECT_EQ(port.Claimed, nullptr);
  EXPECT_FALSE(timer.Armed);
}

// --- the reply timeout ----------------------------------------------------------

TEST_F(DriverTest, NoReplyEndsTheOperationInEveryLanguage) {
  const Lines expected[] = {
      {"lese...", "Keine Antwort vom Programmer.", "", "Fehler.", "Dauer: 10.00 s"},
      {"reading...", "No reply from the programmer.", "", "Error.", "Duration: 10.00 s"},
      {"чтение...", "Нет ответа от программатора.", "", "Ошибка.", "Время выполнения : 10.00 s"},
  };
  Buffer.Data = TBytes{1, 2, 3};
  SocketReady(1);
  for (std::uint8_t lang = 0; lang < 3; ++lang) {
    Session.SetLanguageIndex(lang);
    Session.bReadClick();
    DataReport(Ramp(40));
    ASSERT_TRUE(Timer.Armed);
    EXPECT_EQ(Timer.LastTimeout, milliseconds(10000));
    Advance(milliseconds(10000));
    Timer.Fire();
    EXPECT_EQ(Log(), expected[lang]);
    EXPECT_EQ(Buffer.Data, (TBytes{1, 2, 3})) << "a read that timed out leaves the buffer";
    EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_TRUE(Session.Window().MainWindowEnabled());
    EXPECT_FALSE(Session.Window().Progress().Shown);
    EXPECT_TRUE(Session.Window().Enabled("bRead"));
  }
}

TEST_F(DriverTest, EveryReplyRestartsTheTimerAndTheEndStopsIt) {
  Buffer.Data = Ramp(100);
  SocketReady(5);
  Session.ReplyTimeout = milliseconds(250);
  Session.bProgClick();
  EXPECT_TRUE(Timer.Armed);
  EXPECT_EQ(Timer.LastTimeout, milliseconds(250));
  const int starts = Timer.Starts;
  ReplyChar('*');
  ReplyChar('*');
  EXPECT_EQ(Timer.Starts, starts + 2);
  ReplyChar('*');
  ReplyChar('w');
  EXPECT_FALSE(Timer.Armed);
  // An idle session never arms it.
  ReplyChar('*');
  EXPECT_FALSE(Timer.Armed);
}

// --- errors that must not leave the handler ----------------------------------------

TEST_F(DriverTest, FlashReadWithoutANumberInCodeSizeEndsWithTheErrorEnding) {
  // The ISP target with no size shown yet, then a locked chip.
  IspReady();
  ASSERT_EQ(Session.Window().CodeSize(), "");
  Session.SetLanguageIndex(1);
  Buffer.Data = TBytes{7, 7};
  bool armedDuringBox = false;
  Session.OnError = [&](const std::string& text) {
    Errors.push_back(text);
    armedDuringBox = Timer.Armed;  // a timeout inside the box would end the operation twice
  };
  Session.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');  // the (empty) fuse read of the locked chip
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], "'' is not a valid size in bytes.");
  EXPECT_FALSE(armedDuringBox);
  const Lines expected{"reading signature byte...",
                       "ID: 00 01 02",
                       "reading fuse bis...",
                       "reading...",
                       "",
                       "Error.",
                       "Duration: 0.00 s"};
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Idle);
  EXPECT_EQ(Buffer.Data, (TBytes{7, 7}));
  EXPECT_EQ(Sent().size(), 2u) << "no read command went out";
  EXPECT_TRUE(Session.Window().MainWindowEnabled());
  // The session keeps working; a 24xx type leaves its size for the ISP target.
  Session.N24AA08Click();
  Session.nAVRISPClick();
  ASSERT_EQ(Session.Window().CodeSize(), "1024");
  Session.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');
  EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 5, 1, 0, 0}));
}

TEST_F(DriverTest, ABufferThatThrowsEndsTheOperationInsteadOfEscaping) {
  SocketReady(0);
  Session.SetLanguageIndex(1);
  Buffer.ThrowOnReplace = true;
  Session.bReadClick();
  EXPECT_NO_THROW(DataReport(Ramp(16)));
  EXPECT_EQ(Errors, (Lines{"buffer full"}));
  EXPECT_EQ(Log(), (Lines{"reading...", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_FALSE(Session.ErrorFlagValue());
}

TEST_F(DriverTest, ShortAndOverlongRepliesNeverReadPastTheirEnd) {
  IspReady();
  Session.SetLanguageIndex(1);
  // 's' with no signature bytes at all: read as 00 00 00, an unknown chip.
  Session.bDetectDeviceClick();
  const std::uint8_t s = 's';
  Session.HidData(0, std::span(&s, 1));
  EXPECT_EQ(Log(),
            (Lines{"reading signature byte...", "ID: 00 00 00", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_EQ(Session.Window().AutoDevice(), "Error");
  // An empty report while idle only finishes again.
  Session.HidData(0, {});
  EXPECT_EQ(Log().size(), 8u);

  // A fuse reply that carries only the lock byte sets only the lock boxes.
  Session.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  const TBytes shortFuses{'r', 0xFE};
  Session.HidData(0, shortFuses);
  const auto& boxes = Session.Window().FuseList();
  ASSERT_EQ(boxes.size(), 22u);
  for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i].Checked, i == 5) << i;
  EXPECT_EQ(Log(), (Lines{"reading signature byte...", "ID: 1E 93 07", "reading fuse bis...", "",
                          "Successfully finished.", "Duration: 0.00 s"}));
}

struct CountCase {
  const char* Name;
  TBytes Report;  // reply bytes as delivered
  std::size_t Collected;
};

TEST_F(DriverTest, DataReportCountIsLimitedToWhatTheReportHolds) {
  const CountCase cases[] = {
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
  for (const CountCase& c : cases) {
    Session.bReadClick();
    Session.HidData(0, c.Report);
    EXPECT_EQ(Session.ReadDataValue().size(), c.Collected) << c.Name;
    EXPECT_EQ(Session.Window().Progress().GaugePosition, static_cast<std::int64_t>(c.Collected));
    EXPECT_EQ(Session.Window().Progress().GaugeMax, 65536);
    EXPECT_EQ(Session.ProtocolStateValue(), TProtocolState::Reading);
    EXPECT_EQ(Sent().size(), 1u) << "only the read command went out";
    Sent().clear();
    Session.FinishOperation();
  }
}

TEST_F(DriverTest, GarbageInEveryStateNeverCorruptsTheBuffer) {
  const TBytes garbage[] = {
      TBytes(64, 0xFF), TBytes{0x00},      TBytes{'x', 'y'},
      TBytes{'e'},      TBytes{'v', 1, 2}, TBytes{'w'},
      TBytes{'f'},      TBytes{'r', 0xFF}, TBytes{'s', 0x1E, 0x93, 0x07},
  };
  Buffer.Data = Ramp(120);
  IspReady();
  using Handler = void (TProgrammerSession::*)();
  const Handler starts[] = {
      &TProgrammerSession::bProgClick,      &TProgrammerSession::bVerifyClick,
      &TProgrammerSession::bEraseClick,     &TProgrammerSession::bprogeepromClick,
      &TProgrammerSession::bWriteFuseClick, &TProgrammerSession::bDetectDeviceClick};
  for (Handler start : starts) {
    for (const TBytes& g : garbage) {
      (Session.*start)();
      EXPECT_NO_THROW(Session.HidData(0, g));
      EXPECT_NO_THROW(Session.HidData(0, g));
      EXPECT_EQ(Buffer.Data, Ramp(120));
      Session.FinishOperation();
    }
  }
  EXPECT_EQ(Buffer.Replacements, 0);
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace quenvar::test
