// Output report layout and chunking.
#include <string>
#include <utility>
#include <vector>

#include "driver_fakes.h"
#include "event_recorder.h"

namespace quenvar::test {
namespace {

using Chunks = std::vector<std::pair<int, int>>;  // (byte 3, byte 4) per report

class ReportTest : public ::testing::Test, protected TDriverRig {
 protected:
  ReportTest() { FDriver.SetListener(&FEvents); }
  // The socket target, or the ISP connector for -1.
  void Target(int index) {
    if (index < 0)
      FDriver.SelectIsp();
    else
      FDriver.SelectEeprom(static_cast<std::size_t>(index));
  }

  // Collects byte 3 and 4 of every report sent from now on, answering '*'
  // until nothing more goes out.
  Chunks RunChunks() {
    Chunks chunks;
    std::size_t seen = 0;
    while (Sent().size() > seen) {
      for (; seen < Sent().size(); ++seen) chunks.emplace_back(Sent()[seen][3], Sent()[seen][4]);
      ReplyChar('*');
    }
    return chunks;
  }

  TEventRecorder FEvents;
};

struct TChunkCase {
  const char* FName;
  int FTarget;  // -1 ISP, else 24xx index
  char FStep;   // 'w' flash/24xx write, 'v' verify, 'e' AVR EEPROM write
  std::size_t FLength;
  Chunks FExpected;
};

TEST_F(ReportTest, ChunkSizesCountsAndMoreFollowMarks) {
  const TChunkCase cases[] = {
      {"isp 58 bytes", -1, 'w', 58, {{58, 0}}},
      {"isp 59 bytes", -1, 'w', 59, {{58, 1}, {1, 0}}},
      {"isp verify 117", -1, 'v', 117, {{58, 1}, {58, 1}, {1, 0}}},
      {"isp eeprom 60", -1, 'e', 60, {{58, 1}, {2, 0}}},
      {"isp 1 byte", -1, 'w', 1, {{1, 0}}},
      {"24C04A write 100", 5, 'w', 100, {{32, 4}, {32, 4}, {32, 4}, {4, 0}}},
      {"24C04A verify 100", 5, 'v', 100, {{58, 4}, {42, 0}}},
      {"24AA00 write 40: size code 0 marks nothing", 0, 'w', 40, {{32, 0}, {8, 0}}},
      {"24AA512 write 64", 13, 'w', 64, {{32, 130}, {32, 0}}},
      {"24AA256 verify 59", 12, 'v', 59, {{58, 129}, {1, 0}}},
  };
  for (const TChunkCase& c : cases) {
    SCOPED_TRACE(c.FName);
    FBuffer.FData = Ramp(c.FLength);
    Target(c.FTarget);
    if (!FDriver.HasProgrammer()) Connect();
    Sent().clear();
    if (c.FStep == 'w') FDriver.StartWriteFlash();
    if (c.FStep == 'v') FDriver.StartVerify();
    if (c.FStep == 'e') FDriver.StartWriteEeprom();
    EXPECT_EQ(RunChunks(), c.FExpected);
    EXPECT_EQ(FEvents.FMaximum, static_cast<std::int64_t>(c.FLength));
    EXPECT_EQ(FEvents.FPosition, static_cast<std::int64_t>(c.FLength));
  }
}

TEST_F(ReportTest, PayloadCarriesTheBufferAndUnnamedBytesKeepEarlierValues) {
  FBuffer.FData = Ramp(59, 0x10);
  FDriver.SelectIsp();
  Connect();
  FDriver.StartWriteFlash();
  ReplyChar('*');
  ASSERT_EQ(Sent().size(), 2u);
  const TBytes& first = Sent()[0];
  const TBytes& second = Sent()[1];
  ASSERT_EQ(first.size(), 65u);
  EXPECT_EQ(Head(first), (TBytes{0, 5, 3, 58, 1, 1}));
  EXPECT_EQ(Payload(first, 58), Ramp(58, 0x10));
  EXPECT_EQ(first[64], 0);
  // The one new byte is 0x10 + 58; the rest still shows the first chunk.
  TBytes expectedSecond(65, 0);
  for (std::size_t i = 0; i < 58; ++i) expectedSecond[6 + i] = static_cast<std::uint8_t>(0x10 + i);
  expectedSecond[1] = 5;
  expectedSecond[2] = 3;
  expectedSecond[3] = 1;
  expectedSecond[4] = 0;
  expectedSecond[5] = 1;
  expectedSecond[6] = 0x4A;
  EXPECT_EQ(second, expectedSecond);
}

TEST_F(ReportTest, ParametersOfOneCommandStayForTheNext) {
  // A socket erase sets bytes 3 and 4; the ISP signature request after a change
  // of target names neither, so they go out again.
  FDriver.SelectEeprom(11);  // 24AA128: code 128, page 64
  Connect();
  FDriver.StartOperation(TRequestedOperation::Erase);
  EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 3, 2, 128, 64, 0}));
  ReplyChar('e');
  FDriver.SelectIsp();
  FDriver.StartOperation(TRequestedOperation::DetectDevice);
  EXPECT_EQ(Head(Sent()[1]), (TBytes{0, 5, 1, 128, 64, 0}));
  // ISP erase sets nothing besides the command.
  Reply({'s', 0x1E, 0x90, 0x01});  // AT90S1200: no fuse read
  FDriver.StartOperation(TRequestedOperation::Erase);
  Reply({'s', 0x1E, 0x90, 0x01});
  EXPECT_EQ(Head(Sent().back()), (TBytes{0, 5, 2, 128, 64, 0}));
}

TEST_F(ReportTest, TargetByteFollowsTheModeForEveryCommand) {
  struct TCase {
    int FTarget;
    std::uint8_t FByte1;
  };
  const TCase cases[] = {{-1, 5}, {3, 3}, {-1, 5}, {13, 3}, {0, 3}};
  FBuffer.FData = Ramp(10);
  for (const TCase& c : cases) {
    if (c.FTarget < 0)
      Target(7);  // the 24AA08 leaves its 1024 bytes as the size a flash read takes
    Target(c.FTarget);
    if (!FDriver.HasProgrammer()) Connect();
    Sent().clear();
    for (auto step : {&TProgrammerDriver::StartErase, &TProgrammerDriver::StartWriteFlash,
                      &TProgrammerDriver::StartVerify, &TProgrammerDriver::StartReadFlash,
                      &TProgrammerDriver::RequestSignature, &TProgrammerDriver::StartReadFuses,
                      &TProgrammerDriver::StartWriteFuses}) {
      (FDriver.*step)();
    }
    ASSERT_EQ(Sent().size(), 7u);
    for (const TBytes& r : Sent()) EXPECT_EQ(r[1], c.FByte1);
  }
}

TEST_F(ReportTest, WithoutATargetByteOneIsLeftAlone) {
  Connect();
  FDriver.RequestSignature();
  EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 0, 1, 0, 0, 0}));
}

TEST_F(ReportTest, ChunkRequestAtTheEndSendsNothing) {
  FBuffer.FData = Ramp(58);
  FDriver.SelectIsp();
  Connect();
  FDriver.StartWriteFlash();
  ReplyChar('*');
  ReplyChar('*');
  EXPECT_EQ(Sent().size(), 1u);
  // An empty buffer sends no chunk at all.
  FBuffer.FData.clear();
  FDriver.StartVerify();
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(ReportTest, WritesAsManyBytesAsTheDeviceDeclares) {
  struct TCase {
    std::size_t FDeclared;
    std::size_t FWritten;
  };
  const TCase cases[] = {{65, 65}, {64, 64}, {9, 9}, {0, 0}, {80, 80}};
  FDriver.SelectEeprom(1);
  Connect();
  for (const TCase& c : cases) {
    Device().FReportLength = c.FDeclared;
    Sent().clear();
    FDriver.StartErase();
    ASSERT_EQ(Sent().size(), 1u);
    ASSERT_EQ(Sent()[0].size(), c.FWritten);
    if (c.FWritten >= 6) {
      EXPECT_EQ(Head(Sent()[0]), (TBytes{0, 3, 2, 1, 8, 0}));
    }
    for (std::size_t i = 65; i < c.FWritten; ++i) EXPECT_EQ(Sent()[0][i], 0) << i;
  }
}

TEST_F(ReportTest, NoProgrammerMeansNoReport) {
  FDriver.SelectEeprom(1);
  FBuffer.FData = Ramp(100);
  EXPECT_NO_THROW(FDriver.StartWriteFlash());
  EXPECT_NO_THROW(FDriver.StartErase());
  EXPECT_EQ(FPort.FClaimed, nullptr);
}

TEST_F(ReportTest, SendingTouchesEachBufferByteOnce) {
  FBuffer.FData = Ramp(10000);
  FDriver.SelectIsp();
  Connect();
  FDriver.StartWriteFlash();
  for (int i = 0; i < 400; ++i) ReplyChar('*');
  EXPECT_EQ(Sent().size(), 173u);  // 172 full chunks of 58 and one of 24
  EXPECT_EQ(FBuffer.FBytesRead, 10000u);
  EXPECT_EQ(FBuffer.FReads, 173);
  EXPECT_EQ(Sent().back()[3], 24);
}

}  // namespace
}  // namespace quenvar::test
