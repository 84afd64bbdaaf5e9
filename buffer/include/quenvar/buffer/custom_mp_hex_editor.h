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
  static constexpr const char* UntitledName = "Untitled";
  static constexpr long long DefaultMaxUndo = 1024 * 1024;

  TCustomMPHexEditor();
  TCustomMPHexEditor(const TCustomMPHexEditor&) = delete;
  TCustomMPHexEditor& operator=(const TCustomMPHexEditor&) = delete;

  // ---- Content ----
  std::uint32_t DataLength() const { return static_cast<std::uint32_t>(Content.size()); }
  std::span<const std::uint8_t> Data() const { return Content; }
  std::uint8_t ByteAt(std::uint32_t pos) const { return Content[pos]; }
  bool IsChanged(std::uint32_t pos) const { return Marks.Test(pos); }
  const TChangeMarks& ChangeMarks() const { return Marks; }
  // Heap held by the content and the marks (not the undo history).
  std::size_t MemoryBytes() const { return Content.capacity() + Marks.MemoryBytes(); }

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
  const std::string& FileName() const { return CurrentFileName; }
  bool HasFile() const { return FileAttached; }
  bool ReadOnlyFile() const { return FileIsReadOnly; }
  bool Modified() const { return IsModified; }

  // ---- Modes ----
  bool ReadOnlyView() const { return ViewOnly; }
  void SetReadOnlyView(bool value);
  bool InsertMode() const { return Inserting; }
  void SetInsertMode(bool value);
  bool AllowInsertMode() const { return InsertAllowed; }
  void SetAllowInsertMode(bool value);
  int BytesPerRow() const { return 16; }
  int BytesPerColumn() const { return GroupBytes; }
  TTranslation Translation() const { return CharTranslation; }

  // ---- Undo ----
  bool UndoAvailable() const;
  bool RedoAvailable() const;
  void UndoLast();
  void RedoLast();
  long long MaxUndo() const { return UndoLimit; }
  void SetMaxUndo(long long bytes) { UndoLimit = bytes; }
  std::size_t UndoCount() const { return History.Count(); }
  std::size_t UndoStorageBytes() const { return History.StorageBytes(); }
  // Description of the record UndoLast would reverse, empty when none.
  std::string_view UndoDescription() const;
  std::string_view RedoDescription() const;

  // Edits between BeginUpdate and the matching EndUpdate are stored as one group record
  // ("Multiple Modification") and announced by one OnChange.
  void BeginUpdate();
  void EndUpdate();
  bool UpdateBlockOpen() const { return UpdateDepth > 0; }

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
  const TCaret& Caret() const { return CaretState; }
  void SetCaret(TCaret caret, bool extendSelection = false);
  void MoveCaret(TCaretMove move, bool extendSelection = false, int pageRows = 1);
  void SwitchField();  // Tab
  const TSelection& Selection() const { return SelectionState; }
  bool HasSelection() const { return SelectionState.Active; }
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
  TOffsetFormat& OffsetFormat() { return Offsets; }
  const TOffsetFormat& OffsetFormat() const { return Offsets; }
  TResult<void> SetOffsetFormat(std::string_view format);
  // Grid rows: the two fixed rows plus the data rows (at least one, one more for the insertion
  // point in insert mode when the length is a multiple of BytesPerRow).
  std::uint32_t RowCount() const;
  std::uint32_t DataRowCount() const { return RowCount() - 2; }
  unsigned OffsetDigits() const;
  std::string OffsetText(std::uint32_t dataRow) const;

  // ---- Events ----
  // Fired after every edit, undo, redo and load; sender is this editor.
  std::function<void(TCustomMPHexEditor& sender)> OnChange;
  // For the view: anything visible changed (content, caret, selection, modes).
  std::function<void()> OnViewChanged;
  // Busy cursor around stream transfers: true on begin, false on end.
  std::function<void(bool busy)> OnBusy;

 private:
  TEditorState CurrentState() const;
  void RestoreState(const TEditorState& state);
  bool CanEdit() const { return !ViewOnly; }
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

  TByteImage Content;
  TChangeMarks Marks;
  TUndoHistory History;
  std::optional<TUndoRecord> RedoSlot;
  long long UndoLimit = DefaultMaxUndo;

  std::string CurrentFileName = UntitledName;
  bool FileAttached = false;
  bool FileIsReadOnly = false;
  bool IsModified = false;

  bool ViewOnly = true;
  bool Inserting = false;
  bool InsertAllowed = true;
  int GroupBytes = 1;
  TTranslation CharTranslation = TTranslation::AsIs;
  TOffsetFormat Offsets;

  TCaret CaretState;
  TSelection SelectionState;

  int UpdateDepth = 0;
  bool UpdateChanged = false;
  TEditorState UpdateState;
  std::vector<TUndoRecord> UpdateRecords;
  int SilentDepth = 0;  // OnChange held back while a redo re-applies its record
};

}  // namespace quenvar
