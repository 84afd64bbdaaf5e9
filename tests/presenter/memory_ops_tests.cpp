// The chains of the memory operations, per target mode, and the per-chip codes.
#include <string>
#include <vector>

#include "golden_tables.h"
#include "presenter_fixture.h"

namespace quenvar::test {
namespace {

using Lines = std::vector<std::string>;

class MemoryOpsTest : public PresenterTest {
 protected:
  std::vector<int> Commands() const {
    std::vector<int> cmds;
    for (const TBytes& r : FPort.FClaimed->FWritten) cmds.push_back(r[2]);
    return cmds;
  }
  // Data reports of 63 bytes (the last one shorter) until `total` bytes went out.
  int Stream(std::size_t total, std::uint8_t start = 0) {
    int reports = 0;
    for (std::size_t sent = 0; sent < total; sent += 63, ++reports)
      DataReport(
          Ramp(std::min<std::size_t>(63, total - sent), static_cast<std::uint8_t>(start + sent)));
    return reports;
  }
  Lines LastLines(std::size_t n) {
    return Lines(Log().end() - static_cast<std::ptrdiff_t>(n), Log().end());
  }
};

TEST_F(MemoryOpsTest, ProgramFlashOfAnATmega8WithVerify) {
  FBuffer.FData = Ramp(120);
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.SetLanguageIndex(1);
  FPresenter.SetVerifyAfterProgram(true);
  ASSERT_TRUE(FPresenter.Click(TControl::bProg));
  Reply({'s', 0x1E, 0x93, 0x07});
  Reply({'r', 0xFF, 0xE1, 0xD9, 0xA1, 0xA2, 0xA3, 0xA4});
  ReplyChar('e');
  ReplyChar('*');
  ReplyChar('*');
  ReplyChar('w');
  EXPECT_EQ(FPresenter.Window().Progress().FLabel, "Сравнение");
  ReplyChar('*');
  ReplyChar('*');
  ReplyChar('v');

  const std::vector<TBytes> heads = {
      {0, 5, 1, 0, 0, 0},   {0, 5, 8, 7, 0x58, 0x00}, {0, 5, 2, 7, 0x58, 0x00},
      {0, 5, 3, 58, 1, 32}, {0, 5, 3, 58, 1, 32},     {0, 5, 3, 4, 0, 32},
      {0, 5, 4, 58, 1, 32}, {0, 5, 4, 58, 1, 32},     {0, 5, 4, 4, 0, 32},
  };
  ASSERT_EQ(Sent().size(), heads.size());
  for (std::size_t i = 0; i < heads.size(); ++i) EXPECT_EQ(Head(Sent()[i]), heads[i]) << i;
  const TBytes fuseRecords{0x58, 0x00, 0x00, 0x50, 0x00, 0x00, 0x58, 0x08, 0x00, 0x38, 0x00,
                           0x00, 0x38, 0x00, 0x01, 0x38, 0x00, 0x02, 0x38, 0x00, 0x03};
  EXPECT_EQ(TBytes(Sent()[1].begin() + 4, Sent()[1].begin() + 25), fuseRecords);
  EXPECT_EQ(Payload(Sent()[3], 58), Ramp(58));
  EXPECT_EQ(Payload(Sent()[4], 58), Ramp(58, 58));
  EXPECT_EQ(Payload(Sent()[5], 4), Ramp(4, 116));
  EXPECT_EQ(Payload(Sent()[6], 58), Ramp(58));
  EXPECT_EQ(Payload(Sent()[8], 4), Ramp(4, 116));

  const Lines expected{"reading signature byte...",
                       "ID: 1E 93 07",
                       "reading fuse bis...",
                       "Calibration Byte 0: A1",
                       "Calibration Byte 1: A2",
                       "Calibration Byte 2: A3",
                       "Calibration Byte 3: A4",
                       "erasing...",
                       "writing...",
                       "verifying...",
                       "",
                       "Successfully finished.",
                       "Duration: 0.00 s"};
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(FPresenter.Window().AutoDevice(), "ATmega8");
  EXPECT_EQ(FPresenter.Window().CodeSize(), "8192");
  EXPECT_FALSE(FPresenter.Window().Progress().FShown);
  EXPECT_EQ(FPresenter.Window().Progress().FGaugePosition, 0);
  EXPECT_TRUE(FPresenter.Window().MainWindowEnabled());
}

struct TChainCase {
  const char* FName;
  int FTarget;                     // -1 ISP (ATmega8 answers), else 24xx index
  TRequestedOperation FOperation;  // started through its handler
  bool FVerifyChecked;
  std::string FReplies;  // 's' and 'r' carry an ATmega8 signature / fuse bytes
  std::vector<int> FCommands;
};

TEST_F(MemoryOpsTest, EveryChainInBothModes) {
  using Op = TRequestedOperation;
  const TChainCase cases[] = {
      {"isp detect", -1, Op::DetectDevice, true, "sr", {1, 8}},
      {"isp erase", -1, Op::Erase, true, "sre", {1, 8, 2}},
      {"isp program+verify", -1, Op::ProgramFlash, true, "sre*w*v", {1, 8, 2, 3, 3, 4, 4}},
      {"isp program", -1, Op::ProgramFlash, false, "sre*w", {1, 8, 2, 3, 3}},
      {"isp eeprom never verified", -1, Op::ProgramEeprom, true, "sr*w", {1, 8, 9, 9}},
      {"isp verify", -1, Op::Verify, false, "sr*v", {1, 8, 4, 4}},
      {"isp write fuses", -1, Op::WriteFuses, true, "f", {7}},
      {"socket erase", 5, Op::Erase, true, "e", {2}},
      {"socket program+verify", 5, Op::ProgramFlash, true, "**w*v", {3, 3, 3, 4, 4}},
      {"socket program", 5, Op::ProgramFlash, false, "**w", {3, 3, 3}},
      {"socket verify", 5, Op::Verify, true, "*v", {4, 4}},
  };
  for (const TChainCase& c : cases) {
    SCOPED_TRACE(c.FName);
    FBuffer.FData = Ramp(70);
    if (c.FTarget < 0)
      FPresenter.nAVRISPClick();
    else
      FPresenter.SelectEepromType(static_cast<std::size_t>(c.FTarget));
    if (!FDriver.HasProgrammer()) Connect();
    Sent().clear();
    FPresenter.SetVerifyAfterProgram(c.FVerifyChecked);
    FPresenter.SetLanguageIndex(1);
    switch (c.FOperation) {
      case Op::DetectDevice:
        FPresenter.bDetectDeviceClick();
        break;
      case Op::Erase:
        FPresenter.bEraseClick();
        break;
      case Op::ProgramFlash:
        FPresenter.bProgClick();
        break;
      case Op::ProgramEeprom:
        FPresenter.bprogeepromClick();
        break;
      case Op::Verify:
        FPresenter.bVerifyClick();
        break;
      case Op::WriteFuses:
        FPresenter.bWriteFuseClick();
        break;
      default:
        FAIL();
    }
    for (char r : c.FReplies) {
      EXPECT_NE(FDriver.ProtocolStateValue(), TProtocolState::Idle) << "ended before " << r;
      if (r == 's')
        Reply({'s', 0x1E, 0x93, 0x07});
      else if (r == 'r')
        Reply({'r', 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
      else
        ReplyChar(r);
    }
    EXPECT_EQ(Commands(), c.FCommands);
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_EQ(LastLines(3), (Lines{"", "Successfully finished.", "Duration: 0.00 s"}));
  }
}

TEST_F(MemoryOpsTest, ChipsWithoutFuseBitsGoStraightOn) {
  FBuffer.FData = Ramp(3);
  FPresenter.nAVRISPClick();
  Connect();
  for (std::uint8_t sig3 : {0x01}) {
    for (std::uint8_t sig2 : {0x90, 0x91, 0x93}) {
      Sent().clear();
      FPresenter.bEraseClick();
      Reply({'s', 0x1E, sig2, sig3});
      EXPECT_EQ(Commands(), (std::vector<int>{1, 2}));
      ReplyChar('e');
    }
  }
}

struct TReadCase {
  const char* FName;
  int FTarget;  // -1 ISP
  // ISP: the size box shows the flash of this chip (third signature byte after
  // 1E 9x), or with Sig2 0 the size of 24xx type Sig3 chosen before.
  std::uint8_t FSig2;
  std::uint8_t FSig3;
  std::uint8_t FByte3;
  std::size_t FExpected;
};

TEST_F(MemoryOpsTest, ReadsAskForTheRightSizeAndLoadTheBuffer) {
  const TReadCase cases[] = {
      {"24AA00 code 0", 0, 0, 0, 0, 16},
      {"24C04A code 4", 5, 0, 0, 4, 512},
      {"24AA128 code 128", 11, 0, 0, 128, 16384},
      {"24AA256 code 129", 12, 0, 0, 129, 32768},
      {"24AA512 code 130", 13, 0, 0, 130, 65536},
      {"24AA01 code 1", 1, 0, 0, 1, 128},
      {"isp 8192", -1, 0x93, 0x07, 8, 8192},
      {"isp 131072", -1, 0x97, 0x02, 128, 131072},
      {"isp 128 left by the 24AA01", -1, 0, 1, 0, 128},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.FName);
    FBuffer.FData = TBytes{0x55};
    if (c.FTarget < 0 && c.FSig2 == 0) FPresenter.SelectEepromType(c.FSig3);
    if (c.FTarget < 0)
      FPresenter.nAVRISPClick();
    else
      FPresenter.SelectEepromType(static_cast<std::size_t>(c.FTarget));
    if (!FDriver.HasProgrammer()) Connect();
    if (c.FTarget < 0 && c.FSig2 != 0) {
      FPresenter.bDetectDeviceClick();
      Reply({'s', 0x1E, c.FSig2, c.FSig3});
      ReplyChar('r');
    }
    Sent().clear();
    if (c.FTarget < 0) {
      FPresenter.bReadClick();
      Reply({'s', 0x00, 0x01, 0x02});  // locked: the size box stays
      ReplyChar('r');
    } else {
      FPresenter.bReadClick();
    }
    ASSERT_EQ(Commands().back(), 5);
    EXPECT_EQ(Sent().back()[3], c.FByte3);
    EXPECT_EQ(FDriver.ReadTotalValue(), static_cast<std::int32_t>(c.FExpected));
    const std::size_t reports = (c.FExpected + 62) / 63;
    for (std::size_t i = 0; i + 1 < reports; ++i)
      DataReport(Ramp(63, static_cast<std::uint8_t>(i * 63)));
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Reading);
    EXPECT_EQ(FBuffer.FData, TBytes{0x55});
    const std::size_t last = c.FExpected - (reports - 1) * 63;
    DataReport(Ramp(last, static_cast<std::uint8_t>((reports - 1) * 63)));
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_EQ(FBuffer.FData, Ramp(c.FExpected));
  }
}

TEST_F(MemoryOpsTest, ExtraBytesOfTheLastDataReportAreLoadedToo) {
  FPresenter.N24AA01Click();  // its 128 bytes stay the size to read
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.bReadClick();
  Reply({'s', 0x00, 0x01, 0x02});
  ReplyChar('r');
  DataReport(Ramp(63));
  DataReport(Ramp(63, 63));
  EXPECT_EQ(FBuffer.FData, TBytes{}) << "126 of 128 bytes";
  DataReport(Ramp(63, 126));
  EXPECT_EQ(FBuffer.FData, Ramp(189));
  EXPECT_EQ(FPresenter.Window().Progress().FGaugePosition, 0) << "finished: the gauge is back at 0";
}

TEST_F(MemoryOpsTest, EepromReadOfNoChipAsksForNothingAndEndsAtTheFirstReport) {
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.SetLanguageIndex(1);
  FPresenter.breadeepromClick();
  Reply({'s', 0x00, 0x01, 0x02});
  EXPECT_EQ(FPresenter.Window().AutoDevice(), "Device locked !");
  ReplyChar('r');
  EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 10, 0, 0, 0}));
  DataReport(TBytes{0xAB, 0xCD});
  EXPECT_EQ(FBuffer.FData, (TBytes{0xAB, 0xCD}));
  EXPECT_EQ(LastLines(4),
            (Lines{"reading EEPROM...", "", "Successfully finished.", "Duration: 0.00 s"}));
}

TEST_F(MemoryOpsTest, PerChipPageCodesAndEepromReads) {
  const auto& chips = test::GoldenChips();
  ASSERT_EQ(chips.size(), 29u);
  FBuffer.FData = Ramp(1);
  FPresenter.nAVRISPClick();
  Connect();
  FPresenter.SetVerifyAfterProgram(false);
  auto identify = [this](const test::TGoldenChip& chip) {
    Reply({'s', chip.FSignature[0], chip.FSignature[1], chip.FSignature[2]});
    if (FDriver.ProtocolStateValue() == TProtocolState::AwaitFuseRead) ReplyChar('r');
  };
  for (const test::TGoldenChip& chip : chips) {
    SCOPED_TRACE(chip.FName);
    FPresenter.bProgClick();
    identify(chip);
    EXPECT_EQ(FPresenter.Window().AutoDevice(), chip.FName);
    ReplyChar('e');
    EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 3, 1, 0, chip.FPageCode}));
    ReplyChar('w');

    FPresenter.bReadClick();
    identify(chip);
    EXPECT_EQ(Sent().back()[2], 5);
    EXPECT_EQ(Sent().back()[3], std::stoi(chip.FFlash) / 1024);
    FDriver.FinishOperation();

    FPresenter.breadeepromClick();
    identify(chip);
    EXPECT_EQ(Sent().back()[2], 10);
    EXPECT_EQ(Sent().back()[3], chip.FEepromCode);
    EXPECT_EQ(FDriver.ReadTotalValue(), static_cast<std::int32_t>(chip.FEepromBytes));
    Stream(chip.FEepromBytes);
    EXPECT_EQ(FDriver.ProtocolStateValue(), TProtocolState::Idle);
    EXPECT_EQ(FBuffer.FData.size(), chip.FEepromBytes);
    FBuffer.FData = Ramp(1);
  }
}

TEST_F(MemoryOpsTest, StartStepsLogInEveryLanguage) {
  struct TCase {
    void (TProgrammerDriver::*FStep)();
    const char* FLines[3];
  };
  const TCase cases[] = {
      {&TProgrammerDriver::RequestSignature,
       {"lese Signature Byte...", "reading signature byte...", "чтение сигнатурных байт..."}},
      {&TProgrammerDriver::StartErase, {"lösche...", "erasing...", "стирание..."}},
      {&TProgrammerDriver::StartWriteFlash, {"schreibe...", "writing...", "запись..."}},
      {&TProgrammerDriver::StartVerify, {"vergleiche...", "verifying...", "сравнение..."}},
      {&TProgrammerDriver::StartReadFlash, {"lese...", "reading...", "чтение..."}},
      {&TProgrammerDriver::StartWriteEeprom,
       {"schreibe EEPROM...", "writing EEPROM...", "запись EEPROM..."}},
      {&TProgrammerDriver::StartReadEeprom,
       {"lese EEPROM...", "reading EEPROM...", "чтение EEPROM..."}},
      {&TProgrammerDriver::StartReadFuses,
       {"lese Fuse Bits...", "reading fuse bis...", "чтение fuse битов..."}},
      {&TProgrammerDriver::StartWriteFuses,
       {"programmiere Fuse/Lock Bits...", "programming fuse/lock bis...",
        "программирование fuse/lock битов..."}},
  };
  FBuffer.FData = Ramp(5);
  FPresenter.N24AA08Click();  // its 1024 bytes stay the size a flash read takes
  FPresenter.nAVRISPClick();
  for (const TCase& c : cases) {
    for (std::uint8_t lang = 0; lang < 3; ++lang) {
      FPresenter.SetLanguageIndex(lang);
      FPresenter.Window().ClearLog();
      (FDriver.*c.FStep)();
      EXPECT_EQ(Log(), Lines{c.FLines[lang]});
    }
  }
}

TEST_F(MemoryOpsTest, FailedIdentificationShowsTheErrorTextsInEveryLanguage) {
  const char* words[] = {"Fehler", "Error", "Ошибка"};
  const Lines endings[] = {{"", "Fehler."}, {"", "Error."}, {"", "Ошибка."}};
  FPresenter.nAVRISPClick();
  Connect();
  for (std::uint8_t lang = 0; lang < 3; ++lang) {
    for (TBytes sig : {TBytes{0x1E, 0x98, 0x01}, TBytes{0xFF, 0xFF, 0xFF}}) {
      FPresenter.N24aa32Click();
      FPresenter.nAVRISPClick();
      ASSERT_EQ(FPresenter.Window().CodeSize(), "4096");
      FPresenter.SetLanguageIndex(lang);
      FPresenter.bDetectDeviceClick();
      Reply({'s', sig[0], sig[1], sig[2]});
      EXPECT_EQ(FPresenter.Window().AutoDevice(), words[lang]);
      EXPECT_EQ(FPresenter.Window().CodeSize(), "");
      EXPECT_EQ(FDriver.IdentifiedChipValue(), nullptr);
      EXPECT_EQ(Lines(Log().end() - 3, Log().end() - 1), endings[lang]);
    }
  }
}

}  // namespace
}  // namespace quenvar::test
