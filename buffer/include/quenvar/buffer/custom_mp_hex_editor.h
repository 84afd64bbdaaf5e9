#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/base/result.h"
#include "quenvar/buffer/byte_image.h"
#include "quenvar/buffer/change_marks.h"
#include "quenvar/buffer/offset_format.h"
#include "quenvar/buffer/undo_history.h"

namespace quenvar {

class TAtomicFile;

// Caret movements the keyboard offers.
enum class TCaretMove : std::uint8_t {
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  RowStart,   // Home
  RowEnd,     // End
  DataStart,  // Ctrl+Home
  DataEnd,    // Ctrl+End
};

// The memory buffer: content, change marks, undo history, caret and the editing rules of the hex
// view. Everything except painting lives here; the Qt widget TMPHexEditorEx renders one of these.
// Errors are returned as TResult values carrying the fixed English texts.
class TCustomMPHexEditor {
 public:
  static constexpr const char* kUntitledName = "Untitled";
  static constexpr long long kDefaultMaxUndo = 1024 * 1024;

  TCustomMPHexEditor();
  TCustomMPHexEditor(const TCustomMPHexEditor&) = delete;
  TCustomMPHexEditor& operator=(const TCustomMPHexEditor&) = delete;

  // ---- Content ----
  std::uint32_t DataLength() const { return static_cast<std::uint32_t>(FContent.size()); }
  std::span<const std::uint8_t> Data() const { return FContent; }
  std::uint8_t ByteAt(std::uint32_t pos) const { return FContent[pos]; }
  bool IsChanged(std::uint32_t pos) const { return FMarks.Test(pos); }
  const TChangeMarks& ChangeMarks() const { return FMarks; }
  // Heap held by the content and the marks (not the undo history).
  std::size_t MemoryBytes() const { return FContent.capacity() + FMarks.MemoryBytes(); }

  // ---- Whole-content transfer (loads end the undo history and fire OnChange) ----
  TResult<void> LoadDataFromStream(std::istream& stream);
  TResult<void> LoadDataFromFile(const std::string& fileName);
  // Same as a stream load, from memory (chip reads); a copy of the bytes.
  void LoadDataFromBytes(std::span<const std::uint8_t> bytes);
  void LoadDataFromVector(std::vector<std::uint8_t>&& bytes) { LoadDataFromBytes(bytes); }
  // Takes the image over as it is (an Intel HEX file's), without a copy.
  void LoadDataFromImage(TByteImage&& image);
  TResult<void> SaveDataToStream(std::ostream& stream) const;
  // Replaces the file atomically (TAtomicFile), so a failed save never destroys the previous file.
  TResult<void> SaveDataToFile(const std::string& fileName, bool clearMarks);
  // The same into a file created earlier; a refused save aborts it.
  TResult<void> SaveDataToFile(TAtomicFile& file, bool clearMarks);

  // ---- File state ----
  const std::string& FileName() const { return FCurrentFileName; }
  bool HasFile() const { return FFileAttached; }
  bool ReadOnlyFile() const { return FFileIsReadOnly; }
  bool Modified() const { return FIsModified; }

  // ---- Modes ----
  bool ReadOnlyView() const { return FViewOnly; }
  void SetReadOnlyView(bool value);
  bool InsertMode() const { return FInserting; }
  void SetInsertMode(bool value);
  bool AllowInsertMode() const { return FInsertAllowed; }
  void SetAllowInsertMode(bool value);
  int BytesPerRow() const { return 16; }
  int BytesPerColumn() const { return FGroupBytes; }
  TTranslation Translation() const { return FCharTranslation; }

  // ---- Undo ----
  bool UndoAvailable() const;
  bool RedoAvailable() const;
  void UndoLast();
  void RedoLast();
  long long MaxUndo() const { return FUndoLimit; }
  void SetMaxUndo(long long bytes) { FUndoLimit = bytes; }
  std::size_t UndoCount() const { return FHistory.Count(); }
  std::size_t UndoStorageBytes() const { return FHistory.StorageBytes(); }
  // Description of the record UndoLast would reverse, empty when none.
  std::string_view UndoDescription() const;
  std::string_view RedoDescription() const;

  // Edits between BeginUpdate and the matching EndUpdate are stored as one group record
  // ("Multiple Modification") and announced by one OnChange.
  void BeginUpdate();
  void EndUpdate();
  bool UpdateBlockOpen() const { return FUpdateDepth > 0; }

  // ---- Edit operations; all refuse (return false) in ReadOnlyView or out of range ----
  // Overwrite one nibble (value 0..15) of the byte at pos.
  bool WriteNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value);
  bool WriteByte(std::uint32_t pos, std::uint8_t value);
  // Overwrite consecutive bytes; only the bytes that really change are marked.
  bool WriteBytes(std::uint32_t pos, std::span<const std::uint8_t> bytes);
  bool InsertBytes(std::uint32_t pos, std::span<const std::uint8_t> bytes);
  bool DeleteBytes(std::uint32_t pos, std::uint32_t count);
  // Replace count bytes at pos by bytes (of any length).
  bool ReplaceBytes(std::uint32_t pos, std::uint32_t count, std::span<const std::uint8_t> bytes);
  bool AppendBytes(std::span<const std::uint8_t> bytes);
  // Shift the nibbles from (pos, lowNibble) on by one nibble to the right, putting value in the
  // gap; the buffer grows by one byte whose low nibble is 0.
  bool InsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value);
  // Remove the nibble at (pos, lowNibble), shifting the rest left; the last low nibble becomes 0
  // and the length stays.
  bool DeleteNibble(std::uint32_t pos, bool lowNibble);
  // Replace the whole content as one undoable edit ("All data saved").
  bool ReplaceAllData(std::span<const std::uint8_t> bytes);

  // ---- Caret, selection and keyboard editing ----
  const TCaret& Caret() const { return FCaretState; }
  void SetCaret(TCaret caret, bool extendSelection = false);
  void MoveCaret(TCaretMove move, bool extendSelection = false, int pageRows = 1);
  void SwitchField();  // Tab
  const TSelection& Selection() const { return FSelectionState; }
  bool HasSelection() const { return FSelectionState.FActive; }
  std::uint32_t SelStart() const;  // first selected byte (caret when none)
  std::uint32_t SelCount() const;  // 0 when none
  void SelectAll();
  void ClearSelection();
  std::vector<std::uint8_t> SelectedBytes() const;
  // Highest caret position: DataLength in insert mode (the insertion point), else the last byte.
  std::uint32_t MaxCaretPosition() const;

  // A key typed at the caret: a hex digit in the hex field, any byte in the character field.
  // Returns false when the key is not taken (read-only view, not a hex digit, no room).
  bool TypeKey(char key);
  bool Backspace();
  bool DeleteKey();

  // ---- Display rules ----
  TOffsetFormat& OffsetFormat() { return FOffsets; }
  const TOffsetFormat& OffsetFormat() const { return FOffsets; }
  TResult<void> SetOffsetFormat(std::string_view format);
  // Grid rows: the two fixed rows plus the data rows (at least one, one more for the insertion
  // point in insert mode when the length is a multiple of BytesPerRow).
  std::uint32_t RowCount() const;
  std::uint32_t DataRowCount() const { return RowCount() - 2; }
  unsigned OffsetDigits() const;
  std::string OffsetText(std::uint32_t dataRow) const;

  // ---- Events ----
  // Fired after every edit, undo, redo and load; sender is this editor.
  std::function<void(TCustomMPHexEditor& sender)> FOnChange;
  // For the view: anything visible changed (content, caret, selection, modes).
  std::function<void()> FOnViewChanged;
  // Busy cursor around stream transfers: true on begin, false on end.
  std::function<void(bool busy)> FOnBusy;

 private:
  TEditorState CurrentState() const;
  void RestoreState(const TEditorState& state);
  bool CanEdit() const { return !FViewOnly; }
  void StoreRecord(TUndoRecord record);
  void EditDone();
  void ViewChanged();
  void AfterLoad();
  // The steps of every load from a stream or a file: the old content goes
  // first, a failure leaves an empty buffer, the load ends the history.
  template <typename TSource>
  TResult<void> LoadContent(TSource& source);
  void ClampCaret();

  void RawInsert(std::uint32_t pos, std::span<const std::uint8_t> bytes);
  void RawErase(std::uint32_t pos, std::uint32_t count);
  void RawInsertNibble(std::uint32_t pos, bool lowNibble, std::uint8_t value);
  void RawDeleteNibble(std::uint32_t pos, bool lowNibble);
  void Revert(const TUndoRecord& record, TUndoRecord& redo);
  void Reapply(const TUndoRecord& redo);
  std::uint32_t CaretLimit(bool insertMode) const;

  TByteImage FContent;
  TChangeMarks FMarks;
  TUndoHistory FHistory;
  std::optional<TUndoRecord> FRedoSlot;
  long long FUndoLimit = kDefaultMaxUndo;

  std::string FCurrentFileName = kUntitledName;
  bool FFileAttached = false;
  bool FFileIsReadOnly = false;
  bool FIsModified = false;

  bool FViewOnly = true;
  bool FInserting = false;
  bool FInsertAllowed = true;
  int FGroupBytes = 1;
  TTranslation FCharTranslation = TTranslation::AsIs;
  TOffsetFormat FOffsets;

  TCaret FCaretState;
  TSelection FSelectionState;

  int FUpdateDepth = 0;
  bool FUpdateChanged = false;
  TEditorState FUpdateState;
  std::vector<TUndoRecord> FUpdateRecords;
  int FSilentDepth = 0;  // OnChange held back while a redo re-applies its record
};

}  // namespace quenvar
