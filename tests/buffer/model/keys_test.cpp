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
  const char* Name;
  TBytes Start;
  bool Insert;
  TCaret Caret;
  std::string Keys;
  TBytes After;
  TCaret CaretAfter;
  std::size_t Records;
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
    SCOPED_TRACE(c.Name);
    TEditable t(c.Start, c.Insert);
    t.E.SetCaret(c.Caret);
    for (char k : c.Keys) t.E.TypeKey(k);
    EXPECT_EQ(Bytes(t.E), c.After);
    EXPECT_EQ(t.E.Caret(), c.CaretAfter);
    EXPECT_EQ(t.E.UndoCount(), c.Records);  // keystrokes are never merged
  }
}

TEST(HexEditorKeys, BackspaceAndDeleteRemoveBytesOnlyInInsertMode) {
  struct TCase {
    const char* Name;
    bool Insert;
    TCaret Caret;
    bool Backspace;
    bool Taken;
    TBytes After;
    std::uint32_t CaretAfter;
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
    SCOPED_TRACE(c.Name);
    TEditable t({1, 2, 3, 4}, c.Insert);
    t.E.SetCaret(c.Caret);
    EXPECT_EQ(c.Backspace ? t.E.Backspace() : t.E.DeleteKey(), c.Taken);
    EXPECT_EQ(Bytes(t.E), c.After);
    EXPECT_EQ(t.E.Caret().Position, c.CaretAfter);
  }
}

TEST(HexEditorKeys, DeleteRemovesTheSelection) {
  TEditable t({0, 1, 2, 3, 4, 5}, true);
  t.E.SetCaret({4, false, THexField::Hex});
  t.E.SetCaret({1, false, THexField::Hex}, true);
  EXPECT_EQ(t.E.SelStart(), 1u);
  EXPECT_EQ(t.E.SelCount(), 4u);
  EXPECT_EQ(t.E.SelectedBytes(), (TBytes{1, 2, 3, 4}));
  ASSERT_TRUE(t.E.DeleteKey());
  EXPECT_EQ(Bytes(t.E), (TBytes{0, 5}));
  EXPECT_EQ(t.E.Caret().Position, 1u);
  EXPECT_FALSE(t.E.HasSelection());
  t.E.UndoLast();
  EXPECT_EQ(Bytes(t.E), (TBytes{0, 1, 2, 3, 4, 5}));
}

// 40 bytes: rows start at 0, 16 and 32; the last byte is 39.
TEST(HexEditorKeys, CaretMoves) {
  struct TCase {
    bool Insert;
    TCaret From;
    TCaretMove Move;
    int Page;
    TCaret To;
  };
  const THexField H = THexField::Hex;
  const THexField C = THexField::Chars;
  const TCase cases[] = {
      {false, {5, false, H}, TCaretMove::Right, 1, {5, true, H}},
      {false, {5, true, H}, TCaretMove::Right, 1, {6, false, H}},
      {false, {5, false, H}, TCaretMove::Left, 1, {4, true, H}},
      {false, {5, true, H}, TCaretMove::Left, 1, {5, false, H}},
      {false, {0, false, H}, TCaretMove::Left, 1, {0, false, H}},
      {false, {39, true, H}, TCaretMove::Right, 1, {39, true, H}},
      {true, {39, true, H}, TCaretMove::Right, 1, {40, false, H}},
      {true, {40, false, H}, TCaretMove::Right, 1, {40, false, H}},
      {false, {5, false, C}, TCaretMove::Right, 1, {6, false, C}},
      {false, {5, false, C}, TCaretMove::Left, 1, {4, false, C}},
      {false, {20, true, H}, TCaretMove::Up, 1, {4, true, H}},
      {false, {4, false, H}, TCaretMove::Up, 1, {4, false, H}},
      {false, {20, false, H}, TCaretMove::Down, 1, {36, false, H}},
      {false, {24, false, H}, TCaretMove::Down, 1, {24, false, H}},
      {true, {24, false, H}, TCaretMove::Down, 1, {40, false, H}},
      {false, {36, false, C}, TCaretMove::PageUp, 2, {4, false, C}},
      {false, {20, false, C}, TCaretMove::PageUp, 5, {4, false, C}},
      {false, {3, false, H}, TCaretMove::PageDown, 5, {35, false, H}},
      {false, {21, true, H}, TCaretMove::RowStart, 1, {16, false, H}},
      {false, {21, true, H}, TCaretMove::RowEnd, 1, {31, false, H}},
      {false, {33, false, H}, TCaretMove::RowEnd, 1, {39, false, H}},
      {false, {21, false, C}, TCaretMove::DataStart, 1, {0, false, C}},
      {false, {2, false, H}, TCaretMove::DataEnd, 1, {39, false, H}},
      {true, {2, false, H}, TCaretMove::DataEnd, 1, {40, false, H}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "from " << c.From.Position << " move "
                                    << static_cast<int>(c.Move) << (c.Insert ? " insert" : ""));
    TEditable t(TBytes(40, 0), c.Insert);
    t.E.SetCaret(c.From);
    t.E.MoveCaret(c.Move, false, c.Page);
    EXPECT_EQ(t.E.Caret(), c.To);
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
  EXPECT_EQ(e.Caret().Field, THexField::Hex);
  e.SelectAll();
  EXPECT_EQ(e.SelCount(), 20u);
}

}  // namespace
}  // namespace quenvar
