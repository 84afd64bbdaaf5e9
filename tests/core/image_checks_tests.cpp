// What the driver checks before it sends an image, and the question before a
// fuse write that would cut the chip off from ISP.
#include <optional>
#include <string>
#include <vector>

#include "quenvar/core/chip_table.h"
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
  // A detect of the ISP chip with this signature and fuse reply.
  void Detect(std::uint8_t s1, std::uint8_t s2, std::initializer_list<std::uint8_t> fuses) {
    Session.bDetectDeviceClick();
    Reply({'s', 0x1E, s1, s2});
    Reply(fuses);
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

TEST_F(ImageCheckTest, AFuseWriteThatWouldCutOffIspIsAskedFirst) {
  Lines asked;
  bool answer = false;
  Session.AskYesNo = [&](const std::string& question) {
    asked.push_back(question);
    return answer;
  };
  Target(kIsp);
  Detect(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});  // ATmega8, nothing programmed
  Session.ToggleFuse(5);                        // "Lock bit 1"
  Session.ToggleFuse(6);                        // "RSTDISBL"
  const std::size_t sent = Sent().size();
  ASSERT_TRUE(Session.Click("bWriteFuse"));
  EXPECT_EQ(asked, (Lines{"Writing the fuses programs RSTDISBL. The chip will then no longer be "
                          "programmable over ISP. Write them anyway?"}));
  EXPECT_EQ(Sent().size(), sent) << "No sends nothing";
  EXPECT_TRUE(Session.Window().FuseList()[6].Checked);
  answer = true;
  ASSERT_TRUE(Session.Click("nWritefuse")) << "the menu twin is enabled with the button";
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(TBytes(Sent().back().begin() + 2, Sent().back().begin() + 13),
            (TBytes{7, 3, 0xE0, 0x00, 0xFE, 0xA8, 0x00, 0x7F, 0xA0, 0x00, 0xFF}));
  ReplyChar('f');
  // Read as programmed already: nothing new, no question.
  Detect(0x93, 0x07, {'r', 0xFF, 0xFF, 0x7F});
  Session.ToggleFuse(5);
  ASSERT_TRUE(Session.Click("bWriteFuse"));
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(Sent().back()[2], 7);
}

TEST_F(ImageCheckTest, ALockedReplyKeepsTheListAndAnotherChipReplacesIt) {
  Target(kIsp);
  Detect(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});
  Session.ToggleFuse(5);
  Session.ToggleFuse(13);
  Session.bDetectDeviceClick();
  Reply({'s', 0x00, 0x01, 0x02});
  Reply({'r'});
  const auto& boxes = Session.Window().FuseList();
  EXPECT_EQ(Session.Window().AutoDevice(), "Device locked !");
  EXPECT_EQ(Session.Window().CodeSize(), "8192");
  ASSERT_EQ(boxes.size(), 22u);
  for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i].Checked, i == 5 || i == 13);
  Session.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x90, 0x07});  // ATtiny13
  const std::span<const std::string_view> items = FindChipByName("ATtiny13")->FuseItems;
  ASSERT_EQ(boxes.size(), items.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].Caption, items[i]);
    EXPECT_FALSE(boxes[i].Checked) << i;
  }
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
