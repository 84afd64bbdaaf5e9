#include "quenvar/buffer/custom_mp_hex_editor.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace quenvar {

namespace {
constexpr std::uint32_t MaxLength = std::numeric_limits<std::uint32_t>::max();
}  // namespace

TCustomMPHexEditor::TCustomMPHexEditor() = default;

// ---------------------------------------------------------------- state

TEditorState TCustomMPHexEditor::CurrentState() const {
  TEditorState s;
  s.Caret = CaretState;
  s.InsertMode = Inserting;
  s.Modified = IsModified;
  s.Selection = SelectionState;
  s.Translation = CharTranslation;
  s.BytesPerColumn = GroupBytes;
  return s;
}

// Undo puts the editor back exactly as it was; the insert mode is restored without the mark
// clearing that switching it by hand does.
void TCustomMPHexEditor::RestoreState(const TEditorState& state) {
  CaretState = state.Caret;
  Inserting = state.InsertMode;
  IsModified = state.Modified;
  SelectionState = state.Selection;
  CharTranslation = state.Translation;
  GroupBytes = state.BytesPerColumn;
  ClampCaret();
}

std::uint32_t TCustomMPHexEditor::CaretLimit(bool insertMode) const {
  const std::uint32_t n = DataLength();
  if (insertMode) return n;
  return n == 0 ? 0 : n - 1;
}

std::uint32_t TCustomMPHexEditor::MaxCaretPosition() const {
  return CaretLimit(Inserting);
}

void TCustomMPHexEditor::ClampCaret() {
  const std::uint32_t limit = MaxCaretPosition();
  if (CaretState.Position > limit) {
    CaretState.Position = limit;
    CaretState.LowNibble = false;
  }
  if (CaretState.Position >= DataLength()) CaretState.LowNibble = false;
  if (Content.empty()) {
    SelectionState.Active = false;
  } else if (SelectionState.Anchor >= DataLength()) {
    SelectionState.Anchor = DataLength() - 1;
  }
}

void TCustomMPHexEditor::ViewChanged() {
  if (OnViewChanged) OnViewChanged();
}

void TCustomMPHexEditor::SetReadOnlyView(bool value) {
  ViewOnly = value;
  ViewChanged();
}

void TCustomMPHexEditor::SetInsertMode(bool value) {
  if (!InsertAllowed || value == Inserting) return;
  Inserting = value;
  Marks.Clear();
  ClampCaret();
  ViewChanged();
}

void TCustomMPHexEditor::SetAllowInsertMode(bool value) {
  if (!value) SetInsertMode(false);
  InsertAllowed = value;
}

// ---------------------------------------------------------------- undo history

void TCustomMPHexEditor::StoreRecord(TUndoRecord record) {
  RedoSlot.reset();
  if (UpdateDepth > 0) {
    UpdateRecords.push_back(std::move(record));
  } else {
    History.Push(std::move(record), UndoLimit);
  }
}

void TCustomMPHexEditor::EditDone() {
  IsModified = true;
  if (UpdateDepth > 0) {
    UpdateChanged = true;
  } else if (SilentDepth == 0 && OnChange) {
    OnChange(*this);
  }
  ViewChanged();
}

bool TCustomMPHexEditor::UndoAvailable() const {
  return !ViewOnly && !History.Empty() && UpdateDepth == 0;
}

bool TCustomMPHexEditor::RedoAvailable() const {
  return !ViewOnly && RedoSlot.has_value();
}

std::string_view TCustomMPHexEditor::UndoDescription() const {
  return History.Empty() ? std::string_view() : UndoKindDescription(History.Newest().Kind);
}

std::string_view TCustomMPHexEditor::RedoDescription() const {
  return RedoSlot ? UndoKindDescription(RedoSlot->Kind) : std::string_view();
}

void TCustomMPHexEditor::BeginUpdate() {
  if (UpdateDepth++ == 0) {
    UpdateState = CurrentState();
    UpdateRecords.clear();
    UpdateChanged = false;
  }
}

void TCustomMPHexEditor::EndUpdate() {
  if (UpdateDepth == 0 || --UpdateDepth > 0) return;
  if (!UpdateRecords.empty()) {
    TUndoRecord group;
    group.Kind = TUndoKind::MultipleModification;
    group.Position = UpdateRecords.front().Position;
    for (const TUndoRecord& r : UpdateRecords)
      group.Position = std::min(group.Position, r.Position);
    group.Length = static_cast<std::uint32_t>(UpdateRecords.size());
    group.State = UpdateState;
    group.Group = std::move(UpdateRecords);
    UpdateRecords.clear();
    History.Push(std::move(group), UndoLimit);
  }
  if (UpdateChanged) {
    UpdateChanged = false;
    if (SilentDepth == 0 && OnChange) OnChange(*this);
  }
}

void TCustomMPHexEditor::Revert(const TUndoRecord& record, TUndoRecord& redo) {
  const std::uint32_t pos = record.Position;
  auto slice = [this](std::uint32_t from, std::uint32_t count) {
    return std::vector<std::uint8_t>(Content.begin() + from, Content.begin() + from + count);
  };
  switch (record.Kind) {
    case TUndoKind::ChangeBytes:
    case TUndoKind::Convert:
      redo.Data = slice(pos, static_cast<std::uint32_t>(record.Data.size()));
      std::copy(record.Data.begin(), record.Data.end(), Content.begin() + pos);
      break;
    case TUndoKind::RemoveData:
      RawInsert(pos, record.Data);
      break;
    case TUndoKind::InsertBuffer:
    case TUndoKind::AppendBuffer:
      redo.Data = slice(pos, record.Length);
      RawErase(pos, record.Length);
      break;
    case TUndoKind::Replace:
      redo.Data = slice(pos, record.Length);
      redo.Length = static_cast<std::uint32_t>(record.Data.size());
      RawErase(pos, record.Length);
      RawInsert(pos, record.Data);
      break;
    case TUndoKind::InsertNibble: {
      const std::uint8_t b = Content[pos];
      redo.Data = {static_cast<std::uint8_t>(record.LowNibble ? (b & 0x0F) : (b >> 4))};
      RawDeleteNibble(pos, record.LowNibble);
      Content.pop_back();
      break;
    }
    case TUndoKind::DeleteNibble:
      RawInsertNibble(pos, record.LowNibble, record.Data.at(0));
      Content.pop_back();
      break;
    case TUndoKind::CursorMovement:
      break;
    case TUndoKind::MultipleModification:
      redo.Group.resize(record.Group.size());
      for (std::size_t i = record.Group.size(); i-- > 0;) {
        const TUndoRecord& sub = record.Group[i];
        TUndoRecord& subRedo = redo.Group[i];
        subRedo.Kind = sub.Kind;
        subRedo.Position = sub.Position;
        subRedo.Length = sub.Length;
        subRedo.LowNibble = sub.LowNibble;
        Revert(sub, subRedo);
      }
      break;
    case TUndoKind::AllDataSaved:
      redo.Data.assign(Content.begin(), Content.end());
      Content.assign(record.Data.begin(), record.Data.end());
      break;
  }
  // Marks do not survive past a reversed change: the array ends at its position.
  Marks.Resize(Content.size());
  Marks.ClearFrom(pos);
}

void TCustomMPHexEditor::UndoLast() {
  if (History.Empty()) {
    History.Clear();
    return;
  }
  if (!UndoAvailable()) return;
  const TEditorState after = CurrentState();
  const TUndoRecord record = History.Pop();
  TUndoRecord redo;
  redo.Kind = record.Kind;
  redo.Position = record.Position;
  redo.Length = record.Length;
  redo.LowNibble = record.LowNibble;
  redo.State = after;
  Revert(record, redo);
  RestoreState(record.State);
  RedoSlot = std::move(redo);
  if (OnChange) OnChange(*this);
  ViewChanged();
}

void TCustomMPHexEditor::Reapply(const TUndoRecord& redo) {
  switch (redo.Kind) {
    case TUndoKind::ChangeBytes:
    case TUndoKind::Convert:
      WriteBytes(redo.Position, redo.Data);
      break;
    case TUndoKind::RemoveData:
      DeleteBytes(redo.Position, redo.Length);
      break;
    case TUndoKind::InsertBuffer:
      InsertBytes(redo.Position, redo.Data);
      break;
    case TUndoKind::Replace:
      ReplaceBytes(redo.Position, redo.Length, redo.Data);
      break;
    case TUndoKind::AppendBuffer:
      AppendBytes(redo.Data);
      break;
    case TUndoKind::InsertNibble:
      InsertNibble(redo.Position, redo.LowNibble, redo.Data.at(0));
      break;
    case TUndoKind::DeleteNibble:
      DeleteNibble(redo.Position, redo.LowNibble);
      break;
    case TUndoKind::CursorMovement:
      break;
    case TUndoKind::MultipleModification:
      BeginUpdate();
      for (const TUndoRecord& sub : redo.Group) Reapply(sub);
      EndUpdate();
      break;
    case TUndoKind::AllDataSaved:
      ReplaceAllData(redo.Data);
      break;
  }
}

void TCustomMPHexEditor::RedoLast() {
  if (!RedoAvailable()) return;
  const TUndoRecord redo = std::move(*RedoSlot);
  RedoSlot.reset();
  ++SilentDepth;
  Reapply(redo);
  --SilentDepth;
  RedoSlot.reset();
  CaretState = redo.State.Caret;
  SelectionState = redo.State.Selection;
  ClampCaret();
  if (OnChange) OnChange(*this);
  ViewChanged();
}

// ---------------------------------------------------------------- raw changes (no history)

void TCustomMPHexEditor::RawInsert(std::uint32_t pos, std::span<const std::uint8_t> bytes) {
  // Grow by a sixteenth rather than doubling, so a big buffer stays close to its data size.
  const std::size_t need = Content.size() + bytes.size();
  if (need > Content.capacity()) Content.reserve(need + need / 16);
  Content.insert(Content.begin() + pos, bytes.begin(), bytes.end());
  Marks.Insert(pos, bytes.size());
}

void TCustomMPHexEditor::RawErase(std::uint32_t pos, std::uint32_t count) {
  Content.erase(Content.begin() + pos, Content.begin() + pos + count);
  Marks.Erase(pos, count);
}

// The content seen as a string of nibbles, high nibble first; the buffer grows by one byte so
// the shifted-out last nibble keeps a home.
void TCustomMPHexEditor::RawInsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  Content.push_back(0);
  Marks.Resize(Content.size());
  for (std::size_t i = Content.size() - 1; i > pos; --i)
    Content[i] = static_cast<std::uint8_t>(((Content[i - 1] & 0x0F) << 4) | (Content[i] >> 4));
  std::uint8_t& b = Content[pos];
  b = lowNibble ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                : static_cast<std::uint8_t>(((value & 0x0F) << 4) | (b >> 4));
}

void TCustomMPHexEditor::RawDeleteNibble(std::uint32_t pos, bool lowNibble) {
  const std::size_t n = Content.size();
  auto next = [&](std::size_t i) { return i + 1 < n ? Content[i + 1] >> 4 : 0; };
  Content[pos] = lowNibble ? static_cast<std::uint8_t>((Content[pos] & 0xF0) | next(pos))
                           : static_cast<std::uint8_t>(((Content[pos] & 0x0F) << 4) | next(pos));
  for (std::size_t i = pos + 1; i < n; ++i)
    Content[i] = static_cast<std::uint8_t>(((Content[i] & 0x0F) << 4) | next(i));
}

// ---------------------------------------------------------------- edit operations

bool TCustomMPHexEditor::WriteNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  if (pos >= DataLength() || value > 0x0F) return false;
  const std::uint8_t old = Content[pos];
  const std::uint8_t b = lowNibble ? static_cast<std::uint8_t>((old & 0xF0) | value)
                                   : static_cast<std::uint8_t>((value << 4) | (old & 0x0F));
  return WriteByte(pos, b);
}

bool TCustomMPHexEditor::WriteByte(std::uint32_t pos, std::uint8_t value) {
  const std::uint8_t one[1] = {value};
  return WriteBytes(pos, one);
}

bool TCustomMPHexEditor::WriteBytes(std::uint32_t pos, std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.empty() || pos >= DataLength() || bytes.size() > DataLength() - pos)
    return false;
  if (std::equal(bytes.begin(), bytes.end(), Content.begin() + pos)) return false;
  TUndoRecord r;
  r.Kind = TUndoKind::ChangeBytes;
  r.Position = pos;
  r.Length = static_cast<std::uint32_t>(bytes.size());
  r.Data.assign(Content.begin() + pos, Content.begin() + pos + bytes.size());
  r.State = CurrentState();
  StoreRecord(std::move(r));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (Content[pos + i] == bytes[i]) continue;
    Content[pos + i] = bytes[i];
    if (!Inserting) Marks.Set(pos + i);
  }
  EditDone();
  return true;
}

bool TCustomMPHexEditor::InsertBytes(std::uint32_t pos, std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.empty() || pos > DataLength() || bytes.size() > MaxLength - DataLength())
    return false;
  TUndoRecord r;
  r.Kind = TUndoKind::InsertBuffer;
  r.Position = pos;
  r.Length = static_cast<std::uint32_t>(bytes.size());
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawInsert(pos, bytes);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::DeleteBytes(std::uint32_t pos, std::uint32_t count) {
  if (!CanEdit() || count == 0 || pos >= DataLength()) return false;
  count = std::min(count, DataLength() - pos);
  TUndoRecord r;
  r.Kind = TUndoKind::RemoveData;
  r.Position = pos;
  r.Length = count;
  r.Data.assign(Content.begin() + pos, Content.begin() + pos + count);
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawErase(pos, count);
  ClampCaret();
  EditDone();
  return true;
}

bool TCustomMPHexEditor::ReplaceBytes(std::uint32_t pos, std::uint32_t count,
                                      std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || pos > DataLength() || count > DataLength() - pos) return false;
  if (bytes.size() > count && bytes.size() - count > MaxLength - DataLength()) return false;
  if (bytes.size() == count && std::equal(bytes.begin(), bytes.end(), Content.begin() + pos))
    return false;
  TUndoRecord r;
  r.Kind = TUndoKind::Replace;
  r.Position = pos;
  r.Length = static_cast<std::uint32_t>(bytes.size());
  r.Data.assign(Content.begin() + pos, Content.begin() + pos + count);
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawErase(pos, count);
  RawInsert(pos, bytes);
  ClampCaret();
  EditDone();
  return true;
}

bool TCustomMPHexEditor::AppendBytes(std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.empty() || bytes.size() > MaxLength - DataLength()) return false;
  TUndoRecord r;
  r.Kind = TUndoKind::AppendBuffer;
  r.Position = DataLength();
  r.Length = static_cast<std::uint32_t>(bytes.size());
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawInsert(DataLength(), bytes);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::InsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  const bool atEnd = pos == DataLength() && !lowNibble;
  if (!CanEdit() || value > 0x0F || (pos >= DataLength() && !atEnd) || DataLength() == MaxLength)
    return false;
  TUndoRecord r;
  r.Kind = TUndoKind::InsertNibble;
  r.Position = pos;
  r.Length = 1;
  r.LowNibble = lowNibble;
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawInsertNibble(pos, lowNibble, value);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::DeleteNibble(std::uint32_t pos, bool lowNibble) {
  if (!CanEdit() || pos >= DataLength()) return false;
  const std::uint8_t b = Content[pos];
  TUndoRecord r;
  r.Kind = TUndoKind::DeleteNibble;
  r.Position = pos;
  r.Length = 1;
  r.LowNibble = lowNibble;
  r.Data = {static_cast<std::uint8_t>(lowNibble ? (b & 0x0F) : (b >> 4))};
  r.State = CurrentState();
  StoreRecord(std::move(r));
  RawDeleteNibble(pos, lowNibble);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::ReplaceAllData(std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.size() > MaxLength) return false;
  if (bytes.size() == Content.size() && std::equal(bytes.begin(), bytes.end(), Content.begin()))
    return false;
  TUndoRecord r;
  r.Kind = TUndoKind::AllDataSaved;
  r.Position = 0;
  r.Length = DataLength();
  r.Data.assign(Content.begin(), Content.end());
  r.State = CurrentState();
  StoreRecord(std::move(r));
  Content.assign(bytes.begin(), bytes.end());
  Marks.Resize(Content.size());
  Marks.Clear();
  ClampCaret();
  EditDone();
  return true;
}

// ---------------------------------------------------------------- display rules

TResult<void> TCustomMPHexEditor::SetOffsetFormat(std::string_view format) {
  TResult<void> r = Offsets.Assign(format);
  if (r) ViewChanged();
  return r;
}

std::uint32_t TCustomMPHexEditor::RowCount() const {
  const std::uint32_t n = DataLength();
  std::uint32_t rows = n / 16 + (n % 16 != 0 ? 1 : 0);
  if (Inserting && n % 16 == 0) ++rows;
  return std::max<std::uint32_t>(rows, 1) + 2;
}

unsigned TCustomMPHexEditor::OffsetDigits() const {
  if (!Offsets.AutoDigits()) return Offsets.FixedDigits();
  return Offsets.DigitsOf(std::uint64_t{RowCount() - 3} * 16);
}

std::string TCustomMPHexEditor::OffsetText(std::uint32_t dataRow) const {
  return Offsets.Format(std::uint64_t{dataRow} * 16, OffsetDigits());
}

}  // namespace quenvar
