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
extern "C" const char* __lsan_default_suppressions() {
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
    View = std::make_unique<TMPHexEditorEx>();
    View->resize(649, 601);
    View->show();
  }
  TBytes Bytes() const { return TBytes(View->Model().Data().begin(), View->Model().Data().end()); }
  void Load(const TBytes& data, bool editable, bool insert = false) {
    View->Model().LoadDataFromBytes(data);
    View->Model().SetReadOnlyView(!editable);
    View->Model().SetInsertMode(insert);
  }
  std::unique_ptr<test::TPaintRecorder> Record() {
    auto recorder = std::make_unique<test::TPaintRecorder>(View->viewport()->size());
    QPainter p(recorder.get());
    View->PaintTo(p, View->viewport()->rect());
    return recorder;
  }
  std::unique_ptr<TMPHexEditorEx> View;
};

TEST_F(HexView, TypedDigitsEditNibbles) {
  Load({0x00, 0x11, 0x22}, true);
  QTest::keyClicks(View.get(), "a5");
  QTest::keyClicks(View.get(), "F");
  EXPECT_EQ(Bytes(), (TBytes{0xA5, 0xF1, 0x22}));
  EXPECT_EQ(View->Model().Caret(), (TCaret{1, true, THexField::Hex}));
  EXPECT_TRUE(View->Model().IsChanged(0));
}

TEST_F(HexView, ReadOnlyViewBlocksEveryEdit) {
  Load({0x00, 0x11, 0x22}, false);
  View->Model().SetReadOnlyView(false);
  View->Model().SetInsertMode(true);
  View->Model().SetReadOnlyView(true);
  QTest::keyClicks(View.get(), "12");
  QTest::keyClick(View.get(), Qt::Key_Delete);
  QTest::keyClick(View.get(), Qt::Key_Right);
  QTest::keyClick(View.get(), Qt::Key_Backspace);
  QTest::keyClick(View.get(), Qt::Key_Insert);
  QTest::keyClick(View.get(), Qt::Key_Tab);
  QTest::keyClicks(View.get(), "x");
  EXPECT_EQ(Bytes(), (TBytes{0x00, 0x11, 0x22}));
  EXPECT_TRUE(View->Model().InsertMode());
  EXPECT_EQ(View->Model().Caret(), (TCaret{0, false, THexField::Chars}));  // moving still works
}

TEST_F(HexView, TabSwitchesFieldAndCharactersOverwrite) {
  Load({0x00, 0x00}, true);
  QTest::keyClick(View.get(), Qt::Key_Tab);
  EXPECT_EQ(View->Model().Caret().Field, THexField::Chars);
  QTest::keyClicks(View.get(), "Q");
  EXPECT_EQ(Bytes(), (TBytes{'Q', 0x00}));
  QTest::keyClick(View.get(), Qt::Key_Tab);
  EXPECT_EQ(View->Model().Caret().Field, THexField::Hex);
  QTest::keyClicks(View.get(), "7");
  EXPECT_EQ(Bytes(), (TBytes{'Q', 0x70}));
}

TEST_F(HexView, InsertModeTypingAndDeleteKeys) {
  Load({0x10, 0x20}, true, true);
  QTest::keyClick(View.get(), Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(View.get(), "3");
  EXPECT_EQ(Bytes(), (TBytes{0x10, 0x20, 0x30}));
  QTest::keyClick(View.get(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(View.get(), Qt::Key_Delete);
  EXPECT_EQ(Bytes(), (TBytes{0x20, 0x30}));
  QTest::keyClick(View.get(), Qt::Key_Right);
  QTest::keyClick(View.get(), Qt::Key_Right);
  QTest::keyClick(View.get(), Qt::Key_Backspace);
  EXPECT_EQ(Bytes(), (TBytes{0x30}));
  EXPECT_FALSE(View->Model().IsChanged(0));
}

TEST_F(HexView, ArrowsAndPagesScrollToTheCaret) {
  Load(TBytes(64 * 1024, 0xFF), false);
  QTest::keyClick(View.get(), Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(View->Model().Caret().Position, 0xFFFFu);
  EXPECT_EQ(View->TopRow(), View->verticalScrollBar()->maximum());
  QTest::keyClick(View.get(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(View.get(), Qt::Key_Down);
  QTest::keyClick(View.get(), Qt::Key_PageDown);
  const int page = View->Layout().FullRows(View->viewport()->height());
  EXPECT_EQ(View->Model().Caret().Position, static_cast<std::uint32_t>(16 + page * 16));
  EXPECT_EQ(View->TopRow(), 2);
}

TEST_F(HexView, ClickPlacesCaretInEitherField) {
  Load(TBytes(100, 0), false);
  const THexLayout l = View->Layout();
  QTest::mouseClick(View->viewport(), Qt::LeftButton, {},
                    QPoint(l.HexDigitX(3, true) + 1, l.RowHeight() * 2 + 1));
  EXPECT_EQ(View->Model().Caret(), (TCaret{35, true, THexField::Hex}));
  QTest::mouseClick(View->viewport(), Qt::LeftButton, {},
                    QPoint(l.CharCellX(5) + 1, l.RowHeight() + 1));
  EXPECT_EQ(View->Model().Caret(), (TCaret{21, false, THexField::Chars}));
}

TEST_F(HexView, CopyTakesTheSelectionOfTheCaretField) {
  Load({0x41, 0x0A, 0x42, 0xFF}, false);
  QTest::keyClick(View.get(), Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(View.get(), Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(View.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "41 0A 42");
  QTest::keyClick(View.get(), Qt::Key_Tab);
  QTest::keyClick(View.get(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(View.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("A.B\u00FF"));
}

TEST_F(HexView, ChangedBytesPaintedOnLightYellow) {
  Load({0x00, 0x00, 0x00}, true);
  ASSERT_TRUE(View->Model().WriteByte(1, 0x88));
  View->Model().SetCaret({2, false, THexField::Hex});
  const THexLayout l = View->Layout();
  const auto painted = Record();
  const int h = l.RowHeight();
  const int w = l.CharWidth();
  const QRectF hex0(l.HexCellX(0), 0, 2 * w, h);
  const QRectF hex1(l.HexCellX(1), 0, 2 * w, h);
  const QColor yellow(255, 255, 168);
  EXPECT_EQ(painted->FillAt(hex1.center()), yellow);
  EXPECT_EQ(painted->FillAt(QPointF(l.CharCellX(1) + w / 2.0, h / 2.0)), yellow);
  EXPECT_EQ(painted->FillAt(hex0.center()), View->Colors.Background);
  EXPECT_EQ(painted->InkIn(hex1), (std::set<QRgb>{qRgb(128, 0, 0)}));
  EXPECT_EQ(painted->InkIn(hex0), (std::set<QRgb>{qRgb(0, 0, 0)}));
  EXPECT_EQ(painted->FillAt(QPointF(1, h / 2.0)), QColor(192, 220, 192));  // the caret's row offset
  EXPECT_EQ(painted->FillAt(QPointF(1, h * 1.5)), View->Colors.Background);  // no second row
}

TEST_F(HexView, FontGivesEveryGridCharacterOneAdvance) {
  const QFontMetrics metrics(View->EditorFont());
  RecordProperty("family", QFontInfo(View->EditorFont()).family().toStdString());
  const QString grid =
      QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz .");
  for (const QChar c : grid)
    EXPECT_EQ(metrics.horizontalAdvance(c), View->Layout().CharWidth())
        << QString(c).toStdString() << " in "
        << QFontInfo(View->EditorFont()).family().toStdString();
  EXPECT_EQ(View->EditorFont().pixelSize(), 13);
  EXPECT_EQ(View->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

struct TCaretCase {
  const char* Name;
  TCaret Caret;
  bool Insert;
};
void PrintTo(const TCaretCase& c, std::ostream* os) {
  *os << c.Name;
}

class HexViewCaret : public HexView, public ::testing::WithParamInterface<TCaretCase> {};

// The unfocused caret is aqua: painted over a digit's left stroke it turned "BB" into "3B".
TEST_P(HexViewCaret, NeverPaintsOverAGlyph) {
  Load({0xBB, 0xBB, 0xBB}, true, GetParam().Insert);
  View->Model().SetCaret(GetParam().Caret);
  ASSERT_FALSE(View->hasFocus());
  const THexLayout l = View->Layout();
  const auto painted = Record();
  const TCaret caret = GetParam().Caret;
  const int x = caret.Field == THexField::Hex ? l.HexDigitX(1, caret.LowNibble) : l.CharCellX(1);
  const QColor aqua(0, 255, 255);
  bool drawn = false;
  for (const auto& op : painted->Ops())
    drawn = drawn || (op.Color == aqua && op.Box.contains(QPointF(x + 0.5, l.RowHeight() / 2.0)));
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
    [](const auto& info) { return std::string(info.param.Name); });

struct TFontCase {
  const char* Name;
  std::vector<const char*> Families;
  const char* Picked;  // the family of the candidate picked, or "" for one from the database
};
void PrintTo(const TFontCase& c, std::ostream* os) {
  *os << c.Name;
}

class HexViewFontPick : public ::testing::TestWithParam<TFontCase> {};

// The test font set holds proportional "sans-serif" and "serif" and a monospaced "monospace".
TEST_P(HexViewFontPick, TakesTheFirstWithEvenAdvances) {
  App();
  QList<QFont> candidates;
  for (const char* family : GetParam().Families) candidates.push_back(QFont(family));
  const QFont picked = PickEvenFont(candidates, 13);
  EXPECT_TRUE(HasEvenAdvances(picked)) << QFontInfo(picked).family().toStdString();
  EXPECT_EQ(picked.pixelSize(), 13);
  if (*GetParam().Picked != '\0') {
    EXPECT_EQ(picked.family(), GetParam().Picked);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, HexViewFontPick,
    ::testing::Values(TFontCase{"FirstEven", {"monospace", "sans-serif"}, "monospace"},
                      TFontCase{"SkipsProportional", {"sans-serif", "monospace"}, "monospace"},
                      TFontCase{"FromTheDatabase", {"sans-serif", "serif"}, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace quenvar
