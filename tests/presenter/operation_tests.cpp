// Operations as the window runs them through the presenter and its driver:
// start, reply dispatch, ending, controls, device changes, the reply time-out
// and the error paths (bad replies: bad_reply_tests.cpp).
#include <string>
#include <vector>

#include "presenter_fixture.h"

namespace quenvar::test {
namespace {

using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

struct TDurationCase {
  std::uint8_t FLanguage;
  long long FMs;
  const char* FLine;
};

TEST_F(OperationTest, DurationLineCutsToHundredthsInEveryLanguage) {
  const TDurationCase cases[] = {
      {1, 0, "Duration: 0.00 s"},           {1, 59999, "Duration: 59.99 s"},
      {1, 12345, "Duration: 12.34 s"},      {1, 1005, "Duration: 1.00 s"},
      {1, 9, "Duration: 0.00 s"},           {1, 10, "Duration: 0.01 s"},
      {1, 999, "Duration: 0.99 s"},         {1, 1000, "Duration: 1.00 s"},
      {1, 3723456, "Duration: 3723.45 s"},  {0, 2500, "Dauer: 2.50 s"},
      {2, 70, "Время выполнения : 0.07 s"}, {3, 2500, "Duration: 2.50 s"},
  };
  SocketReady();
  for (const TDurationCase& c : cases) {
    FPresenter.SetLanguageIndex(c.FLanguage);
    FPresenter.bEraseClick();
    Advance(milliseconds(c.FMs));
    ReplyChar('e');
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back(), c.FLine) << c.FMs;
  }
}

TEST_F(OperationTest, DurationIsAbsoluteWhenTheClockGoesBack) {
  SocketReady();
  FPresenter.SetLanguageIndex(1);
  FPresenter.bEraseClick();
  Advance(milliseconds(-4321));
  ReplyChar('e');
  EXPECT_EQ(Log().back(), "Duration: 4.32 s");
}

struct TEndingCase {
  std::uint8_t FLanguage;
  char FReply;
  Lines FExpected;
};

TEST_F(OperationTest, EraseEndsWithResultAndDurationLinesInEveryLanguage) {
  const TEndingCase cases[] = {
      {0, 'e', {"lösche...", "", "Erfolgreich beendet.", "Dauer: 0.00 s"}},
      {1, 'e', {"erasing...", "", "Successfully finished.", "Duration: 0.00 s"}},
      {2, 'e', {"стирание...", "", "Действие завершено успешно !", "Время выполнения : 0.00 s"}},
      {0, '!', {"lösche...", "", "Fehler.", "Dauer: 0.00 s"}},
      {1, '!', {"erasing...", "", "Error.", "Duration: 0.00 s"}},
      {2, '!', {"стирание...", "", "Ошибка.", "Время выполнения : 0.00 s"}},
      {7, 'e', {"erasing...", "", "Successfully finished.", "Duration: 0.00 s"}},
  };
  SocketReady();
  for (const TEndingCase& c : cases) {
    FPresenter.SetLanguageIndex(c.FLanguage);
    FPresenter.bEraseClick();
    ReplyChar(c.FReply);
    EXPECT_EQ(Log(), c.FExpected);
    EXPECT_FALSE(FDriver.ErrorFlagValue());
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
  }
}

TEST_F(OperationTest, ErrorReplyInTheMiddleOfAWriteStopsTheChunks) {
  FBuffer.FData = Ramp(200);
  SocketReady(13);
  FPresenter.SetLanguageIndex(1);
  FPresenter.bProgClick();
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
  FBuffer.FData = Ramp(100);
  SocketReady(5);
  FPresenter.SetLanguageIndex(1);
  FPresenter.bProgClick();  // first chunk of 32
  ReplyChar('!');           // ends with an error after one chunk
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
  struct TCase {
    const char* FName;
    bool FSocket;
    void (TMainPresenter::*FStart)();
    char FEndReply;
    std::uint8_t FCommand;
  };
  const TCase cases[] = {
      {"24xx erase", true, &TMainPresenter::bEraseClick, 'e', 2},
      {"fuse write", false, &TMainPresenter::bWriteFuseClick, 'f', 7},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FName);
    FBuffer.FData = Ramp(100);
    if (c.FSocket)
      SocketReady(5);
    else
      IspReady();
    const std::size_t before = Sent().size();
    (FPresenter.*c.FStart)();
    ASSERT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Sent().back()[2], c.FCommand);
    ReplyChar(c.FEndReply);
    ReplyChar('*');  // late: must not send 58 buffer bytes under that command
    EXPECT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Log().back().rfind("Dauer: ", 0), 0u);
  }
}

TEST_F(OperationTest, FiveLongOperationsShowTheProgressWindowInRussianOnly) {
  struct TCase {
    TControl FControl;
    const char* FLabel;
  };
  const TCase cases[] = {
      {TControl::bProg, "Выполняется запись FLASH"},
      {TControl::bprogeeprom, "Выполняется запись EEPROM"},
      {TControl::bVerify, "Сравнение"},
      {TControl::bRead, "Выполняется чтение FLASH"},
      {TControl::breadeeprom, "Выполняется чтение EEPROM"},
  };
  FBuffer.FData = Ramp(10);
  IspReady();
  FPresenter.SetLanguageIndex(1);
  for (const TCase& c : cases) {
    ASSERT_TRUE(FPresenter.Click(c.FControl)) << ControlName(c.FControl);
    EXPECT_EQ(FPresenter.Window().Progress().FLabel, c.FLabel);
    EXPECT_TRUE(FPresenter.Window().Progress().FShown);
    EXPECT_FALSE(FPresenter.Window().MainWindowEnabled());
    EXPECT_FALSE(FPresenter.Click(TControl::bErase)) << "main window must be disabled";
    ReplyChar('!');
    EXPECT_EQ(FPresenter.Window().StatusPanel(0), "Программатор к работе готов.");
  }
}

TEST_F(OperationTest, ShortOperationsKeepTheMainWindowEnabled) {
  FBuffer.FData = Ramp(10);
  IspReady();
  using enum TControl;
  for (TControl control : {bErase, bDetectDevice, nErase, nDetectDevice}) {
    FPresenter.Window().SetProgressLabel("previous");
    ASSERT_TRUE(FPresenter.Click(control)) << ControlName(control);
    EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
    EXPECT_FALSE(FPresenter.Window().Progress().FShown);
    EXPECT_EQ(FPresenter.Window().Progress().FLabel, "previous");
    EXPECT_FALSE(FPresenter.Window().Enabled(TControl::bErase));
    ReplyChar('!');
  }
}

TEST_F(OperationTest, FailedReloadKeepsThePreviousLabelAndStillStarts) {
  FBuffer.FData = Ramp(10);
  IspReady();
  FPresenter.Window().SetChecked(TControl::updatebuffer, true);
  struct TCase {
    void (TMainPresenter::*FHandler)();
    bool FReloads;
  };
  const TCase cases[] = {{&TMainPresenter::bProgClick, true},
                         {&TMainPresenter::bVerifyClick, true},
                         {&TMainPresenter::bReadClick, false}};
  for (const TCase& c : cases) {
    FReloader.FCalls = 0;
    FReloader.FSucceeds = false;
    FPresenter.Window().SetProgressLabel("old");
    Sent().clear();
    (FPresenter.*c.FHandler)();
    EXPECT_EQ(FReloader.FCalls, c.FReloads ? 1 : 0);
    if (c.FReloads) {
      EXPECT_EQ(FPresenter.Window().Progress().FLabel, "old");
    }
    EXPECT_EQ(Sent().size(), 1u) << "the operation starts anyway";
    EXPECT_FALSE(FDriver.ErrorFlagValue()) << "StartOperation clears the flag";
    EXPECT_FALSE(FPresenter.ReloadFailed()) << "and the failed re-read with it";
    FPresenter.HidCtlDeviceChange();
    FDriver.FinishOperation();
  }
  // Unchecked: no re-read at all.
  FPresenter.Window().SetChecked(TControl::updatebuffer, false);
  FReloader.FCalls = 0;
  FPresenter.bProgClick();
  EXPECT_EQ(FReloader.FCalls, 0);
  EXPECT_EQ(FPresenter.Window().Progress().FLabel, "Выполняется запись FLASH");
}

TEST_F(OperationTest, ReloadHappensBeforeTheFirstChunkIsTaken) {
  SocketReady(3);
  FPresenter.Window().SetChecked(TControl::updatebuffer, true);
  FReloader.FOnLoad = [this] { FBuffer.FData = TBytes{0xDE, 0xAD}; };
  FPresenter.bProgClick();
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 3, 3, 2, 0, 8}));
  EXPECT_EQ(Payload(Sent()[0], 2), (TBytes{0xDE, 0xAD}));
}

// --- controls ---------------------------------------------------------------

struct TControlExpect {
  TControl FControl;
  bool FEnabled;
};

void ExpectControls(const TWindowModel& w, std::initializer_list<TControlExpect> expected) {
  for (const TControlExpect& e : expected)
    EXPECT_EQ(w.Enabled(e.FControl), e.FEnabled) << ControlName(e.FControl);
}

TEST_F(OperationTest, DisableControlsClearsTheLogAndDisablesEveryOperation) {
  IspReady();
  FPresenter.Window().AddLine("something");
  FPresenter.Window().SetEnabled(TControl::nWritefuse, true);
  FPresenter.DisableControls();
  EXPECT_TRUE(Log().empty());
  ExpectControls(FPresenter.Window(), {{TControl::bProg, false},
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
  EXPECT_FALSE(FPresenter.Window().Reachable(TControl::nopen)) << "entries under a disabled menu";
  EXPECT_FALSE(FPresenter.Click(TControl::N24AA02));
}

TEST_F(OperationTest, EnableControlsFollowsBufferTargetAndEepromMenus) {
  struct TCase {
    const char* FName;
    bool FIsp;
    std::size_t FBytes;
    std::initializer_list<TControlExpect> FExpected;
  };
  const TCase cases[] = {
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
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FName);
    FBuffer.FData = Ramp(c.FBytes);
    if (c.FIsp)
      FPresenter.nAVRISPClick();
    else
      FPresenter.SelectEepromType(2);
    FPresenter.DisableControls();
    FPresenter.EnableControls();
    ExpectControls(FPresenter.Window(), c.FExpected);
    ExpectControls(FPresenter.Window(), {{TControl::nFile, true},
                                         {TControl::nBuffer, true},
                                         {TControl::nChose, true},
                                         {TControl::nDevice, true}});
  }
}

// --- device changes -----------------------------------------------------------

TEST_F(OperationTest, PlugAndUnplugSetStatusAndControls) {
  FBuffer.FData = Ramp(4);
  FPresenter.nAVRISPClick();
  FPort.FAvailable = false;
  FPresenter.HidCtlDeviceChange();
  EXPECT_FALSE(FDriver.HasProgrammer());
  EXPECT_EQ(FPresenter.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(FPresenter.Window().Enabled(TControl::bRead));

  FPort.FAvailable = true;
  FPresenter.SetLanguageIndex(1);
  FPresenter.HidCtlDeviceChange();
  ASSERT_TRUE(FDriver.HasProgrammer());
  EXPECT_EQ(FPort.FClaimIds.back(), (std::pair<std::uint16_t, std::uint16_t>{1105, 12816}));
  EXPECT_EQ(FPresenter.Window().StatusPanel(0), "Программатор к работе готов.");
  EXPECT_TRUE(FPresenter.Window().Enabled(TControl::bRead));
  EXPECT_TRUE(FPresenter.Window().Enabled(TControl::bProg));

  // Another device comes: the programmer stays, nothing is claimed again.
  const std::size_t claims = FPort.FClaimIds.size();
  FPresenter.HidCtlDeviceChange();
  EXPECT_EQ(FPort.FClaimIds.size(), claims);

  Device().FPlugged = false;
  FPort.FAvailable = false;
  FPresenter.HidCtlDeviceChange();
  EXPECT_FALSE(FDriver.HasProgrammer());
  EXPECT_EQ(FPort.FReleases, 1);
  EXPECT_EQ(FPresenter.Window().StatusPanel(0), "Программатор не подключен!");
  EXPECT_FALSE(FPresenter.Window().Enabled(TControl::bRead));
}

TEST_F(OperationTest, UnplugDuringAnOperationAbandonsItWithoutResultLine) {
  FBuffer.FData = Ramp(300);
  SocketReady(13);
  FPresenter.bProgClick();
  ReplyChar('*');
  ASSERT_TRUE(FTimer.FArmed);
  Device().FPlugged = false;
  FPort.FAvailable = false;
  FPresenter.HidCtlDeviceChange();
  EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
  EXPECT_FALSE(FPresenter.Window().Progress().FShown);
  EXPECT_EQ(FPresenter.Window().Progress().FGaugePosition, 0);
  EXPECT_TRUE(Log().empty()) << "DisableControls cleared it; no result line";
  EXPECT_FALSE(FTimer.FArmed) << "nothing can answer any more";
  EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Writing);
}

TEST_F(OperationTest, OtherDeviceChangeDuringAReadReenablesTheWindowButTheReadGoesOn) {
  SocketReady(0);  // 16 bytes
  FPresenter.SetLanguageIndex(1);
  FPresenter.bReadClick();
  DataReport(Ramp(10));
  FPresenter.HidCtlDeviceChange();  // some other HID device
  EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
  EXPECT_FALSE(FPresenter.Window().Progress().FShown);
  EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Reading);
  DataReport(Ramp(6, 10));
  EXPECT_EQ(FBuffer.FData, Ramp(16));
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
  FBuffer.FData = TBytes{1, 2, 3};
  SocketReady(1);
  for (std::uint8_t lang = 0; lang < 3; ++lang) {
    FPresenter.SetLanguageIndex(lang);
    FPresenter.bReadClick();
    DataReport(Ramp(40));
    ASSERT_TRUE(FTimer.FArmed);
    EXPECT_EQ(FTimer.FLastTimeout, milliseconds(10000));
    Advance(milliseconds(10000));
    FTimer.Fire();
    EXPECT_EQ(Log(), expected[lang]);
    EXPECT_EQ(FBuffer.FData, (TBytes{1, 2, 3})) << "a read that timed out leaves the buffer";
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
    EXPECT_FALSE(FPresenter.Window().Progress().FShown);
    EXPECT_TRUE(FPresenter.Window().Enabled(TControl::bRead));
  }
}

TEST_F(OperationTest, EveryReplyRestartsTheTimerAndTheEndStopsIt) {
  FBuffer.FData = Ramp(100);
  SocketReady(5);
  FDriver.FReplyTimeout = milliseconds(250);
  FPresenter.bProgClick();
  EXPECT_TRUE(FTimer.FArmed);
  EXPECT_EQ(FTimer.FLastTimeout, milliseconds(250));
  const int starts = FTimer.FStarts;
  ReplyChar('*');
  ReplyChar('*');
  EXPECT_EQ(FTimer.FStarts, starts + 2);
  ReplyChar('*');
  ReplyChar('w');
  EXPECT_FALSE(FTimer.FArmed);
  // An idle driver never arms it.
  ReplyChar('*');
  EXPECT_FALSE(FTimer.FArmed);
}

// --- errors that must not leave the handler ----------------------------------------

TEST_F(OperationTest, FlashReadWithoutANumberInCodeSizeEndsWithTheErrorEnding) {
  // The ISP target with no size shown yet, then a locked chip.
  IspReady();
  ASSERT_EQ(FPresenter.Window().CodeSize(), "");
  FPresenter.SetLanguageIndex(1);
  FBuffer.FData = TBytes{7, 7};
  bool armedDuringBox = false;
  FPresenter.FOnError = [&](const std::string& text) {
    FErrors.push_back(text);
    armedDuringBox = FTimer.FArmed;  // a timeout inside the box would end the operation twice
  };
  FPresenter.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');  // the (empty) fuse read of the locked chip
  ASSERT_EQ(FErrors.size(), 1u);
  EXPECT_EQ(FErrors[0], "'' is not a valid size in bytes.");
  EXPECT_FALSE(armedDuringBox);
  const Lines expected{"reading signature byte...",
                       "ID: 00 01 02",
                       "reading fuse bis...",
                       "reading...",
                       "",
                       "Error.",
                       "Duration: 0.00 s"};
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
  EXPECT_EQ(FBuffer.FData, (TBytes{7, 7}));
  EXPECT_EQ(Sent().size(), 2u) << "no read command went out";
  EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
  // The driver keeps working; a 24xx type leaves its size for the ISP target.
  FPresenter.N24AA08Click();
  FPresenter.nAVRISPClick();
  ASSERT_EQ(FPresenter.Window().CodeSize(), "1024");
  FPresenter.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');
  EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 5, 1, 0, 0}));
}

}  // namespace
}  // namespace quenvar::test
