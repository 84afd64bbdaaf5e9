// What the driver checks before it sends an image, and the question before a
// fuse write that would cut the chip off from ISP.
#include "quenvar/core/chip_table.h"
#include "session_fakes.h"

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
  void Identify(std::uint8_t s1, std::uint8_t s2, std::initializer_list<std::uint8_t> fuses) {
    Reply({'s', 0x1E, s1, s2});
    Reply(fuses);
  }
  std::vector<TOperationRefusal> Refusals;
  bool ArmedDuringBox = false;
};

TEST_F(ImageCheckTest, EmptyOrOversizeImagesAreRefusedBeforeTheErase) {
  using P = TProgrammerSession;
  const TOperationRefusal empty{TRefusal::EmptyImage, 0, 0};
  const struct {
    int Target;
    std::size_t Bytes;
    THandler Handler;
    bool Identify;  // ISP: the size is known after the signature and fuse replies
    std::optional<TOperationRefusal> Refusal;
    std::size_t Sent;
    const char* LogBack;
  } cases[] = {
      {kIsp, 0, &P::bProgClick, false, empty, 0, "before"},
      {kIsp, 0, &P::bVerifyClick, false, empty, 0, "before"},
      {kIsp, 0, &P::bprogeepromClick, false, empty, 0, "before"},
      {1, 129, &P::bProgClick, false, {{TRefusal::ImageTooLarge, 129, 128}}, 0, "before"},
      {0, 17, &P::bVerifyClick, false, {{TRefusal::ImageTooLarge, 17, 16}}, 0, "before"},
      {1, 128, &P::bProgClick, false, std::nullopt, 1, "writing..."},
      {kIsp, 8193, &P::bProgClick, true, {{TRefusal::ImageTooLarge, 8193, 8192}}, 2, "Error."},
      {kIsp, 8193, &P::bVerifyClick, true, {{TRefusal::ImageTooLarge, 8193, 8192}}, 2, "Error."},
      {kIsp, 513, &P::bprogeepromClick, true, {{TRefusal::ImageTooLarge, 513, 512}}, 2, "Error."},
      {kIsp, 8192, &P::bProgClick, true, std::nullopt, 3, "erasing..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bytes);
    Target(c.Target);
    Buffer.Data = Ramp(c.Bytes);
    Sent().clear();
    Session.Window().AddLine("before");
    (Session.*c.Handler)();
    if (c.Identify) Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});  // ATmega8
    ASSERT_EQ(Session.LastRefusal(), c.Refusal);
    EXPECT_EQ(Sent().size(), c.Sent);
    const auto ending = std::find(Log().begin(), Log().end(), "");
    EXPECT_EQ(ending == Log().end() ? Log().back() : ending[1], c.LogBack);
    if (!c.Refusal) {
      Session.FinishOperation();
      continue;
    }
    EXPECT_EQ(Refusals.back(), *c.Refusal);
    EXPECT_FALSE(ArmedDuringBox || Timer.Armed) << "the operation ended at once";
    EXPECT_FALSE(Session.Window().Progress().Shown);
  }
}

TEST_F(ImageCheckTest, AReReadThatFailsOnTheFileSystemAbandonsTheClick) {
  Target(kIsp);
  Session.Window().SetChecked("updatebuffer", true);
  Reloader.Throws = "/tmp/gone.bin: No such file or directory";
  Buffer.Data = Ramp(10);
  for (THandler handler : {&TProgrammerSession::bProgClick, &TProgrammerSession::bVerifyClick,
                           &TProgrammerSession::bprogeepromClick}) {
    Session.Window().AddLine("before");
    (Session.*handler)();
  }
  EXPECT_EQ(Errors, Lines(3, Reloader.Throws));
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Log(), Lines(3, "before"));
}

TEST_F(ImageCheckTest, AFuseWriteThatWouldCutOffIspIsAskedFirst) {
  Lines asked;
  bool answer = false;
  Session.AskYesNo = [&](const std::string& question) {
    asked.push_back(question);
    return answer;
  };
  Target(kIsp);
  Session.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});  // ATmega8, nothing programmed
  Session.ToggleFuse(5);                          // "Lock bit 1"
  Session.ToggleFuse(6);                          // "RSTDISBL"
  Sent().clear();
  for (bool yes : {false, true}) {
    answer = yes;
    ASSERT_TRUE(Session.Click(yes ? "nWritefuse" : "bWriteFuse"));
    EXPECT_EQ(Sent().size(), yes ? 1u : 0u);
    EXPECT_TRUE(Session.Window().FuseList()[6].Checked);
  }
  ReplyChar('f');
  // Read as programmed already: nothing new, so no question.
  Session.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0x7F});
  Session.ToggleFuse(5);
  ASSERT_TRUE(Session.Click("bWriteFuse"));
  EXPECT_EQ(Sent().back()[2], 7);
  EXPECT_EQ(asked, Lines(2,
                         "Writing the fuses programs RSTDISBL. The chip will then no longer be "
                         "programmable over ISP. Write them anyway?"));
}

TEST_F(ImageCheckTest, ALockedReplyKeepsTheListAndAnotherChipReplacesIt) {
  Target(kIsp);
  Session.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});
  Session.ToggleFuse(13);
  Session.bDetectDeviceClick();
  Reply({'s', 0x00, 0x01, 0x02});  // a locked chip
  Reply({'r'});
  EXPECT_EQ(Session.Window().AutoDevice(), "Device locked !");
  ASSERT_EQ(Session.Window().FuseList().size(), 22u);
  EXPECT_TRUE(Session.Window().FuseList()[13].Checked);
  Session.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x90, 0x07});  // ATtiny13
  const std::span<const std::string_view> items = FindChipByName("ATtiny13")->FuseItems;
  const auto& boxes = Session.Window().FuseList();
  ASSERT_EQ(boxes.size(), items.size());
  for (std::size_t i = 0; i < boxes.size(); ++i)
    EXPECT_TRUE(boxes[i].Caption == items[i] && !boxes[i].Checked) << i;
}

TEST(RefusalText, NamesBothSizesInEachLanguage) {
  const TOperationRefusal large{TRefusal::ImageTooLarge, 8193, 8192};
  EXPECT_EQ(RefusalText(large, 0),
            "Das Abbild (8193 Bytes) ist größer als der Speicher des Chips (8192 Bytes).");
  EXPECT_EQ(RefusalText(large, 1),
            "The image (8193 bytes) is larger than the chip's memory (8192 bytes).");
  EXPECT_EQ(RefusalText(large, 2), "Образ (8193 байт) больше памяти микросхемы (8192 байт).");
  EXPECT_EQ(RefusalText({TRefusal::EmptyImage, 0, 0}, 9),
            "The buffer is empty: there is nothing to write or verify.");
}

}  // namespace
}  // namespace quenvar::test
