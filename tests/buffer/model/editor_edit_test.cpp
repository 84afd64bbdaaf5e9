#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "editor_fixture.h"

namespace quenvar {
namespace {

using test::Bytes;
using test::MarkedBytes;
using test::TBytes;
using test::TEditable;

TEST(HexEditor, StartsEmptyViewOnlyUntitled) {
  TCustomMPHexEditor e;
  EXPECT_EQ(e.DataLength(), 0u);
  EXPECT_TRUE(e.ReadOnlyView());
  EXPECT_FALSE(e.InsertMode());
  EXPECT_EQ(e.FileName(), "Untitled");
  EXPECT_FALSE(e.HasFile());
  EXPECT_FALSE(e.Modified());
  EXPECT_FALSE(e.UndoAvailable());
  EXPECT_FALSE(e.RedoAvailable());
  EXPECT_EQ(e.RowCount(), 3u);
  EXPECT_EQ(e.OffsetText(0), "0x0");
}

TEST(HexEditor, UndoKindDescriptions) {
  const char* expected[] = {"Change Byte(s)",  "Remove Data",           "Insert Buffer", "Replace",
                            "Append Buffer",   "Insert Nibble",         "Delete Nibble", "Convert",
                            "Cursor movement", "Multiple Modification", "All data saved"};
  for (int k = 0; k <= 10; ++k)
    EXPECT_EQ(UndoKindDescription(static_cast<TUndoKind>(k)), expected[k]) << k;
}

TEST(HexEditor, LoadingEmptyStream) {
  TEditable t({1, 2, 3});
  t.FE.WriteByte(0, 9);
  std::istringstream empty("");
  t.FChanges = 0;
  ASSERT_TRUE(t.FE.LoadDataFromStream(empty));
  EXPECT_EQ(t.FE.DataLength(), 0u);
  EXPECT_EQ(t.FE.DataRowCount(), 1u);
  EXPECT_TRUE(MarkedBytes(t.FE).empty());
  EXPECT_FALSE(t.FE.UndoAvailable());
  EXPECT_EQ(t.FChanges, 1);
}

TEST(HexEditor, LoadingEndsTheHistory) {
  TEditable t({1, 2, 3});
  ASSERT_TRUE(t.FE.WriteByte(1, 0x20));
  ASSERT_TRUE(t.FE.UndoAvailable());
  t.FE.UndoLast();
  ASSERT_TRUE(t.FE.WriteByte(1, 0x21));
  std::istringstream in(std::string("\x10\x11", 2));
  ASSERT_TRUE(t.FE.LoadDataFromStream(in));
  EXPECT_EQ(Bytes(t.FE), (TBytes{0x10, 0x11}));
  EXPECT_FALSE(t.FE.UndoAvailable());
  EXPECT_FALSE(t.FE.RedoAvailable());
  EXPECT_FALSE(t.FE.Modified());
  EXPECT_EQ(t.FE.Caret().FPosition, 0u);
}

TEST(HexEditor, TwoUndosTwoRedosBringBackOnlyTheLastUndone) {
  TEditable t({0, 0, 0});
  ASSERT_TRUE(t.FE.WriteByte(0, 0xA1));
  ASSERT_TRUE(t.FE.WriteByte(2, 0xC3));
  t.FE.UndoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{0xA1, 0, 0}));
  t.FE.UndoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{0, 0, 0}));
  EXPECT_FALSE(t.FE.UndoAvailable());
  ASSERT_TRUE(t.FE.RedoAvailable());
  EXPECT_EQ(t.FE.RedoDescription(), "Change Byte(s)");
  const int before = t.FChanges;
  t.FE.RedoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{0xA1, 0, 0}));
  EXPECT_FALSE(t.FE.RedoAvailable());
  EXPECT_TRUE(t.FE.UndoAvailable());
  t.FE.RedoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{0xA1, 0, 0}));
  EXPECT_EQ(t.FChanges, before + 1);
}

TEST(HexEditor, ReadOnlyViewHidesUndoAndRedoAndBlocksEdits) {
  TEditable t({5, 6, 7});
  ASSERT_TRUE(t.FE.WriteByte(0, 1));
  ASSERT_TRUE(t.FE.WriteByte(1, 2));
  t.FE.UndoLast();
  ASSERT_TRUE(t.FE.UndoAvailable());
  ASSERT_TRUE(t.FE.RedoAvailable());
  t.FE.SetReadOnlyView(true);
  EXPECT_FALSE(t.FE.UndoAvailable());
  EXPECT_FALSE(t.FE.RedoAvailable());
  EXPECT_EQ(t.FE.UndoCount(), 1u);
  const TBytes three{9, 9, 9};
  const TBytes one{9};
  EXPECT_FALSE(t.FE.WriteByte(2, 9));
  EXPECT_FALSE(t.FE.WriteBytes(0, three));
  EXPECT_FALSE(t.FE.InsertBytes(0, one));
  EXPECT_FALSE(t.FE.DeleteBytes(0, 1));
  EXPECT_FALSE(t.FE.ReplaceBytes(0, 1, three));
  EXPECT_FALSE(t.FE.AppendBytes(one));
  EXPECT_FALSE(t.FE.InsertNibble(0, false, 1));
  EXPECT_FALSE(t.FE.DeleteNibble(0, false));
  EXPECT_FALSE(t.FE.ReplaceAllData(one));
  EXPECT_FALSE(t.FE.TypeKey('A'));
  t.FE.UndoLast();
  t.FE.RedoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 6, 7}));
  EXPECT_EQ(t.FChanges, 3);  // two edits and one undo, all before the switch
}

TEST(HexEditor, WritingTheHeldValueIsNoEdit) {
  TEditable t({0x12, 0x34});
  EXPECT_FALSE(t.FE.WriteByte(0, 0x12));
  EXPECT_FALSE(t.FE.WriteNibble(1, true, 0x4));
  const TBytes same{0x12, 0x34};
  EXPECT_FALSE(t.FE.WriteBytes(0, same));
  EXPECT_FALSE(t.FE.ReplaceBytes(0, 2, same));
  EXPECT_FALSE(t.FE.ReplaceAllData(same));
  EXPECT_EQ(t.FChanges, 0);
  EXPECT_EQ(t.FE.UndoCount(), 0u);
  EXPECT_FALSE(t.FE.Modified());
  EXPECT_TRUE(MarkedBytes(t.FE).empty());
}

TEST(HexEditor, MarksFollowTheEdits) {
  struct TCase {
    const char* FName;
    bool FInsert;
    std::function<void(TCustomMPHexEditor&)> FEdit;
    TBytes FAfter;
    std::set<std::uint32_t> FMarks;
  };
  const TBytes start{0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
  const TCase cases[] = {
      {"overwrite marks",
       false,
       [](TCustomMPHexEditor& e) { e.WriteByte(2, 0xEE); },
       {0x10, 0x11, 0xEE, 0x13, 0x14, 0x15},
       {2}},
      {"two-byte unit marks only the changed byte",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteBytes(3, TBytes{0x13, 0x99});
       },
       {0x10, 0x11, 0x12, 0x13, 0x99, 0x15},
       {4}},
      {"nibble write marks the byte",
       false,
       [](TCustomMPHexEditor& e) { e.WriteNibble(5, false, 0xA); },
       {0x10, 0x11, 0x12, 0x13, 0x14, 0xA5},
       {5}},
      {"insert mode leaves changed bytes unmarked",
       true,
       [](TCustomMPHexEditor& e) { e.WriteByte(2, 0xEE); },
       {0x10, 0x11, 0xEE, 0x13, 0x14, 0x15},
       {}},
      {"insert shifts marks",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteByte(1, 0xA0);
         e.WriteByte(4, 0xA1);
         e.InsertBytes(2, TBytes{0xB0, 0xB1});
       },
       {0x10, 0xA0, 0xB0, 0xB1, 0x12, 0x13, 0xA1, 0x15},
       {1, 6}},
      {"delete shifts marks",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteByte(0, 0xA0);
         e.WriteByte(2, 0xA2);
         e.WriteByte(5, 0xA5);
         e.DeleteBytes(1, 2);
       },
       {0xA0, 0x13, 0x14, 0xA5},
       {0, 3}},
      {"undo clears marks from its position on",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteByte(1, 0xA1);
         e.WriteByte(5, 0xA5);
         e.WriteByte(3, 0xA3);
         e.UndoLast();
       },
       {0x10, 0xA1, 0x12, 0x13, 0x14, 0xA5},
       {1}},
      {"undo of an insert truncates at the insert",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteByte(0, 0xA0);
         e.WriteByte(4, 0xA4);
         e.InsertBytes(2, TBytes{0xB0});
         e.UndoLast();
       },
       {0xA0, 0x11, 0x12, 0x13, 0xA4, 0x15},
       {0}},
      {"redo marks again",
       false,
       [](TCustomMPHexEditor& e) {
         e.WriteByte(3, 0xA3);
         e.UndoLast();
         e.RedoLast();
       },
       {0x10, 0x11, 0x12, 0xA3, 0x14, 0x15},
       {3}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FName);
    TEditable t(start, c.FInsert);
    c.FEdit(t.FE);
    EXPECT_EQ(Bytes(t.FE), c.FAfter);
    EXPECT_EQ(MarkedBytes(t.FE), c.FMarks);
  }
}

TEST(HexEditor, TypedBytesUncolouredWhileInsertModeStaysOn) {
  TEditable t({0x00, 0x00});
  t.FE.SetInsertMode(true);  // as the main window does when it makes the buffer editable
  t.FE.SetCaret({0, true, THexField::Hex});
  ASSERT_TRUE(t.FE.TypeKey('7'));
  t.FE.SwitchField();
  t.FE.SetCaret({1, false, THexField::Chars});
  ASSERT_TRUE(t.FE.TypeKey('Z'));
  EXPECT_EQ(Bytes(t.FE), (TBytes{0x07, 'Z', 0x00}));
  EXPECT_TRUE(MarkedBytes(t.FE).empty());
}

TEST(HexEditor, InsertModeSwitching) {
  TEditable t(TBytes(32, 0xFF));
  ASSERT_TRUE(t.FE.WriteByte(31, 0));
  ASSERT_EQ(MarkedBytes(t.FE), (std::set<std::uint32_t>{31}));
  EXPECT_EQ(t.FE.RowCount(), 4u);
  t.FE.SetInsertMode(true);
  EXPECT_TRUE(MarkedBytes(t.FE).empty());
  EXPECT_EQ(t.FE.RowCount(), 5u);
  t.FE.SetCaret({32, false, THexField::Hex});
  EXPECT_EQ(t.FE.Caret().FPosition, 32u);
  t.FE.SetInsertMode(false);
  EXPECT_EQ(t.FE.RowCount(), 4u);
  EXPECT_EQ(t.FE.Caret().FPosition, 31u);
  t.FE.SetAllowInsertMode(false);
  t.FE.SetInsertMode(true);
  EXPECT_FALSE(t.FE.InsertMode());
  EXPECT_EQ(t.FChanges, 1);  // only the edit; mode switches are no edits
}

TEST(HexEditor, UndoRestoresEditorState) {
  TEditable t({1, 2, 3, 4});
  t.FE.SetCaret({2, true, THexField::Hex});
  ASSERT_TRUE(t.FE.WriteByte(2, 0x33));
  EXPECT_TRUE(t.FE.Modified());
  t.FE.SetCaret({0, false, THexField::Chars});
  t.FE.SetInsertMode(true);
  ASSERT_TRUE(t.FE.InsertBytes(0, TBytes{0xEE}));
  t.FE.UndoLast();
  EXPECT_EQ(t.FE.Caret(), (TCaret{0, false, THexField::Chars}));
  EXPECT_TRUE(t.FE.InsertMode());
  EXPECT_TRUE(t.FE.Modified());
  t.FE.UndoLast();
  EXPECT_EQ(t.FE.Caret(), (TCaret{2, true, THexField::Hex}));
  EXPECT_FALSE(t.FE.InsertMode());
  EXPECT_FALSE(t.FE.Modified());
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 2, 3, 4}));
}

// Each kind of record: the edit, its description, then undo and redo.
TEST(HexEditor, EveryRecordKindUndoesAndRedoes) {
  struct TCase {
    std::function<bool(TCustomMPHexEditor&)> FEdit;
    const char* FDescription;
    TBytes FAfter;
  };
  const TBytes start{0x12, 0x34, 0x56, 0x78};
  const TCase cases[] = {
      {[](TCustomMPHexEditor& e) {
         return e.WriteBytes(1, TBytes{0xAA, 0x56});
       },
       "Change Byte(s)",
       {0x12, 0xAA, 0x56, 0x78}},
      {[](TCustomMPHexEditor& e) { return e.DeleteBytes(1, 2); }, "Remove Data", {0x12, 0x78}},
      {[](TCustomMPHexEditor& e) { return e.DeleteBytes(2, 50); }, "Remove Data", {0x12, 0x34}},
      {[](TCustomMPHexEditor& e) {
         return e.InsertBytes(4, TBytes{0x01, 0x02});
       },
       "Insert Buffer",
       {0x12, 0x34, 0x56, 0x78, 0x01, 0x02}},
      {[](TCustomMPHexEditor& e) {
         return e.ReplaceBytes(1, 2, TBytes{0xC0, 0xC1, 0xC2});
       },
       "Replace",
       {0x12, 0xC0, 0xC1, 0xC2, 0x78}},
      {[](TCustomMPHexEditor& e) { return e.ReplaceBytes(0, 3, TBytes{}); }, "Replace", {0x78}},
      {[](TCustomMPHexEditor& e) { return e.AppendBytes(TBytes{0xEE}); },
       "Append Buffer",
       {0x12, 0x34, 0x56, 0x78, 0xEE}},
      {[](TCustomMPHexEditor& e) { return e.InsertNibble(0, true, 0xA); },
       "Insert Nibble",
       {0x1A, 0x23, 0x45, 0x67, 0x80}},
      {[](TCustomMPHexEditor& e) { return e.InsertNibble(2, false, 0xF); },
       "Insert Nibble",
       {0x12, 0x34, 0xF5, 0x67, 0x80}},
      {[](TCustomMPHexEditor& e) { return e.InsertNibble(4, false, 0x9); },
       "Insert Nibble",
       {0x12, 0x34, 0x56, 0x78, 0x90}},
      {[](TCustomMPHexEditor& e) { return e.DeleteNibble(0, false); },
       "Delete Nibble",
       {0x23, 0x45, 0x67, 0x80}},
      {[](TCustomMPHexEditor& e) { return e.DeleteNibble(1, true); },
       "Delete Nibble",
       {0x12, 0x35, 0x67, 0x80}},
      {[](TCustomMPHexEditor& e) { return e.DeleteNibble(3, true); },
       "Delete Nibble",
       {0x12, 0x34, 0x56, 0x70}},
      {[](TCustomMPHexEditor& e) { return e.ReplaceAllData(TBytes{0x00}); },
       "All data saved",
       {0x00}},
      {[](TCustomMPHexEditor& e) {
         e.BeginUpdate();
         e.WriteByte(0, 0x00);
         e.DeleteBytes(2, 1);
         e.InsertBytes(0, TBytes{0x99});
         e.EndUpdate();
         return true;
       },
       "Multiple Modification",
       {0x99, 0x00, 0x34, 0x78}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FDescription);
    TEditable t(start);
    ASSERT_TRUE(c.FEdit(t.FE));
    EXPECT_EQ(Bytes(t.FE), c.FAfter);
    EXPECT_EQ(t.FE.UndoCount(), 1u);
    EXPECT_EQ(t.FE.UndoDescription(), c.FDescription);
    EXPECT_EQ(t.FChanges, 1);
    t.FE.UndoLast();
    EXPECT_EQ(Bytes(t.FE), start);
    EXPECT_EQ(t.FE.UndoCount(), 0u);
    EXPECT_EQ(t.FE.RedoDescription(), c.FDescription);
    t.FE.RedoLast();
    EXPECT_EQ(Bytes(t.FE), c.FAfter);
    EXPECT_EQ(t.FE.UndoDescription(), c.FDescription);
    EXPECT_EQ(t.FChanges, 3);
    t.FE.UndoLast();
    EXPECT_EQ(Bytes(t.FE), start);
  }
}

TEST(HexEditor, UpdateBlockHidesUndoUntilClosed) {
  TEditable t({1, 2, 3});
  t.FE.BeginUpdate();
  ASSERT_TRUE(t.FE.WriteByte(0, 7));
  EXPECT_FALSE(t.FE.UndoAvailable());
  t.FE.UndoLast();  // refused while the block is open
  EXPECT_EQ(Bytes(t.FE), (TBytes{7, 2, 3}));
  ASSERT_TRUE(t.FE.WriteByte(1, 8));
  EXPECT_EQ(t.FChanges, 0);
  t.FE.EndUpdate();
  EXPECT_EQ(t.FChanges, 1);
  EXPECT_TRUE(t.FE.UndoAvailable());
  EXPECT_EQ(t.FE.UndoCount(), 1u);
  t.FE.UndoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 2, 3}));
}

TEST(HexEditor, LoadInsideUpdateBlockLeavesNothingToUndo) {
  TEditable t({1, 2, 3, 4});
  t.FE.BeginUpdate();
  ASSERT_TRUE(t.FE.DeleteBytes(0, 2));
  t.FE.LoadDataFromBytes(TBytes{9});
  t.FE.SetReadOnlyView(false);
  EXPECT_EQ(t.FChanges, 0);
  t.FE.EndUpdate();
  EXPECT_EQ(t.FChanges, 1);
  EXPECT_FALSE(t.FE.UndoAvailable());
  t.FE.UndoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{9}));
}

TEST(HexEditor, NewEditEmptiesTheRedoSlot) {
  TEditable t({1, 2});
  ASSERT_TRUE(t.FE.WriteByte(0, 5));
  t.FE.UndoLast();
  ASSERT_TRUE(t.FE.RedoAvailable());
  ASSERT_TRUE(t.FE.WriteByte(1, 6));
  EXPECT_FALSE(t.FE.RedoAvailable());
  t.FE.RedoLast();
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 6}));
}

TEST(HexEditor, UndoOnEmptyHistoryDoesNothing) {
  TEditable t({1});
  t.FE.UndoLast();
  EXPECT_EQ(t.FChanges, 0);
  EXPECT_FALSE(t.FE.RedoAvailable());
}

TEST(HexEditor, MaxUndoDropsOldestRecords) {
  struct TCase {
    long long FLimit;
    int FEdits;
    std::size_t FKept;
  };
  // A one-byte record costs 33 bytes of storage.
  const TCase cases[] = {{0, 300, 300}, {-5, 300, 300}, {1, 10, 1}, {100, 10, 4}, {132, 10, 5}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FLimit);
    TEditable t(TBytes(c.FEdits, 0));
    t.FE.SetMaxUndo(c.FLimit);
    for (int i = 0; i < c.FEdits; ++i) ASSERT_TRUE(t.FE.WriteByte(i, 1));
    EXPECT_EQ(t.FE.UndoCount(), c.FKept);
    while (t.FE.UndoAvailable()) t.FE.UndoLast();
    TBytes expected(c.FEdits, 1);
    for (std::size_t i = c.FEdits - c.FKept; i < expected.size(); ++i) expected[i] = 0;
    EXPECT_EQ(Bytes(t.FE), expected);
  }
}

TEST(HexEditor, RejectsOutOfRangeEdits) {
  TEditable t({1, 2, 3});
  const TBytes two{9, 9};
  EXPECT_FALSE(t.FE.WriteByte(3, 0));
  EXPECT_FALSE(t.FE.WriteBytes(2, two));
  EXPECT_FALSE(t.FE.WriteNibble(0, false, 0x10));
  EXPECT_FALSE(t.FE.InsertBytes(4, two));
  EXPECT_FALSE(t.FE.InsertBytes(0, TBytes{}));
  EXPECT_FALSE(t.FE.DeleteBytes(3, 1));
  EXPECT_FALSE(t.FE.DeleteBytes(0, 0));
  EXPECT_FALSE(t.FE.ReplaceBytes(2, 2, two));
  EXPECT_FALSE(t.FE.InsertNibble(3, true, 1));
  EXPECT_FALSE(t.FE.DeleteNibble(3, false));
  EXPECT_EQ(Bytes(t.FE), (TBytes{1, 2, 3}));
  EXPECT_EQ(t.FE.UndoCount(), 0u);
  EXPECT_EQ(t.FChanges, 0);
}

}  // namespace
}  // namespace quenvar
