// What the driver checks before it sends an image, and the question before a
// fuse write that would cut the chip off from ISP.
#include <optional>
#include <string>
#include <vector>

#include "session_fakes.h"

namespace quenvar {
void PrintTo(const TOperationRefusal& r, std::ostream* out) {
  *out << "{" << static_cast<int>(r.Kind) << ", " << r.ImageSize << ", " << r.TargetSize << "}";
}
}  // namespace quenvar

namespace quenvar::test {
namespace {

using Lines = std::vector<std::string>;
using THandler = void (TProgrammerSession::*)();
constexpr int kIsp = -1;

class ImageCheckTest : public SessionTest {
 protected:
  ImageCheckTest() {
    Session.OnRefused = [this](const TOperationRefusal& refusal) {
      Refusals.push_back(refusal);
      ArmedDuringBox = Timer.Armed;
    };
    Session.SetLanguageIndex(1);
  }
  void Target(int eepromType) {
    if (eepromType == kIsp)
      Session.nAVRISPClick();
    else
      Session.SelectEepromType(static_cast<std::size_t>(eepromType));
    Connect();
  }
  std::vector<TOperationRefusal> Refusals;
  bool ArmedDuringBox = false;
};

TEST_F(ImageCheckTest, EmptyOrOversizeImagesAreRefusedBeforeAnythingIsSent) {
  const struct {
    const char* Name;
    int Target;
    std::size_t Bytes;
    THandler Handler;
    std::optional<TOperationRefusal> Refusal;
  } cases[] = {
      {"empty write", kIsp, 0, &TProgrammerSession::bProgClick, {{TRefusal::EmptyImage, 0, 0}}},
      {"empty verify", kIsp, 0, &TProgrammerSession::bVerifyClick, {{TRefusal::EmptyImage, 0, 0}}},
      {"empty EEPROM", kIsp, 0, &TProgrammerSession::bprogeepromClick, {{TRefusal::EmptyImage}}},
      {"empty 24xx", 1, 0, &TProgrammerSession::bVerifyClick, {{TRefusal::EmptyImage, 0, 0}}},
      {"24AA01 129",
       1,
       129,
       &TProgrammerSession::bProgClick,
       {{TRefusal::ImageTooLarge, 129, 128}}},
      {"24AA00 17", 0, 17, &TProgrammerSession::bVerifyClick, {{TRefusal::ImageTooLarge, 17, 16}}},
      {"24AA01 128", 1, 128, &TProgrammerSession::bProgClick, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Target(c.Target);
    Buffer.Data = Ramp(c.Bytes);
    Session.Window().AddLine("before");
    (Session.*c.Handler)();
    ASSERT_EQ(Session.LastRefusal(), c.Refusal);
    if (!c.Refusal) {
      EXPECT_EQ(Sent().size(), 1u);
      continue;
    }
    EXPECT_EQ(Refusals.back(), *c.Refusal);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Log(), Lines{"before"});
    EXPECT_FALSE(Session.Window().Progress().Shown);
    EXPECT_TRUE(Session.Window().MainWindowEnabled());
  }
}

TEST_F(ImageCheckTest, IspImageLargerThanTheChipEndsBeforeTheErase) {
  const struct {
    THandler Handler;
    std::size_t Bytes;
    std::optional<TOperationRefusal> Refusal;
    std::uint8_t Next;  // the command after the fuse read when it fits
  } cases[] = {
      {&TProgrammerSession::bProgClick, 8193, {{TRefusal::ImageTooLarge, 8193, 8192}}, 0},
      {&TProgrammerSession::bVerifyClick, 8193, {{TRefusal::ImageTooLarge, 8193, 8192}}, 0},
      {&TProgrammerSession::bprogeepromClick, 513, {{TRefusal::ImageTooLarge, 513, 512}}, 0},
      {&TProgrammerSession::bProgClick, 8192, std::nullopt, 2},
      {&TProgrammerSession::bprogeepromClick, 512, std::nullopt, 9},
  };
  Target(kIsp);
  for (const auto& c : cases) {
    Buffer.Data = Ramp(c.Bytes);
    (Session.*c.Handler)();
    Reply({'s', 0x1E, 0x93, 0x07});
    Reply({'r', 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(Session.LastRefusal(), c.Refusal) << c.Bytes;
    if (!c.Refusal) {
      EXPECT_EQ(Sent().back()[2], c.Next);
      Session.FinishOperation();
      continue;
    }
    EXPECT_EQ(Refusals.back(), *c.Refusal);
    EXPECT_EQ(Sent().back()[2], 8) << "the fuse read was the last command";
    // The error ending right after the fuse read: no "erasing...".
    EXPECT_EQ(Lines(Log().end() - 4, Log().end()),
              (Lines{"Calibration Byte 3: 00", "", "Error.", "Duration: 0.00 s"}));
    EXPECT_FALSE(ArmedDuringBox);
    EXPECT_FALSE(Timer.Armed);
    EXPECT_FALSE(Session.Window().Progress().Shown);
    EXPECT_TRUE(Session.Window().Enabled("bProg"));
  }
}

TEST_F(ImageCheckTest, AReReadThatFailsOnTheFileSystemAbandonsTheClick) {
  Target(kIsp);
  Session.Window().SetChecked("updatebuffer", true);
  Reloader.Throws = "/tmp/gone.bin: No such file or directory";
  for (THandler handler : {&TProgrammerSession::bProgClick, &TProgrammerSession::bVerifyClick,
                           &TProgrammerSession::bprogeepromClick}) {
    Buffer.Data = Ramp(10);
    Session.Window().AddLine("before");
    (Session.*handler)();
    EXPECT_EQ(Errors.back(), "/tmp/gone.bin: No such file or directory");
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Log(), (Lines{"before"}));
    EXPECT_FALSE(Session.Window().Progress().Shown);
    Session.Window().ClearLog();
  }
  EXPECT_EQ(Errors.size(), 3u);
}

TEST(RefusalText, NamesBothSizesInEachLanguage) {
  const TOperationRefusal large{TRefusal::ImageTooLarge, 8193, 8192};
  const TOperationRefusal empty{TRefusal::EmptyImage, 0, 0};
  EXPECT_EQ(RefusalText(large, 0),
            "Das Abbild (8193 Bytes) ist größer als der Speicher des Chips "
            "(8192 Bytes).");
  EXPECT_EQ(RefusalText(large, 1),
            "The image (8193 bytes) is larger than the chip's memory (8192 "
            "bytes).");
  EXPECT_EQ(RefusalText(large, 2), "Образ (8193 байт) больше памяти микросхемы (8192 байт).");
  EXPECT_EQ(RefusalText(empty, 0), "Der Buffer ist leer: nichts zu schreiben oder zu vergleichen.");
  EXPECT_EQ(RefusalText(empty, 2), "Буфер пуст: нечего записывать или сравнивать.");
  EXPECT_EQ(RefusalText(empty, 3), "The buffer is empty: there is nothing to write or verify.");
}

}  // namespace
}  // namespace quenvar::test
