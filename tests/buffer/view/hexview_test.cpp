#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <vector>

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
  QImage Render() {
    QImage img(View->viewport()->size(), QImage::Format_RGB32);
    QPainter p(&img);
    View->PaintTo(p, img.rect());
    return img;
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
  const QImage img = Render();
  const int y = l.RowHeight() / 2;
  EXPECT_EQ(img.pixelColor(l.HexCellX(1) + 1, 1), QColor(255, 255, 168));
  EXPECT_EQ(img.pixelColor(l.CharCellX(1) + 1, 1), QColor(255, 255, 168));
  EXPECT_EQ(img.pixelColor(l.HexCellX(0) + 1, 1), View->Colors.Background);
  bool maroon = false;
  for (int x = l.HexCellX(1); x < l.HexCellX(1) + 2 * l.CharWidth(); ++x)
    for (int yy = 0; yy < l.RowHeight(); ++yy)
      if (img.pixelColor(x, yy) == QColor(128, 0, 0)) maroon = true;
  EXPECT_TRUE(maroon);
  EXPECT_EQ(img.pixelColor(1, y), QColor(192, 220, 192));  // the caret's row offset
  EXPECT_EQ(img.pixelColor(1, l.RowHeight() + y), View->Colors.Background);  // no second row
}

TEST_F(HexView, FixedWidthFontAndRowHeight) {
  const QFontInfo info(View->EditorFont());
  EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
  EXPECT_EQ(View->EditorFont().pixelSize(), 13);
  EXPECT_EQ(View->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

}  // namespace
}  // namespace quenvar
