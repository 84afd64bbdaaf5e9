// Random edit, undo and redo sequences against a deliberately naive reference: whole-content
// snapshots for undo, a bool per byte for marks, nibble edits done on a nibble vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "editor_fixture.h"

namespace quenvar {
namespace {

using test::Bytes;
using test::TBytes;

enum class TOpKind { Write, Insert, Delete, Replace, Append, InsertNibble, DeleteNibble, Group };

struct TOp {
  TOpKind Kind = TOpKind::Write;
  std::uint32_t Pos = 0;
  std::uint32_t Count = 0;
  TBytes Data;
  bool Low = false;
  std::uint8_t Value = 0;
  std::vector<TOp> Group;
};

class TReference {
 public:
  TBytes Data;
  std::vector<bool> Marks;
  bool Insert = false;
  bool ReadOnly = false;

  struct TEntry {
    TBytes Before;
    bool InsertMode;
    std::uint32_t Pos;
    TOp Op;
  };
  std::vector<TEntry> Undo;
  std::optional<TEntry> Redo;

  void Load(const TBytes& d) {
    Data = d;
    Marks.assign(d.size(), false);
    Undo.clear();
    Redo.reset();
  }

  void Edit(const TOp& op) {
    if (ReadOnly) return;
    TEntry e{Data, Insert, 0, op};
    std::optional<std::uint32_t> pos = Apply(op);
    if (!pos) return;
    e.Pos = *pos;
    Undo.push_back(std::move(e));
    Redo.reset();
  }

  void UndoLast() {
    if (ReadOnly || Undo.empty()) return;
    TEntry e = std::move(Undo.back());
    Undo.pop_back();
    std::vector<bool> marks(e.Before.size(), false);
    for (std::size_t i = 0; i < std::min<std::size_t>(e.Pos, marks.size()); ++i)
      marks[i] = i < Marks.size() && Marks[i];
    Data = e.Before;
    Marks = marks;
    Insert = e.InsertMode;
    Redo = std::move(e);
  }

  void RedoLast() {
    if (ReadOnly || !Redo) return;
    const TOp op = Redo->Op;
    Redo.reset();
    Edit(op);
    Redo.reset();
  }

  void ToggleInsert() {
    Insert = !Insert;
    Marks.assign(Marks.size(), false);
  }

 private:
  // The lowest position the op touched, or nothing when it was no edit.
  std::optional<std::uint32_t> Apply(const TOp& op) {
    const std::size_t n = Data.size();
    switch (op.Kind) {
      case TOpKind::Write: {
        if (op.Pos >= n || op.Data.size() > n - op.Pos) return {};
        bool any = false;
        for (std::size_t i = 0; i < op.Data.size(); ++i) {
          if (Data[op.Pos + i] == op.Data[i]) continue;
          any = true;
          Data[op.Pos + i] = op.Data[i];
          if (!Insert) Marks[op.Pos + i] = true;
        }
        if (!any) return {};
        return op.Pos;
      }
      case TOpKind::Insert:
        if (op.Pos > n || op.Data.empty()) return {};
        Data.insert(Data.begin() + op.Pos, op.Data.begin(), op.Data.end());
        Marks.insert(Marks.begin() + op.Pos, op.Data.size(), false);
        return op.Pos;
      case TOpKind::Delete: {
        if (op.Pos >= n || op.Count == 0) return {};
        const std::size_t c = std::min<std::size_t>(op.Count, n - op.Pos);
        Data.erase(Data.begin() + op.Pos, Data.begin() + op.Pos + c);
        Marks.erase(Marks.begin() + op.Pos, Marks.begin() + op.Pos + c);
        return op.Pos;
      }
      case TOpKind::Replace: {
        if (op.Pos > n || op.Count > n - op.Pos) return {};
        if (op.Count == op.Data.size() &&
            std::equal(op.Data.begin(), op.Data.end(), Data.begin() + op.Pos))
          return {};
        Data.erase(Data.begin() + op.Pos, Data.begin() + op.Pos + op.Count);
        Marks.erase(Marks.begin() + op.Pos, Marks.begin() + op.Pos + op.Count);
        Data.insert(Data.begin() + op.Pos, op.Data.begin(), op.Data.end());
        Marks.insert(Marks.begin() + op.Pos, op.Data.size(), false);
        return op.Pos;
      }
      case TOpKind::Append:
        if (op.Data.empty()) return {};
        Data.insert(Data.end(), op.Data.begin(), op.Data.end());
        Marks.resize(Data.size(), false);
        return static_cast<std::uint32_t>(n);
      case TOpKind::InsertNibble:
      case TOpKind::DeleteNibble: {
        const bool ins = op.Kind == TOpKind::InsertNibble;
        if (op.Pos > n || (op.Pos == n && (!ins || op.Low))) return {};
        std::vector<std::uint8_t> nib;
        for (std::uint8_t b : Data) {
          nib.push_back(b >> 4);
          nib.push_back(b & 15);
        }
        const std::size_t k = 2 * op.Pos + (op.Low ? 1 : 0);
        if (ins) {
          nib.insert(nib.begin() + k, op.Value);
        } else {
          nib.erase(nib.begin() + k);
        }
        if (nib.size() % 2) nib.push_back(0);
        Data.clear();
        for (std::size_t i = 0; i < nib.size(); i += 2)
          Data.push_back(static_cast<std::uint8_t>(nib[i] * 16 + nib[i + 1]));
        Marks.resize(Data.size(), false);
        return op.Pos;
      }
      case TOpKind::Group: {
        std::optional<std::uint32_t> low;
        for (const TOp& sub : op.Group) {
          std::optional<std::uint32_t> p = Apply(sub);
          if (p) low = low ? std::min(*low, *p) : *p;
        }
        return low;
      }
    }
    return {};
  }
};

TOp RandomOp(std::mt19937& rng, std::uint32_t length, bool allowGroup) {
  auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
  };
  auto bytes = [&](std::uint32_t count) {
    TBytes b(count);
    for (auto& x : b) x = static_cast<std::uint8_t>(pick(0, 3));  // few values: many no-edits
    return b;
  };
  TOp op;
  op.Kind = static_cast<TOpKind>(pick(0, allowGroup ? 7 : 6));
  op.Pos = pick(0, length + 1);
  op.Count = pick(0, 4);
  op.Low = pick(0, 1) == 1;
  op.Value = static_cast<std::uint8_t>(pick(0, 15));
  switch (op.Kind) {
    case TOpKind::Write:
      op.Data = bytes(pick(1, 2));
      break;
    case TOpKind::Insert:
    case TOpKind::Append:
      op.Data = bytes(length > 200 ? 0 : pick(1, 5));
      break;
    case TOpKind::Replace:
      op.Data = bytes(pick(0, 3));
      break;
    case TOpKind::Group:
      for (int i = 0; i < 3; ++i) op.Group.push_back(RandomOp(rng, length, false));
      break;
    default:
      break;
  }
  return op;
}

void ApplyToEditor(TCustomMPHexEditor& e, const TOp& op) {
  switch (op.Kind) {
    case TOpKind::Write:
      e.WriteBytes(op.Pos, op.Data);
      break;
    case TOpKind::Insert:
      e.InsertBytes(op.Pos, op.Data);
      break;
    case TOpKind::Delete:
      e.DeleteBytes(op.Pos, op.Count);
      break;
    case TOpKind::Replace:
      e.ReplaceBytes(op.Pos, op.Count, op.Data);
      break;
    case TOpKind::Append:
      e.AppendBytes(op.Data);
      break;
    case TOpKind::InsertNibble:
      e.InsertNibble(op.Pos, op.Low, op.Value);
      break;
    case TOpKind::DeleteNibble:
      e.DeleteNibble(op.Pos, op.Low);
      break;
    case TOpKind::Group:
      e.BeginUpdate();
      for (const TOp& sub : op.Group) ApplyToEditor(e, sub);
      e.EndUpdate();
      break;
  }
}

TEST(HexEditorDifferential, RandomEditsUndoRedoMatchReference) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    TCustomMPHexEditor e;
    e.SetMaxUndo(0);
    TReference ref;
    const TBytes start(std::uniform_int_distribution<int>(0, 40)(rng), 0);
    e.LoadDataFromBytes(start);
    ref.Load(start);
    e.SetReadOnlyView(false);
    for (int step = 0; step < 1500; ++step) {
      const int what = std::uniform_int_distribution<int>(0, 99)(rng);
      if (what < 55) {
        const TOp op = RandomOp(rng, e.DataLength(), true);
        ApplyToEditor(e, op);
        ref.Edit(op);
      } else if (what < 75) {
        e.UndoLast();
        ref.UndoLast();
      } else if (what < 90) {
        e.RedoLast();
        ref.RedoLast();
      } else if (what < 96) {
        e.SetInsertMode(!e.InsertMode());
        ref.ToggleInsert();
      } else {
        e.SetReadOnlyView(!e.ReadOnlyView());
        ref.ReadOnly = !ref.ReadOnly;
      }
      ASSERT_EQ(Bytes(e), ref.Data) << "step " << step;
      std::vector<bool> marks(e.DataLength());
      for (std::uint32_t i = 0; i < e.DataLength(); ++i) marks[i] = e.IsChanged(i);
      ASSERT_EQ(marks, ref.Marks) << "step " << step;
      ASSERT_EQ(e.InsertMode(), ref.Insert) << "step " << step;
      ASSERT_EQ(e.UndoAvailable(), !ref.ReadOnly && !ref.Undo.empty()) << "step " << step;
      ASSERT_EQ(e.RedoAvailable(), !ref.ReadOnly && ref.Redo.has_value()) << "step " << step;
      ASSERT_EQ(e.UndoCount(), ref.Undo.size()) << "step " << step;
      ASSERT_LE(e.Caret().Position, e.MaxCaretPosition()) << "step " << step;
    }
  }
}

}  // namespace
}  // namespace quenvar
