// What the driver checks before it sends an image, and the question before a
// fuse write that would cut the chip off from ISP.
#include "presenter_fixture.h"
#include "quenvar/core/chip_table.h"

namespace quenvar::test {
namespace {

using Lines = std::vector<std::string>;
using THandler = void (TMainPresenter::*)();
constexpr int kIsp = -1;

class ImageCheckTest : public PresenterTest {
 protected:
  ImageCheckTest() {
    FPresenter.FOnError = [this](const std::string& text) {
      FErrors.push_back(text);
      FArmedDuringBox = FTimer.FArmed;
    };
    FPresenter.SetLanguageIndex(1);
  }
  void Target(int eepromType) {
    if (eepromType == kIsp)
      FPresenter.nAVRISPClick();
    else
      FPresenter.SelectEepromType(static_cast<std::size_t>(eepromType));
    Connect();
  }
  void Identify(std::uint8_t s1, std::uint8_t s2, std::initializer_list<std::uint8_t> fuses) {
    Reply({'s', 0x1E, s1, s2});
    Reply(fuses);
  }
  bool FArmedDuringBox = false;
};

TEST_F(ImageCheckTest, EmptyOrOversizeImagesAreRefusedBeforeTheErase) {
  using P = TMainPresenter;
  const TOperationRefusal empty{TRefusal::EmptyImage, 0, 0};
  const struct {
    int FTarget;
    std::size_t FBytes;
    THandler FHandler;
    bool FIdentify;  // ISP: the size is known after the signature and fuse replies
    std::optional<TOperationRefusal> FRefusal;
    std::size_t FSent;
    const char* FLogBack;
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
    SCOPED_TRACE(c.FBytes);
    Target(c.FTarget);
    FBuffer.FData = Ramp(c.FBytes);
    Sent().clear();
    FPresenter.Window().AddLine("before");
    (FPresenter.*c.FHandler)();
    if (c.FIdentify) Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});  // ATmega8
    ASSERT_EQ(FDriver.LastRefusal(), c.FRefusal);
    EXPECT_EQ(Sent().size(), c.FSent);
    const auto ending = std::find(Log().begin(), Log().end(), "");
    EXPECT_EQ(ending == Log().end() ? Log().back() : ending[1], c.FLogBack);
    if (!c.FRefusal) {
      FDriver.FinishOperation();
      continue;
    }
    // The error box says why, in the window's language.
    EXPECT_EQ(FErrors.back(), RefusalText(*c.FRefusal, 1));
    EXPECT_FALSE(FArmedDuringBox || FTimer.FArmed) << "the operation ended at once";
    EXPECT_FALSE(FPresenter.Window().Progress().FShown);
  }
}

TEST_F(ImageCheckTest, AReReadThatFailsOnTheFileSystemAbandonsTheClick) {
  Target(kIsp);
  FPresenter.Window().SetChecked(TControl::updatebuffer, true);
  FReloader.FThrows = "/tmp/gone.bin: No such file or directory";
  FBuffer.FData = Ramp(10);
  for (THandler handler : {&TMainPresenter::bProgClick, &TMainPresenter::bVerifyClick,
                           &TMainPresenter::bprogeepromClick}) {
    FPresenter.Window().AddLine("before");
    (FPresenter.*handler)();
  }
  EXPECT_EQ(FErrors, Lines(3, FReloader.FThrows));
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Log(), Lines(3, "before"));
}

TEST_F(ImageCheckTest, AFuseWriteThatWouldCutOffIspIsAskedFirst) {
  Lines asked;
  bool answer = false;
  FPresenter.FAskYesNo = [&](const std::string& question) {
    asked.push_back(question);
    return answer;
  };
  Target(kIsp);
  FPresenter.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});  // ATmega8, nothing programmed
  FPresenter.ToggleFuse(5);                       // "Lock bit 1"
  FPresenter.ToggleFuse(6);                       // "RSTDISBL"
  Sent().clear();
  for (bool yes : {false, true}) {
    answer = yes;
    ASSERT_TRUE(FPresenter.Click(yes ? TControl::nWritefuse : TControl::bWriteFuse));
    EXPECT_EQ(Sent().size(), yes ? 1u : 0u);
    EXPECT_TRUE(FPresenter.Window().FuseList()[6].FChecked);
  }
  ReplyChar('f');
  // Read as programmed already: nothing new, so no question.
  FPresenter.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0x7F});
  FPresenter.ToggleFuse(5);
  ASSERT_TRUE(FPresenter.Click(TControl::bWriteFuse));
  EXPECT_EQ(Sent().back()[2], 7);
  EXPECT_EQ(asked, Lines(2,
                         "Writing the fuses programs RSTDISBL. The chip will then no longer be "
                         "programmable over ISP. Write them anyway?"));
}

TEST_F(ImageCheckTest, ALockedReplyKeepsTheListAndAnotherChipReplacesIt) {
  Target(kIsp);
  FPresenter.bDetectDeviceClick();
  Identify(0x93, 0x07, {'r', 0xFF, 0xFF, 0xFF});
  FPresenter.ToggleFuse(13);
  FPresenter.bDetectDeviceClick();
  Reply({'s', 0x00, 0x01, 0x02});  // a locked chip
  Reply({'r'});
  EXPECT_EQ(FPresenter.Window().AutoDevice(), "Device locked !");
  ASSERT_EQ(FPresenter.Window().FuseList().size(), 22u);
  EXPECT_TRUE(FPresenter.Window().FuseList()[13].FChecked);
  FPresenter.bDetectDeviceClick();
  Reply({'s', 0x1E, 0x90, 0x07});  // ATtiny13
  const std::span<const std::string_view> items = FindChipByName("ATtiny13")->FFuseItems;
  const auto& boxes = FPresenter.Window().FuseList();
  ASSERT_EQ(boxes.size(), items.size());
  for (std::size_t i = 0; i < boxes.size(); ++i)
    EXPECT_TRUE(boxes[i].FCaption == items[i] && !boxes[i].FChecked) << i;
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
