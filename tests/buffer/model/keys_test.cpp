#include <gtest/gtest.h>

#include <string>

#include "editor_fixture.h"

namespace quenvar {
namespace {

using test::Bytes;
using test::MarkedBytes;
using test::TBytes;
using test::TEditable;

struct TTypingCase {
  const char* FName;
  TBytes FStart;
  bool FInsert;
  TCaret FCaret;
  std::string FKeys;
  TBytes FAfter;
  TCaret FCaretAfter;
  std::size_t FRecords;
};

TEST(HexEditorKeys, Typing) {
  const TTypingCase cases[] = {
      {"overwrite two nibbles",
       {0x00, 0x00},
       false,
       {0, false, THexField::Hex},
       "1f",
       {0x1F, 0x00},
       {1, false, THexField::Hex},
       2},
      {"overwrite stops on the last nibble",
       {0x00},
       false,
       {0, false, THexField::Hex},
       "abc",
       {0xAC},
       {0, true, THexField::Hex},
       3},
      {"same digit is no record",
       {0x5A},
       false,
       {0, false, THexField::Hex},
       "5",
       {0x5A},
       {0, true, THexField::Hex},
       0},
      {"non-hex ignored",
       {0x00},
       false,
       {0, false, THexField::Hex},
       "g-",
       {0x00},
       {0, false, THexField::Hex},
       0},
      {"insert builds bytes",
       {},
       true,
       {0, false, THexField::Hex},
       "ABC",
       {0xAB, 0xC0},
       {1, true, THexField::Hex},
       3},
      {"insert in the middle",
       {0x11, 0x22},
       true,
       {1, false, THexField::Hex},
       "9",
       {0x11, 0x90, 0x22},
       {1, true, THexField::Hex},
       1},
      {"characters overwrite",
       {0x00, 0x00, 0x00},
       false,
       {1, false, THexField::Chars},
       "Hi!",
       {0x00, 'H', '!'},
       {2, false, THexField::Chars},
       3},
      {"characters insert",
       {0x00},
       true,
       {0, false, THexField::Chars},
       "ok",
       {'o', 'k', 0x00},
       {2, false, THexField::Chars},
       2},
      {"overwrite on empty buffer",
       {},
       false,
       {0, false, THexField::Hex},
       "1",
       {},
       {0, false, THexField::Hex},
       0},
  };
  for (const TTypingCase& c : cases) {
    SCOPED_TRACE(c.FName);
    TEditable t(c.FStart, c.FInsert);
    t.FE.SetCaret(c.FCaret);
    for (char k : c.FKeys) t.FE.TypeKey(k);
    EXPECT_EQ(Bytes(t.FE), c.FAfter);
    EXPECT_EQ(t.FE.Caret(), c.FCaretAfter);
    EXPECT_EQ(t.FE.UndoCount(), c.FRecords);  // keystrokes are never merged
  }
}

TEST(HexEditorKeys, BackspaceAndDeleteRemoveBytesOnlyInInsertMode) {
  struct TCase {
    const char* FName;
    bool FInsert;
    TCaret FCaret;
    bool FBackspace;
    bool FTaken;
    TBytes FAfter;
    std::uint32_t FCaretAfter;
  };
  const TCase cases[] = {
      {"backspace removes the byte before",
       true,
       {2, false, THexField::Hex},
       true,
       true,
       {1, 3, 4},
       1},
      {"backspace at start", true, {0, false, THexField::Hex}, true, false, {1, 2, 3, 4}, 0},
      {"backspace on half-typed byte", true, {2, true, THexField::Hex}, true, true, {1, 2, 4}, 2},
      {"delete removes the byte at caret",
       true,
       {1, false, THexField::Chars},
       false,
       true,
       {1, 3, 4},
       1},
      {"delete at insertion point",
       true,
       {4, false, THexField::Hex},
       false,
       false,
       {1, 2, 3, 4},
       4},
      {"delete last byte", true, {3, false, THexField::Hex}, false, true, {1, 2, 3}, 3},
      {"overwrite backspace", false, {2, false, THexField::Hex}, true, false, {1, 2, 3, 4}, 2},
      {"overwrite delete", false, {2, false, THexField::Hex}, false, false, {1, 2, 3, 4}, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FName);
    TEditable t({1, 2, 3, 4}, c.FInsert);
    t.FE.SetCaret(c.FCaret);
    EXPECT_EQ(c.FBackspace ? t.FE.Backspace() : t.FE.DeleteKey(), c.FTaken);
    EXPECT_EQ(Bytes(t.FE), c.FAfter);
    EXPECT_EQ(t.FE.Caret().FPosition, c.FCaretAfter);
  }
}

TEST(HexEditorKeys, DeleteRemovesTheSelection) {
  TEditable t({0, 1, 2, 3, 4, 5}, true);
  t.FE.SetCaret({4, false, THexField::Hex});
  t.FE.SetCaret({1, false, THexField::Hex}, true);
  EXPECT_EQ(t.FE.SelStart(), 1u);
  EXPECT_EQ(t.FE.SelCount(), 4u);
  EXPECT_EQ(t.FE.SelectedBytes(), (TBytes{1, 2, 3, 4}));
  ASSERT_TRUE(t.FE.DeleteKey());
  EXPECT_EQ(Bytes(t.FE), (TBytes{0, 5}));
  EXPECT_EQ(t.FE.Caret().FPosition, 1u);
  EXPECT_FALSE(t.FE.HasSelection());
  t.FE.UndoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{0, 1, 2, 3, 4, 5}));
}

// 40 bytes: rows start at 0, 16 and 32; the last byte is 39.
TEST(HexEditorKeys, CaretMoves) {
  struct TCase {
    bool FInsert;
    TCaret FFrom;
    TCaretMove FMove;
    int FPage;
    TCaret FTo;
  };
  const THexField h = THexField::Hex;
  const THexField c = THexField::Chars;
  const TCase cases[] = {
      {false, {5, false, h}, TCaretMove::Right, 1, {5, true, h}},
      {false, {5, true, h}, TCaretMove::Right, 1, {6, false, h}},
      {false, {5, false, h}, TCaretMove::Left, 1, {4, true, h}},
      {false, {5, true, h}, TCaretMove::Left, 1, {5, false, h}},
      {false, {0, false, h}, TCaretMove::Left, 1, {0, false, h}},
      {false, {39, true, h}, TCaretMove::Right, 1, {39, true, h}},
      {true, {39, true, h}, TCaretMove::Right, 1, {40, false, h}},
      {true, {40, false, h}, TCaretMove::Right, 1, {40, false, h}},
      {false, {5, false, c}, TCaretMove::Right, 1, {6, false, c}},
      {false, {5, false, c}, TCaretMove::Left, 1, {4, false, c}},
      {false, {20, true, h}, TCaretMove::Up, 1, {4, true, h}},
      {false, {4, false, h}, TCaretMove::Up, 1, {4, false, h}},
      {false, {20, false, h}, TCaretMove::Down, 1, {36, false, h}},
      {false, {24, false, h}, TCaretMove::Down, 1, {24, false, h}},
      {true, {24, false, h}, TCaretMove::Down, 1, {40, false, h}},
      {false, {36, false, c}, TCaretMove::PageUp, 2, {4, false, c}},
      {false, {20, false, c}, TCaretMove::PageUp, 5, {4, false, c}},
      {false, {3, false, h}, TCaretMove::PageDown, 5, {35, false, h}},
      {false, {21, true, h}, TCaretMove::RowStart, 1, {16, false, h}},
      {false, {21, true, h}, TCaretMove::RowEnd, 1, {31, false, h}},
      {false, {33, false, h}, TCaretMove::RowEnd, 1, {39, false, h}},
      {false, {21, false, c}, TCaretMove::DataStart, 1, {0, false, c}},
      {false, {2, false, h}, TCaretMove::DataEnd, 1, {39, false, h}},
      {true, {2, false, h}, TCaretMove::DataEnd, 1, {40, false, h}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "from " << c.FFrom.FPosition << " move "
                                    << static_cast<int>(c.FMove) << (c.FInsert ? " insert" : ""));
    TEditable t(TBytes(40, 0), c.FInsert);
    t.FE.SetCaret(c.FFrom);
    t.FE.MoveCaret(c.FMove, false, c.FPage);
    EXPECT_EQ(t.FE.Caret(), c.FTo);
  }
}

TEST(HexEditorKeys, TabSwitchesFieldAndCaretWorksInViewOnly) {
  TCustomMPHexEditor e;
  e.LoadDataFromBytes(TBytes(20, 0));
  e.SetCaret({3, true, THexField::Hex});
  e.SwitchField();
  EXPECT_EQ(e.Caret(), (TCaret{3, false, THexField::Chars}));
  e.MoveCaret(TCaretMove::Down, true);
  EXPECT_EQ(e.SelStart(), 3u);
  EXPECT_EQ(e.SelCount(), 17u);
  EXPECT_FALSE(e.TypeKey('A'));
  e.SwitchField();
  EXPECT_EQ(e.Caret().FField, THexField::Hex);
  e.SelectAll();
  EXPECT_EQ(e.SelCount(), 20u);
}

}  // namespace
}  // namespace quenvar
