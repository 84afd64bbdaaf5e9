// Operations as the window runs them through the presenter and its driver:
// start, reply dispatch, ending, controls, device changes, the reply time-out
// and the error paths.
#include <string>
#include <vector>

#include "presenter_fixture.h"

namespace quenvar::test {
namespace {

using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

class OperationTest : public PresenterTest {
 protected:
  // Socket target 24AA00 with a programmer present and an empty log.
  void SocketReady(std::size_t type = 0) {
    Presenter.SelectEepromType(type);
    Connect();
  }
  void IspReady() {
    Presenter.nAVRISPClick();
    Connect();
  }
};

struct DurationCase {
  std::uint8_t Language;
  long long Ms;
  const char* Line;
};

TEST_F(OperationTest, DurationLineCutsToHundredthsInEveryLanguage) {
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
    Presenter.SetLanguageIndex(c.Language);
    Presenter.bEraseClick();
    Advance(milliseconds(c.Ms));
    ReplyChar('e');
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back(), c.Line) << c.Ms;
  }
}

TEST_F(OperationTest, DurationIsAbsoluteWhenTheClockGoesBack) {
  SocketReady();
  Presenter.SetLanguageIndex(1);
  Presenter.bEraseClick();
  Advance(milliseconds(-4321));
  ReplyChar('e');
  EXPECT_EQ(Log().back(), "Duration: 4.32 s");
}

struct EndingCase {
  std::uint8_t Language;
  char Reply;
  Lines Expected;
};

TEST_F(OperationTest, EraseEndsWithResultAndDurationLinesInEveryLanguage) {
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
    Presenter.SetLanguageIndex(c.Language);
    Presenter.bEraseClick();
    ReplyChar(c.Reply);
    EXPECT_EQ(Log(), c.Expected);
    EXPECT_FALSE(Driver.ErrorFlagValue());
    EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Idle);
  }
}

TEST_F(OperationTest, ErrorReplyInTheMiddleOfAWriteStopsTheChunks) {
  Buffer.Data = Ramp(200);
  SocketReady(13);
  Presenter.SetLanguageIndex(1);
  Presenter.bProgClick();
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

TEST_F(OperationTest, ReportWhileIdleFinishesAgainAndStarSendsTheNextChunk) {
  Buffer.Data = Ramp(100);
  SocketReady(5);
  Presenter.SetLanguageIndex(1);
  Presenter.bProgClick();  // first chunk of 32
  ReplyChar('!');          // ends with an error after one chunk
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

TEST_F(OperationTest, StarAfterACommandWithoutDataSendsNoBufferBytes) {
  struct Case {
    const char* Name;
    bool Socket;
    void (TMainPresenter::*Start)();
    char EndReply;
    std::uint8_t Command;
  };
  const Case cases[] = {
      {"24xx erase", true, &TMainPresenter::bEraseClick, 'e', 2},
      {"fuse write", false, &TMainPresenter::bWriteFuseClick, 'f', 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Buffer.Data = Ramp(100);
    if (c.Socket)
      SocketReady(5);
    else
      IspReady();
    const std::size_t before = Sent().size();
    (Presenter.*c.Start)();
    ASSERT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Sent().back()[2], c.Command);
    ReplyChar(c.EndReply);
    ReplyChar('*');  // late: must not send 58 buffer bytes under that command
    EXPECT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);
  }
}

TEST_F(OperationTest, FiveLongOperationsShowTheProgressWindowInRussianOnly) {
  struct Case {
    TControl Control;
    const char* Label;
  };
  const Case cases[] = {
      {TControl::bProg, "Выполняется запись FLASH"},
      {TControl::bprogeeprom, "Выполняется запись EEPROM"},
      {TControl::bVerify, "Сравнение"},
      {TControl::bRead, "Выполняется чтение FLASH"},
      {TControl::breadeeprom, "Выполняется чтение EEPROM"},
  };
  Buffer.Data = Ramp(10);
  IspReady();
  Presenter.SetLanguageIndex(1);
  for (const Case& c : cases) {
    ASSERT_TRUE(Presenter.Click(c.Control)) << ControlName(c.Control);
    EXPECT_EQ(Presenter.Window().Progress().Label, c.Label);
    EXPECT_TRUE(Presenter.Window().Progress().Shown);
    EXPECT_FALSE(Presenter.Window().MainWindowEnabled());
    EXPECT_FALSE(Presenter.Click(TControl::bErase)) << "main window must be disabled";
    ReplyChar('!');
    EXPECT_EQ(Presenter.Window().StatusPanel(0), "Программатор к работе готов.");
  }
}

TEST_F(OperationTest, ShortOperationsKeepTheMainWindowEnabled) {
  Buffer.Data = Ramp(10);
  IspReady();
  using enum TControl;
  for (TControl control : {bErase, bDetectDevice, nErase, nDetectDevice}) {
    Presenter.Window().SetProgressLabel("previous");
    ASSERT_TRUE(Presenter.Click(control)) << ControlName(control);
    EXPECT_TRUE(Presenter.Window().MainWindowEnabled());
    EXPECT_FALSE(Presenter.Window().Progress().Shown);
    EXPECT_EQ(Presenter.Window().Progress().Label, "previous");
    EXPECT_FALSE(Presenter.Window().Enabled(TControl::bErase));
    ReplyChar('!');
  }
}

TEST_F(OperationTest, FailedReloadKeepsThePreviousLabelAndStillStarts) {
  Buffer.Data = Ramp(10);
  IspReady();
  Presenter.Window().SetChecked(TControl::updatebuffer, true);
  struct Case {
    void (TMainPresenter::*Handler)();
    bool Reloads;
  };
  const Case cases[] = {{&TMainPresenter::bProgClick, true},
                        {&TMainPresenter::bVerifyClick, true},
                        {&TMainPresenter::bReadClick, false}};
  for (const Case& c : cases) {
    Reloader.Calls = 0;
    Reloader.Succeeds = false;
    Presenter.Window().SetProgressLabel("old");
    Sent().clear();
    (Presenter.*c.Handler)();
    EXPECT_EQ(Reloader.Calls, c.Reloads ? 1 : 0);
    if (c.Reloads) {
      EXPECT_EQ(Presenter.Window().Progress().Label, "old");
    }
    EXPECT_EQ(Sent().size(), 1u) << "the operation starts anyway";
    EXPECT_FALSE(Driver.ErrorFlagValue()) << "StartOperation clears the flag";
    EXPECT_FALSE(Presenter.ReloadFailed()) << "and the failed re-read with it";
    Presenter.HidCtlDeviceChange();
    Driver.FinishOperation();
  }
  // Unchecked: no re-read at all.
  Presenter.Window().SetChecked(TControl::updatebuffer, false);
  Reloader.Calls = 0;
  Presenter.bProgClick();
  EXPECT_EQ(Reloader.Calls, 0);
  EXPECT_EQ(Presenter.Window().Progress().Label, "Выполняется запись FLASH");
}

TEST_F(OperationTest, ReloadHappensBeforeTheFirstChunkIsTaken) {
  SocketReady(3);
  Presenter.Window().SetChecked(TControl::updatebuffer, true);
  Reloader.OnLoad = [this] { Buffer.Data = TBytes{0xDE, 0xAD}; };
  Presenter.bProgClick();
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 3, 3, 2, 0, 8}));
  EXPECT_EQ(Payload(Sent()[0], 2), (TBytes{0xDE, 0xAD}));
}

// --- controls ---------------------------------------------------------------

struct ControlExpect {
  TControl Control;
  bool Enabled;
};

void ExpectControls(const TWindowModel& w, std::initializer_list<ControlExpect> expected) {
  for (const ControlExpect& e : expected)
    EXPECT_EQ(w.Enabled(e.Control), e.Enabled) << ControlName(e.Control);
}

TEST_F(OperationTest, DisableControlsClearsTheLogAndDisablesEveryOperation) {
  IspReady();
  Presenter.Window().AddLine("something");
  Presenter.Window().SetEnabled(TControl::nWritefuse, true);
  Presenter.DisableControls();
  EXPECT_TRUE(Log().empty());
  ExpectControls(Presenter.Window(), {{TControl::bProg, false},
                                      {TControl::bVerify, false},
                                      {TControl::bRead, false},
                                      {TControl::bErase, false},
                                      {TControl::bDetectDevice, false},
                                      {TControl::bWriteFuse, false},
                                      {TControl::bprogeeprom, false},
                                      {TControl::breadeeprom, false},
                                      {TControl::nFile, false},
                                      {TControl::nBuffer, false},
                                      {TControl::nDevice, false},
                                      {TControl::nChose, false},
                                      {TControl::FuseList, false},
                                      {TControl::nWritefuse, false},
                                      {TControl::nSetup, true}});
  EXPECT_FALSE(Presenter.Window().Reachable(TControl::nopen)) << "entries under a disabled menu";
  EXPECT_FALSE(Presenter.Click(TControl::N24AA02));
}

TEST_F(OperationTest, EnableControlsFollowsBufferTargetAndEepromMenus) {
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
       {{TControl::bProg, true},
        {TControl::bVerify, true},
        {TControl::bprogeeprom, true},
        {TControl::bErase, true},
        {TControl::breadeeprom, true},
        {TControl::bDetectDevice, true},
        {TControl::nDetectDevice, true},
        {TControl::bRead, true},
        {TControl::FuseList, true},
        {TControl::bWriteFuse, false}}},
      {"isp empty",
       true,
       0,
       {{TControl::bProg, false},
        {TControl::bVerify, false},
        {TControl::bprogeeprom, false},
        {TControl::bErase, true},
        {TControl::breadeeprom, true},
        {TControl::bDetectDevice, true},
        {TControl::bRead, true}}},
      {"socket with data",
       false,
       5,
       {{TControl::bProg, true},
        {TControl::bVerify, true},
        {TControl::bprogeeprom, false},
        {TControl::bErase, true},
        {TControl::breadeeprom, false},
        {TControl::bDetectDevice, false},
        {TControl::nDetectDevice, false},
        {TControl::bRead, true},
        {TControl::bWriteFuse, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Buffer.Data = Ramp(c.Bytes);
    if (c.Isp)
      Presenter.nAVRISPClick();
    else
      Presenter.SelectEepromType(2);
    Presenter.DisableControls();
    Presenter.EnableControls();
    ExpectControls(Presenter.Window(), c.Expected);
    ExpectControls(Presenter.Window(), {{TControl::nFile, true},
                                        {TControl::nBuffer, true},
                                        {TControl::nChose, true},
                                        {TControl::nDevice, true}});
  }
}

// --- device changes -----------------------------------------------------------

TEST_F(OperationTest, PlugAndUnplugSetStatusAndControls) {
  Buffer.Data = Ramp(4);
  Presenter.nAVRISPClick();
  Port.Available = false;
  Presenter.HidCtlDeviceChange();
  EXPECT_FALSE(Driver.HasProgrammer());
  EXPECT_EQ(Presenter.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(Presenter.Window().Enabled(TControl::bRead));

  Port.Available = true;
  Presenter.SetLanguageIndex(1);
  Presenter.HidCtlDeviceChange();
  ASSERT_TRUE(Driver.HasProgrammer());
  EXPECT_EQ(Port.ClaimIds.back(), (std::pair<std::uint16_t, std::uint16_t>{1105, 12816}));
  EXPECT_EQ(Presenter.Window().StatusPanel(0), "Программатор к работе готов.");
  EXPECT_TRUE(Presenter.Window().Enabled(TControl::bRead));
  EXPECT_TRUE(Presenter.Window().Enabled(TControl::bProg));

  // Another device comes: the programmer stays, nothing is claimed again.
  const std::size_t claims = Port.ClaimIds.size();
  Presenter.HidCtlDeviceChange();
  EXPECT_EQ(Port.ClaimIds.size(), claims);

  Device().Plugged = false;
  Port.Available = false;
  Presenter.HidCtlDeviceChange();
  EXPECT_FALSE(Driver.HasProgrammer());
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_EQ(Presenter.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(Presenter.Window().Enabled(TControl::bRead));
}

TEST_F(OperationTest, UnplugDuringAnOperationAbandonsItWithoutResultLine) {
  Buffer.Data = Ramp(300);
  SocketReady(13);
  Presenter.bProgClick();
  ReplyChar('*');
  ASSERT_TRUE(Timer.Armed);
  Device().Plugged = false;
  Port.Available = false;
  Presenter.HidCtlDeviceChange();
  EXPECT_TRUE(Presenter.Window().MainWindowEnabled());
  EXPECT_FALSE(Presenter.Window().Progress().Shown);
  EXPECT_EQ(Presenter.Window().Progress().GaugePosition, 0);
  EXPECT_TRUE(Log().empty()) << "DisableControls cleared it; no result line";
  EXPECT_FALSE(Timer.Armed) << "nothing can answer any more";
  EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Writing);
}

TEST_F(OperationTest, OtherDeviceChangeDuringAReadReenablesTheWindowButTheReadGoesOn) {
  SocketReady(0);  // 16 bytes
  Presenter.SetLanguageIndex(1);
  Presenter.bReadClick();
  DataReport(Ramp(10));
  Presenter.HidCtlDeviceChange();  // some other HID device
  EXPECT_TRUE(Presenter.Window().MainWindowEnabled());
  EXPECT_FALSE(Presenter.Window().Progress().Shown);
  EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Reading);
  DataReport(Ramp(6, 10));
  EXPECT_EQ(Buffer.Data, Ramp(16));
  EXPECT_EQ(Log().back(), "Duration: 0.00 s");
  EXPECT_EQ(Log()[Log().size() - 2], "Successfully finished.");
}

// --- the reply timeout ----------------------------------------------------------

TEST_F(OperationTest, NoReplyEndsTheOperationInEveryLanguage) {
  const Lines expected[] = {
      {"lese...", "Keine Antwort vom Programmer.", "", "Fehler.", "Dauer: 10.00 s"},
      {"reading...", "No reply from the programmer.", "", "Error.", "Duration: 10.00 s"},
      {"чтение...", "Нет ответа от программатора.", "", "Ошибка.", "Время выполнения : 10.00 s"},
  };
  Buffer.Data = TBytes{1, 2, 3};
  SocketReady(1);
  for (std::uint8_t lang = 0; lang < 3; ++lang) {
    Presenter.SetLanguageIndex(lang);
    Presenter.bReadClick();
    DataReport(Ramp(40));
    ASSERT_TRUE(Timer.Armed);
    EXPECT_EQ(Timer.LastTimeout, milliseconds(10000));
    Advance(milliseconds(10000));
    Timer.Fire();
    EXPECT_EQ(Log(), expected[lang]);
    EXPECT_EQ(Buffer.Data, (TBytes{1, 2, 3})) << "a read that timed out leaves the buffer";
    EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_TRUE(Presenter.Window().MainWindowEnabled());
    EXPECT_FALSE(Presenter.Window().Progress().Shown);
    EXPECT_TRUE(Presenter.Window().Enabled(TControl::bRead));
  }
}

TEST_F(OperationTest, EveryReplyRestartsTheTimerAndTheEndStopsIt) {
  Buffer.Data = Ramp(100);
  SocketReady(5);
  Driver.ReplyTimeout = milliseconds(250);
  Presenter.bProgClick();
  EXPECT_TRUE(Timer.Armed);
  EXPECT_EQ(Timer.LastTimeout, milliseconds(250));
  const int starts = Timer.Starts;
  ReplyChar('*');
  ReplyChar('*');
  EXPECT_EQ(Timer.Starts, starts + 2);
  ReplyChar('*');
  ReplyChar('w');
  EXPECT_FALSE(Timer.Armed);
  // An idle driver never arms it.
  ReplyChar('*');
  EXPECT_FALSE(Timer.Armed);
}

// --- errors that must not leave the handler ----------------------------------------

TEST_F(OperationTest, FlashReadWithoutANumberInCodeSizeEndsWithTheErrorEnding) {
  // The ISP target with no size shown yet, then a locked chip.
  IspReady();
  ASSERT_EQ(Presenter.Window().CodeSize(), "");
  Presenter.SetLanguageIndex(1);
  Buffer.Data = TBytes{7, 7};
  bool armedDuringBox = false;
  Presenter.OnError = [&](const std::string& text) {
    Errors.push_back(text);
    armedDuringBox = Timer.Armed;  // a timeout inside the box would end the operation twice
  };
  Presenter.bReadClick();
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
  EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Idle);
  EXPECT_EQ(Buffer.Data, (TBytes{7, 7}));
  EXPECT_EQ(Sent().size(), 2u) << "no read command went out";
  EXPECT_TRUE(Presenter.Window().MainWindowEnabled());
  // The driver keeps working; a 24xx type leaves its size for the ISP target.
  Presenter.N24AA08Click();
  Presenter.nAVRISPClick();
  ASSERT_EQ(Presenter.Window().CodeSize(), "1024");
  Presenter.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');
  EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 5, 1, 0, 0}));
}

TEST_F(OperationTest, ABufferThatThrowsEndsTheOperationInsteadOfEscaping) {
  SocketReady(0);
  Presenter.SetLanguageIndex(1);
  Buffer.ThrowOnReplace = true;
  Presenter.bReadClick();
  EXPECT_NO_THROW(DataReport(Ramp(16)));
  EXPECT_EQ(Errors, (Lines{"buffer full"}));
  EXPECT_EQ(Log(), (Lines{"reading...", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_FALSE(Driver.ErrorFlagValue());
}

TEST_F(OperationTest, ShortAndOverlongRepliesNeverReadPastTheirEnd) {
  IspReady();
  Presenter.SetLanguageIndex(1);
  // 's' with no signature bytes at all: read as 00 00 00, an unknown chip.
  Presenter.bDetectDeviceClick();
  const std::uint8_t s = 's';
  Driver.HidData(0, std::span(&s, 1));
  EXPECT_EQ(Log(),
            (Lines{"reading signature byte...", "ID: 00 00 00", "", "Error.", "Duration: 0.00 s"}));
  EXPECT_EQ(Presenter.Window().AutoDevice(), "Error");
  // An empty report while idle only finishes again.
  Driver.HidData(0, {});
  EXPECT_EQ(Log().size(), 8u);

  // A fuse reply that carries only the lock byte sets only the lock boxes.
  Presenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x93, 0x07});
  const TBytes shortFuses{'r', 0xFE};
  Driver.HidData(0, shortFuses);
  const auto& boxes = Presenter.Window().FuseList();
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

TEST_F(OperationTest, DataReportCountIsLimitedToWhatTheReportHolds) {
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
    Presenter.bReadClick();
    Driver.HidData(0, c.Report);
    EXPECT_EQ(Driver.ReadDataValue().size(), c.Collected) << c.Name;
    EXPECT_EQ(Presenter.Window().Progress().GaugePosition, static_cast<std::int64_t>(c.Collected));
    EXPECT_EQ(Presenter.Window().Progress().GaugeMax, 65536);
    EXPECT_EQ(Driver.ProtocolStateValue(), TProtocolState::Reading);
    EXPECT_EQ(Sent().size(), 1u) << "only the read command went out";
    Sent().clear();
    Driver.FinishOperation();
  }
}

TEST_F(OperationTest, GarbageInEveryStateNeverCorruptsTheBuffer) {
  const TBytes garbage[] = {
      TBytes(64, 0xFF), TBytes{0x00},      TBytes{'x', 'y'},
      TBytes{'e'},      TBytes{'v', 1, 2}, TBytes{'w'},
      TBytes{'f'},      TBytes{'r', 0xFF}, TBytes{'s', 0x1E, 0x93, 0x07},
  };
  Buffer.Data = Ramp(120);
  IspReady();
  using Handler = void (TMainPresenter::*)();
  const Handler starts[] = {&TMainPresenter::bProgClick,      &TMainPresenter::bVerifyClick,
                            &TMainPresenter::bEraseClick,     &TMainPresenter::bprogeepromClick,
                            &TMainPresenter::bWriteFuseClick, &TMainPresenter::bDetectDeviceClick};
  for (Handler start : starts) {
    for (const TBytes& g : garbage) {
      (Presenter.*start)();
      EXPECT_NO_THROW(Driver.HidData(0, g));
      EXPECT_NO_THROW(Driver.HidData(0, g));
      EXPECT_EQ(Buffer.Data, Ramp(120));
      Driver.FinishOperation();
    }
  }
  EXPECT_EQ(Buffer.Replacements, 0);
  EXPECT_TRUE(Errors.empty());
}

}  // namespace
}  // namespace quenvar::test
