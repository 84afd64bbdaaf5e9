#include "quenvar/buffer/custom_mp_hex_editor.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace quenvar {

namespace {
constexpr std::uint32_t kMaxLength = std::numeric_limits<std::uint32_t>::max();
}  // namespace

TCustomMPHexEditor::TCustomMPHexEditor() = default;

// ---------------------------------------------------------------- state

TEditorState TCustomMPHexEditor::CurrentState() const {
  TEditorState s;
  s.FCaret = FCaretState;
  s.FInsertMode = FInserting;
  s.FModified = FIsModified;
  s.FSelection = FSelectionState;
  s.FTranslation = FCharTranslation;
  s.FBytesPerColumn = FGroupBytes;
  return s;
}

// Undo puts the editor back exactly as it was; the insert mode is restored without the mark
// clearing that switching it by hand does.
void TCustomMPHexEditor::RestoreState(const TEditorState& state) {
  FCaretState = state.FCaret;
  FInserting = state.FInsertMode;
  FIsModified = state.FModified;
  FSelectionState = state.FSelection;
  FCharTranslation = state.FTranslation;
  FGroupBytes = state.FBytesPerColumn;
  ClampCaret();
}

std::uint32_t TCustomMPHexEditor::CaretLimit(bool insertMode) const {
  const std::uint32_t n = DataLength();
  if (insertMode) return n;
  return n == 0 ? 0 : n - 1;
}

std::uint32_t TCustomMPHexEditor::MaxCaretPosition() const {
  return CaretLimit(FInserting);
}

void TCustomMPHexEditor::ClampCaret() {
  const std::uint32_t limit = MaxCaretPosition();
  if (FCaretState.FPosition > limit) {
    FCaretState.FPosition = limit;
    FCaretState.FLowNibble = false;
  }
  if (FCaretState.FPosition >= DataLength()) FCaretState.FLowNibble = false;
  if (FContent.empty()) {
    FSelectionState.FActive = false;
  } else if (FSelectionState.FAnchor >= DataLength()) {
    FSelectionState.FAnchor = DataLength() - 1;
  }
}

void TCustomMPHexEditor::ViewChanged() {
  if (FOnViewChanged) FOnViewChanged();
}

void TCustomMPHexEditor::SetReadOnlyView(bool value) {
  FViewOnly = value;
  ViewChanged();
}

void TCustomMPHexEditor::SetInsertMode(bool value) {
  if (!FInsertAllowed || value == FInserting) return;
  FInserting = value;
  FMarks.Clear();
  ClampCaret();
  ViewChanged();
}

void TCustomMPHexEditor::SetAllowInsertMode(bool value) {
  if (!value) SetInsertMode(false);
  FInsertAllowed = value;
}

// ---------------------------------------------------------------- undo history

void TCustomMPHexEditor::StoreRecord(TUndoRecord record) {
  FRedoSlot.reset();
  if (FUpdateDepth > 0) {
    FUpdateRecords.push_back(std::move(record));
  } else {
    FHistory.Push(std::move(record), FUndoLimit);
  }
}

void TCustomMPHexEditor::EditDone() {
  FIsModified = true;
  if (FUpdateDepth > 0) {
    FUpdateChanged = true;
  } else if (FSilentDepth == 0 && FOnChange) {
    FOnChange(*this);
  }
  ViewChanged();
}

bool TCustomMPHexEditor::UndoAvailable() const {
  return !FViewOnly && !FHistory.Empty() && FUpdateDepth == 0;
}

bool TCustomMPHexEditor::RedoAvailable() const {
  return !FViewOnly && FRedoSlot.has_value();
}

std::string_view TCustomMPHexEditor::UndoDescription() const {
  return FHistory.Empty() ? std::string_view() : UndoKindDescription(FHistory.Newest().FKind);
}

std::string_view TCustomMPHexEditor::RedoDescription() const {
  return FRedoSlot ? UndoKindDescription(FRedoSlot->FKind) : std::string_view();
}

void TCustomMPHexEditor::BeginUpdate() {
  if (FUpdateDepth++ == 0) {
    FUpdateState = CurrentState();
    FUpdateRecords.clear();
    FUpdateChanged = false;
  }
}

void TCustomMPHexEditor::EndUpdate() {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0) return;
  if (!FUpdateRecords.empty()) {
    TUndoRecord group;
    group.FKind = TUndoKind::MultipleModification;
    group.FPosition = FUpdateRecords.front().FPosition;
    for (const TUndoRecord& r : FUpdateRecords)
      group.FPosition = std::min(group.FPosition, r.FPosition);
    group.FLength = static_cast<std::uint32_t>(FUpdateRecords.size());
    group.FState = FUpdateState;
    group.FGroup = std::move(FUpdateRecords);
    FUpdateRecords.clear();
    FHistory.Push(std::move(group), FUndoLimit);
  }
  if (FUpdateChanged) {
    FUpdateChanged = false;
    if (FSilentDepth == 0 && FOnChange) FOnChange(*this);
  }
}

void TCustomMPHexEditor::Revert(const TUndoRecord& record, TUndoRecord& redo) {
  const std::uint32_t pos = record.FPosition;
  auto slice = [this](std::uint32_t from, std::uint32_t count) {
    return std::vector<std::uint8_t>(FContent.begin() + from, FContent.begin() + from + count);
  };
  switch (record.FKind) {
    case TUndoKind::ChangeBytes:
    case TUndoKind::Convert:
      redo.FData = slice(pos, static_cast<std::uint32_t>(record.FData.size()));
      std::copy(record.FData.begin(), record.FData.end(), FContent.begin() + pos);
      break;
    case TUndoKind::RemoveData:
      RawInsert(pos, record.FData);
      break;
    case TUndoKind::InsertBuffer:
    case TUndoKind::AppendBuffer:
      redo.FData = slice(pos, record.FLength);
      RawErase(pos, record.FLength);
      break;
    case TUndoKind::Replace:
      redo.FData = slice(pos, record.FLength);
      redo.FLength = static_cast<std::uint32_t>(record.FData.size());
      RawErase(pos, record.FLength);
      RawInsert(pos, record.FData);
      break;
    case TUndoKind::InsertNibble: {
      const std::uint8_t b = FContent[pos];
      redo.FData = {static_cast<std::uint8_t>(record.FLowNibble ? (b & 0x0F) : (b >> 4))};
      RawDeleteNibble(pos, record.FLowNibble);
      FContent.pop_back();
      break;
    }
    case TUndoKind::DeleteNibble:
      RawInsertNibble(pos, record.FLowNibble, record.FData.at(0));
      FContent.pop_back();
      break;
    case TUndoKind::CursorMovement:
      break;
    case TUndoKind::MultipleModification:
      redo.FGroup.resize(record.FGroup.size());
      for (std::size_t i = record.FGroup.size(); i-- > 0;) {
        const TUndoRecord& sub = record.FGroup[i];
        TUndoRecord& subRedo = redo.FGroup[i];
        subRedo.FKind = sub.FKind;
        subRedo.FPosition = sub.FPosition;
        subRedo.FLength = sub.FLength;
        subRedo.FLowNibble = sub.FLowNibble;
        Revert(sub, subRedo);
      }
      break;
    case TUndoKind::AllDataSaved:
      redo.FData.assign(FContent.begin(), FContent.end());
      FContent.assign(record.FData.begin(), record.FData.end());
      break;
  }
  // Marks do not survive past a reversed change: the array ends at its position.
  FMarks.Resize(FContent.size());
  FMarks.ClearFrom(pos);
}

void TCustomMPHexEditor::UndoLast() {
  if (FHistory.Empty()) {
    FHistory.Clear();
    return;
  }
  if (!UndoAvailable()) return;
  const TEditorState after = CurrentState();
  const TUndoRecord record = FHistory.Pop();
  TUndoRecord redo;
  redo.FKind = record.FKind;
  redo.FPosition = record.FPosition;
  redo.FLength = record.FLength;
  redo.FLowNibble = record.FLowNibble;
  redo.FState = after;
  Revert(record, redo);
  RestoreState(record.FState);
  FRedoSlot = std::move(redo);
  if (FOnChange) FOnChange(*this);
  ViewChanged();
}

void TCustomMPHexEditor::Reapply(const TUndoRecord& redo) {
  switch (redo.FKind) {
    case TUndoKind::ChangeBytes:
    case TUndoKind::Convert:
      WriteBytes(redo.FPosition, redo.FData);
      break;
    case TUndoKind::RemoveData:
      DeleteBytes(redo.FPosition, redo.FLength);
      break;
    case TUndoKind::InsertBuffer:
      InsertBytes(redo.FPosition, redo.FData);
      break;
    case TUndoKind::Replace:
      ReplaceBytes(redo.FPosition, redo.FLength, redo.FData);
      break;
    case TUndoKind::AppendBuffer:
      AppendBytes(redo.FData);
      break;
    case TUndoKind::InsertNibble:
      InsertNibble(redo.FPosition, redo.FLowNibble, redo.FData.at(0));
      break;
    case TUndoKind::DeleteNibble:
      DeleteNibble(redo.FPosition, redo.FLowNibble);
      break;
    case TUndoKind::CursorMovement:
      break;
    case TUndoKind::MultipleModification:
      BeginUpdate();
      for (const TUndoRecord& sub : redo.FGroup) Reapply(sub);
      EndUpdate();
      break;
    case TUndoKind::AllDataSaved:
      ReplaceAllData(redo.FData);
      break;
  }
}

void TCustomMPHexEditor::RedoLast() {
  if (!RedoAvailable()) return;
  const TUndoRecord redo = std::move(*FRedoSlot);
  FRedoSlot.reset();
  ++FSilentDepth;
  Reapply(redo);
  --FSilentDepth;
  FRedoSlot.reset();
  FCaretState = redo.FState.FCaret;
  FSelectionState = redo.FState.FSelection;
  ClampCaret();
  if (FOnChange) FOnChange(*this);
  ViewChanged();
}

// ---------------------------------------------------------------- raw changes (no history)

void TCustomMPHexEditor::RawInsert(std::uint32_t pos, std::span<const std::uint8_t> bytes) {
  // Grow by a sixteenth rather than doubling, so a big buffer stays close to its data size.
  const std::size_t need = FContent.size() + bytes.size();
  if (need > FContent.capacity()) FContent.reserve(need + need / 16);
  FContent.insert(FContent.begin() + pos, bytes.begin(), bytes.end());
  FMarks.Insert(pos, bytes.size());
}

void TCustomMPHexEditor::RawErase(std::uint32_t pos, std::uint32_t count) {
  FContent.erase(FContent.begin() + pos, FContent.begin() + pos + count);
  FMarks.Erase(pos, count);
}

// The content seen as a string of nibbles, high nibble first; the buffer grows by one byte so
// the shifted-out last nibble keeps a home.
void TCustomMPHexEditor::RawInsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  FContent.push_back(0);
  FMarks.Resize(FContent.size());
  for (std::size_t i = FContent.size() - 1; i > pos; --i)
    FContent[i] = static_cast<std::uint8_t>(((FContent[i - 1] & 0x0F) << 4) | (FContent[i] >> 4));
  std::uint8_t& b = FContent[pos];
  b = lowNibble ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                : static_cast<std::uint8_t>(((value & 0x0F) << 4) | (b >> 4));
}

void TCustomMPHexEditor::RawDeleteNibble(std::uint32_t pos, bool lowNibble) {
  const std::size_t n = FContent.size();
  auto next = [&](std::size_t i) { return i + 1 < n ? FContent[i + 1] >> 4 : 0; };
  FContent[pos] = lowNibble ? static_cast<std::uint8_t>((FContent[pos] & 0xF0) | next(pos))
                            : static_cast<std::uint8_t>(((FContent[pos] & 0x0F) << 4) | next(pos));
  for (std::size_t i = pos + 1; i < n; ++i)
    FContent[i] = static_cast<std::uint8_t>(((FContent[i] & 0x0F) << 4) | next(i));
}

// ---------------------------------------------------------------- edit operations

bool TCustomMPHexEditor::WriteNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  if (pos >= DataLength() || value > 0x0F) return false;
  const std::uint8_t old = FContent[pos];
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
  if (std::equal(bytes.begin(), bytes.end(), FContent.begin() + pos)) return false;
  TUndoRecord r;
  r.FKind = TUndoKind::ChangeBytes;
  r.FPosition = pos;
  r.FLength = static_cast<std::uint32_t>(bytes.size());
  r.FData.assign(FContent.begin() + pos, FContent.begin() + pos + bytes.size());
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (FContent[pos + i] == bytes[i]) continue;
    FContent[pos + i] = bytes[i];
    if (!FInserting) FMarks.Set(pos + i);
  }
  EditDone();
  return true;
}

bool TCustomMPHexEditor::InsertBytes(std::uint32_t pos, std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.empty() || pos > DataLength() || bytes.size() > kMaxLength - DataLength())
    return false;
  TUndoRecord r;
  r.FKind = TUndoKind::InsertBuffer;
  r.FPosition = pos;
  r.FLength = static_cast<std::uint32_t>(bytes.size());
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawInsert(pos, bytes);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::DeleteBytes(std::uint32_t pos, std::uint32_t count) {
  if (!CanEdit() || count == 0 || pos >= DataLength()) return false;
  count = std::min(count, DataLength() - pos);
  TUndoRecord r;
  r.FKind = TUndoKind::RemoveData;
  r.FPosition = pos;
  r.FLength = count;
  r.FData.assign(FContent.begin() + pos, FContent.begin() + pos + count);
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawErase(pos, count);
  ClampCaret();
  EditDone();
  return true;
}

bool TCustomMPHexEditor::ReplaceBytes(std::uint32_t pos, std::uint32_t count,
                                      std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || pos > DataLength() || count > DataLength() - pos) return false;
  if (bytes.size() > count && bytes.size() - count > kMaxLength - DataLength()) return false;
  if (bytes.size() == count && std::equal(bytes.begin(), bytes.end(), FContent.begin() + pos))
    return false;
  TUndoRecord r;
  r.FKind = TUndoKind::Replace;
  r.FPosition = pos;
  r.FLength = static_cast<std::uint32_t>(bytes.size());
  r.FData.assign(FContent.begin() + pos, FContent.begin() + pos + count);
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawErase(pos, count);
  RawInsert(pos, bytes);
  ClampCaret();
  EditDone();
  return true;
}

bool TCustomMPHexEditor::AppendBytes(std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.empty() || bytes.size() > kMaxLength - DataLength()) return false;
  TUndoRecord r;
  r.FKind = TUndoKind::AppendBuffer;
  r.FPosition = DataLength();
  r.FLength = static_cast<std::uint32_t>(bytes.size());
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawInsert(DataLength(), bytes);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::InsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value) {
  const bool atEnd = pos == DataLength() && !lowNibble;
  if (!CanEdit() || value > 0x0F || (pos >= DataLength() && !atEnd) || DataLength() == kMaxLength)
    return false;
  TUndoRecord r;
  r.FKind = TUndoKind::InsertNibble;
  r.FPosition = pos;
  r.FLength = 1;
  r.FLowNibble = lowNibble;
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawInsertNibble(pos, lowNibble, value);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::DeleteNibble(std::uint32_t pos, bool lowNibble) {
  if (!CanEdit() || pos >= DataLength()) return false;
  const std::uint8_t b = FContent[pos];
  TUndoRecord r;
  r.FKind = TUndoKind::DeleteNibble;
  r.FPosition = pos;
  r.FLength = 1;
  r.FLowNibble = lowNibble;
  r.FData = {static_cast<std::uint8_t>(lowNibble ? (b & 0x0F) : (b >> 4))};
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  RawDeleteNibble(pos, lowNibble);
  EditDone();
  return true;
}

bool TCustomMPHexEditor::ReplaceAllData(std::span<const std::uint8_t> bytes) {
  if (!CanEdit() || bytes.size() > kMaxLength) return false;
  if (bytes.size() == FContent.size() && std::equal(bytes.begin(), bytes.end(), FContent.begin()))
    return false;
  TUndoRecord r;
  r.FKind = TUndoKind::AllDataSaved;
  r.FPosition = 0;
  r.FLength = DataLength();
  r.FData.assign(FContent.begin(), FContent.end());
  r.FState = CurrentState();
  StoreRecord(std::move(r));
  FContent.assign(bytes.begin(), bytes.end());
  FMarks.Resize(FContent.size());
  FMarks.Clear();
  ClampCaret();
  EditDone();
  return true;
}

// ---------------------------------------------------------------- display rules

TResult<void> TCustomMPHexEditor::SetOffsetFormat(std::string_view format) {
  TResult<void> r = FOffsets.Assign(format);
  if (r) ViewChanged();
  return r;
}

std::uint32_t TCustomMPHexEditor::RowCount() const {
  const std::uint32_t n = DataLength();
  std::uint32_t rows = n / 16 + (n % 16 != 0 ? 1 : 0);
  if (FInserting && n % 16 == 0) ++rows;
  return std::max<std::uint32_t>(rows, 1) + 2;
}

unsigned TCustomMPHexEditor::OffsetDigits() const {
  if (!FOffsets.AutoDigits()) return FOffsets.FixedDigits();
  return FOffsets.DigitsOf(std::uint64_t{RowCount() - 3} * 16);
}

std::string TCustomMPHexEditor::OffsetText(std::uint32_t dataRow) const {
  return FOffsets.Format(std::uint64_t{dataRow} * 16, OffsetDigits());
}

}  // namespace quenvar
