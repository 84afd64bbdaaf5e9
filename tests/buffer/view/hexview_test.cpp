#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <set>
#include <vector>

#include "paint_recorder.h"
#include "quenvar/buffer/hex_view_font.h"
#include "quenvar/buffer/mp_hex_editor_ex.h"

// fontconfig keeps caches for the life of the process; they are no leak of ours.
// The name is the sanitizer runtime's.
extern "C" const char*
__lsan_default_suppressions() {  // NOLINT(readability-identifier-naming,bugprone-reserved-identifier)
  return "leak:libfontconfig\n";
}

namespace quenvar {
namespace {

using TBytes = std::vector<std::uint8_t>;

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "hexview_tests";
  static char* argv[] = {arg0, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: tearing Qt down from exit handlers crashes after its own statics are gone.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class HexView : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    FView = std::make_unique<TMPHexEditorEx>();
    FView->resize(649, 601);
    FView->show();
  }
  TBytes Bytes() const {
    return TBytes(FView->Model().Data().begin(), FView->Model().Data().end());
  }
  void Load(const TBytes& data, bool editable, bool insert = false) {
    FView->Model().LoadDataFromBytes(data);
    FView->Model().SetReadOnlyView(!editable);
    FView->Model().SetInsertMode(insert);
  }
  std::unique_ptr<test::TPaintRecorder> Record() {
    auto recorder = std::make_unique<test::TPaintRecorder>(FView->viewport()->size());
    QPainter p(recorder.get());
    FView->PaintTo(p, FView->viewport()->rect());
    return recorder;
  }
  std::unique_ptr<TMPHexEditorEx> FView;
};

TEST_F(HexView, TypedDigitsEditNibbles) {
  Load({0x00, 0x11, 0x22}, true);
  QTest::keyClicks(FView.get(), "a5");
  QTest::keyClicks(FView.get(), "F");
  EXPECT_EQ(Bytes(), (TBytes{0xA5, 0xF1, 0x22}));
  EXPECT_EQ(FView->Model().Caret(), (TCaret{1, true, THexField::Hex}));
  EXPECT_TRUE(FView->Model().IsChanged(0));
}

TEST_F(HexView, ReadOnlyViewBlocksEveryEdit) {
  Load({0x00, 0x11, 0x22}, false);
  FView->Model().SetReadOnlyView(false);
  FView->Model().SetInsertMode(true);
  FView->Model().SetReadOnlyView(true);
  QTest::keyClicks(FView.get(), "12");
  QTest::keyClick(FView.get(), Qt::Key_Delete);
  QTest::keyClick(FView.get(), Qt::Key_Right);
  QTest::keyClick(FView.get(), Qt::Key_Backspace);
  QTest::keyClick(FView.get(), Qt::Key_Insert);
  QTest::keyClick(FView.get(), Qt::Key_Tab);
  QTest::keyClicks(FView.get(), "x");
  EXPECT_EQ(Bytes(), (TBytes{0x00, 0x11, 0x22}));
  EXPECT_TRUE(FView->Model().InsertMode());
  EXPECT_EQ(FView->Model().Caret(), (TCaret{0, false, THexField::Chars}));  // moving still works
}

TEST_F(HexView, TabSwitchesFieldAndCharactersOverwrite) {
  Load({0x00, 0x00}, true);
  QTest::keyClick(FView.get(), Qt::Key_Tab);
  EXPECT_EQ(FView->Model().Caret().FField, THexField::Chars);
  QTest::keyClicks(FView.get(), "Q");
  EXPECT_EQ(Bytes(), (TBytes{'Q', 0x00}));
  QTest::keyClick(FView.get(), Qt::Key_Tab);
  EXPECT_EQ(FView->Model().Caret().FField, THexField::Hex);
  QTest::keyClicks(FView.get(), "7");
  EXPECT_EQ(Bytes(), (TBytes{'Q', 0x70}));
}

TEST_F(HexView, InsertModeTypingAndDeleteKeys) {
  Load({0x10, 0x20}, true, true);
  QTest::keyClick(FView.get(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(FView.get(), "3");
  EXPECT_EQ(Bytes(), (TBytes{0x10, 0x20, 0x30}));
  QTest::keyClick(FView.get(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(FView.get(), Qt::Key_Delete);
  EXPECT_EQ(Bytes(), (TBytes{0x20, 0x30}));
  QTest::keyClick(FView.get(), Qt::Key_Right);
  QTest::keyClick(FView.get(), Qt::Key_Right);
  QTest::keyClick(FView.get(), Qt::Key_Backspace);
  EXPECT_EQ(Bytes(), (TBytes{0x30}));
  EXPECT_FALSE(FView->Model().IsChanged(0));
}

TEST_F(HexView, ArrowsAndPagesScrollToTheCaret) {
  Load(TBytes(64 * 1024, 0xFF), false);
  QTest::keyClick(FView.get(), Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(FView->Model().Caret().FPosition, 0xFFFFu);
  EXPECT_EQ(FView->TopRow(), FView->verticalScrollBar()->maximum());
  QTest::keyClick(FView.get(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(FView.get(), Qt::Key_Down);
  QTest::keyClick(FView.get(), Qt::Key_PageDown);
  const int page = FView->Layout().FullRows(FView->viewport()->height());
  EXPECT_EQ(FView->Model().Caret().FPosition, static_cast<std::uint32_t>(16 + page * 16));
  EXPECT_EQ(FView->TopRow(), 2);
}

TEST_F(HexView, ClickPlacesCaretInEitherField) {
  Load(TBytes(100, 0), false);
  const THexLayout l = FView->Layout();
  QTest::mouseClick(FView->viewport(), Qt::LeftButton, {},
                    QPoint(l.HexDigitX(3, true) + 1, l.RowHeight() * 2 + 1));
  EXPECT_EQ(FView->Model().Caret(), (TCaret{35, true, THexField::Hex}));
  QTest::mouseClick(FView->viewport(), Qt::LeftButton, {},
                    QPoint(l.CharCellX(5) + 1, l.RowHeight() + 1));
  EXPECT_EQ(FView->Model().Caret(), (TCaret{21, false, THexField::Chars}));
}

TEST_F(HexView, CopyTakesTheSelectionOfTheCaretField) {
  Load({0x41, 0x0A, 0x42, 0xFF}, false);
  QTest::keyClick(FView.get(), Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(FView.get(), Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(FView.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "41 0A 42");
  QTest::keyClick(FView.get(), Qt::Key_Tab);
  QTest::keyClick(FView.get(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(FView.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("A.B\u00FF"));
}

TEST_F(HexView, ChangedBytesPaintedOnLightYellow) {
  Load({0x00, 0x00, 0x00}, true);
  ASSERT_TRUE(FView->Model().WriteByte(1, 0x88));
  FView->Model().SetCaret({2, false, THexField::Hex});
  const THexLayout l = FView->Layout();
  const auto painted = Record();
  const int h = l.RowHeight();
  const int w = l.CharWidth();
  const QRectF hex0(l.HexCellX(0), 0, 2 * w, h);
  const QRectF hex1(l.HexCellX(1), 0, 2 * w, h);
  const QColor yellow(255, 255, 168);
  EXPECT_EQ(painted->FillAt(hex1.center()), yellow);
  EXPECT_EQ(painted->FillAt(QPointF(l.CharCellX(1) + w / 2.0, h / 2.0)), yellow);
  EXPECT_EQ(painted->FillAt(hex0.center()), FView->FColors.FBackground);
  EXPECT_EQ(painted->InkIn(hex1), (std::set<QRgb>{qRgb(128, 0, 0)}));
  EXPECT_EQ(painted->InkIn(hex0), (std::set<QRgb>{qRgb(0, 0, 0)}));
  EXPECT_EQ(painted->FillAt(QPointF(1, h / 2.0)), QColor(192, 220, 192));  // the caret's row offset
  EXPECT_EQ(painted->FillAt(QPointF(1, h * 1.5)), FView->FColors.FBackground);  // no second row
}

TEST_F(HexView, FontGivesEveryGridCharacterOneAdvance) {
  const QFontMetrics metrics(FView->EditorFont());
  RecordProperty("family", QFontInfo(FView->EditorFont()).family().toStdString());
  const QString grid =
      QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz .");
  for (const QChar c : grid)
    EXPECT_EQ(metrics.horizontalAdvance(c), FView->Layout().CharWidth())
        << QString(c).toStdString() << " in "
        << QFontInfo(FView->EditorFont()).family().toStdString();
  EXPECT_EQ(FView->EditorFont().pixelSize(), 13);
  EXPECT_EQ(FView->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

struct TCaretCase {
  const char* FName;
  TCaret FCaret;
  bool FInsert;
};
void PrintTo(const TCaretCase& c, std::ostream* os) {
  *os << c.FName;
}

class HexViewCaret : public HexView, public ::testing::WithParamInterface<TCaretCase> {};

// The unfocused caret is aqua: painted over a digit's left stroke it turned "BB" into "3B".
TEST_P(HexViewCaret, NeverPaintsOverAGlyph) {
  Load({0xBB, 0xBB, 0xBB}, true, GetParam().FInsert);
  FView->Model().SetCaret(GetParam().FCaret);
  ASSERT_FALSE(FView->hasFocus());
  const THexLayout l = FView->Layout();
  const auto painted = Record();
  const TCaret caret = GetParam().FCaret;
  const int x = caret.FField == THexField::Hex ? l.HexDigitX(1, caret.FLowNibble) : l.CharCellX(1);
  const QColor aqua(0, 255, 255);
  bool drawn = false;
  for (const auto& op : painted->Ops())
    drawn = drawn || (op.FColor == aqua && op.FBox.contains(QPointF(x + 0.5, l.RowHeight() / 2.0)));
  EXPECT_TRUE(drawn);
  EXPECT_EQ(painted->CoveredInk(), std::vector<QRectF>{});
  EXPECT_EQ(painted->InkIn(QRectF(0, 0, l.TotalWidth(), l.RowHeight())).count(qRgb(0, 0, 0)), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Caret, HexViewCaret,
    ::testing::Values(TCaretCase{"InsertHigh", {1, false, THexField::Hex}, true},
                      TCaretCase{"InsertLow", {1, true, THexField::Hex}, true},
                      TCaretCase{"InsertChar", {1, false, THexField::Chars}, true},
                      TCaretCase{"FrameHigh", {1, false, THexField::Hex}, false},
                      TCaretCase{"FrameLow", {1, true, THexField::Hex}, false},
                      TCaretCase{"FrameChar", {1, false, THexField::Chars}, false}),
    [](const auto& info) { return std::string(info.param.FName); });

struct TFontCase {
  const char* FName;
  std::vector<const char*> FFamilies;
  const char* FPicked;  // the family of the candidate picked, or "" for one from the database
};
void PrintTo(const TFontCase& c, std::ostream* os) {
  *os << c.FName;
}

class HexViewFontPick : public ::testing::TestWithParam<TFontCase> {};

// The test font set holds proportional "sans-serif" and "serif" and a monospaced "monospace".
TEST_P(HexViewFontPick, TakesTheFirstWithEvenAdvances) {
  App();
  QList<QFont> candidates;
  for (const char* family : GetParam().FFamilies) candidates.push_back(QFont(family));
  const QFont picked = PickEvenFont(candidates, 13);
  EXPECT_TRUE(HasEvenAdvances(picked)) << QFontInfo(picked).family().toStdString();
  EXPECT_EQ(picked.pixelSize(), 13);
  if (*GetParam().FPicked != '\0') {
    EXPECT_EQ(picked.family(), GetParam().FPicked);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, HexViewFontPick,
    ::testing::Values(TFontCase{"FirstEven", {"monospace", "sans-serif"}, "monospace"},
                      TFontCase{"SkipsProportional", {"sans-serif", "monospace"}, "monospace"},
                      TFontCase{"FromTheDatabase", {"sans-serif", "serif"}, ""}),
    [](const auto& info) { return std::string(info.param.FName); });

}  // namespace
}  // namespace quenvar
