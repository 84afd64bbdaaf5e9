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
  TOpKind FKind = TOpKind::Write;
  std::uint32_t FPos = 0;
  std::uint32_t FCount = 0;
  TBytes FData;
  bool FLow = false;
  std::uint8_t FValue = 0;
  std::vector<TOp> FGroup;
};

class TReference {
 public:
  TBytes FData;
  std::vector<bool> FMarks;
  bool FInsert = false;
  bool FReadOnly = false;

  struct TEntry {
    TBytes FBefore;
    bool FInsertMode;
    std::uint32_t FPos;
    TOp FOp;
  };
  std::vector<TEntry> FUndo;
  std::optional<TEntry> FRedo;

  void Load(const TBytes& d) {
    FData = d;
    FMarks.assign(d.size(), false);
    FUndo.clear();
    FRedo.reset();
  }

  void Edit(const TOp& op) {
    if (FReadOnly) return;
    TEntry e{FData, FInsert, 0, op};
    std::optional<std::uint32_t> pos = Apply(op);
    if (!pos) return;
    e.FPos = *pos;
    FUndo.push_back(std::move(e));
    FRedo.reset();
  }

  void UndoLast() {
    if (FReadOnly || FUndo.empty()) return;
    TEntry e = std::move(FUndo.back());
    FUndo.pop_back();
    std::vector<bool> marks(e.FBefore.size(), false);
    for (std::size_t i = 0; i < std::min<std::size_t>(e.FPos, marks.size()); ++i)
      marks[i] = i < FMarks.size() && FMarks[i];
    FData = e.FBefore;
    FMarks = marks;
    FInsert = e.FInsertMode;
    FRedo = std::move(e);
  }

  void RedoLast() {
    if (FReadOnly || !FRedo) return;
    const TOp op = FRedo->FOp;
    FRedo.reset();
    Edit(op);
    FRedo.reset();
  }

  void ToggleInsert() {
    FInsert = !FInsert;
    FMarks.assign(FMarks.size(), false);
  }

 private:
  // The lowest position the op touched, or nothing when it was no edit.
  std::optional<std::uint32_t> Apply(const TOp& op) {
    const std::size_t n = FData.size();
    switch (op.FKind) {
      case TOpKind::Write: {
        if (op.FPos >= n || op.FData.size() > n - op.FPos) return {};
        bool any = false;
        for (std::size_t i = 0; i < op.FData.size(); ++i) {
          if (FData[op.FPos + i] == op.FData[i]) continue;
          any = true;
          FData[op.FPos + i] = op.FData[i];
          if (!FInsert) FMarks[op.FPos + i] = true;
        }
        if (!any) return {};
        return op.FPos;
      }
      case TOpKind::Insert:
        if (op.FPos > n || op.FData.empty()) return {};
        FData.insert(FData.begin() + op.FPos, op.FData.begin(), op.FData.end());
        FMarks.insert(FMarks.begin() + op.FPos, op.FData.size(), false);
        return op.FPos;
      case TOpKind::Delete: {
        if (op.FPos >= n || op.FCount == 0) return {};
        const std::size_t c = std::min<std::size_t>(op.FCount, n - op.FPos);
        FData.erase(FData.begin() + op.FPos, FData.begin() + op.FPos + c);
        FMarks.erase(FMarks.begin() + op.FPos, FMarks.begin() + op.FPos + c);
        return op.FPos;
      }
      case TOpKind::Replace: {
        if (op.FPos > n || op.FCount > n - op.FPos) return {};
        if (op.FCount == op.FData.size() &&
            std::equal(op.FData.begin(), op.FData.end(), FData.begin() + op.FPos))
          return {};
        FData.erase(FData.begin() + op.FPos, FData.begin() + op.FPos + op.FCount);
        FMarks.erase(FMarks.begin() + op.FPos, FMarks.begin() + op.FPos + op.FCount);
        FData.insert(FData.begin() + op.FPos, op.FData.begin(), op.FData.end());
        FMarks.insert(FMarks.begin() + op.FPos, op.FData.size(), false);
        return op.FPos;
      }
      case TOpKind::Append:
        if (op.FData.empty()) return {};
        FData.insert(FData.end(), op.FData.begin(), op.FData.end());
        FMarks.resize(FData.size(), false);
        return static_cast<std::uint32_t>(n);
      case TOpKind::InsertNibble:
      case TOpKind::DeleteNibble: {
        const bool ins = op.FKind == TOpKind::InsertNibble;
        if (op.FPos > n || (op.FPos == n && (!ins || op.FLow))) return {};
        std::vector<std::uint8_t> nib;
        for (std::uint8_t b : FData) {
          nib.push_back(b >> 4);
          nib.push_back(b & 15);
        }
        const std::size_t k = 2 * op.FPos + (op.FLow ? 1 : 0);
        if (ins) {
          nib.insert(nib.begin() + k, op.FValue);
        } else {
          nib.erase(nib.begin() + k);
        }
        if (nib.size() % 2) nib.push_back(0);
        FData.clear();
        for (std::size_t i = 0; i < nib.size(); i += 2)
          FData.push_back(static_cast<std::uint8_t>(nib[i] * 16 + nib[i + 1]));
        FMarks.resize(FData.size(), false);
        return op.FPos;
      }
      case TOpKind::Group: {
        std::optional<std::uint32_t> low;
        for (const TOp& sub : op.FGroup) {
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
  op.FKind = static_cast<TOpKind>(pick(0, allowGroup ? 7 : 6));
  op.FPos = pick(0, length + 1);
  op.FCount = pick(0, 4);
  op.FLow = pick(0, 1) == 1;
  op.FValue = static_cast<std::uint8_t>(pick(0, 15));
  switch (op.FKind) {
    case TOpKind::Write:
      op.FData = bytes(pick(1, 2));
      break;
    case TOpKind::Insert:
    case TOpKind::Append:
      op.FData = bytes(length > 200 ? 0 : pick(1, 5));
      break;
    case TOpKind::Replace:
      op.FData = bytes(pick(0, 3));
      break;
    case TOpKind::Group:
      for (int i = 0; i < 3; ++i) op.FGroup.push_back(RandomOp(rng, length, false));
      break;
    default:
      break;
  }
  return op;
}

void ApplyToEditor(TCustomMPHexEditor& e, const TOp& op) {
  switch (op.FKind) {
    case TOpKind::Write:
      e.WriteBytes(op.FPos, op.FData);
      break;
    case TOpKind::Insert:
      e.InsertBytes(op.FPos, op.FData);
      break;
    case TOpKind::Delete:
      e.DeleteBytes(op.FPos, op.FCount);
      break;
    case TOpKind::Replace:
      e.ReplaceBytes(op.FPos, op.FCount, op.FData);
      break;
    case TOpKind::Append:
      e.AppendBytes(op.FData);
      break;
    case TOpKind::InsertNibble:
      e.InsertNibble(op.FPos, op.FLow, op.FValue);
      break;
    case TOpKind::DeleteNibble:
      e.DeleteNibble(op.FPos, op.FLow);
      break;
    case TOpKind::Group:
      e.BeginUpdate();
      for (const TOp& sub : op.FGroup) ApplyToEditor(e, sub);
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
        ref.FReadOnly = !ref.FReadOnly;
      }
      ASSERT_EQ(Bytes(e), ref.FData) << "step " << step;
      std::vector<bool> marks(e.DataLength());
      for (std::uint32_t i = 0; i < e.DataLength(); ++i) marks[i] = e.IsChanged(i);
      ASSERT_EQ(marks, ref.FMarks) << "step " << step;
      ASSERT_EQ(e.InsertMode(), ref.FInsert) << "step " << step;
      ASSERT_EQ(e.UndoAvailable(), !ref.FReadOnly && !ref.FUndo.empty()) << "step " << step;
      ASSERT_EQ(e.RedoAvailable(), !ref.FReadOnly && ref.FRedo.has_value()) << "step " << step;
      ASSERT_EQ(e.UndoCount(), ref.FUndo.size()) << "step " << step;
      ASSERT_LE(e.Caret().FPosition, e.MaxCaretPosition()) << "step " << step;
    }
  }
}

}  // namespace
}  // namespace quenvar
